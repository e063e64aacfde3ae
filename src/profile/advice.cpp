#include "advice.h"

#include <algorithm>

#include "profile_columns.h"
#include "route_profile.h"
#include "speed_models.h"

namespace korvale {

bool next_slowdown(const RouteProfile& profile, double distance, double speed_kmh, double horizon,
                   Slowdown* out) {
    const std::int32_t rows = profile.row_count();
    const Column& d = profile.distance_column();
    const Column& recommended = profile.recommended_speed_column();
    if (rows < 2 || !(horizon >= 0.0)) {
        return false;
    }
    const double end = distance + horizon;
    // First row strictly beyond the distance (never row 0, which has no row before it).
    auto first = std::upper_bound(d.begin(), d.begin() + rows, distance);
    std::int32_t j = std::max<std::int32_t>(1, static_cast<std::int32_t>(first - d.begin()));
    for (; j < rows && d[j] <= end; ++j) {
        if (slows_down_at(recommended.data(), rows, j) && recommended[j] < speed_kmh) {
            break;
        }
    }
    if (j >= rows || !(d[j] <= end)) {
        return false;
    }

    const CoastModel& model = profile.coast_model();
    const double* x = profile.x_column().data();
    const double* y = profile.y_column().data();
    const double* z = profile.z_column().data();
    double liftoff = distance; // "lift off now" unless the run reaches the speed before it
    double v_here = recommended[j];
    for (std::int32_t k = j; k >= 1; --k) {
        const double v_before =
            model.physics(segment_grade(x, y, z, k - 1), v_here, d[k], d[k - 1]);
        if (v_before >= speed_kmh) {
            // Linear between the two rows: where the coasting speed equals speed_kmh. The share
            // of the segment lies in [0, 1] since v_here < speed_kmh <= v_before; taken first,
            // it cannot overflow. Where it is no number (both speeds infinite) the earlier row
            // is the answer that arrives slow enough.
            const double share = (speed_kmh - v_here) / (v_before - v_here);
            const double crossing = d[k] + (share <= 1.0 ? share : 1.0) * (d[k - 1] - d[k]);
            liftoff = std::max(crossing, distance);
            break;
        }
        if (d[k - 1] <= distance) {
            break;
        }
        v_here = v_before;
    }
    out->distance = d[j];
    out->target_speed = recommended[j];
    out->liftoff_distance = std::min(liftoff, d[j]);
    return true;
}

} // namespace korvale
