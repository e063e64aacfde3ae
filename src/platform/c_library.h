// What the loader may assume of the C library's conversion of decimal text to double.
#pragma once

#include <cstdio> // defines the C library's identifying macros

namespace korvale::platform {

// True where "%lf" is known to give the correctly rounded double for every plain decimal
// number in the current rounding mode, so that the loader may convert the simple numbers of a
// route file itself and leave the rest to the C library. Elsewhere every line goes through
// "%lf" as it stands. The loader's differential test holds the claim against this library.
#if defined(__GLIBC__)
constexpr bool decimal_input_correctly_rounded = true;
#else
constexpr bool decimal_input_correctly_rounded = false;
#endif

} // namespace korvale::platform
