#include "sim/profile_planner.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>

#include "sim/predictive.h"
#include "sim/simulation.h"

namespace korvale::sim {

dynamics::DriveVehicle drive_vehicle_of(const VehicleParameters& vehicle) {
    return drive_vehicle_of(vehicle, vehicle.drive, vehicle.powertrain);
}

bool PredictivePlanner::plan(const PlannerRoad& road, const VehicleParameters& vehicle,
                             double* recommended, std::string* error) const {
    const auto n = static_cast<std::size_t>(road.rows);
    RoadRows rows;
    rows.distance.assign(road.distance, road.distance + n);
    rows.z.assign(road.z, road.z + n);
    rows.grade.assign(road.grade, road.grade + n);
    rows.radius.assign(road.curve_radius, road.curve_radius + n);
    rows.max_speed.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        // A curve with no comfort speed leaves the limit, as on the simulation's road.
        rows.max_speed[i] =
            std::isnan(road.allowed_speed[i]) ? road.max_speed[i] : road.allowed_speed[i];
    }
    PredictiveSettings settings;
    settings.time_budget = vehicle.time_budget;
    settings.comfortable_braking = vehicle.drive.comfortable_braking;
    PredictiveSpeeds speeds;
    try {
        speeds = predictive_speeds(rows, drive_vehicle_of(vehicle), settings);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        *error = e.what();
        return false;
    }
    if (speeds.recommended.empty()) {
        *error = speeds.error.empty() ? "no drive within the vehicle's limits reaches the end"
                                      : speeds.error;
        return false;
    }
    // Rows past the plan's end (a run of stops up to the last row ends the route at its first)
    // stand.
    const std::size_t planned = std::min(n, speeds.recommended.size());
    std::copy_n(speeds.recommended.begin(), planned, recommended);
    std::fill(recommended + planned, recommended + n, 0.0);
    return true;
}

} // namespace korvale::sim
