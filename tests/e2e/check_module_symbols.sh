#!/usr/bin/env bash
# Each plug-in module exports its descriptor and, on Windows, imports nothing but
# operating-system DLLs.
set -u
platform=$1
folder=$2
failed=0
for release in 2015 2020 lw116; do
  if [ "$platform" = windows ]; then
    module="$folder/kavri_Quor_64_$release.dll"
    dump=$(x86_64-w64-mingw32-objdump -p "$module") || { echo "cannot read $module"; failed=1; continue; }
    imports=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p' | sort -u)
    for dll in $imports; do
      case "${dll,,}" in
        kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|ntdll.dll|ucrtbase.dll|api-ms-win-*) ;;
        *) echo "$module imports $dll, which is not part of the operating system"; failed=1 ;;
      esac
    done
    if ! printf '%s\n' "$dump" | grep -Eq '^\s*\[\s*[0-9]+\] _mod_descrip$'; then
      echo "$module does not export _mod_descrip"; failed=1
    fi
    exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -Ec '^\s*\[\s*[0-9]+\]')
    [ "$exports" = 1 ] || { echo "$module exports $exports symbols, expected only _mod_descrip"; failed=1; }
  else
    module="$folder/kavri_Quor_64_$release.so"
    exported=$(nm -D --defined-only "$module" | awk '{print $3}' | grep -v '^__odr_asan\|^_init$\|^_fini$\|^_edata$\|^_end$\|^__bss_start$')
    if [ "$exported" != "_mod_descrip" ]; then
      echo "$module exports: $exported (expected only _mod_descrip)"; failed=1
    fi
  fi
  echo "$module: checked"
done
exit $failed
