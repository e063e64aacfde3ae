// A file that must not exist yet, created for writing: the route writer's temporary file, which
// must never take over a file of the same name. The C library's "x" mode of fopen says that on
// Linux, but mingw-w64's C library (msvcrt.dll) ignores it and truncates the file; the
// platform's own exclusive creation says it on both. The path is taken as fopen takes it (on
// Windows, the narrow text of the code page).
#pragma once

#include <cstdio>

namespace korvale::platform {

// Creates path and opens it for writing in binary; nullptr when the file exists already
// (errno EEXIST) or cannot be made (errno says why). Never throws.
std::FILE* create_new_file(const char* path);

} // namespace korvale::platform
