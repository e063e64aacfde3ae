// What the vehicle's energy source gives or takes for a power at the wheels: a battery-electric
// drive that recovers braking energy up to a power, or a combustion engine that idles whenever it
// does not drive.
#pragma once

#include <algorithm>
#include <string>

namespace korvale::dynamics {

enum class PowertrainKind { ev, ice };

struct ElectricDrive {
    double drive_efficiency = 0.0; // battery to wheels, (0, 1]
    double regen_efficiency = 0.0; // wheels to battery, (0, 1]
    double max_regen_power = 0.0;  // W at the wheels, above 0
    double aux_power = 0.0;        // W drawn all the time (controls, climate), not below 0
};

struct CombustionDrive {
    double wheel_efficiency = 0.0; // fuel to wheels, (0, 1]
    double idle_fuel = 0.0;        // l/h while the engine does not drive, not below 0
    double heating_value = 0.0;    // lower heating value, J/kg
    double fuel_density = 0.0;     // kg/l

    // The fuel power of idling, W.
    double idle_power() const { return idle_fuel / 3600.0 * fuel_density * heating_value; }
    // Fuel mass of an energy, kg; its volume, l.
    double fuel_mass(double energy) const { return energy / heating_value; }
    double fuel_volume(double energy) const { return fuel_mass(energy) / fuel_density; }
};

struct Powertrain {
    PowertrainKind kind = PowertrainKind::ev;
    ElectricDrive ev;
    CombustionDrive ice;
};

// Where a wheel power goes or comes from.
struct PowerFlow {
    double source = 0.0;         // battery power (negative while charging) or fuel power, W
    double friction_brake = 0.0; // power the friction brakes turn into heat, W, not below 0
};

// ev: battery = P_wheel / η_drive + P_aux when driving; when braking, min(-P_wheel, P_regen_max)
// is recovered and that times η_regen goes back (battery = P_aux - that), the rest is friction.
// ice: fuel = P_idle + P_wheel / η_w when driving, P_idle otherwise; braking is all friction.
// (inline: the dynamic programme asks it for every transition)
inline PowerFlow power_flow(const Powertrain& powertrain, double wheel_power) {
    PowerFlow flow;
    if (powertrain.kind == PowertrainKind::ev) {
        const ElectricDrive& ev = powertrain.ev;
        if (wheel_power > 0.0) {
            flow.source = wheel_power / ev.drive_efficiency + ev.aux_power;
        } else {
            const double recovered = std::min(-wheel_power, ev.max_regen_power);
            flow.source = ev.aux_power - recovered * ev.regen_efficiency;
            flow.friction_brake = -wheel_power - recovered;
        }
    } else {
        const CombustionDrive& ice = powertrain.ice;
        flow.source = ice.idle_power();
        if (wheel_power > 0.0) {
            flow.source += wheel_power / ice.wheel_efficiency;
        } else {
            flow.friction_brake = -wheel_power;
        }
    }
    return flow;
}

// Why the values of either drive make no sense (those of the drive not in use too: a value
// given for it is refused all the same), naming the field, or empty: an efficiency outside
// (0, 1], a regeneration power, heating value or fuel density not above 0, an auxiliary power or
// idle consumption below 0.
std::string powertrain_problem(const Powertrain& powertrain);

} // namespace korvale::dynamics
