#include "tool_output.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdexcept>

namespace korvale_tool {

namespace {

bool verbose_lines = false;

// The library's lines, one a line on standard error.
void to_standard_error(std::int32_t /*level*/, const char* line, void* /*user*/) {
    std::fprintf(stderr, "%s\n", line);
    std::fflush(stderr);
}

} // namespace

void set_verbose(bool verbose) {
    verbose_lines = verbose;
}

korvale::DiagSink library_lines() {
    return verbose_lines ? korvale::DiagSink::to(to_standard_error, nullptr)
                         : korvale::DiagSink::dropped();
}

void warn(const std::string& message) {
    std::cout.flush();
    std::cerr << "korvale: warning: " << message << "\n";
}

void require_readable(const std::string& path, const std::string& what) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    int error = file == nullptr ? (errno != 0 ? errno : ENOENT) : 0;
    if (file != nullptr) {
        errno = 0;
        std::fgetc(file);
        error = std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
        std::fclose(file);
    }
    if (error != 0) {
        throw std::runtime_error("cannot read " + what + " '" + path +
                                 "': " + std::strerror(error));
    }
}

} // namespace korvale_tool
