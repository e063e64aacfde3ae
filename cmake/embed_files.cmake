# Writes a C++ source that holds files as byte arrays, with a table of their names and content
# types: the files of the dashboard page, built into the korvale tool.
#
#   cmake -DOUTPUT=page_assets.cpp "-DFILES=a.html|b.js|c.css" -P embed_files.cmake
#
# The output is rewritten only when its text changes.
string(REPLACE "|" ";" files "${FILES}")
set(arrays "")
set(table "")
set(index 0)
foreach(file IN LISTS files)
  get_filename_component(name "${file}" NAME)
  get_filename_component(extension "${file}" LAST_EXT)
  if(extension STREQUAL ".html")
    set(type "text/html; charset=utf-8")
  elseif(extension STREQUAL ".js")
    set(type "text/javascript; charset=utf-8")
  elseif(extension STREQUAL ".css")
    set(type "text/css; charset=utf-8")
  else()
    message(FATAL_ERROR "embed_files: no content type for ${file}")
  endif()
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" digits)
  if(digits EQUAL 0)
    message(FATAL_ERROR "embed_files: ${file} is empty")
  endif()
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char asset_${index}[] = {${bytes}};\n")
  string(APPEND table "    {\"${name}\", \"${type}\", asset_${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()

set(text "// Generated from the dashboard page's files by cmake/embed_files.cmake; do not edit.
#include \"dashboard_page_assets.h\"

namespace korvale_tool {

namespace {
${arrays}} // namespace

const PageAsset PAGE_ASSETS[] = {
${table}};
const std::size_t PAGE_ASSET_COUNT = sizeof PAGE_ASSETS / sizeof PAGE_ASSETS[0];

} // namespace korvale_tool
")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${text}")
