// Reading a column between two rows: the one rule of interpolation. The queries keep the order
// of operations and the rule for short intervals that their results are specified with, as the
// named variants below; they differ in the last bits.
#pragma once

#include <cstdint>

namespace korvale {

// A query by position interpolates between two rows only when they are farther apart than this.
constexpr double MIN_INTERPOLATION_SPAN = 1e-4;

// When an interval between two rows is too short to divide by; its first row's value is read.
enum class ShortSpan {
    zero,     // queries by distance: exactly zero long (a repeated route point)
    position, // queries by position: no longer than MIN_INTERPOLATION_SPAN
};

constexpr bool too_short(double span, ShortSpan rule) {
    return rule == ShortSpan::zero ? span == 0.0 : !(span > MIN_INTERPOLATION_SPAN);
}

// How far s lies from d0 towards d1, as a share of the interval: (s - d0) / (d1 - d0), or 0 for
// an interval too short under the rule.
constexpr double interval_ratio(double s, double d0, double d1, ShortSpan rule) {
    const double span = d1 - d0;
    return too_short(span, rule) ? 0.0 : (s - d0) / span;
}

// Ratio first, the variant of the queries of all three speeds:
// column[i] + (column[i + 1] - column[i]) * ratio. From the last row on, the last row's value.
inline double interpolate_by_ratio(const double* column, std::int32_t rows, std::int32_t i,
                                   double ratio) {
    if (i >= rows - 1) {
        return column[rows - 1];
    }
    return column[i] + (column[i + 1] - column[i]) * ratio;
}

// Slope first, the variant of the queries of one value at a distance s:
// column[i] + ((column[i + 1] - column[i]) / (d[i + 1] - d[i])) * (s - d[i]); an interval of
// length zero gives row i. From the last row on, the last row's value.
inline double interpolate_by_slope(const double* column, const double* distance, std::int32_t rows,
                                   std::int32_t i, double s) {
    if (i >= rows - 1) {
        return column[rows - 1];
    }
    const double span = distance[i + 1] - distance[i];
    if (too_short(span, ShortSpan::zero)) {
        return column[i];
    }
    const double slope = (column[i + 1] - column[i]) / span;
    return column[i] + slope * (s - distance[i]);
}

} // namespace korvale
