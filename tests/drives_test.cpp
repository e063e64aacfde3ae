// Drives on real route files: every trace's energy balance, every driver's limits, the stops,
// and the optimum against every driver at least as fast.
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/simulation.h"
#include "support/temp_dir.h"

using namespace korvale;
using namespace korvale::sim;

namespace {

struct Route {
    std::unique_ptr<RouteProfile> profile;
    ConstructionDetails details;
    std::unique_ptr<SimRoad> road;

    explicit Route(const std::string& path) {
        profile = std::make_unique<RouteProfile>(path.c_str(),
                                                 CoastModel(CoastModelKind::eco, BUILT_IN_VEHICLE),
                                                 &details, DiagSink::dropped());
        road = std::make_unique<SimRoad>(*profile, details);
    }
};

dynamics::DriveVehicle car(dynamics::PowertrainKind kind) {
    return drive_vehicle_of(BUILT_IN_VEHICLE, find_preset("car")->drive, kind);
}

// Work at the wheels = Δ(½·m·(1 + e)·v²) + Δ(m·g·z) + rolling and drag work, from the trace
// and the route's heights.
void expect_energy_balance(const Route& route, const dynamics::DriveVehicle& vehicle,
                           const DriveResult& drive, const std::string& name) {
    const dynamics::Body& b = vehicle.body;
    double wheel = 0.0;
    double resisted = 0.0;
    double positive = 0.0;
    for (std::size_t i = 0; i + 1 < drive.trace.size(); ++i) {
        const TraceRow& row = drive.trace[i];
        const double dt = drive.trace[i + 1].t - row.t;
        const double ds = drive.trace[i + 1].s - row.s;
        wheel += row.wheel_power * dt;
        positive += std::max(row.wheel_power, 0.0) * dt;
        const double theta = std::atan(row.grade);
        resisted += (0.5 * 1.293 * 0.3 * 2.3 * row.v * row.v +
                     b.mass * b.gravity * 0.015 * std::cos(theta)) *
                    ds;
    }
    const SimRoad& road = *route.road;
    const double rise = road.z(drive.trace.back().s, road.segment_at(drive.trace.back().s)) -
                        road.columns().z.front();
    const double v_end = drive.trace.back().v;
    const double expected =
        0.5 * b.inertial_mass() * v_end * v_end + b.mass * b.gravity * rise + resisted;
    EXPECT_NEAR(wheel, expected, 0.005 * positive) << name;
}

void expect_within_limits(const Route& route, const dynamics::DriveVehicle& vehicle,
                          const DriveResult& drive, const std::string& name) {
    EXPECT_EQ(drive.error, "") << name;
    EXPECT_GE(drive.trace.back().s, route.road->length() - END_TOLERANCE) << name;
    EXPECT_EQ(drive.figures.time_above_max_speed, 0.0) << name;
    for (const TraceRow& row : drive.trace) {
        ASSERT_LE(row.drive * row.v, vehicle.limits.max_power * (1 + 1e-9)) << name << row.t;
        if (row.drive > 0.0) {
            ASSERT_LE(row.a, vehicle.limits.max_acceleration + 1e-9) << name << " " << row.t;
        }
        if (row.brake > 0.0) {
            ASSERT_GE(row.a, -vehicle.limits.max_deceleration - 1e-9) << name << " " << row.t;
        }
    }
}

TEST(Drives, BalanceEnergyKeepLimitsAndTheOptimumIsTheLeastAtItsTime) {
    const Route route(KORVALE_EXAMPLE_ROUTE);
    for (auto kind : {dynamics::PowertrainKind::ev, dynamics::PowertrainKind::ice}) {
        const dynamics::DriveVehicle vehicle = car(kind);
        SimulationSettings settings;
        const Simulation sim = simulate(*route.profile, *route.road, vehicle, settings,
                                        driver_kinds("advice,recommended,optimal"));
        ASSERT_EQ(sim.runs.size(), 5u);
        for (const DriverRun& run : sim.runs) {
            expect_within_limits(route, vehicle, run.drive, run.name);
            expect_energy_balance(route, vehicle, run.drive, run.name);
        }
        const DriverRun& optimal = *sim.find("optimal");
        for (const DriverRun& run : sim.runs) {
            if (run.drive.figures.trip_time <= optimal.drive.figures.trip_time) {
                EXPECT_LE(optimal.drive.figures.source_energy,
                          run.drive.figures.source_energy * 1.005)
                    << run.name;
            }
        }
        EXPECT_NEAR(optimal.planned_time, optimal.asked_time, 0.005 * optimal.asked_time);
        // The advice follower saves on the baseline.
        EXPECT_LT(sim.find("advice")->drive.figures.source_energy,
                  sim.find("limit")->drive.figures.source_energy);
    }
}

TEST(Drives, EveryDriverStandsAtAStopAndGoesOn) {
    korvale_test::TempDir dir;
    std::vector<korvale_test::Row> rows;
    for (int i = 0; i <= 200; ++i) {
        const double limit = i == 100 || i >= 199 ? 0.0 : 60.0; // (the end stands twice)
        rows.push_back({10.0 * i, 0.0, 0.02 * 10.0 * std::min(i, 100), 10000.0, limit, 0.0});
    }
    const Route route(dir.write("stop.txt", korvale_test::route_text(rows)));
    ASSERT_EQ(route.road->stops().size(), 1u);
    SimulationSettings settings;
    settings.run.stand_time = 3.0;
    const dynamics::DriveVehicle vehicle = car(dynamics::PowertrainKind::ice);
    const Simulation sim = simulate(*route.profile, *route.road, vehicle, settings,
                                    driver_kinds("limit,advice,recommended,optimal"));
    for (const DriverRun& run : sim.runs) {
        expect_within_limits(route, vehicle, run.drive, run.name);
        expect_energy_balance(route, vehicle, run.drive, run.name);
        double stood = 0.0;
        const double stop = route.road->columns().distance[100];
        for (const TraceRow& row : run.drive.trace) {
            if (row.v == 0.0 && std::fabs(row.s - stop) <= END_TOLERANCE) {
                stood += settings.run.dt;
            }
        }
        EXPECT_GE(stood, 3.0 - 1e-6) << run.name;
    }
    // The optimum stands as long as the baseline and is asked for no more time than it took.
    EXPECT_NEAR(sim.find("optimal")->drive.figures.trip_time,
                sim.find("limit")->drive.figures.trip_time,
                0.005 * sim.find("limit")->drive.figures.trip_time);
}

} // namespace
