// Whether the test program runs under AddressSanitizer (some checks cannot run beside it).
#pragma once

namespace korvale_test {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool address_sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool address_sanitized = true;
#else
constexpr bool address_sanitized = false;
#endif
#else
constexpr bool address_sanitized = false;
#endif

} // namespace korvale_test
