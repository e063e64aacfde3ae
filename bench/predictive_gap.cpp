// How close a cruise controller on the predictive model's recommended speed comes to the
// energy-optimal drive of its own trip time, on route files, for the car (ev and ice) and the
// truck (ice): one row per route and vehicle with the planned drive's and the cruise controller's
// time against the limit-following baseline's, their savings, the cruise controller's energy
// above the optimum's in points of the baseline's (and above that of an optimum that brakes no
// harder than the baseline, as the cruise controller must), and the time the planning took.
// The optimum is korvale simulate's (nodes at most 5 m apart, speeds every 0.25 m/s).
//
//     korvale_predictive_gap [--budget B] NAME=ROUTE...
//
// bench/predictive_gap.sh makes the routes of docs/energy.md and runs it on them. Exits with 1
// when a row misses the target (1 point, time within the budget).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "sim/drivers.h"
#include "sim/predictive.h"
#include "sim/simulation.h"

namespace {

using namespace korvale;

constexpr double MOST_POINTS = 1.0;

struct Setup {
    const char* preset;
    dynamics::PowertrainKind kind;
    const char* label;
};
constexpr Setup SETUPS[] = {{"car", dynamics::PowertrainKind::ev, "car ev"},
                            {"car", dynamics::PowertrainKind::ice, "car ice"},
                            {"truck", dynamics::PowertrainKind::ice, "truck ice"}};

bool measure(const std::string& name, const std::string& path, const Setup& setup, double budget) {
    const VehiclePreset* preset = find_preset(setup.preset);
    ConstructionDetails details;
    const RouteProfile profile(path.c_str(), CoastModel(CoastModelKind::eco, preset->vehicle),
                               &details, DiagSink::dropped());
    const sim::SimRoad road(profile, details);
    const dynamics::DriveVehicle vehicle =
        sim::drive_vehicle_of(preset->vehicle, preset->drive, setup.kind);

    sim::PredictiveSettings settings;
    settings.time_budget = budget;
    settings.comfortable_braking = preset->drive.comfortable_braking;
    const auto start = std::chrono::steady_clock::now();
    const sim::PredictiveSpeeds speeds = sim::predictive_speeds(road.columns(), vehicle, settings);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!speeds.error.empty()) {
        std::printf("| %s | %s | no plan: %s |\n", name.c_str(), setup.label, speeds.error.c_str());
        return false;
    }

    // The drives as korvale simulate drives them, on the road with the predictive column.
    sim::RoadRows rows = road.columns();
    rows.recommended = speeds.recommended;
    const sim::SimRoad predictive(std::move(rows));
    const sim::RunSettings run;
    const sim::BrakingEnvelope baseline(predictive, preset->drive.comfortable_braking);
    sim::LimitDriver limit_driver(baseline, vehicle.limits.max_acceleration);
    const sim::DriveResult limit = sim::run_drive(baseline, vehicle, limit_driver, run);
    sim::RecommendedDriver cruise_driver(predictive);
    const sim::DriveResult cruise = sim::run_drive(baseline, vehicle, cruise_driver, run);
    const dynamics::ProgrammeRoad nodes = predictive.programme_road(5.0);
    const dynamics::SpeedProgramme programme(vehicle, nodes, 0.25);
    const sim::PlannedDrive optimal =
        sim::drive_plan(predictive, vehicle, programme, nodes, cruise.figures.trip_time, run);

    // The optimum that brakes no harder than the baseline, within whose envelope the cruise
    // controller drives.
    dynamics::DriveVehicle gentle = vehicle;
    gentle.limits.max_deceleration = preset->drive.comfortable_braking;
    const dynamics::SpeedProgramme gentle_programme(gentle, nodes, 0.25);
    const sim::PlannedDrive gentle_optimal =
        sim::drive_plan(predictive, gentle, gentle_programme, nodes, cruise.figures.trip_time, run);

    const double base_energy = limit.figures.source_energy;
    const double points =
        100.0 * (cruise.figures.source_energy - optimal.drive.figures.source_energy) / base_energy;
    const double time_share = cruise.figures.trip_time / limit.figures.trip_time - 1.0;
    const bool held = cruise.error.empty() && optimal.drive.error.empty() &&
                      points <= MOST_POINTS && time_share <= budget;
    const double gentle_points =
        100.0 * (cruise.figures.source_energy - gentle_optimal.drive.figures.source_energy) /
        base_energy;
    std::printf("| %s | %s | %.1f | %+.2f %%, %.1f %% | %+.2f %% | %+.2f %% | %.1f %% | %.1f %% | "
                "%.2f | %.2f | %d | %.2f | %s |\n",
                name.c_str(), setup.label, limit.figures.trip_time,
                100.0 * (speeds.driven_time / limit.figures.trip_time - 1.0),
                100.0 * (1.0 - speeds.driven_energy / base_energy), 100.0 * time_share,
                100.0 * (optimal.drive.figures.trip_time / limit.figures.trip_time - 1.0),
                100.0 * (1.0 - cruise.figures.source_energy / base_energy),
                100.0 * (1.0 - optimal.drive.figures.source_energy / base_energy), points,
                gentle_points, cruise.figures.overrides, seconds, held ? "yes" : "NO");
    return held;
}

} // namespace

int main(int argc, char** argv) {
    double budget = 0.02;
    std::vector<std::pair<std::string, std::string>> routes;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--budget" && i + 1 < argc) {
            budget = std::atof(argv[++i]);
            continue;
        }
        const std::size_t equals = arg.find('=');
        if (equals == std::string::npos) {
            std::fprintf(stderr, "usage: %s [--budget B] NAME=ROUTE...\n", argv[0]);
            return 2;
        }
        routes.emplace_back(arg.substr(0, equals), arg.substr(equals + 1));
    }
    std::printf("| route | vehicle | limit time (s) | plan's drive: extra time, saving | "
                "cruise extra time | optimal extra time | cruise saving | optimal saving | "
                "points above optimal | points above the optimum braking as the baseline | "
                "overrides | planning (s) | held |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    bool all = true;
    for (const auto& [name, path] : routes) {
        for (const Setup& setup : SETUPS) {
            all = measure(name, path, setup, budget) && all;
        }
    }
    return all ? 0 : 1;
}
