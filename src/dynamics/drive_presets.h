// What each vehicle preset (car, van, truck, bus) adds to its fields for a drive: its limits,
// the braking its driver finds comfortable, its rotating mass and both of its powertrains.
// Keyed by the preset's name; the fields that the speed models use (mass, drag, area, rolling
// resistance) stay in the preset table they come from.
#pragma once

#include <string>

#include "powertrain.h"

namespace korvale::dynamics {

struct DrivePreset {
    const char* name;
    double max_power;            // W
    double max_acceleration;     // m/s²
    double comfortable_braking;  // b, m/s²: how hard a driver brakes for what lies ahead
    double rotating_mass_factor; // e
    ElectricDrive ev;
    CombustionDrive ice;
    const char* fuel;
};

// The preset of that name, or null.
const DrivePreset* drive_preset(const std::string& name);

} // namespace korvale::dynamics
