// The vehicle's dynamics against closed forms, and the dynamic programme against an exhaustive
// search and its bisection against the trip time asked for.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dynamics/speed_programme.h"
#include "profile/vehicle.h"
#include "sim/simulation.h"

using namespace korvale::dynamics;

namespace {

DriveVehicle car(PowertrainKind kind = PowertrainKind::ev) {
    const DrivePreset& preset = korvale::find_preset("car")->drive;
    DriveVehicle vehicle;
    vehicle.body = {1644.0, 0.3, 2.3, 1.293, 0.015, 9.81, 0.0};
    vehicle.limits = {preset.max_power, preset.max_acceleration, MAX_DECELERATION};
    vehicle.powertrain = {kind, preset.ev, preset.ice};
    return vehicle;
}

TEST(VehicleDynamics, CoastDownOnTheFlatMatchesTheAnalyticDistance) {
    const Body body = car().body;
    // dv/dt = -(a + b·v²) stops after s = ln(1 + b·v0²/a) / (2·b).
    const double a = body.gravity * body.rolling_resistance;
    const double b = body.drag_constant() / body.mass;
    const double v0 = 30.0;
    const double expected = std::log(1.0 + b * v0 * v0 / a) / (2.0 * b);
    double v = v0;
    double s = 0.0;
    int steps = 0;
    while (v > 0.0 && steps < 100000) {
        const Step step = integrate(body, Forces{}, v, 0.0, 0.1);
        v = step.v_next;
        s += step.distance;
        ++steps;
    }
    EXPECT_NEAR(s, expected, 0.001 * expected);
    // With a rotating mass the same forces take longer to stop the heavier inertia.
    Body heavier = body;
    heavier.rotating_mass_factor = 0.1;
    EXPECT_NEAR(net_acceleration(heavier, Forces{}, 20.0, 0.0) * 1.1,
                net_acceleration(body, Forces{}, 20.0, 0.0), 1e-12);
}

TEST(VehicleDynamics, ConstantSpeedClimbDoesTheWorkOfHeightRollingAndDrag) {
    const DriveVehicle vehicle = car();
    const Body& body = vehicle.body;
    const double grade = 0.05;
    const double v = 20.0;
    double s = 0.0;
    double work = 0.0;
    while (s < 1000.0) {
        const Forces forces = forces_for_acceleration(body, vehicle.limits, v, grade, 0.0);
        const Step step = integrate(body, forces, v, grade, 0.1);
        ASSERT_DOUBLE_EQ(step.v_next, v);
        work += (step.forces.drive - step.forces.brake) * step.distance;
        s += step.distance;
    }
    const double theta = std::atan(grade);
    const double height = s * std::sin(theta);
    const double rolling = body.mass * body.gravity * body.rolling_resistance * std::cos(theta) * s;
    const double drag = 0.5 * 1.293 * 0.3 * 2.3 * v * v * s;
    EXPECT_NEAR(work, body.mass * body.gravity * height + rolling + drag, 1e-6 * work);
}

TEST(VehicleDynamics, LimitsBoundPowerAccelerationAndBraking) {
    const DriveVehicle vehicle = car();
    const Body& body = vehicle.body;
    // At 40 m/s the power, not the wanted acceleration, bounds the drive force.
    const Forces fast = forces_for_acceleration(body, vehicle.limits, 40.0, 0.0, 5.0);
    EXPECT_NEAR(fast.drive * 40.0, 100e3, 1e-6);
    EXPECT_NEAR(net_acceleration(body, forces_for_acceleration(body, vehicle.limits, 5.0, 0.0, 5.0),
                                 5.0, 0.0),
                1.5, 1e-12);
    // A brake force asked for beyond 3 m/s² is eased; coasting up a steep hill is not.
    const Forces hard = within_limits(body, vehicle.limits, Forces{0.0, 20000.0}, 20.0, 0.0);
    EXPECT_NEAR(net_acceleration(body, hard, 20.0, 0.0), -3.0, 1e-12);
    EXPECT_LT(
        net_acceleration(body, within_limits(body, vehicle.limits, Forces{}, 20.0, 0.4), 20.0, 0.4),
        -3.0);
    // A step that would stop the vehicle brakes only what stops it: no distance lost, none made.
    const Step stop = integrate(body, Forces{0.0, 5000.0}, 0.2, 0.0, 0.1);
    EXPECT_EQ(stop.v_next, 0.0);
    EXPECT_NEAR((stop.forces.drive - stop.forces.brake - road_load(body, 0.2, 0.0)) * stop.distance,
                -0.5 * body.mass * 0.2 * 0.2, 1e-9);
    EXPECT_NE(limits_problem({0.0, 1.5, 3.0}).find("max_power 0"), std::string::npos);
    Powertrain bad = car().powertrain;
    bad.ev.regen_efficiency = 1.2;
    EXPECT_NE(powertrain_problem(bad).find("regen_efficiency"), std::string::npos);
}

// A few nodes with hills, and a stop in the middle.
ProgrammeRoad short_road() {
    ProgrammeRoad road;
    road.distance = {0.0, 4.0, 9.0, 12.0, 16.0, 20.0, 25.0};
    road.max_speed = {0.0, 2.6, 2.0, 0.0, 2.9, 2.4, 0.0};
    road.grade = {0.02, -0.06, 0.0, 0.08, -0.03, 0.01};
    return road;
}

// The least cost of every sequence of the programme's grid speeds, with its own transitions.
double exhaustive_minimum(const SpeedProgramme& programme, const ProgrammeRoad& road,
                          double weight) {
    double best = INFINITY;
    std::vector<double> speed(road.distance.size(), 0.0);
    std::function<void(std::size_t, double)> search = [&](std::size_t node, double cost) {
        if (node == road.distance.size()) {
            best = std::min(best, cost);
            return;
        }
        for (std::int32_t level = programme.first_level(node); level <= programme.last_level(node);
             ++level) {
            speed[node] = programme.speed_of(node, level);
            double added = 0.0;
            if (node > 0) {
                const Transition t = programme.transition(
                    speed[node - 1], speed[node], road.distance[node] - road.distance[node - 1],
                    road.grade[node - 1]);
                if (!t.feasible) {
                    continue;
                }
                added = t.energy + weight * t.time;
            }
            search(node + 1, cost + added);
        }
    };
    search(0, 0.0);
    return best;
}

TEST(SpeedProgramme, FindsWhatAnExhaustiveSearchFinds) {
    for (PowertrainKind kind : {PowertrainKind::ev, PowertrainKind::ice}) {
        const ProgrammeRoad road = short_road();
        // (the grid alone: coasting between its speeds is what the search cannot enumerate)
        const SpeedProgramme programme(car(kind), road, 0.25, false);
        const double weight = 800.0;
        const Plan plan = programme.solve(weight);
        ASSERT_EQ(plan.speed.size(), road.distance.size());
        const double best = exhaustive_minimum(programme, road, weight);
        EXPECT_NEAR(plan.energy + weight * plan.time, best, 1e-9 * std::fabs(best));
        EXPECT_EQ(plan.speed[3], 0.0); // it stands at the stop
        // Coasting between the grid's speeds only ever finds a cheaper drive.
        const Plan coasting = SpeedProgramme(car(kind), road).solve(weight);
        EXPECT_LE(coasting.energy + weight * coasting.time, best * (1 + 1e-12));
    }
}

// A flat stretch into a stop, then a crest and a dip, for the presets' car (ev and ice) and
// truck (ice), at a weight of time that makes each of them drive and one that makes them crawl.
TEST(SpeedProgramme, PresetsPlanWhatAnExhaustiveSearchFinds) {
    ProgrammeRoad road;
    road.distance = {0.0, 8.0, 16.0, 24.0, 32.0, 40.0, 48.0, 56.0};
    road.max_speed = {0.0, 3.0, 3.0, 0.0, 3.0, 3.0, 3.0, 0.0};
    road.grade = {0.0, 0.0, 0.0, 0.05, -0.05, -0.05, 0.05};
    for (const char* name : {"car", "truck"}) {
        const korvale::VehiclePreset* preset = korvale::find_preset(name);
        for (PowertrainKind kind : {PowertrainKind::ev, PowertrainKind::ice}) {
            if (std::string(name) == "truck" && kind == PowertrainKind::ev) {
                continue;
            }
            const DriveVehicle vehicle =
                korvale::sim::drive_vehicle_of(preset->vehicle, preset->drive, kind);
            const SpeedProgramme programme(vehicle, road, 1.0, false);
            for (double weight : {200.0, 20000.0}) {
                const Plan plan = programme.solve(weight);
                ASSERT_EQ(plan.speed.size(), road.distance.size()) << name;
                const double best = exhaustive_minimum(programme, road, weight);
                EXPECT_NEAR(plan.energy + weight * plan.time, best, 1e-9 * std::fabs(best))
                    << name << " " << weight;
            }
        }
    }
}

TEST(SpeedProgramme, BisectionReachesTheTripTime) {
    ProgrammeRoad road;
    for (int i = 0; i <= 400; ++i) {
        road.distance.push_back(5.0 * i);
        road.max_speed.push_back(i == 0 || i == 400 ? 0.0 : (i > 200 && i < 260 ? 14.0 : 25.0));
        if (i < 400) {
            road.grade.push_back(0.05 * std::sin(i / 40.0));
        }
    }
    const SpeedProgramme programme(car(PowertrainKind::ice), road);
    const Plan fastest = programme.solve(1e7);
    ASSERT_FALSE(fastest.speed.empty());
    for (double share : {1.15, 1.4}) {
        const Plan plan = programme.solve_for_time(fastest.time * share);
        EXPECT_NEAR(plan.time, fastest.time * share, 0.005 * fastest.time * share);
        EXPECT_LT(plan.energy, fastest.energy);
        for (std::size_t i = 0; i < road.distance.size(); ++i) {
            EXPECT_LE(plan.speed[i], road.max_speed[i]);
        }
    }
}

} // namespace
