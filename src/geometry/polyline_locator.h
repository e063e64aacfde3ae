// The route as a 3-D polyline: its points, the cumulative distance at each point, and the
// searches between positions and distances along it.
#pragma once

#include <cstdint>
#include <vector>

#include "point3.h"
#include "segment.h"

namespace korvale {

// Added to each coordinate of the last point to form the segment beyond the end of the route.
constexpr double END_SEGMENT_OFFSET = 0.01;

class PolylineLocator {
public:
    // Copies n points from x, y, z (each at least n long) and sums the 3-D step lengths.
    // n <= 0 gives a locator with no points and the single distance 0.0.
    PolylineLocator(const double* x, const double* y, const double* z, std::int32_t n);

    std::int32_t num_points() const { return num_points_; }

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

    // Maps a position to the nearest point of the polyline within a window of route distance
    // around the previous result (the whole route for a full search, and always for the first
    // search), writes the distance along the route of that point and returns it. A position
    // equal to the previous one is answered from the cache.
    Point3 locate_position(Point3 position, double* distance_out, double search_window,
                           bool full_search);

    double get_last_lookup_distance() const { return last_lookup_distance; }
    std::int32_t get_last_lookup_segment() const { return last_lookup_segment; }
    // Distance between the position of the last lookup and the point it was mapped to; -1.0
    // before the first lookup.
    double last_lookup_offset() const {
        return last_lookup_segment < 0
                   ? -1.0
                   : distance_between(last_lookup_position, last_lookup_result_point);
    }

private:
    std::vector<Point3> points;
    std::vector<double> distances;
    // Length of the segment that starts at each point but the last, as Segment::length() gives
    // it in either direction.
    std::vector<double> segment_lengths;
    std::int32_t num_points_ = 0;
    double last_lookup_distance = 0.0;
    std::int32_t last_lookup_segment = -1;
    Point3 last_lookup_position;
    Point3 last_lookup_result_point;
};

} // namespace korvale
