#include "vehicle.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace korvale {

namespace {

enum class Bound { above_zero, not_below_zero, any };

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
    }
    if (fault == nullptr) {
        return false;
    }
    std::snprintf(text, size, "%s %g %s", name, value, fault);
    return true;
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

bool vehicle_problem(const VehicleParameters& p, char* text, std::size_t size) {
    const struct {
        const char* name;
        double value;
        Bound bound;
    } fields[] = {
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
    if (size > 0) {
        text[0] = '\0';
    }
    for (const auto& field : fields) {
        if (field_problem(field.name, field.value, field.bound, text, size)) {
            return true;
        }
    }
    return false;
}

std::string vehicle_problem(const VehicleParameters& p) {
    char text[128];
    return vehicle_problem(p, text, sizeof text) ? text : std::string();
}

} // namespace korvale
