// Diagnostic output of the library: one formatted line to standard output.
#pragma once

#include <cstdio>

#if defined(__GNUC__) || defined(__clang__)
#define KORVALE_PRINTF_FORMAT(fmt_index, first_arg)                                                \
    __attribute__((format(printf, fmt_index, first_arg)))
#else
#define KORVALE_PRINTF_FORMAT(fmt_index, first_arg)
#endif

namespace korvale {

// Where the diagnostic lines of one profile's construction or one link go. The library's exports
// always use standard(): its lines on standard output, the loader's open-failure line on
// standard error. A program that builds profiles or links itself (the korvale tool) may point
// them at other streams, or drop them with a null stream.
struct DiagSink {
    std::FILE* lines;  // what goes to standard output; null drops it
    std::FILE* errors; // the loader's open-failure line (standard error); null drops it

    static DiagSink standard() { return {stdout, stderr}; }
};

// Writes one diagnostic message to standard output with the conversions of printf and flushes
// it, so that the line is out even when the process ends right after it. Never throws.
void diag_print(const char* format, ...) KORVALE_PRINTF_FORMAT(1, 2);

// The same to the sink's lines stream (nothing when it is null).
void diag_print(const DiagSink& sink, const char* format, ...) KORVALE_PRINTF_FORMAT(2, 3);

// The same to the sink's errors stream (nothing when it is null).
void diag_error(const DiagSink& sink, const char* format, ...) KORVALE_PRINTF_FORMAT(2, 3);

} // namespace korvale
