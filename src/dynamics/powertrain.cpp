#include "dynamics/powertrain.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace korvale::dynamics {

namespace {

std::string problem(const char* field, double value, const char* what) {
    char text[160];
    std::snprintf(text, sizeof text, "%s %g %s", field, value, what);
    return text;
}

bool efficiency(double value) {
    return value > 0.0 && value <= 1.0;
}

} // namespace

std::string powertrain_problem(const Powertrain& powertrain) {
    {
        const ElectricDrive& ev = powertrain.ev;
        if (!efficiency(ev.drive_efficiency)) {
            return problem("drive_efficiency", ev.drive_efficiency, "is outside (0, 1]");
        }
        if (!efficiency(ev.regen_efficiency)) {
            return problem("regen_efficiency", ev.regen_efficiency, "is outside (0, 1]");
        }
        if (!(ev.max_regen_power > 0.0) || !std::isfinite(ev.max_regen_power)) {
            return problem("max_regen_power", ev.max_regen_power, "is not above 0");
        }
        if (!(ev.aux_power >= 0.0) || !std::isfinite(ev.aux_power)) {
            return problem("aux_power", ev.aux_power, "is below 0");
        }
    }
    const CombustionDrive& ice = powertrain.ice;
    if (!efficiency(ice.wheel_efficiency)) {
        return problem("wheel_efficiency", ice.wheel_efficiency, "is outside (0, 1]");
    }
    if (!(ice.idle_fuel >= 0.0) || !std::isfinite(ice.idle_fuel)) {
        return problem("idle_fuel", ice.idle_fuel, "is below 0");
    }
    if (!(ice.heating_value > 0.0) || !std::isfinite(ice.heating_value)) {
        return problem("heating_value", ice.heating_value, "is not above 0");
    }
    if (!(ice.fuel_density > 0.0) || !std::isfinite(ice.fuel_density)) {
        return problem("fuel_density", ice.fuel_density, "is not above 0");
    }
    return "";
}

} // namespace korvale::dynamics
