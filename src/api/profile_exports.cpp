// Exported functions of the route profile's lifecycle and columns.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "api/guard.h"
#include "diag.h"
#include "korvale.h"
#include "profile/route_profile.h"
#include "sim/profile_planner.h"

using korvale::RouteProfile;
using korvale::api::guarded;
using korvale::api::guarded_void;

namespace {

static_assert(static_cast<int>(korvale::CoastModelKind::built_in) == KORVALE_MODEL_DEFAULT &&
                  static_cast<int>(korvale::CoastModelKind::parameterised) ==
                      KORVALE_MODEL_PARAMETERISED &&
                  static_cast<int>(korvale::CoastModelKind::eco) == KORVALE_MODEL_ECO &&
                  static_cast<int>(korvale::CoastModelKind::predictive) == KORVALE_MODEL_PREDICTIVE,
              "the models' numbers are the header's");
static_assert(static_cast<int>(korvale::dynamics::PowertrainKind::ev) == KORVALE_POWERTRAIN_EV &&
                  static_cast<int>(korvale::dynamics::PowertrainKind::ice) ==
                      KORVALE_POWERTRAIN_ICE,
              "the powertrains' numbers are the header's");

// Exit code of the process when a route file yields no rows.
constexpr int NO_ROWS_EXIT_CODE = -1;

// The planner of the predictive model's profiles.
const korvale::sim::PredictivePlanner PLANNER;

// Builds the profile; a route without rows, or one that does not fit in memory, prints
// "Can not load file for Korvale" and gives a null handle; so does a predictive model without a
// plan, but with the reason on standard error instead ("korvale_load_vehicle: no plan: ...").
korvale_profile* load_profile(const char* path, const korvale::CoastModel& model) {
    std::unique_ptr<RouteProfile> profile;
    try {
        profile = std::make_unique<RouteProfile>(path, model, nullptr,
                                                 korvale::DiagSink::standard(), &PLANNER);
    } catch (...) {
        // Not even the profile object fits in memory.
    }
    if (profile && !profile->plan_failure().empty()) {
        korvale::diag_error(korvale::DiagSink::standard(), "korvale_load_vehicle: no plan: %s\n",
                            profile->plan_failure().c_str());
        return nullptr;
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

// The struct of version 0.2: the fields up to least_deceleration.
constexpr uint32_t VEHICLE_0_2_SIZE =
    offsetof(korvale_vehicle, least_deceleration) + sizeof(double);

// Where each member of korvale_vehicle after size lies, in order.
struct Member {
    std::size_t offset;
    std::size_t size;
};
#define KORVALE_MEMBER(name)                                                                       \
    { offsetof(korvale_vehicle, name), sizeof(korvale_vehicle::name) }
constexpr Member MEMBERS[] = {
    KORVALE_MEMBER(vehicle_mass),
    KORVALE_MEMBER(drag_coefficient),
    KORVALE_MEMBER(frontal_area),
    KORVALE_MEMBER(air_density),
    KORVALE_MEMBER(rolling_resistance),
    KORVALE_MEMBER(gravity),
    KORVALE_MEMBER(coast_power),
    KORVALE_MEMBER(brake_deceleration),
    KORVALE_MEMBER(least_deceleration),
    KORVALE_MEMBER(powertrain),
    KORVALE_MEMBER(reserved),
    KORVALE_MEMBER(max_power),
    KORVALE_MEMBER(max_acceleration),
    KORVALE_MEMBER(comfortable_braking),
    KORVALE_MEMBER(rotating_mass_factor),
    KORVALE_MEMBER(drive_efficiency),
    KORVALE_MEMBER(regen_efficiency),
    KORVALE_MEMBER(max_regen_power),
    KORVALE_MEMBER(aux_power),
    KORVALE_MEMBER(engine_efficiency),
    KORVALE_MEMBER(idle_power),
    KORVALE_MEMBER(time_budget),
};
#undef KORVALE_MEMBER

// Copies every member that lies wholly within the first size bytes from source to destination
// (never the padding between them); returns where the last one copied ends.
uint32_t copy_members(korvale_vehicle* destination, const korvale_vehicle* source,
                      std::size_t size) {
    std::size_t end = sizeof destination->size;
    for (const Member& member : MEMBERS) {
        if (member.offset + member.size <= size) {
            std::memcpy(reinterpret_cast<unsigned char*>(destination) + member.offset,
                        reinterpret_cast<const unsigned char*>(source) + member.offset,
                        member.size);
            end = member.offset + member.size;
        }
    }
    return static_cast<uint32_t>(end);
}

// The members of korvale_vehicle that are a parameter each, and where each lies in the
// parameters (powertrain and idle_power are told apart below; model_switch has no member).
struct Mapped {
    double korvale_vehicle::*member;
    double* (*parameter)(korvale::VehicleParameters&);
};
#define KORVALE_MAPPED(member, parameter)                                                          \
    {                                                                                              \
        &korvale_vehicle::member, [](korvale::VehicleParameters& p) { return &p.parameter; }       \
    }
const Mapped MAPPED[] = {
    KORVALE_MAPPED(vehicle_mass, vehicle_mass),
    KORVALE_MAPPED(drag_coefficient, drag_coefficient),
    KORVALE_MAPPED(frontal_area, frontal_area),
    KORVALE_MAPPED(air_density, air_density),
    KORVALE_MAPPED(rolling_resistance, rolling_resistance),
    KORVALE_MAPPED(gravity, gravity),
    KORVALE_MAPPED(coast_power, coast_power),
    KORVALE_MAPPED(brake_deceleration, brake_deceleration),
    KORVALE_MAPPED(least_deceleration, least_deceleration),
    KORVALE_MAPPED(max_power, drive.max_power),
    KORVALE_MAPPED(max_acceleration, drive.max_acceleration),
    KORVALE_MAPPED(comfortable_braking, drive.comfortable_braking),
    KORVALE_MAPPED(rotating_mass_factor, drive.rotating_mass_factor),
    KORVALE_MAPPED(drive_efficiency, drive.ev.drive_efficiency),
    KORVALE_MAPPED(regen_efficiency, drive.ev.regen_efficiency),
    KORVALE_MAPPED(max_regen_power, drive.ev.max_regen_power),
    KORVALE_MAPPED(aux_power, drive.ev.aux_power),
    KORVALE_MAPPED(engine_efficiency, drive.ice.wheel_efficiency),
    KORVALE_MAPPED(time_budget, time_budget),
};
#undef KORVALE_MAPPED

// The parameters as a whole korvale_vehicle, its size set.
korvale_vehicle vehicle_of(korvale::VehicleParameters p) {
    korvale_vehicle v{};
    v.size = sizeof(korvale_vehicle);
    for (const Mapped& m : MAPPED) {
        v.*m.member = *m.parameter(p);
    }
    v.powertrain = static_cast<int32_t>(p.powertrain);
    v.idle_power = korvale::idle_power(p.drive.ice);
    return v;
}

// The caller's vehicle with every member beyond its size taken from the built-in car.
korvale_vehicle whole_vehicle(const korvale_vehicle& caller) {
    korvale_vehicle v = vehicle_of(korvale::BUILT_IN_VEHICLE);
    copy_members(&v, &caller, caller.size);
    return v;
}

// The vehicle's parameters; model_switch stays 0, since the model is chosen by number. An
// unknown powertrain reads as ev (refusal() looks first), and the idle power as the built-in
// car's fuel.
korvale::VehicleParameters parameters_of(const korvale_vehicle& v) {
    korvale::VehicleParameters p = korvale::BUILT_IN_VEHICLE;
    for (const Mapped& m : MAPPED) {
        *m.parameter(p) = v.*m.member;
    }
    p.model_switch = 0.0;
    p.powertrain = v.powertrain == KORVALE_POWERTRAIN_ICE ? korvale::dynamics::PowertrainKind::ice
                                                          : korvale::dynamics::PowertrainKind::ev;
    korvale::set_idle_power(&p.drive.ice, v.idle_power);
    return p;
}

// Fills the members of vehicle that lie wholly within size with the parameters.
void fill(korvale_vehicle* vehicle, uint32_t size, const korvale::VehicleParameters& p) {
    if (vehicle == nullptr || size < VEHICLE_0_2_SIZE) {
        return;
    }
    const korvale_vehicle whole = vehicle_of(p);
    vehicle->size = copy_members(vehicle, &whole, size);
}

// Why korvale_load_vehicle refuses its arguments (the vehicle made whole), written into text;
// false when it does not. Allocates nothing, so that the reason is told even when memory has
// run out.
bool refusal(const korvale_vehicle* caller, const korvale_vehicle& vehicle, std::int32_t model,
             char* text, std::size_t size) {
    if (caller == nullptr) {
        std::snprintf(text, size, "no vehicle (a null pointer)");
        return true;
    }
    if (caller->size < VEHICLE_0_2_SIZE) {
        std::snprintf(text, size,
                      "the vehicle's size %u is below that of korvale_vehicle (%u): fill it with "
                      "korvale_default_vehicle()",
                      static_cast<unsigned>(caller->size), static_cast<unsigned>(VEHICLE_0_2_SIZE));
        return true;
    }
    if (korvale_model_name(model) == nullptr) {
        std::snprintf(text, size,
                      "unknown model %ld (KORVALE_MODEL_DEFAULT 0, PARAMETERISED 1, ECO 2 or "
                      "PREDICTIVE 3)",
                      static_cast<long>(model));
        return true;
    }
    const auto kind = static_cast<korvale::CoastModelKind>(model);
    if (kind == korvale::CoastModelKind::predictive &&
        vehicle.powertrain != KORVALE_POWERTRAIN_EV &&
        vehicle.powertrain != KORVALE_POWERTRAIN_ICE) {
        std::snprintf(text, size,
                      "vehicle refused: powertrain %ld is no powertrain (KORVALE_POWERTRAIN_EV 0 "
                      "or KORVALE_POWERTRAIN_ICE 1)",
                      static_cast<long>(vehicle.powertrain));
        return true;
    }
    char problem[128];
    if (korvale::vehicle_problem(parameters_of(vehicle), problem, sizeof problem, kind)) {
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
    fill(vehicle, size, korvale::BUILT_IN_VEHICLE);
}

int32_t(korvale_vehicle_preset)(const char* name, korvale_vehicle* vehicle) {
    return korvale_fill_vehicle_preset(name, vehicle, VEHICLE_0_2_SIZE);
}

int32_t korvale_fill_vehicle_preset(const char* name, korvale_vehicle* vehicle, uint32_t size) {
    const korvale::VehiclePreset* preset = korvale::find_preset(name);
    if (preset == nullptr) {
        return 0;
    }
    fill(vehicle, size, preset->vehicle);
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
    const korvale_vehicle whole = vehicle != nullptr ? whole_vehicle(*vehicle) : korvale_vehicle{};
    if (refusal(vehicle, whole, model, why, sizeof why)) {
        // On standard error, where a host sees it even when it drops standard output.
        korvale::diag_error(korvale::DiagSink::standard(), "korvale_load_vehicle: %s\n", why);
        note.outcome(false);
        return nullptr;
    }
    korvale_profile* profile =
        load_profile(path, korvale::CoastModel(static_cast<korvale::CoastModelKind>(model),
                                               parameters_of(whole)));
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
