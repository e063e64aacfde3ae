# NAME.def, the exports that a public header declares, and from it the import library NAME.lib
# that Visual Studio and other MSVC-style linkers read (mingw-w64 linkers read libNAME.dll.a).
# Both are installed beside libNAME.dll.a. NAME.lib is made by LLVM's dlltool (Debian: llvm);
# without it only the .def is made.
#
#   add_msvc_import_library(NAME HEADER EXPORT_MACRO)
#
# makes the target NAME_msvc_import_library, for korvale.dll from include/korvale.h with
# KORVALE_API, and for korvale_routes.dll from include/korvale_routes.h with KORVALE_ROUTES_API.

find_program(KORVALE_DLLTOOL NAMES llvm-dlltool llvm-dlltool-16 llvm-dlltool-15 llvm-dlltool-14)
if(NOT KORVALE_DLLTOOL)
  message(STATUS "MSVC import libraries not made: llvm-dlltool not found (Debian: llvm)")
endif()

function(add_msvc_import_library name header macro)
  # Every function declared with the macro (declarations may span lines; preprocessor lines,
  # where the macro is defined, are left out).
  file(READ ${header} text)
  string(REGEX REPLACE "\n[ \t]*#[^\n]*" "" text "${text}")
  string(REGEX MATCHALL "${macro}[^(;]*\\(" declarations "${text}")
  set(def "LIBRARY ${name}.dll\nEXPORTS\n")
  foreach(declaration IN LISTS declarations)
    string(REGEX REPLACE "^.*[ \t\n*]([A-Za-z_][A-Za-z_0-9]*)\\($" "\\1" function "${declaration}")
    string(APPEND def "    ${function}\n")
  endforeach()
  file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/${name}.def CONTENT "${def}" @ONLY)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})

  if(KORVALE_DLLTOOL)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${name}.lib
      COMMAND ${KORVALE_DLLTOOL} -m i386:x86-64 -d ${PROJECT_BINARY_DIR}/${name}.def
              -l ${PROJECT_BINARY_DIR}/${name}.lib
      DEPENDS ${PROJECT_BINARY_DIR}/${name}.def
      COMMENT "Making the MSVC import library ${name}.lib")
    add_custom_target(${name}_msvc_import_library ALL DEPENDS ${PROJECT_BINARY_DIR}/${name}.lib)
    install(FILES ${PROJECT_BINARY_DIR}/${name}.lib DESTINATION ${CMAKE_INSTALL_LIBDIR})
  endif()
  install(FILES ${PROJECT_BINARY_DIR}/${name}.def DESTINATION ${CMAKE_INSTALL_LIBDIR})
endfunction()
