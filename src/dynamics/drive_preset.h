// What a vehicle preset adds to its fields for a drive: its limits, the braking its driver finds
// comfortable, its rotating mass and both of its powertrains. The values themselves are rows of
// the library's one table of presets (profile/vehicle.h); this is only their type, so that the
// dynamics need nothing above them.
#pragma once

#include "dynamics/powertrain.h"

namespace korvale::dynamics {

struct DrivePreset {
    double max_power = 0.0;            // W
    double max_acceleration = 0.0;     // m/s²
    double comfortable_braking = 0.0;  // b, m/s²: how hard a driver brakes for what lies ahead
    double rotating_mass_factor = 0.0; // e
    ElectricDrive ev;
    CombustionDrive ice;
    const char* fuel = ""; // what the engine burns: "petrol" or "diesel"
};

} // namespace korvale::dynamics
