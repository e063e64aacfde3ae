// Writing a file in place of another: a temporary file that must not exist yet, created for
// writing, then renamed over the file it replaces. The C library's "x" mode of fopen says the
// first on Linux, but Windows' msvcrt.dll does not know it; and its rename() refuses to replace
// a file. Both take a path as the C library's fopen does (the narrow text of the platform's
// code page on Windows), so that a file made here is found there.
#pragma once

#include <cstdio>

namespace korvale::platform {

// Creates path and opens it for writing in binary; nullptr when the file exists already
// (errno EEXIST) or cannot be made (errno says why). Never throws.
std::FILE* create_new_file(const char* path);

// Renames the file from to the name to, replacing a file of that name in one step; 0 on
// success, else an errno value that says why. Never throws.
int replace_file(const char* from, const char* to);

} // namespace korvale::platform
