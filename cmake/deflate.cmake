# The inflater behind the reader's one-shot inflate: libdeflate where the
# platform packages it, zlib otherwise (the Windows modules link zlib statically).
set(KAVRI_INFLATE_BACKEND "zlib")
if(NOT WIN32)
  find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h)
  find_library(LIBDEFLATE_LIBRARY NAMES deflate)
  if(LIBDEFLATE_INCLUDE_DIR AND LIBDEFLATE_LIBRARY)
    set(KAVRI_INFLATE_BACKEND "libdeflate")
  endif()
endif()
message(STATUS "Inflate backend: ${KAVRI_INFLATE_BACKEND}")
