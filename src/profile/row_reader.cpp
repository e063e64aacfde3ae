#include "profile/row_reader.h"

#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/c_library.h"

namespace korvale {

namespace {

constexpr const char* ROW_PATTERN = "%lf %lf %lf %lf %lf %lf";
constexpr std::size_t MAX_PIECE = 1023;

// The white space of the C locale, which every locale counts as white space.
constexpr bool standard_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

struct SpaceTable {
    bool is_space[256] = {};
    constexpr SpaceTable() {
        for (int c = 0; c < 256; ++c) {
            is_space[c] = standard_space(static_cast<char>(c));
        }
    }
};
constexpr SpaceTable SPACES;

bool space(char c) {
    return SPACES.is_space[static_cast<unsigned char>(c)];
}

bool digit(char c) {
    return static_cast<unsigned>(c - '0') < 10u;
}

// Appends the digits at p to mantissa (wrapping when there are more than fit; the caller counts
// them) and returns where they end.
const char* read_digits(const char* p, const char* end, std::uint64_t* mantissa) {
    std::uint64_t m = *mantissa;
    for (; p < end && digit(*p); ++p) {
        m = m * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    *mantissa = m;
    return p;
}

// Powers of ten that a double holds exactly.
constexpr double EXACT_POWERS_OF_TEN[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                          1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int MAX_EXACT_POWER = 22;
constexpr std::uint64_t MAX_EXACT_MANTISSA = std::uint64_t{1} << 53;
constexpr int MAX_KEPT_DIGITS = 19; // fit an unsigned 64-bit integer

enum class Scan { number, end_of_line, unsure };

constexpr bool ROUNDED_TWICE = platform::decimal_input_rounding == platform::DecimalRounding::twice;

// Splits a into two halves of at most 26 significant bits each, whose products are exact.
void split(double a, double* high, double* low) {
    constexpr double VELTKAMP = 134217729.0; // 2^27 + 1
    const double c = VELTKAMP * a;
    *high = c - (c - a);
    *low = a - *high;
}

// a * b - product exactly, where product is a * b rounded (Dekker; far from overflow and
// underflow, and with no fused multiply-add, which the build forbids).
double product_error(double a, double b, double product) {
    double a_high = 0;
    double a_low = 0;
    double b_high = 0;
    double b_low = 0;
    split(a, &a_high, &a_low);
    split(b, &b_high, &b_low);
    return ((a_high * b_high - product) + a_high * b_low + a_low * b_high) + a_low * b_low;
}

// Whether a C library that rounds first to a 64-bit significand and then to double may read
// mantissa * power (or mantissa / power) as another double than `nearest`, its correct
// rounding: only when the exact value lies within one 64-bit step of halfway between nearest
// and a neighbour, or nearest is a power of two (the step below it is half the step above).
bool may_round_differently_twice(double mantissa, double power, bool divide, double nearest) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &nearest, sizeof bits);
    bits &= 0x7ff0000000000000u; // 2^e of nearest's binade
    double binade = 0;
    std::memcpy(&binade, &bits, sizeof binade);
    if (binade == std::fabs(nearest)) {
        return true;
    }
    // A 64-bit significand has 2^11 steps to one step of a double: the long double lands on
    // halfway when the exact value is within half a 64-bit step of it. Twice that is flagged.
    const double near_halfway = binade * 0x1p-52 * (0.5 - 0x1p-11);
    if (!divide) {
        return std::fabs(product_error(mantissa, power, nearest)) >= near_halfway;
    }
    // The remainder mantissa - nearest * power is exact: the product's high part is within a
    // factor two of mantissa, so the first difference is exact, and the remainder of a
    // correctly rounded quotient is a double.
    const double product = nearest * power;
    const double remainder = (mantissa - product) - product_error(nearest, power, product);
    return std::fabs(remainder) >= near_halfway * power;
}

// A number as scan_number reads it: sign, significant digits and power of ten.
struct NumberText {
    bool negative = false;
    std::uint64_t mantissa = 0; // the significant digits (wrapped when there are too many)
    int significant = 0;        // how many significant digits were read
    int exponent = 0;           // the power of ten of the mantissa's last digit
};

// The sign, the integer digits and the fraction at p; false when they hold no digit.
bool scan_significand(const char*& p, const char* end, NumberText* number) {
    if (p < end && (*p == '+' || *p == '-')) {
        number->negative = *p == '-';
        ++p;
    }
    const char* digits_start = p;
    while (p < end && *p == '0') {
        ++p; // leading zeros
    }
    const char* integer_start = p;
    p = read_digits(p, end, &number->mantissa);
    number->significant = static_cast<int>(p - integer_start);
    bool any_digit = p != digits_start;
    if (p < end && *p == '.') {
        ++p;
        const char* fraction_start = p;
        if (number->significant == 0) {
            while (p < end && *p == '0') {
                ++p; // zeros that only place the first significant digit
            }
        }
        const char* significant_start = p;
        p = read_digits(p, end, &number->mantissa);
        number->significant += static_cast<int>(p - significant_start);
        number->exponent = -static_cast<int>(p - fraction_start);
        any_digit = any_digit || p != fraction_start;
    }
    return any_digit;
}

// An exponent at p, when there is one, added to *exponent; false when it has no digit.
bool scan_exponent(const char*& p, const char* end, int* exponent) {
    if (!(p < end && (*p == 'e' || *p == 'E'))) {
        return true;
    }
    ++p;
    bool negative_exponent = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative_exponent = *p == '-';
        ++p;
    }
    if (p == end || !digit(*p)) {
        return false;
    }
    int written = 0;
    for (; p < end && digit(*p); ++p) {
        if (written < 100000) {
            written = written * 10 + (*p - '0');
        }
    }
    *exponent += negative_exponent ? -written : written;
    return true;
}

// The value of the number text[0..length) read as number: one exact operation on exact values
// where that suffices, else strtod on the text.
Scan convert_number(const char* text, std::size_t length, const NumberText& number, double* value) {
    const bool long_digits = number.significant > MAX_KEPT_DIGITS;
    if (number.mantissa == 0 && !long_digits) {
        *value = number.negative ? -0.0 : 0.0;
        return Scan::number;
    }
    if (!long_digits && number.mantissa <= MAX_EXACT_MANTISSA &&
        number.exponent >= -MAX_EXACT_POWER && number.exponent <= MAX_EXACT_POWER) {
        // The sign goes on before the one rounding, so that every rounding mode agrees.
        const double m = number.negative ? -static_cast<double>(number.mantissa)
                                         : static_cast<double>(number.mantissa);
        const bool divide = number.exponent < 0;
        const double power = EXACT_POWERS_OF_TEN[divide ? -number.exponent : number.exponent];
        *value = divide ? m / power : m * power;
        if (ROUNDED_TWICE && may_round_differently_twice(m, power, divide, *value)) {
            return Scan::unsure;
        }
        return Scan::number;
    }
    if (platform::decimal_input_rounding != platform::DecimalRounding::once) {
        return Scan::unsure; // strtod rounds once
    }
    char token[MAX_PIECE + 1];
    if (length > MAX_PIECE) {
        return Scan::unsure;
    }
    std::memcpy(token, text, length);
    token[length] = '\0';
    char* stop = nullptr;
    *value = std::strtod(token, &stop);
    return stop == token + length ? Scan::number : Scan::unsure;
}

// Reads one number at *p: optional sign, digits with an optional decimal point (at least one
// digit), an optional exponent with at least one digit, then white space or the end of the
// line. A number with at most 2^53 as its significant digits and a power of ten of at most 22
// either way is one exact operation on exact values, rounded once, as a correctly rounding C
// library's conversion rounds it (a library that rounds twice agrees except near halfway
// between two doubles, where the number is unsure); other numbers of this form go to strtod,
// which glibc's "%lf" is made of. Anything else is unsure, and the caller leaves the whole line
// to sscanf.
Scan scan_number(const char*& p, const char* end, double* value) {
    while (p < end && space(*p)) {
        ++p;
    }
    if (p == end) {
        return Scan::end_of_line;
    }
    const char* start = p;
    NumberText number;
    if (!scan_significand(p, end, &number)) {
        return Scan::unsure;
    }
    if (!scan_exponent(p, end, &number.exponent)) {
        return Scan::unsure;
    }
    if (p < end && !space(*p)) {
        return Scan::unsure;
    }
    return convert_number(start, static_cast<std::size_t>(p - start), number, value);
}

} // namespace

RowReader::RowReader() {
    // The quick reading knows the C locale's decimal point and white space and one exact
    // rounding of doubles; the probe asks the C library itself how it reads a row just now.
    double probe[6] = {0, 0, 0, 0, 0, 0};
    const bool point_is_decimal_point =
        std::sscanf("0.5 1.25 -2.5e1 .5 4. 5.5", ROW_PATTERN, &probe[0], &probe[1], &probe[2],
                    &probe[3], &probe[4], &probe[5]) == 6 &&
        probe[0] == 0.5 && probe[1] == 1.25 && probe[2] == -25.0 && probe[3] == 0.5 &&
        probe[4] == 4.0 && probe[5] == 5.5;
    quick = platform::decimal_input_rounding != platform::DecimalRounding::unknown &&
            FLT_EVAL_METHOD == 0 && std::fegetround() == FE_TONEAREST && point_is_decimal_point;
}

bool RowReader::read(const char* text, std::size_t length, double values[6]) const {
    if (quick && length <= MAX_PIECE) {
        const char* p = text;
        const char* end = text + length;
        double read_values[6];
        int n = 0;
        for (; n < 6; ++n) {
            const Scan scan = scan_number(p, end, &read_values[n]);
            if (scan == Scan::end_of_line) {
                return false; // sscanf runs out of input before the sixth number
            }
            if (scan == Scan::unsure) {
                break;
            }
        }
        if (n == 6) {
            std::memcpy(values, read_values, sizeof read_values);
            return true;
        }
    }
    return read_with_sscanf(text, length, values);
}

bool RowReader::read_with_sscanf(const char* text, std::size_t length, double values[6]) {
    char line[MAX_PIECE + 1];
    const std::size_t n = length < MAX_PIECE ? length : MAX_PIECE;
    std::memcpy(line, text, n);
    line[n] = '\0';
    double v[6] = {0, 0, 0, 0, 0, 0};
    if (std::sscanf(line, ROW_PATTERN, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) != 6) {
        return false;
    }
    std::memcpy(values, v, sizeof v);
    return true;
}

} // namespace korvale
