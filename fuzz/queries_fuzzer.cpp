// A small route made from the input (repeated points, vertical segments, NaN, infinite and huge
// coordinates among them), then a sequence of queries by distance and by position with any
// doubles, any full_search and any window. Every query runs through the exports (compiled into
// this binary), with any of the three models, and the tracking state is checked against what the
// rest of the profile expects of it.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_support.h"
#include "korvale.h"
#include "profile/route_profile.h"

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();
constexpr int MAX_ROWS = 12;
constexpr int MAX_QUERIES = 64;

struct Row {
    double v[6];
};

// Values that break arithmetic: signed zeros, denormals, the ends of the double range.
constexpr double SPECIAL[] = {0.0,
                              -0.0,
                              1.0,
                              -1.0,
                              10.0,
                              100.0,
                              1e-310,
                              std::numeric_limits<double>::min(),
                              std::numeric_limits<double>::epsilon(),
                              1e154,
                              1e300,
                              -1e300,
                              std::numeric_limits<double>::max(),
                              -std::numeric_limits<double>::max(),
                              INF,
                              -INF,
                              NaN};

// Any double, mostly small integers so that routes look like roads and queries land on them.
double any_double(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return SPECIAL[in.ConsumeIntegralInRange<std::size_t>(0, std::size(SPECIAL) - 1)];
    case 1: {
        const auto bits = in.ConsumeIntegral<std::uint64_t>();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    case 2:
        return in.ConsumeFloatingPointInRange(-1000.0, 1000.0);
    default:
        return static_cast<double>(in.ConsumeIntegralInRange(-50, 50)) * 10.0;
    }
}

std::string route_text(const std::vector<Row>& rows) {
    std::string text;
    char line[256];
    for (const Row& r : rows) {
        std::snprintf(line, sizeof line, "%.17g %.17g %.17g %.17g %.17g %.17g\n", r.v[0], r.v[1],
                      r.v[2], r.v[3], r.v[4], r.v[5]);
        text += line;
    }
    return text;
}

std::vector<Row> make_route(FuzzedDataProvider& in) {
    const int n = in.ConsumeIntegralInRange(1, MAX_ROWS);
    std::vector<Row> rows;
    for (int i = 0; i < n; ++i) {
        Row r{};
        const int shape = in.ConsumeIntegralInRange(0, 3);
        if (shape == 1 && !rows.empty()) {
            r = rows.back(); // a repeated point
        } else if (shape == 2 && !rows.empty()) {
            r = rows.back(); // straight above or below the point before
            r.v[2] += any_double(in);
        } else {
            for (int k = 0; k < 3; ++k) {
                r.v[k] = any_double(in);
            }
        }
        r.v[3] = in.ConsumeBool() ? 10000.0 : any_double(in); // radius
        r.v[4] = in.ConsumeBool() ? 80.0 : any_double(in);    // speed limit
        r.v[5] = in.ConsumeBool() ? 0.0 : any_double(in);     // superelevation
        rows.push_back(r);
    }
    return rows;
}

// A route as a road can be: coordinates within 1000 km, positive radii up to 10 000 km, limits
// from 0 to 300 km/h and superelevations from 0 to 0.2. Its speeds must all be numbers.
bool plausible(const std::vector<Row>& rows) {
    for (const Row& r : rows) {
        for (int k = 0; k < 3; ++k) {
            if (!(std::fabs(r.v[k]) <= 1e6)) {
                return false;
            }
        }
        if (!(r.v[3] > 0 && r.v[3] <= 1e7 && r.v[4] >= 0 && r.v[4] <= 300 && r.v[5] >= 0 &&
              r.v[5] <= 0.2)) {
            return false;
        }
    }
    return true;
}

bool all_finite(const std::vector<Row>& rows) {
    for (const Row& r : rows) {
        for (int k = 0; k < 3; ++k) {
            if (!std::isfinite(r.v[k])) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    korvale_fuzz::silence_standard_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const korvale_fuzz::ScratchFile file;
    FuzzedDataProvider in(data, size);
    const std::vector<Row> rows = make_route(in);
    const std::string text = route_text(rows);
    file.write(text.data(), text.size());
    // The built-in car with each model; the parameterised one with a power term.
    const auto model = in.ConsumeIntegralInRange<int32_t>(KORVALE_MODEL_DEFAULT, KORVALE_MODEL_ECO);
    korvale_vehicle car;
    korvale_default_vehicle(&car);
    car.coast_power = model == KORVALE_MODEL_PARAMETERISED ? 1000.0 : 0.0;
    korvale_profile* handle = korvale_load_vehicle(file.path(), &car, model);
    KORVALE_FUZZ_CHECK(handle != nullptr);
    const auto& profile = *reinterpret_cast<const korvale::RouteProfile*>(handle);
    const int32_t n = get_korvale_rows(handle);
    KORVALE_FUZZ_CHECK(n == static_cast<int32_t>(rows.size()));
    const double length = get_max_distance_korvale(handle);
    const bool finite_route = all_finite(rows) && std::isfinite(length);
    if (plausible(rows)) {
        for (int32_t i = 0; i < n; ++i) {
            const auto k = static_cast<std::size_t>(i);
            const double limit = rows[k].v[4];
            const double recommended = profile.recommended_speed_column()[k];
            KORVALE_FUZZ_CHECK(recommended >= 0.0 && recommended <= limit);
            KORVALE_FUZZ_CHECK(profile.coasting_speed_column()[k] >= 0.0);
        }
    }

    double d = 0, a = 0, b = 0, c = 0;
    for (int q = 0; q < MAX_QUERIES && in.remaining_bytes() > 0; ++q) {
        const int kind = in.ConsumeIntegralInRange(0, 7);
        const double s = any_double(in);
        const double px = any_double(in), py = any_double(in), pz = any_double(in);
        const auto full_search = in.ConsumeIntegral<int32_t>();
        const double window = any_double(in);
        switch (kind) {
        case 0:
            get_max_speed_at_distance(handle, s);
            get_recomended_speed_at_distance(handle, s);
            get_coasting_speed_at_distance(handle, s);
            break;
        case 1:
            KORVALE_FUZZ_CHECK(get_all_at_distance(handle, s, &a, &b, &c) == 1);
            break;
        case 2: {
            double xyz[3];
            KORVALE_FUZZ_CHECK(get_pos_at_distance(handle, s, &a, &b, &c) == 1);
            KORVALE_FUZZ_CHECK(get_pos_at_polyline_location(handle, s, xyz, full_search) == 1);
            break;
        }
        case 3:
            d = get_distance_at_position(handle, px, py, pz, full_search, window);
            break;
        case 4:
            KORVALE_FUZZ_CHECK(
                get_all_at_position(handle, px, py, pz, full_search, window, &d, &a, &b, &c) == 1);
            break;
        case 5:
            get_max_speed_at_position(handle, px, py, pz);
            get_recomended_speed_at_position(handle, px, py, pz);
            get_coasting_speed_at_position(handle, px, py, pz);
            break;
        case 6: {
            a = b = c = NaN;
            const int32_t found = korvale_next_slowdown(handle, s, px, window, &a, &b, &c);
            KORVALE_FUZZ_CHECK(found == 0 || found == 1);
            if (found == 1 && finite_route && std::isfinite(s)) {
                // Beyond the vehicle and within the horizon, slower than the vehicle, and the
                // lift-off point between the vehicle and the slow-down.
                KORVALE_FUZZ_CHECK(a > s && a <= s + window);
                KORVALE_FUZZ_CHECK(b < px);
                KORVALE_FUZZ_CHECK(c >= s && c <= a);
            }
            // The advice is about the same slow-down and lift-off point (the vehicle's distance
            // when it is too late: brake, at no less than 0).
            int32_t action = -1;
            double liftoff = NaN, target = NaN, target_speed = NaN, deceleration = NaN;
            KORVALE_FUZZ_CHECK(korvale_advice(handle, s, px, window, &action, &liftoff, &target,
                                              &target_speed, &deceleration) == found);
            KORVALE_FUZZ_CHECK(found == 1 ? action == KORVALE_ADVICE_LIFT_OFF ||
                                                action == KORVALE_ADVICE_BRAKE
                                          : action == KORVALE_ADVICE_KEEP);
            if (found == 1) {
                KORVALE_FUZZ_CHECK(std::memcmp(&target, &a, sizeof a) == 0);
                KORVALE_FUZZ_CHECK(std::memcmp(&target_speed, &b, sizeof b) == 0);
                KORVALE_FUZZ_CHECK(deceleration >= 0.0);
                // (on a route whose distances are not all finite the walk may find no number
                // where to lift off: korvale_next_slowdown says NaN, the advice to brake now)
                KORVALE_FUZZ_CHECK(
                    std::memcmp(&liftoff, &c, sizeof c) == 0 ||
                    (std::isnan(c) && liftoff == s && action == KORVALE_ADVICE_BRAKE));
            }
            break;
        }
        default:
            korvale_offset_from_route(handle);
            break;
        }
        if (kind >= 3 && kind <= 5) {
            // The tracking state names a segment whose two rows exist, or the one point of a
            // one-row route.
            const int32_t segment = profile.position_tracker()->get_last_lookup_segment();
            KORVALE_FUZZ_CHECK(segment >= 0 && segment <= (n >= 2 ? n - 2 : 0));
            // On a finite route a finite position maps to a distance on the route.
            const double found = profile.position_tracker()->get_last_lookup_distance();
            if (finite_route && std::isfinite(px) && std::isfinite(py) && std::isfinite(pz)) {
                const double slack = 1e-9 * (1.0 + length);
                KORVALE_FUZZ_CHECK(found >= -slack && found <= length + slack);
            }
        }
    }
    deinitialize_korvale(handle);
    return 0;
}
