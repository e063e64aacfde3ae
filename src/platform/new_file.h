// The route writer's files: its temporary file, which must not exist yet and must never take
// over a file of the same name, and the rename of the finished file over an old route. The C
// library's "x" mode of fopen says the first on Linux, but mingw-w64's C library (msvcrt.dll)
// ignores it and truncates the file; its rename refuses the second. The platform's own calls
// say both. Paths are taken as fopen takes them (on Windows, the narrow text of the code page,
// which std::filesystem would read otherwise).
#pragma once

#include <cstdio>
#include <system_error>

namespace korvale::platform {

// Creates path and opens it for writing in binary; nullptr when the file exists already
// (errno EEXIST) or cannot be made (errno says why). Never throws.
std::FILE* create_new_file(const char* path);

// Renames the file from to to, replacing a file at to; empty when that worked, else why not.
// Never throws.
std::error_code replace_file(const char* from, const char* to);

} // namespace korvale::platform
