// What the queries by position of one profile carry from call to call: the last lookup, which
// both answers a repeat of the same position and centres the window of the next search.
#pragma once

#include <cstdint>

#include "../geometry/point3.h"
#include "../geometry/polyline_locator.h"

namespace korvale {

// The points lo..hi whose segments a search examines.
struct SegmentWindow {
    std::int32_t lo = 0;
    std::int32_t hi = 0;
};

// The window rule: from the segment that holds center - range up to and including the segment
// that holds center + range, and at least the first two segments near the start; both ends
// inside the points, so that routes of one or two points are searched safely too. near is the
// segment where the ends are looked for first.
SegmentWindow search_window_bounds(const PolylineLocator& route, double center, double range,
                                   std::int32_t near);

class PositionTracker {
public:
    // A tracker of a vehicle along route, which must outlive it; no lookup made yet.
    explicit PositionTracker(const PolylineLocator& route) : route(&route) {}

    // Maps a position to the nearest point of the route within a window of route distance
    // around the previous result (the whole route for a full search, and always for the first
    // search), writes the distance along the route of that point and returns it. A position
    // equal to the previous one is answered from the last lookup.
    Point3 locate_position(Point3 position, double* distance_out, double search_window,
                           bool full_search);

    double get_last_lookup_distance() const { return last_lookup_distance; }
    // The segment of the last lookup; -1 before the first.
    std::int32_t get_last_lookup_segment() const { return last_lookup_segment; }
    // Distance between the position of the last lookup and the point it was mapped to; -1.0
    // before the first lookup.
    double last_lookup_offset() const {
        return last_lookup_segment < 0
                   ? -1.0
                   : distance_between(last_lookup_position, last_lookup_result_point);
    }

private:
    const PolylineLocator* route;
    double last_lookup_distance = 0.0;
    std::int32_t last_lookup_segment = -1;
    Point3 last_lookup_position;
    Point3 last_lookup_result_point;
};

} // namespace korvale
