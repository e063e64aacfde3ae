// Exported functions of the route profile's lifecycle and columns.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

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
korvale_profile* load_profile(const char* path, const korvale::CoastModel& model) {
    std::unique_ptr<RouteProfile> profile;
    try {
        profile = std::make_unique<RouteProfile>(path, model);
    } catch (...) {
        // Not even the profile object fits in memory.
    }
    if (!profile || profile->row_count() <= 0) {
        korvale::diag_print("Can not load file for Korvale");
        return nullptr;
    }
    return reinterpret_cast<korvale_profile*>(profile.release());
}

korvale_profile* load_profile(const char* path, const korvale::VehicleParameters& parameters) {
    return load_profile(path, korvale::CoastModel(parameters));
}

// The models of korvale_load_vehicle by their number; false for any other number.
bool model_kind(std::int32_t model, korvale::CoastModelKind* kind) {
    switch (model) {
    case KORVALE_MODEL_DEFAULT:
        *kind = korvale::CoastModelKind::built_in;
        return true;
    case KORVALE_MODEL_PARAMETERISED:
        *kind = korvale::CoastModelKind::parameterised;
        return true;
    case KORVALE_MODEL_ECO:
        *kind = korvale::CoastModelKind::eco;
        return true;
    default:
        return false;
    }
}

// The vehicle's parameters; model_switch stays 0, since the model is chosen by number.
korvale::VehicleParameters parameters_of(const korvale_vehicle& v) {
    korvale::VehicleParameters p;
    p.drag_coefficient = v.drag_coefficient;
    p.frontal_area = v.frontal_area;
    p.air_density = v.air_density;
    p.vehicle_mass = v.vehicle_mass;
    p.gravity = v.gravity;
    p.rolling_resistance = v.rolling_resistance;
    p.coast_power = v.coast_power;
    p.brake_deceleration = v.brake_deceleration;
    p.least_deceleration = v.least_deceleration;
    return p;
}

// One line on standard error, where a host sees it even when it drops standard output.
korvale_profile* refuse(const char* why) {
    std::fprintf(stderr, "korvale_load_vehicle: %s\n", why);
    std::fflush(stderr);
    return nullptr;
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

void korvale_default_vehicle(korvale_vehicle* vehicle) {
    if (vehicle == nullptr) {
        return;
    }
    const korvale::VehicleParameters car;
    const korvale::VehicleParameters& built_in = korvale::BUILT_IN_VEHICLE;
    vehicle->size = sizeof(korvale_vehicle);
    vehicle->vehicle_mass = built_in.vehicle_mass;
    vehicle->drag_coefficient = built_in.drag_coefficient;
    vehicle->frontal_area = built_in.frontal_area;
    vehicle->air_density = built_in.air_density;
    vehicle->rolling_resistance = built_in.rolling_resistance;
    vehicle->gravity = built_in.gravity;
    vehicle->coast_power = built_in.coast_power;
    vehicle->brake_deceleration = car.brake_deceleration;
    vehicle->least_deceleration = car.least_deceleration;
}

korvale_profile* korvale_load_vehicle(const char* path, const korvale_vehicle* vehicle,
                                      int32_t model) {
    try {
        if (vehicle == nullptr) {
            return refuse("no vehicle (a null pointer)");
        }
        if (vehicle->size < sizeof(korvale_vehicle)) {
            const std::string why = "the vehicle's size " + std::to_string(vehicle->size) +
                                    " is below that of korvale_vehicle (" +
                                    std::to_string(sizeof(korvale_vehicle)) +
                                    "): fill it with korvale_default_vehicle()";
            return refuse(why.c_str());
        }
        korvale::CoastModelKind kind{};
        if (!model_kind(model, &kind)) {
            return refuse(("unknown model " + std::to_string(model) +
                           " (KORVALE_MODEL_DEFAULT 0, PARAMETERISED 1 or ECO 2)")
                              .c_str());
        }
        const korvale::VehicleParameters parameters = parameters_of(*vehicle);
        const std::string problem = korvale::vehicle_problem(parameters);
        if (!problem.empty()) {
            return refuse(("vehicle refused: " + problem).c_str());
        }
        return load_profile(path, korvale::CoastModel(kind, parameters));
    } catch (...) {
        return nullptr; // no memory even for a message
    }
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
