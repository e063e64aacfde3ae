// Any bytes as a route file: the non-fatal load, the profile's construction and a few queries
// of every kind on what it built. The exports are compiled into this binary, so an exception
// that the export guard would turn into a failure value is caught here as well: the same
// queries run once through the exports and once on the profile object itself.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "fuzz_support.h"
#include "korvale.h"
#include "profile/advice.h"
#include "profile/route_profile.h"
#include "profile/vehicle.h"

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();
// Rows whose distances and points are queried one by one; more would only slow the run.
constexpr std::int32_t ROWS_QUERIED = 48;

// The built-in car, and a parameterised model with a power term.
constexpr korvale::VehicleParameters CAR = korvale::BUILT_IN_VEHICLE;
constexpr double DEFAULT_CAR[8] = {CAR.drag_coefficient, CAR.frontal_area, CAR.air_density,
                                   CAR.vehicle_mass,     CAR.gravity,      CAR.rolling_resistance,
                                   CAR.coast_power,      CAR.model_switch};
constexpr double POWERED_CAR[8] = {CAR.drag_coefficient,
                                   CAR.frontal_area,
                                   CAR.air_density,
                                   CAR.vehicle_mass,
                                   CAR.gravity,
                                   CAR.rolling_resistance,
                                   1000,
                                   1};

void query_at_distance(korvale_profile* handle, korvale::RouteProfile& profile, double d) {
    double a = 0, b = 0, c = 0;
    get_max_speed_at_distance(handle, d);
    get_recomended_speed_at_distance(handle, d);
    get_coasting_speed_at_distance(handle, d);
    KORVALE_FUZZ_CHECK(get_all_at_distance(handle, d, &a, &b, &c) == 1);
    KORVALE_FUZZ_CHECK(get_pos_at_distance(handle, d, &a, &b, &c) == 1);
    double xyz[3];
    KORVALE_FUZZ_CHECK(get_pos_at_polyline_location(handle, d, xyz, 0) == 1);
    for (double speed : {30.0, 130.0, NaN}) {
        for (double horizon : {500.0, INF}) {
            const int32_t found = korvale_next_slowdown(handle, d, speed, horizon, &a, &b, &c);
            KORVALE_FUZZ_CHECK(found == 0 || found == 1);
            if (found == 1) {
                // The lift-off point never lies beyond the slow-down it leads to.
                KORVALE_FUZZ_CHECK(!(c > a));
            }
        }
    }
    // The same on the object, where an exception would end the run.
    profile.max_speed_at_distance(d);
    profile.recommended_speed_at_distance(d);
    profile.coasting_speed_at_distance(d);
    profile.all_at_distance(d, &a, &b, &c);
    profile.pos_at_distance(d, &a, &b, &c);
    korvale::Slowdown slowdown;
    korvale::next_slowdown(profile, d, 90.0, 2000.0, &slowdown);
}

void query_at_position(korvale_profile* handle, korvale::RouteProfile& profile, double x, double y,
                       double z) {
    double d = 0, a = 0, b = 0, c = 0;
    for (int32_t full_search : {0, 1}) {
        get_distance_at_position(handle, x, y, z, full_search, 100.0);
        KORVALE_FUZZ_CHECK(
            get_all_at_position(handle, x + 1, y, z, full_search, 50.0, &d, &a, &b, &c) == 1);
    }
    get_max_speed_at_position(handle, x, y + 1, z);
    get_recomended_speed_at_position(handle, x, y + 1, z);
    get_coasting_speed_at_position(handle, x, y + 2, z);
    korvale_offset_from_route(handle);
    profile.distance_at_position(x, y, z + 1, false, 10.0);
    profile.all_at_position(x, y, z + 2, true, 10.0, &d, &a, &b, &c);
    profile.max_speed_at_position(x, y, z + 3);
    profile.recommended_speed_at_position(x, y, z + 4);
    profile.coasting_speed_at_position(x, y, z + 5);
    profile.offset_from_route();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    korvale_fuzz::silence_standard_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const korvale_fuzz::ScratchFile file;
    file.write(data, size);
    // Odd sizes coast with the parameterised model, even ones with the built-in car.
    const double* car = size % 2 == 1 ? POWERED_CAR : DEFAULT_CAR;
    korvale_profile* handle =
        korvale_load(file.path(), car[0], car[1], car[2], car[3], car[4], car[5], car[6], car[7]);
    if (handle == nullptr) {
        return 0;
    }
    auto& profile = *reinterpret_cast<korvale::RouteProfile*>(handle);
    const int32_t rows = get_korvale_rows(handle);
    KORVALE_FUZZ_CHECK(rows >= 1);
    KORVALE_FUZZ_CHECK(rows == profile.row_count());

    std::vector<double> x(static_cast<std::size_t>(rows)), y(x.size()), z(x.size()),
        distance(x.size());
    get_korvale_x_vec(handle, x.data(), rows);
    get_korvale_y_vec(handle, y.data(), rows);
    get_korvale_z_vec(handle, z.data(), rows);
    get_korvale_dist_vec(handle, distance.data(), rows);
    const double length = get_max_distance_korvale(handle);
    KORVALE_FUZZ_CHECK(distance[0] == 0.0);

    for (double d : {-1.0, 0.0, length / 2, length, length + 1, NaN, INF, -INF}) {
        query_at_distance(handle, profile, d);
    }
    for (int32_t i = 0; i < rows && i < ROWS_QUERIED; ++i) {
        query_at_distance(handle, profile, distance[static_cast<std::size_t>(i)]);
    }
    for (int32_t i = 0; i < rows && i < ROWS_QUERIED; ++i) {
        const auto k = static_cast<std::size_t>(i);
        query_at_position(handle, profile, x[k], y[k], z[k]);
    }
    query_at_position(handle, profile, NaN, 0, 0);
    query_at_position(handle, profile, 1e300, -1e300, INF);
    deinitialize_korvale(handle);
    return 0;
}
