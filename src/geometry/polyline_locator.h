// The route as a 3-D polyline: its points, the cumulative distance at each point, and the
// searches between positions and distances along it. Immutable once built: what a vehicle's
// position queries carry from call to call lives with the route profile's tracker.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/point3.h"
#include "geometry/segment.h"

namespace korvale {

// Added to each coordinate of the last point to form the segment beyond the end of the route.
constexpr double END_SEGMENT_OFFSET = 0.01;

// The points lo..hi whose segments a search examines.
struct SegmentWindow {
    std::int32_t lo = 0;
    std::int32_t hi = 0;
};

// The point of the polyline nearest to a position, as the segment search finds it.
struct PolylineHit {
    std::int32_t segment = 0; // the segment it lies on (its first point's index)
    Point3 point;             // the point itself
    double distance = 0.0;    // its distance along the route, m
};

class PolylineLocator {
public:
    // Copies n points from x, y, z (each at least n long) and sums the 3-D step lengths.
    // n <= 0 gives a locator with no points and the single distance 0.0.
    PolylineLocator(const double* x, const double* y, const double* z, std::int32_t n);

    std::int32_t get_num_points() const { return num_points; }
    // The cumulative distance at every point: 0.0 and one running sum of 3-D step lengths per
    // further point (the one 0.0 without points).
    const std::vector<double>& get_distances() const { return distances; }
    // The cumulative distance at the last point (throws std::out_of_range without points).
    double total_length() const { return distances.at(static_cast<std::size_t>(num_points - 1)); }

    // Copy of a route point, the index clamped to the points held.
    Point3 point_at_index(std::int32_t i) const;

    // Index of the point that begins the stretch holding d: a segment index for d within the
    // route, 0 below it, n-1 beyond it. Exact hits return the probed index at once.
    std::int32_t index_at_distance(double d) const;
    // The same index as index_at_distance(d), found by walking from the segment hint when d
    // lies a few segments from it; hint may be any value.
    std::int32_t index_at_distance_near(double d, std::int32_t hint) const;
    // Cumulative distance at i, the index clamped to 0..n-1.
    double distance_at_index(std::int32_t i) const;
    // The segment that follows point i; beyond the last point, a short segment along the unit
    // diagonal; at or below 0, the first segment.
    Segment segment_at_index(std::int32_t i) const;
    // The point at a distance along the route, extrapolated beyond both ends.
    Point3 position_at_distance(double d) const;

    // The window rule: the points from the segment that holds center - range up to and
    // including the segment that holds center + range, and at least the first two segments
    // near the start; both ends inside the points, so that routes of one or two points are
    // searched safely too. near is the segment where the ends are looked for first.
    SegmentWindow search_window(double center, double range, std::int32_t near) const;
    // The segment search: the point nearest to position among point lo and the segments from
    // point lo to point hi (both inside the points); of equally near points the one on the
    // later segment wins.
    PolylineHit nearest_point(Point3 position, SegmentWindow window) const;
    // Both: the nearest point within the window around center.
    PolylineHit nearest_point_around(Point3 position, double center, double range,
                                     std::int32_t near) const;

private:
    std::vector<Point3> points;
    std::vector<double> distances;
    // Length of the segment that starts at each point but the last, as Segment::length() gives
    // it in either direction.
    std::vector<double> segment_lengths;
    std::int32_t num_points = 0;
};

} // namespace korvale
