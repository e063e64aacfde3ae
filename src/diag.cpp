#include "diag.h"

#include <cstdarg>
#include <cstdio>

namespace korvale {

namespace {

void write_line(std::FILE* stream, const char* format, va_list args) {
    if (stream == nullptr) {
        return;
    }
    std::vfprintf(stream, format, args);
    std::fflush(stream);
}

} // namespace

void diag_print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    write_line(stdout, format, args);
    va_end(args);
}

void diag_print(const DiagSink& sink, const char* format, ...) {
    va_list args;
    va_start(args, format);
    write_line(sink.lines, format, args);
    va_end(args);
}

void diag_error(const DiagSink& sink, const char* format, ...) {
    va_list args;
    va_start(args, format);
    write_line(sink.errors, format, args);
    va_end(args);
}

} // namespace korvale
