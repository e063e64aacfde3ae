// Child processes for tests: a command line run through the system's shell, and its exit code
// as the parent sees it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace korvale_test {

#ifdef _WIN32
// A process that ends with exit(-1) shows its parent all 32 bits of the code...
constexpr int EXIT_MINUS_ONE_SEEN_BY_PARENT = -1;
// ... and the shell (cmd.exe) has no ulimit.
constexpr bool SHELL_HAS_ULIMIT = false;
#else
// ... and only its low 8 bits here.
constexpr int EXIT_MINUS_ONE_SEEN_BY_PARENT = 255;
constexpr bool SHELL_HAS_ULIMIT = true;
#endif

// A path as a quoted word of a command line (no quotes of its own inside), with the system's
// separators, so that the Windows shell runs a program named by a path with forward slashes.
inline std::string quoted_path(const std::string& path) {
    return "\"" + std::filesystem::absolute(path).make_preferred().string() + "\"";
}

// Runs a command line through the shell; the command's exit code, or -1 when it did not exit.
inline int run_shell(const std::string& command) {
#ifdef _WIN32
    // cmd.exe /c drops the first and the last quote of a line that starts with one.
    return std::system(("\"" + command + "\"").c_str());
#else
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

} // namespace korvale_test
