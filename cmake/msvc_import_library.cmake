# korvale.def, the exports that include/korvale.h declares, and from it the import library
# korvale.lib that Visual Studio and other MSVC-style linkers read (mingw-w64 linkers read
# libkorvale.dll.a). Both are installed beside libkorvale.dll.a. korvale.lib is made by LLVM's
# dlltool (Debian: llvm); without it only the .def is made.

# Every function declared with KORVALE_API (declarations may span lines; preprocessor lines,
# where KORVALE_API is defined, are left out).
file(READ ${PROJECT_SOURCE_DIR}/include/korvale.h korvale_header)
string(REGEX REPLACE "\n[ \t]*#[^\n]*" "" korvale_header "${korvale_header}")
string(REGEX MATCHALL "KORVALE_API[^(;]*\\(" korvale_declarations "${korvale_header}")
set(korvale_def "LIBRARY korvale.dll\nEXPORTS\n")
foreach(declaration IN LISTS korvale_declarations)
  string(REGEX REPLACE "^.*[ \t\n*]([A-Za-z_][A-Za-z_0-9]*)\\($" "\\1" name "${declaration}")
  string(APPEND korvale_def "    ${name}\n")
endforeach()
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/korvale.def CONTENT "${korvale_def}" @ONLY)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/include/korvale.h)

find_program(KORVALE_DLLTOOL NAMES llvm-dlltool llvm-dlltool-16 llvm-dlltool-15 llvm-dlltool-14)
if(KORVALE_DLLTOOL)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/korvale.lib
    COMMAND ${KORVALE_DLLTOOL} -m i386:x86-64 -d ${PROJECT_BINARY_DIR}/korvale.def
            -l ${PROJECT_BINARY_DIR}/korvale.lib
    DEPENDS ${PROJECT_BINARY_DIR}/korvale.def
    COMMENT "Making the MSVC import library korvale.lib")
  add_custom_target(korvale_msvc_import_library ALL DEPENDS ${PROJECT_BINARY_DIR}/korvale.lib)
  install(FILES ${PROJECT_BINARY_DIR}/korvale.lib DESTINATION ${CMAKE_INSTALL_LIBDIR})
else()
  message(STATUS "korvale.lib not made: llvm-dlltool not found (Debian: llvm)")
endif()
install(FILES ${PROJECT_BINARY_DIR}/korvale.def DESTINATION ${CMAKE_INSTALL_LIBDIR})
