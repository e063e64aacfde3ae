// The predictive model's recommended speed: the energy-optimal drive from rest to rest whose trip
// time is within a budget over the limit-following driver's, planned by the dynamic programme
// and driven through the simulation, so that the column holds a drive's speed and no grid steps.
#pragma once

#include <string>
#include <vector>

#include "dynamics/drive_vehicle.h"
#include "sim_road.h"

namespace korvale::sim {

struct PredictiveSettings {
    double time_budget = 0.02; // b: the drive's trip time at most (1 + b) times the baseline's
    double comfortable_braking = 2.0; // of the limit-following baseline, m/s²
    double programme_step = 10.0;     // longest interval of the plan's dynamic programme, m
    double speed_step = 0.5;          // its grid of speeds, m/s
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

// The recommended speed of each row of the road (distance, z, maximum speed, grade and radius;
// its recommended column is not read) for the vehicle.
//
// The baseline is the limit-following driver (toward the maximum speed, braking at the
// comfortable deceleration ahead of each lower one) from rest to rest, its trip time T. The plan
// is the programme's least-energy plan whose drive, followed with the vehicle's hardest braking,
// takes at most (1 + b)·T, and so does a cruise controller on the column (the cruise controller
// of the simulated drives, within the baseline's braking); the plan is asked for up to three
// times, faster by what the slower of the two went over (the fastest plan when none is that
// fast). Each row takes that drive's
// speed where it passes the row, so that:
// - a stop (a row below 1 km/h) is 0, and so is the route's end, where the drive stands;
// - the first row, unless it is a stop, takes the speed of the first row after it at which the
//   drive goes at least 1 km/h (where it stands, a cruise controller on the column would never
//   start);
// - a route that the simulation cannot drive (fewer than two rows, or no length) keeps its
//   maximum speed.
// No plan (no drive within the vehicle's limits reaches the route's end, or the vehicle or the
// settings make no sense): an empty column and the reason.
PredictiveSpeeds predictive_speeds(const RoadRows& rows, const dynamics::DriveVehicle& vehicle,
                                   const PredictiveSettings& settings);

} // namespace korvale::sim
