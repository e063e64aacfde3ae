// What the loader may assume of the C library's conversion of decimal text to double.
#pragma once

#include <cfloat>
#include <cstdio> // defines the C library's identifying macros

namespace korvale::platform {

// How "%lf" rounds a plain decimal number (digits, a point, an exponent) in the current
// rounding mode. Where that is known, the loader converts the simple numbers of a route file
// itself and leaves the rest to the C library; elsewhere every line goes through "%lf" as it
// stands. The loader's differential tests hold the claim against this library.
enum class DecimalRounding {
    unknown,
    // straight to the nearest double (glibc)
    once,
    // first to the 64-bit significand of long double, then to double (mingw-w64's own C99
    // scanf): a number whose long double falls exactly halfway between two doubles may end one
    // step away from the nearest double ("59229597.886558" reads as 0x418c3e2cef17abb8, the
    // nearest double is ...abb9)
    twice,
};

#if defined(__GLIBC__)
constexpr DecimalRounding decimal_input_rounding = DecimalRounding::once;
#elif defined(__MINGW32__) && __USE_MINGW_ANSI_STDIO && LDBL_MANT_DIG == 64
constexpr DecimalRounding decimal_input_rounding = DecimalRounding::twice;
#else
constexpr DecimalRounding decimal_input_rounding = DecimalRounding::unknown;
#endif

} // namespace korvale::platform
