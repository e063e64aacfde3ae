// A vehicle as a drive sees it: its body, its limits and its powertrain.
#pragma once

#include <string>

#include "dynamics/powertrain.h"
#include "dynamics/vehicle_dynamics.h"

namespace korvale::dynamics {

struct DriveVehicle {
    Body body;
    Limits limits;
    Powertrain powertrain;
};

// The first problem of body, limits or powertrain, or empty.
inline std::string drive_vehicle_problem(const DriveVehicle& vehicle) {
    std::string problem = body_problem(vehicle.body);
    if (problem.empty()) {
        problem = limits_problem(vehicle.limits);
    }
    if (problem.empty()) {
        problem = powertrain_problem(vehicle.powertrain);
    }
    return problem;
}

} // namespace korvale::dynamics
