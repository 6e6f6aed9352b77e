# Header-only libraries from the build machine's /usr/include, exposed through a
# folder of their own: adding /usr/include itself would put the build machine's
# C library headers in front of the cross compiler's.
function(kavri_header_only_library target)
  set(folder ${CMAKE_BINARY_DIR}/header_only/${target})
  file(MAKE_DIRECTORY ${folder})
  foreach(entry IN LISTS ARGN)
    if(NOT EXISTS /usr/include/${entry})
      message(FATAL_ERROR "/usr/include/${entry} is missing; run the set-up script")
    endif()
    get_filename_component(name ${entry} NAME)
    file(CREATE_LINK /usr/include/${entry} ${folder}/${name} SYMBOLIC)
  endforeach()
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE ${folder})
endfunction()

kavri_header_only_library(kavri_cli11 CLI)
kavri_header_only_library(kavri_json nlohmann)
kavri_header_only_library(kavri_stb stb)
