#include "profile/vehicle.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "dynamics/vehicle_dynamics.h"

namespace korvale {

namespace {

enum class Bound { above_zero, not_below_zero, fraction, braking, any };

// Writes the problem with one field into text; false when there is none.
bool field_problem(const char* name, double value, Bound bound, char* text, std::size_t size) {
    if (!std::isfinite(value)) {
        // Written out: printf's spelling of these differs between C libraries.
        std::snprintf(text, size, "%s %s is not a finite number", name,
                      std::isnan(value) ? "NaN"
                      : value > 0       ? "infinity"
                                        : "-infinity");
        return true;
    }
    const char* fault = nullptr;
    if (bound == Bound::above_zero && !(value > 0.0)) {
        fault = "is not above 0";
    } else if (bound == Bound::not_below_zero && value < 0.0) {
        fault = "is below 0";
    } else if (bound == Bound::fraction && !(value > 0.0 && value <= 1.0)) {
        fault = "is outside (0, 1]";
    } else if (bound == Bound::braking && !(value > 0.0 && value <= dynamics::MAX_DECELERATION)) {
        fault = "is outside (0, 3]";
    }
    if (fault == nullptr) {
        return false;
    }
    std::snprintf(text, size, "%s %g %s", name, value, fault);
    return true;
}

struct FieldCheck {
    const char* name;
    double value;
    Bound bound;
};

// The first field of the list at fault, written into text.
template <std::size_t N>
bool first_problem(const FieldCheck (&fields)[N], char* text, std::size_t size) {
    for (const FieldCheck& field : fields) {
        if (field_problem(field.name, field.value, field.bound, text, size)) {
            return true;
        }
    }
    return false;
}

} // namespace

const VehiclePreset* find_preset(const char* name) {
    for (const VehiclePreset& preset : VEHICLE_PRESETS) {
        if (name != nullptr && std::strcmp(name, preset.name) == 0) {
            return &preset;
        }
    }
    return nullptr;
}

bool model_named(const char* name, CoastModelKind* model) {
    for (std::int32_t i = 0; i < MODEL_COUNT; ++i) {
        if (name != nullptr && std::strcmp(name, MODEL_NAMES[i]) == 0) {
            *model = static_cast<CoastModelKind>(i);
            return true;
        }
    }
    return false;
}

bool vehicle_problem(const VehicleParameters& p, char* text, std::size_t size,
                     CoastModelKind model) {
    const FieldCheck fields[] = {
        {"vehicle_mass", p.vehicle_mass, Bound::above_zero},
        {"drag_coefficient", p.drag_coefficient, Bound::not_below_zero},
        {"frontal_area", p.frontal_area, Bound::above_zero},
        {"air_density", p.air_density, Bound::not_below_zero},
        {"rolling_resistance", p.rolling_resistance, Bound::not_below_zero},
        {"gravity", p.gravity, Bound::above_zero},
        {"coast_power", p.coast_power, Bound::any},
        {"brake_deceleration", p.brake_deceleration, Bound::above_zero},
        {"least_deceleration", p.least_deceleration, Bound::not_below_zero},
    };
    const dynamics::DrivePreset& d = p.drive;
    // The drive by the names of korvale_vehicle; only the predictive model reads it.
    const FieldCheck drive[] = {
        {"max_power", d.max_power, Bound::above_zero},
        {"max_acceleration", d.max_acceleration, Bound::above_zero},
        {"comfortable_braking", d.comfortable_braking, Bound::braking},
        {"rotating_mass_factor", d.rotating_mass_factor, Bound::not_below_zero},
        {"drive_efficiency", d.ev.drive_efficiency, Bound::fraction},
        {"regen_efficiency", d.ev.regen_efficiency, Bound::fraction},
        {"max_regen_power", d.ev.max_regen_power, Bound::above_zero},
        {"aux_power", d.ev.aux_power, Bound::not_below_zero},
        {"engine_efficiency", d.ice.wheel_efficiency, Bound::fraction},
        {"idle_power", idle_power(d.ice), Bound::not_below_zero},
        {"time_budget", p.time_budget, Bound::not_below_zero},
    };
    if (size > 0) {
        text[0] = '\0';
    }
    return first_problem(fields, text, size) ||
           (model == CoastModelKind::predictive && first_problem(drive, text, size));
}

std::string vehicle_problem(const VehicleParameters& p, CoastModelKind model) {
    char text[128];
    return vehicle_problem(p, text, sizeof text, model) ? text : std::string();
}

double idle_power(const dynamics::CombustionDrive& engine) {
    return engine.idle_power();
}

void set_idle_power(dynamics::CombustionDrive* engine, double watts) {
    // The inverse of CombustionDrive::idle_power.
    engine->idle_fuel = watts / (engine->fuel_density * engine->heating_value) * 3600.0;
}

} // namespace korvale
