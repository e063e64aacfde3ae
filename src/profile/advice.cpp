#include "profile/advice.h"

#include <algorithm>

#include "profile/profile_columns.h"
#include "profile/route_profile.h"
#include "profile/speed_models.h"

namespace korvale {

namespace {

// The predictive model's plan wavers a little where it cruises: a local minimum of its
// recommended speed that lies less than this below the local maximum before it is no slow-down,
// km/h.
constexpr double PREDICTIVE_LEAST_DROP = 2.0;

// The first row beyond distance and within end where the drive slows down below speed_kmh, or
// -1 when there is none. For the predictive model only minima at least PREDICTIVE_LEAST_DROP
// below the top of the fall into them count.
std::int32_t slowdown_row(const RouteProfile& profile, double distance, double end,
                          double speed_kmh) {
    const std::int32_t rows = profile.row_count();
    const Column& d = profile.distance_column();
    const Column& recommended = profile.recommended_speed_column();
    const bool shallow_ones_count = profile.coast_model().kind() != CoastModelKind::predictive;
    // First row strictly beyond the distance (never row 0, which has no row before it).
    auto first = std::upper_bound(d.begin(), d.begin() + rows, distance);
    std::int32_t j = std::max<std::int32_t>(1, static_cast<std::int32_t>(first - d.begin()));
    // The top of the fall (the run of rows that never rise) that row j - 1 ends.
    double top = 0.0;
    if (!shallow_ones_count && j < rows) {
        std::int32_t k = j - 1;
        while (k > 0 && recommended[k - 1] >= recommended[k]) {
            --k;
        }
        top = recommended[k];
    }
    for (; j < rows && d[j] <= end; ++j) {
        if (!shallow_ones_count && recommended[j] > recommended[j - 1]) {
            top = recommended[j];
        }
        if (slows_down_at(recommended.data(), rows, j) && recommended[j] < speed_kmh &&
            (shallow_ones_count || top - recommended[j] >= PREDICTIVE_LEAST_DROP)) {
            break;
        }
    }
    return j >= rows || !(d[j] <= end) ? -1 : j;
}

// Where the speed walked back from row j's recommended speed (with the profile's model, its
// physics alone, segment by segment) reaches speed_kmh, searched back to the segment that holds
// distance; the point may lie before distance. False when the walk does not reach speed_kmh
// there.
bool walk_back_to_speed(const RouteProfile& profile, std::int32_t j, double distance,
                        double speed_kmh, double* crossing_out) {
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
            // Linear between the two rows: where the walked-back speed equals speed_kmh. The
            // share of the segment lies in [0, 1] since v_here < speed_kmh <= v_before; taken
            // first, it cannot overflow. Where it is no number (both speeds infinite) the
            // earlier row is the answer that arrives slow enough.
            const double share = (speed_kmh - v_here) / (v_before - v_here);
            *crossing_out = d[k] + (share <= 1.0 ? share : 1.0) * (d[k - 1] - d[k]);
            return true;
        }
        if (d[k - 1] <= distance) {
            break;
        }
        v_here = v_before;
    }
    return false;
}

// The slow-down ahead and where the walk back from it reaches speed_kmh (possibly before
// distance); -1 in the row without a slow-down.
struct Found {
    std::int32_t row = -1;
    bool reached = false;
    double crossing = 0.0;
};

Found find_slowdown(const RouteProfile& profile, double distance, double speed_kmh,
                    double horizon) {
    Found found;
    if (profile.row_count() < 2 || !(horizon >= 0.0)) {
        return found;
    }
    found.row = slowdown_row(profile, distance, distance + horizon, speed_kmh);
    if (found.row >= 0) {
        found.reached =
            walk_back_to_speed(profile, found.row, distance, speed_kmh, &found.crossing);
    }
    return found;
}

// The slow-down at row j; lift off at liftoff, kept between distance and the slow-down.
Slowdown slowdown_at(const RouteProfile& profile, std::int32_t j, double liftoff, double distance) {
    Slowdown out;
    out.distance = profile.distance_column()[j];
    out.target_speed = profile.recommended_speed_column()[j];
    out.liftoff_distance = std::min(std::max(liftoff, distance), out.distance);
    return out;
}

} // namespace

bool next_slowdown(const RouteProfile& profile, double distance, double speed_kmh, double horizon,
                   Slowdown* out) {
    const Found found = find_slowdown(profile, distance, speed_kmh, horizon);
    if (found.row < 0) {
        return false;
    }
    // "Lift off now" when the walk does not reach the speed before the vehicle.
    *out = slowdown_at(profile, found.row, found.reached ? found.crossing : distance, distance);
    return true;
}

bool advise(const RouteProfile& profile, double distance, double speed_kmh, double horizon,
            Advice* out) {
    const Found found = find_slowdown(profile, distance, speed_kmh, horizon);
    if (found.row < 0) {
        *out = Advice{};
        return false;
    }
    Advice advice;
    if (found.reached && found.crossing >= distance) {
        advice.action = AdviceAction::lift_off;
        advice.slowdown = slowdown_at(profile, found.row, found.crossing, distance);
    } else {
        advice.action = AdviceAction::brake;
        advice.slowdown = slowdown_at(profile, found.row, distance, distance);
        const double v = speed_kmh / KMH_PER_MS;
        const double target = advice.slowdown.target_speed / KMH_PER_MS;
        const double needed =
            (v * v - target * target) / (2.0 * (advice.slowdown.distance - distance));
        const Column& d = profile.distance_column();
        const std::int32_t rows = profile.row_count();
        // The segment that holds distance (the first or last one outside the route).
        const auto after = std::upper_bound(d.begin(), d.begin() + rows, distance) - d.begin();
        const auto segment =
            std::clamp<std::int32_t>(static_cast<std::int32_t>(after) - 1, 0, rows - 2);
        const double grade = segment_grade(profile.x_column().data(), profile.y_column().data(),
                                           profile.z_column().data(), segment);
        const double braking =
            needed - profile.coast_model().coasting_deceleration(grade, speed_kmh);
        advice.deceleration = braking > 0.0 ? braking : 0.0;
    }
    *out = advice;
    return true;
}

} // namespace korvale
