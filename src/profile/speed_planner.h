// What the predictive model asks of a planner: the recommended speed of each row for the
// vehicle's drive. The profile's construction calls it; the program that builds the profile
// supplies it (the library and the tool hand in the simulation's energy-optimal plan), so that
// the profile knows nothing of how drives are planned.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "profile/vehicle.h"

namespace korvale {

// The columns of the route that a plan is made from, rows values each, valid during the call.
struct PlannerRoad {
    std::int32_t rows = 0;
    const double* distance = nullptr;      // cumulative, m
    const double* z = nullptr;             // m
    const double* allowed_speed = nullptr; // the smaller of limit and comfort, km/h; NaN where a
                                           // curve gives no comfort speed
    const double* max_speed = nullptr;     // the speed limit of the file, km/h
    const double* grade = nullptr;         // of the segment from each row to the next
    const double* curve_radius = nullptr;  // m
};

class SpeedPlanner {
public:
    virtual ~SpeedPlanner() = default;
    // Writes the recommended speed (km/h) of each row into recommended (road.rows doubles), which
    // may be the array of road.allowed_speed: a planner reads every input before it writes. False,
    // with why in *error, when there is no plan (no drive within the vehicle's limits reaches the
    // end). Any exception it lets out fails the profile's construction as a lack of memory does.
    virtual bool plan(const PlannerRoad& road, const VehicleParameters& vehicle,
                      double* recommended, std::string* error) const = 0;
};

// Thrown by construction when the planner gives no plan; the profile then has no rows and
// RouteProfile::plan_failure() tells why.
class PlanFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace korvale
