#include "vehicle.h"

#include <cmath>
#include <cstdio>

namespace korvale {

namespace {

enum class Bound { above_zero, not_below_zero, any };

// The problem with one field, or empty.
std::string field_problem(const char* name, double value, Bound bound) {
    if (!std::isfinite(value)) {
        // Written out: printf's spelling of these differs between C libraries.
        return std::string(name) +
               (std::isnan(value) ? " NaN"
                : value > 0       ? " infinity"
                                  : " -infinity") +
               " is not a finite number";
    }
    const char* fault = nullptr;
    if (bound == Bound::above_zero && !(value > 0.0)) {
        fault = "is not above 0";
    } else if (bound == Bound::not_below_zero && value < 0.0) {
        fault = "is below 0";
    }
    if (fault == nullptr) {
        return {};
    }
    char text[128];
    std::snprintf(text, sizeof text, "%s %g %s", name, value, fault);
    return text;
}

} // namespace

std::string vehicle_problem(const VehicleParameters& p) {
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
    for (const auto& field : fields) {
        std::string problem = field_problem(field.name, field.value, field.bound);
        if (!problem.empty()) {
            return problem;
        }
    }
    return {};
}

} // namespace korvale
