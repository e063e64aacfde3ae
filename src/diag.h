// Diagnostic output of the library: one formatted line to standard output.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define KORVALE_PRINTF_FORMAT(fmt_index, first_arg)                                                \
    __attribute__((format(printf, fmt_index, first_arg)))
#else
#define KORVALE_PRINTF_FORMAT(fmt_index, first_arg)
#endif

namespace korvale {

// Writes one diagnostic message to standard output with the conversions of printf and flushes
// it, so that the line is out even when the process ends right after it. Never throws.
void diag_print(const char* format, ...) KORVALE_PRINTF_FORMAT(1, 2);

} // namespace korvale
