// Exported functions of the route profile's lifecycle and columns.
#include <cstddef>
#include <cstdint>
#include <cstdio>
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

static_assert(static_cast<int>(korvale::CoastModelKind::built_in) == KORVALE_MODEL_DEFAULT &&
                  static_cast<int>(korvale::CoastModelKind::parameterised) ==
                      KORVALE_MODEL_PARAMETERISED &&
                  static_cast<int>(korvale::CoastModelKind::eco) == KORVALE_MODEL_ECO,
              "the models' numbers are the header's");

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

// The struct of version 0.2: the fields up to least_deceleration.
constexpr uint32_t VEHICLE_0_2_SIZE =
    offsetof(korvale_vehicle, least_deceleration) + sizeof(double);

// The parameters as a korvale_vehicle, its size set.
void fill(korvale_vehicle* vehicle, const korvale::VehicleParameters& p) {
    vehicle->size = sizeof(korvale_vehicle);
    vehicle->vehicle_mass = p.vehicle_mass;
    vehicle->drag_coefficient = p.drag_coefficient;
    vehicle->frontal_area = p.frontal_area;
    vehicle->air_density = p.air_density;
    vehicle->rolling_resistance = p.rolling_resistance;
    vehicle->gravity = p.gravity;
    vehicle->coast_power = p.coast_power;
    vehicle->brake_deceleration = p.brake_deceleration;
    vehicle->least_deceleration = p.least_deceleration;
}

// Why korvale_load_vehicle refuses its arguments, written into text; false when it does not.
// Allocates nothing, so that the reason is told even when memory has run out.
bool refusal(const korvale_vehicle* vehicle, std::int32_t model, char* text, std::size_t size) {
    if (vehicle == nullptr) {
        std::snprintf(text, size, "no vehicle (a null pointer)");
        return true;
    }
    if (vehicle->size < VEHICLE_0_2_SIZE) {
        std::snprintf(text, size,
                      "the vehicle's size %u is below that of korvale_vehicle (%u): fill it with "
                      "korvale_default_vehicle()",
                      static_cast<unsigned>(vehicle->size),
                      static_cast<unsigned>(VEHICLE_0_2_SIZE));
        return true;
    }
    if (korvale_model_name(model) == nullptr) {
        std::snprintf(text, size,
                      "unknown model %ld (KORVALE_MODEL_DEFAULT 0, PARAMETERISED 1 or ECO 2)",
                      static_cast<long>(model));
        return true;
    }
    char problem[128];
    if (korvale::vehicle_problem(parameters_of(*vehicle), problem, sizeof problem)) {
        std::snprintf(text, size, "vehicle refused: %s", problem);
        return true;
    }
    return false;
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
    korvale::FailureNote note;
    korvale_profile* profile =
        load_profile(path, {drag_coefficient, frontal_area, air_density, vehicle_mass, gravity,
                            rolling_resistance, coast_power, model_switch});
    note.outcome(profile != nullptr);
    return profile;
}

// (The names in parentheses: the header maps the calls of these names to the sized forms.)
void(korvale_default_vehicle)(korvale_vehicle* vehicle) {
    korvale_fill_default_vehicle(vehicle, VEHICLE_0_2_SIZE);
}

void korvale_fill_default_vehicle(korvale_vehicle* vehicle, uint32_t size) {
    if (vehicle != nullptr && size >= VEHICLE_0_2_SIZE) {
        fill(vehicle, korvale::BUILT_IN_VEHICLE);
    }
}

int32_t(korvale_vehicle_preset)(const char* name, korvale_vehicle* vehicle) {
    return korvale_fill_vehicle_preset(name, vehicle, VEHICLE_0_2_SIZE);
}

int32_t korvale_fill_vehicle_preset(const char* name, korvale_vehicle* vehicle, uint32_t size) {
    const korvale::VehiclePreset* preset = korvale::find_preset(name);
    if (preset == nullptr) {
        return 0;
    }
    if (vehicle != nullptr && size >= VEHICLE_0_2_SIZE) {
        fill(vehicle, preset->vehicle);
    }
    return 1;
}

const char* korvale_vehicle_preset_name(int32_t index) {
    return index >= 0 && static_cast<std::size_t>(index) < korvale::VEHICLE_PRESET_COUNT
               ? korvale::VEHICLE_PRESETS[index].name
               : nullptr;
}

int32_t korvale_model_from_name(const char* name) {
    korvale::CoastModelKind model{};
    return korvale::model_named(name, &model) ? static_cast<int32_t>(model) : -1;
}

const char* korvale_model_name(int32_t model) {
    return model >= 0 && model < korvale::MODEL_COUNT ? korvale::MODEL_NAMES[model] : nullptr;
}

korvale_profile* korvale_load_vehicle(const char* path, const korvale_vehicle* vehicle,
                                      int32_t model) {
    korvale::FailureNote note;
    char why[256];
    if (refusal(vehicle, model, why, sizeof why)) {
        // On standard error, where a host sees it even when it drops standard output.
        korvale::diag_error(korvale::DiagSink::standard(), "korvale_load_vehicle: %s\n", why);
        note.outcome(false);
        return nullptr;
    }
    korvale_profile* profile =
        load_profile(path, korvale::CoastModel(static_cast<korvale::CoastModelKind>(model),
                                               parameters_of(*vehicle)));
    note.outcome(profile != nullptr);
    return profile;
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
