// The drives a user asks for on one route with one vehicle: the limit-following baseline
// always, the advice follower, the recommended-speed cruise controller and the energy-optimal
// drive at the baseline's trip time (and at the advice follower's).
#pragma once

#include <string>
#include <vector>

#include "dynamics/drive_preset.h"
#include "dynamics/speed_programme.h"
#include "profile/vehicle.h"
#include "sim/drive_run.h"
#include "sim/sim_road.h"

namespace korvale::sim {

enum class DriverKind { limit, advice, recommended, optimal };

// "limit,advice,...", each name once or more, in any order; throws std::invalid_argument
// naming a name it does not know.
std::vector<DriverKind> driver_kinds(const std::string& list);

struct SimulationSettings {
    RunSettings run;
    double comfortable_braking = 2.0; // b of the baseline, m/s²
    double horizon = 1000.0;          // of the advice, m
    double advice_delay = 1.0;        // the advice follower acts on what was said this long ago, s
    double programme_step = 5.0;      // longest interval of the dynamic programme, m
    double speed_step = 0.25;         // its grid of speeds, m/s
};

struct DriverRun {
    std::string name; // limit, advice, recommended, optimal, optimal@advice
    DriveResult drive;
    double asked_time = 0.0;   // optimal: the trip time its plan was asked for, s
    double planned_time = 0.0; // optimal: its plan's own trip time, s
};

struct Simulation {
    std::vector<DriverRun> runs; // the baseline first, then in the order asked for

    const DriverRun* find(const std::string& name) const;
};

// A vehicle of the speed models' fields with what a preset adds for drives.
dynamics::DriveVehicle drive_vehicle_of(const VehicleParameters& fields,
                                        const dynamics::DrivePreset& preset,
                                        dynamics::PowertrainKind kind);

// The programme's plan for a trip time (the fastest plan when none is that fast), driven through
// the simulation by a follower that may brake as hard as the vehicle allows. The drive's error
// says when there is no plan.
struct PlannedDrive {
    dynamics::Plan plan;
    DriveResult drive;
};
PlannedDrive drive_plan(const SimRoad& road, const dynamics::DriveVehicle& vehicle,
                        const dynamics::SpeedProgramme& programme,
                        const dynamics::ProgrammeRoad& nodes, double plan_time,
                        const RunSettings& run);

// The profile gives the advice and the recommended speed (its model is the advice's); the
// road, the maximum speed, grades and stops.
Simulation simulate(const RouteProfile& profile, const SimRoad& road,
                    const dynamics::DriveVehicle& vehicle, const SimulationSettings& settings,
                    const std::vector<DriverKind>& kinds);

} // namespace korvale::sim
