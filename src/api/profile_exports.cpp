// Exported functions of the route profile's lifecycle and columns.
#include <cstdlib>
#include <memory>

#include "../diag.h"
#include "../profile/route_profile.h"
#include "guard.h"
#include "korvale.h"

using korvale::RouteProfile;
using korvale::api::guarded;
using korvale::api::guarded_void;

namespace {

// Exit code of the process when a route file yields no rows.
constexpr int NO_ROWS_EXIT_CODE = -1;

// Builds the profile; a route without rows, or one that does not fit in memory, prints
// "Can not load file for Korvale" and gives a null handle.
korvale_profile* load_profile(const char* path, const korvale::VehicleParameters& parameters) {
    std::unique_ptr<RouteProfile> profile;
    try {
        profile = std::make_unique<RouteProfile>(path, parameters);
    } catch (...) {
        // Not even the profile object fits in memory.
    }
    if (!profile || profile->row_count() <= 0) {
        korvale::diag_print("Can not load file for Korvale");
        return nullptr;
    }
    return reinterpret_cast<korvale_profile*>(profile.release());
}

} // namespace

extern "C" {

korvale_profile* initialize_korvale(const char* path, double drag_coefficient, double frontal_area,
                                    double air_density, double vehicle_mass, double gravity,
                                    double rolling_resistance, double coast_power,
                                    double model_switch) {
    korvale_profile* profile =
        load_profile(path, {drag_coefficient, frontal_area, air_density, vehicle_mass, gravity,
                            rolling_resistance, coast_power, model_switch});
    if (profile == nullptr) {
        std::exit(NO_ROWS_EXIT_CODE);
    }
    return profile;
}

korvale_profile* korvale_load(const char* path, double drag_coefficient, double frontal_area,
                              double air_density, double vehicle_mass, double gravity,
                              double rolling_resistance, double coast_power, double model_switch) {
    return load_profile(path, {drag_coefficient, frontal_area, air_density, vehicle_mass, gravity,
                               rolling_resistance, coast_power, model_switch});
}

void deinitialize_korvale(korvale_profile* handle) {
    delete reinterpret_cast<RouteProfile*>(handle);
}

int32_t get_korvale_rows(korvale_profile* handle) {
    return guarded<RouteProfile>(handle, -1, [](RouteProfile& p) { return p.row_count(); });
}

void get_korvale_x_vec(korvale_profile* handle, double* destination, int32_t count) {
    guarded_void<RouteProfile>(handle, [&](RouteProfile& p) {
        RouteProfile::copy_column(p.x_column(), p.row_count(), destination, count);
    });
}

void get_korvale_y_vec(korvale_profile* handle, double* destination, int32_t count) {
    guarded_void<RouteProfile>(handle, [&](RouteProfile& p) {
        RouteProfile::copy_column(p.y_column(), p.row_count(), destination, count);
    });
}

void get_korvale_z_vec(korvale_profile* handle, double* destination, int32_t count) {
    guarded_void<RouteProfile>(handle, [&](RouteProfile& p) {
        RouteProfile::copy_column(p.z_column(), p.row_count(), destination, count);
    });
}

void get_korvale_dist_vec(korvale_profile* handle, double* destination, int32_t count) {
    guarded_void<RouteProfile>(handle, [&](RouteProfile& p) {
        RouteProfile::copy_column(p.distance_column(), p.row_count(), destination, count);
    });
}

double get_max_distance_korvale(korvale_profile* handle) {
    return guarded<RouteProfile>(handle, -1.0, [](RouteProfile& p) { return p.total_length(); });
}

} // extern "C"
