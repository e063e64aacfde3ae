#include "sim/simulation.h"

#include <algorithm>
#include <stdexcept>

#include "dynamics/speed_programme.h"
#include "sim/drivers.h"
#include "sim/predictive.h"

namespace korvale::sim {

namespace {

struct Named {
    const char* name;
    DriverKind kind;
};
constexpr Named DRIVER_NAMES[] = {{"limit", DriverKind::limit},
                                  {"advice", DriverKind::advice},
                                  {"recommended", DriverKind::recommended},
                                  {"optimal", DriverKind::optimal}};

DriverRun optimal_at(const SimRoad& road, const dynamics::DriveVehicle& vehicle,
                     const SimulationSettings& settings, const dynamics::SpeedProgramme& programme,
                     const dynamics::ProgrammeRoad& nodes, double trip_time,
                     const std::string& name) {
    // The plan knows nothing of standing at stops; the drive that follows it stands as long as
    // the others did, so the plan gets the trip time less that.
    const double standing = settings.run.stand_time * static_cast<double>(road.stops().size());
    PlannedDrive planned = drive_plan(road, vehicle, programme, nodes,
                                      std::max(trip_time - standing, 0.0), settings.run);
    DriverRun run;
    run.name = name;
    run.asked_time = trip_time;
    run.planned_time = planned.plan.time + standing;
    run.drive = std::move(planned.drive);
    return run;
}

} // namespace

PlannedDrive drive_plan(const SimRoad& road, const dynamics::DriveVehicle& vehicle,
                        const dynamics::SpeedProgramme& programme,
                        const dynamics::ProgrammeRoad& nodes, double plan_time,
                        const RunSettings& run) {
    PlannedDrive out;
    out.plan = programme.solve_for_time(plan_time);
    out.drive = drive_of_plan(road, vehicle, nodes, out.plan, run);
    return out;
}

dynamics::DriveVehicle drive_vehicle_of(const VehicleParameters& fields,
                                        const dynamics::DrivePreset& preset,
                                        dynamics::PowertrainKind kind) {
    dynamics::DriveVehicle vehicle;
    vehicle.body = {fields.vehicle_mass,        fields.drag_coefficient,   fields.frontal_area,
                    fields.air_density,         fields.rolling_resistance, fields.gravity,
                    preset.rotating_mass_factor};
    vehicle.limits = {preset.max_power, preset.max_acceleration, dynamics::MAX_DECELERATION};
    vehicle.powertrain = {kind, preset.ev, preset.ice};
    return vehicle;
}

std::vector<DriverKind> driver_kinds(const std::string& list) {
    std::vector<DriverKind> kinds;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string name = list.substr(start, comma - start);
        const auto named = std::find_if(std::begin(DRIVER_NAMES), std::end(DRIVER_NAMES),
                                        [&](const Named& n) { return name == n.name; });
        if (named == std::end(DRIVER_NAMES)) {
            throw std::invalid_argument("unknown driver '" + name +
                                        "' (limit, advice, recommended or optimal)");
        }
        if (std::find(kinds.begin(), kinds.end(), named->kind) == kinds.end()) {
            kinds.push_back(named->kind);
        }
        start = comma + 1;
    }
    return kinds;
}

const DriverRun* Simulation::find(const std::string& name) const {
    for (const DriverRun& run : runs) {
        if (run.name == name) {
            return &run;
        }
    }
    return nullptr;
}

Simulation simulate(const RouteProfile& profile, const SimRoad& road,
                    const dynamics::DriveVehicle& vehicle, const SimulationSettings& settings,
                    const std::vector<DriverKind>& kinds) {
    Simulation out;
    const BrakingEnvelope baseline(road, settings.comfortable_braking);
    {
        LimitDriver driver(baseline, vehicle.limits.max_acceleration);
        out.runs.push_back({"limit", run_drive(baseline, vehicle, driver, settings.run)});
    }
    const auto wanted = [&](DriverKind kind) {
        return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
    };
    for (DriverKind kind : kinds) {
        if (kind == DriverKind::advice) {
            AdviceDriver driver(profile, road, settings.horizon, settings.advice_delay,
                                settings.run.dt, vehicle.body.mass,
                                vehicle.limits.max_acceleration);
            out.runs.push_back({"advice", run_drive(baseline, vehicle, driver, settings.run)});
        } else if (kind == DriverKind::recommended) {
            RecommendedDriver driver(road);
            out.runs.push_back({"recommended", run_drive(baseline, vehicle, driver, settings.run)});
        }
    }
    if (wanted(DriverKind::optimal)) {
        const dynamics::ProgrammeRoad nodes = road.programme_road(settings.programme_step);
        const dynamics::SpeedProgramme programme(vehicle, nodes, settings.speed_step);
        const double limit_time = out.runs.front().drive.figures.trip_time;
        out.runs.push_back(
            optimal_at(road, vehicle, settings, programme, nodes, limit_time, "optimal"));
        const DriverRun* advice = out.find("advice");
        if (advice != nullptr && advice->drive.error.empty()) {
            const double advice_time = advice->drive.figures.trip_time;
            out.runs.push_back(optimal_at(road, vehicle, settings, programme, nodes, advice_time,
                                          "optimal@advice"));
        }
    }
    return out;
}

} // namespace korvale::sim
