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
};

// The recommended speed of each row of the road (distance, z, maximum speed, grade and radius;
// its recommended column is not read) for the vehicle.
PredictiveSpeeds predictive_speeds(const RoadRows& rows, const dynamics::DriveVehicle& vehicle,
                                   const PredictiveSettings& settings);

} // namespace korvale::sim
