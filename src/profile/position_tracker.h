// What the queries by position of one profile carry from call to call: the last lookup, which
// both answers a repeat of the same position and centres the window of the next search. (Defined
// here in full, so that every query by position reaches the locator's search in one call.)
#pragma once

#include <cstdint>

#include "geometry/point3.h"
#include "geometry/polyline_locator.h"

namespace korvale {

class PositionTracker {
public:
    // A tracker of a vehicle along route, which must outlive it; no lookup made yet.
    explicit PositionTracker(const PolylineLocator& route) : route(&route) {}

    // Maps a position to the nearest point of the route within a window of route distance
    // around the previous result (the whole route for a full search, and always for the first
    // search), writes the distance along the route of that point and returns it. A position
    // equal to the previous one is answered from the last lookup.
    Point3 locate_position(Point3 position, double* distance_out, double search_window,
                           bool full_search) {
        if (position == last_lookup_position && last_lookup_segment >= 0) {
            *distance_out = last_lookup_distance;
            return last_lookup_result_point;
        }
        const bool full = full_search || last_lookup_segment < 0;
        const double range = full ? route->total_length() : search_window;
        const PolylineHit hit =
            route->nearest_point_around(position, last_lookup_distance, range, last_lookup_segment);
        *distance_out = hit.distance;
        last_lookup_distance = hit.distance;
        last_lookup_segment = hit.segment;
        last_lookup_result_point = hit.point;
        last_lookup_position = position;
        return hit.point;
    }

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
