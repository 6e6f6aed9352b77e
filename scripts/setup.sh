#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine (as root,
# or with sudo). Does nothing when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  libgtest-dev libbenchmark-dev zlib1g-dev libdeflate-dev
  libcli11-dev nlohmann-json3-dev libstb-dev
  g++-mingw-w64-x86-64 libz-mingw-w64-dev wine64
  python3-psd-tools python3-numpy imagemagick binutils-mingw-w64-x86-64
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" = 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q -o DPkg::Lock::Timeout=600 "${missing[@]}"
fi
