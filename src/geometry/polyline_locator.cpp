#include "geometry/polyline_locator.h"

#include <algorithm>
#include <cmath>

namespace korvale {

namespace {

// Whether a square above best may still have the same correctly rounded root. Two roots that
// round to the same double have squares within a factor 1 + 2^-51 of each other; below
// TINY_SQUARE, where squares lose precision, the roots are always compared.
constexpr double NEAR_TIE_FACTOR = 1.0 + 1.0 / (1ULL << 40);
constexpr double TINY_SQUARE = 1e-280;

bool may_share_root(double squared, double best) {
    return squared <= best * NEAR_TIE_FACTOR || best < TINY_SQUARE;
}

} // namespace

PolylineLocator::PolylineLocator(const double* x, const double* y, const double* z,
                                 std::int32_t n) {
    distances.push_back(0.0);
    num_points = n;
    if (n > 0) {
        points.reserve(static_cast<std::size_t>(n));
        distances.reserve(static_cast<std::size_t>(n));
        segment_lengths.reserve(static_cast<std::size_t>(n - 1));
    }
    for (std::int32_t i = 0; i < n; ++i) {
        points.emplace_back(x[i], y[i], z[i]);
        if (i >= 1) {
            // (a - b is exactly -(b - a), so the length is the same in both directions)
            const double step = Vector3(points.at(i) - points.at(i - 1)).norm();
            distances.push_back(distances.at(i - 1) + step);
            segment_lengths.push_back(step);
        }
    }
}

Point3 PolylineLocator::point_at_index(std::int32_t i) const {
    const std::int32_t k = num_points - 1;
    const std::int32_t m = i < k ? i : k;
    const std::int32_t r = m < 0 ? 0 : m;
    return points.at(static_cast<std::size_t>(r));
}

std::int32_t PolylineLocator::index_at_distance(double d) const {
    const std::int32_t n = num_points;
    if (n < 1) {
        return 0;
    }
    if (d > distances.at(n - 1)) {
        return n - 1;
    }
    if (n == 1) {
        return 0;
    }
    if (distances.at(0) > d) {
        return 0;
    }
    // From here every probe lies in 0..n-1.
    const double* at = distances.data();
    std::int32_t lo = 0;
    std::int32_t hi = n - 1;
    // hi - lo is never negative, so integer division rounds the half span down.
    std::int32_t mid = (hi - lo) / 2;
    while (hi - lo > 1) {
        const double at_mid = at[mid];
        if (at_mid == d) {
            return mid;
        }
        // Chosen without a branch: which way a probe goes is as good as random.
        const bool above = at_mid > d;
        hi = above ? mid : hi;
        lo = above ? lo : mid;
        mid = lo + (hi - lo) / 2;
    }
    return mid;
}

std::int32_t PolylineLocator::index_at_distance_near(double d, std::int32_t hint) const {
    const std::int32_t n = num_points;
    // Cumulative distances never decrease, and a NaN anywhere reaches the last one. So when d
    // lies strictly between the first and the last distance, the binary search's answer is the
    // i with distances[i] < d < distances[i + 1], unless some distance equals d: then the probe
    // that meets it first decides, and the binary search itself answers.
    if (n < 3 || !(d > distances.at(0) && d < distances.at(n - 1))) {
        return index_at_distance(d);
    }
    constexpr int MAX_STEPS = 64; // beyond that the binary search is the quicker
    const double* at = distances.data();
    std::int32_t i = std::max(0, std::min(n - 2, hint));
    int steps = 0;
    if (at[i] < d) {
        while (at[i + 1] < d) { // stops at n - 2 at the latest
            ++i;
            if (++steps == MAX_STEPS) {
                return index_at_distance(d);
            }
        }
    } else {
        while (!(at[i] < d)) { // stops at 0 at the latest
            --i;
            if (++steps == MAX_STEPS) {
                return index_at_distance(d);
            }
        }
    }
    if (at[i + 1] == d) {
        return index_at_distance(d);
    }
    return i;
}

double PolylineLocator::distance_at_index(std::int32_t i) const {
    const std::int32_t m = std::min(i, num_points - 1);
    return distances.at(m < 0 ? 0 : static_cast<std::size_t>(m));
}

Segment PolylineLocator::segment_at_index(std::int32_t i) const {
    const std::int32_t n = num_points;
    if (i >= n - 1) {
        const Point3 last = points.at(n - 1);
        return Segment(last, last + END_SEGMENT_OFFSET);
    }
    if (i <= 0) {
        return Segment(points.at(0), points.at(1));
    }
    return Segment(points.at(i), points.at(i + 1));
}

Point3 PolylineLocator::position_at_distance(double d) const {
    const std::int32_t i = index_at_distance(d);
    const double base = distance_at_index(i);
    return segment_at_index(i).point_at(d - base, true);
}

SegmentWindow PolylineLocator::search_window(double center, double range, std::int32_t near) const {
    const std::int32_t n = num_points;
    SegmentWindow window;
    window.lo = std::max(0, std::min(n - 2, index_at_distance_near(center - range, near)));
    window.hi = std::min(n - 1, std::max(2, index_at_distance_near(center + range, near) + 1));
    return window;
}

PolylineHit PolylineLocator::nearest_point(Point3 position, SegmentWindow window) const {
    const std::int32_t lo = window.lo;                           // read checked below
    const std::int32_t hi = std::min(window.hi, num_points - 1); // so lo..hi lie inside the points
    // Candidates are compared by squared distance; only where two squares differ so little
    // that their roots may be equal are the roots compared, so that equal distances still go
    // to the later segment.
    Point3 temp_point = points.at(lo);
    double best_squared = squared_distance_between(temp_point, position);
    std::int32_t best_segment = lo;
    const Point3* point = points.data(); // lo..hi lie inside the points
    const double* length = segment_lengths.data();
    for (std::int32_t i = lo + 1; i <= hi; ++i) {
        // The later point is the segment's start.
        const Segment segment(point[i], point[i - 1]);
        const Point3 p_on_segment = segment.closest_point(position, length[i - 1]);
        const double squared = squared_distance_between(p_on_segment, position);
        if (squared <= best_squared || (may_share_root(squared, best_squared) &&
                                        std::sqrt(squared) <= std::sqrt(best_squared))) {
            best_squared = squared;
            best_segment = i - 1;
            temp_point = p_on_segment;
        }
    }
    const double distance =
        distances.at(best_segment) + distance_between(points.at(best_segment), temp_point);
    return {best_segment, temp_point, distance};
}

PolylineHit PolylineLocator::nearest_point_around(Point3 position, double center, double range,
                                                  std::int32_t near) const {
    return nearest_point(position, search_window(center, range, near));
}

} // namespace korvale
