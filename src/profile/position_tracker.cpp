#include "position_tracker.h"

#include <algorithm>

namespace korvale {

SegmentWindow search_window_bounds(const PolylineLocator& route, double center, double range,
                                   std::int32_t near) {
    const std::int32_t n = route.get_num_points();
    SegmentWindow window;
    window.lo = std::max(0, std::min(n - 2, route.index_at_distance_near(center - range, near)));
    window.hi =
        std::min(n - 1, std::max(2, route.index_at_distance_near(center + range, near) + 1));
    return window;
}

Point3 PositionTracker::locate_position(Point3 position, double* distance_out, double search_window,
                                        bool full_search) {
    if (position == last_lookup_position && last_lookup_segment >= 0) {
        *distance_out = last_lookup_distance;
        return last_lookup_result_point;
    }
    const bool full = full_search || last_lookup_segment < 0;
    const double range = full ? route->total_length() : search_window;
    const SegmentWindow window =
        search_window_bounds(*route, last_lookup_distance, range, last_lookup_segment);
    const PolylineHit hit = route->nearest_point(position, window.lo, window.hi);
    *distance_out = hit.distance;
    last_lookup_distance = hit.distance;
    last_lookup_segment = hit.segment;
    last_lookup_result_point = hit.point;
    last_lookup_position = position;
    return hit.point;
}

} // namespace korvale
