// The predictive model's recommended speed: the energy-optimal drive from rest to rest whose trip
// time is within a budget over the limit-following driver's, planned by the dynamic programme
// and driven through the simulation, so that the column holds a drive's speed and no grid steps.
#pragma once

#include <string>
#include <vector>

#include "dynamics/drive_vehicle.h"
#include "dynamics/speed_programme.h"
#include "sim/drive_run.h"
#include "sim/sim_road.h"

namespace korvale::sim {

struct PredictiveSettings {
    double time_budget = 0.02; // b: the drive's trip time at most (1 + b) times the baseline's
    double comfortable_braking = 2.0; // of the limit-following baseline, m/s²
    double programme_step = 10.0;     // longest interval of the plan's dynamic programme, m
    double speed_step = 0.25;         // its grid of speeds at most, m/s
    double dt = 0.1;                  // of the drives, s
};

struct PredictiveSpeeds {
    std::vector<double> recommended; // km/h at each row; empty when there is no plan
    std::string error;               // why there is no plan
    double baseline_time = 0.0;      // the limit-following driver's trip time, s
    double driven_time = 0.0;        // the planned drive's, s
    double driven_energy = 0.0;      // from its source, J
    double cruise_time = 0.0;        // a cruise controller's on the column, s
};

// The drive of a plan over the programme's nodes through the simulation, braking as hard as the
// vehicle may; its error when the plan is empty (no drive within the vehicle's limits).
DriveResult drive_of_plan(const SimRoad& road, const dynamics::DriveVehicle& vehicle,
                          const dynamics::ProgrammeRoad& nodes, const dynamics::Plan& plan,
                          const RunSettings& run);

// The recommended speed of each row of the road (distance, z, maximum speed, grade and radius;
// its recommended column is not read) for the vehicle.
//
// The baseline is the limit-following driver (toward the maximum speed, braking at the
// comfortable deceleration ahead of each lower one) from rest to rest, its trip time T. The plan
// is the programme's least-energy plan for a trip time near (1 + b)·T (its grid of speeds finer
// than speed_step for a vehicle whose full power adds less than 2.5 times that to its speed over
// programme_step at 72 km/h: 0.4 times what it adds, never finer than 0.05 m/s), driven through
// the simulation with the vehicle's hardest braking. Its column is what a cruise controller (that
// of the simulated drives: it reads the column 2 s of travel ahead and closes the gap in 2 s) must
// read to drive it: where the drive passes at v with acceleration a, the column 2 s·v further on is
// v + 2 s·a, and never below the drive's own speed there, within the maximum speed. So the
// column leads the drive's speed where it speeds up or slows down, by as much as the drive
// changes speed in 2 s, and equals it where the drive holds its speed.
// - a stop (a row below 1 km/h) is 0;
// - where the drive sets off at the start and where it comes to rest at the route's end, rows
//   that are no stops take the speed of the nearest row inside at which the column is at least
//   1 km/h (on a column that falls to 0 at a row that is no stop, a cruise controller would
//   creep toward it, and at rest at the start it would never start);
// - a stretch between stops or the route's ends with no such row inside the route (a route
//   given by its two ends alone) takes the drive's highest speed over the stretch, within each
//   row's maximum: the cruise controller sets off on it and brakes to rest ahead of the stop.
// The cruise controller on the column takes a little longer or shorter than the plan's drive: the
// plan is sought (by its weight of time) whose two drives both keep (1 + b)·T and end closest
// below it, up to seven plans; of those tried, the one whose cruise controller draws the least
// energy within the budget is taken (the fastest when none keeps it: then the cruise controller
// may take longer, as for a truck on a short road with a stop). A plan whose own drive takes
// more than 1 % longer than (1 + b)·T is none (a powertrain of absurdly low efficiency draws more
// energy than any weight of time the search tries outweighs): no plan then.
// A route that the simulation cannot drive (fewer than two rows, or no length) or that ends within
// 0.5 m of its start (where a drive already stands at its end) keeps its maximum speed. No plan (no
// drive within the vehicle's limits reaches the route's end, or the vehicle or the settings make no
// sense): an empty column and the reason.
PredictiveSpeeds predictive_speeds(const RoadRows& rows, const dynamics::DriveVehicle& vehicle,
                                   const PredictiveSettings& settings);

} // namespace korvale::sim
