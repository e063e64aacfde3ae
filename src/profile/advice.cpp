#include "advice.h"

#include <algorithm>

#include "profile_columns.h"
#include "route_profile.h"
#include "speed_models.h"

namespace korvale {

namespace {

// The first row beyond distance and within end where the drive slows down below speed_kmh, or
// -1 when there is none.
std::int32_t slowdown_row(const RouteProfile& profile, double distance, double end,
                          double speed_kmh) {
    const std::int32_t rows = profile.row_count();
    const Column& d = profile.distance_column();
    const Column& recommended = profile.recommended_speed_column();
    // First row strictly beyond the distance (never row 0, which has no row before it).
    auto first = std::upper_bound(d.begin(), d.begin() + rows, distance);
    std::int32_t j = std::max<std::int32_t>(1, static_cast<std::int32_t>(first - d.begin()));
    for (; j < rows && d[j] <= end; ++j) {
        if (slows_down_at(recommended.data(), rows, j) && recommended[j] < speed_kmh) {
            break;
        }
    }
    return j >= rows || !(d[j] <= end) ? -1 : j;
}

// Where a vehicle at speed_kmh, coasting with the profile's model (its physics alone), starts to
// arrive at row j with its recommended speed: walked back from row j segment by segment; never
// before distance.
double liftoff_before(const RouteProfile& profile, std::int32_t j, double distance,
                      double speed_kmh) {
    const CoastModel& model = profile.coast_model();
    const Column& d = profile.distance_column();
    const double* x = profile.x_column().data();
    const double* y = profile.y_column().data();
    const double* z = profile.z_column().data();
    double v_here = profile.recommended_speed_column()[j];
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
            return std::max(crossing, distance);
        }
        if (d[k - 1] <= distance) {
            break;
        }
        v_here = v_before;
    }
    return distance; // "lift off now": the run does not reach the speed before the vehicle
}

} // namespace

bool next_slowdown(const RouteProfile& profile, double distance, double speed_kmh, double horizon,
                   Slowdown* out) {
    if (profile.row_count() < 2 || !(horizon >= 0.0)) {
        return false;
    }
    const std::int32_t j = slowdown_row(profile, distance, distance + horizon, speed_kmh);
    if (j < 0) {
        return false;
    }
    const double at = profile.distance_column()[j];
    out->distance = at;
    out->target_speed = profile.recommended_speed_column()[j];
    out->liftoff_distance = std::min(liftoff_before(profile, j, distance, speed_kmh), at);
    return true;
}

} // namespace korvale
