// The planner that a profile's construction asks for the predictive model's recommended speed:
// the energy-optimal drive within the vehicle's trip-time budget (predictive_speeds). The
// library and the tool hand it to the profiles they build.
#pragma once

#include "dynamics/drive_vehicle.h"
#include "profile/speed_planner.h"

namespace korvale::sim {

class PredictivePlanner final : public SpeedPlanner {
public:
    bool plan(const PlannerRoad& road, const VehicleParameters& vehicle, double* recommended,
              std::string* error) const override;
};

// The drive of a vehicle's parameters: its body and the drive it carries, with its powertrain.
dynamics::DriveVehicle drive_vehicle_of(const VehicleParameters& vehicle);

} // namespace korvale::sim
