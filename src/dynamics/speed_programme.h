// The energy-optimal drive over a road: dynamic programming over distance, the speed at each
// node of a distance grid taken from a grid of speeds, minimising the energy drawn from the
// source plus λ times the trip time, with the vehicle's dynamics, powertrain and limits.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "dynamics/drive_vehicle.h"

namespace korvale::dynamics {

// Speeds below this at a node make it a stop: the drive stands there (m/s; 1 km/h).
constexpr double STOP_SPEED = 1.0 / 3.6;

struct ProgrammeRoad {
    std::vector<double> distance;  // of the nodes, m, increasing
    std::vector<double> max_speed; // at each node, m/s (the whole interval on either side
                                   // must allow it); the first and last node are stops
    std::vector<double> grade;     // of each interval from a node to the next
};

// Between two nodes the vehicle runs at a constant acceleration, so that v² is linear in
// distance; its drag is that of the mean v² over the interval.
struct Transition {
    bool feasible = false;
    double time = 0.0;   // s
    double energy = 0.0; // from the source (battery or fuel), J
};

struct Plan {
    std::vector<double> speed; // at each node, m/s; empty when no drive is feasible
    double time = 0.0;
    double energy = 0.0;
    double weight = 0.0; // λ, J/s
};

// Backwards from the stop at the end, the least cost from each speed of the grid at each node;
// then forwards from rest, the best step from the speed reached. A step goes to a speed of the
// grid at the next node, or coasts, drives at full power or speeds up at the full or half
// acceleration to a speed
// between two of them, whose cost on is taken linearly between theirs (so that the plan can
// coast gently where one step of the grid would need the brakes, and speed up as fast as the
// vehicle can where the grid's steps are coarse).
class SpeedProgramme {
public:
    SpeedProgramme(const DriveVehicle& vehicle, const ProgrammeRoad& road, double speed_step = 0.25,
                   bool coasting = true);

    // One pass at a weight of time.
    Plan solve(double weight) const;
    // The plan whose trip time comes closest to trip_time (within tolerance as a share of it
    // where it can), by bisection of the weight; the fastest plan when none is that fast.
    Plan solve_for_time(double trip_time, double tolerance = 0.002) const;

    // From v0 to v1 over an interval.
    Transition transition(double v0, double v1, double length, double grade) const;
    // The speeds a node may take: levels first..last of the grid, the last being the node's
    // maximum speed. The grid steps by speed_step, finer at speeds where that step would take
    // more than half of the acceleration the longest interval allows.
    std::int32_t first_level(std::size_t node) const;
    std::int32_t last_level(std::size_t node) const;
    double speed_of(std::size_t node, std::int32_t level) const {
        return std::min(levels[static_cast<std::size_t>(level)], road.max_speed[node]);
    }

private:
    struct Choice {
        double cost = std::numeric_limits<double>::infinity();
        double speed = 0.0; // at the next node
    };
    // The best step from v0 at node i on, given the costs on from the next node's levels.
    Choice best_step(std::size_t i, double v0, const std::vector<double>& next,
                     double weight) const;
    // Coasting, full power and speeding up at the full or half acceleration (high: the speed
    // that it reaches at the next node) to speeds between the next node's levels: best where
    // one of them costs less.
    void step_between_levels(std::size_t i, double v0, double high, const std::vector<double>& next,
                             double weight, Choice* best) const;
    double cost_to_go(const std::vector<double>& next, std::size_t node, double v) const;
    double coasting_speed(double v0, double length, std::size_t interval) const;
    double full_power_speed(double v0, double length, std::size_t interval) const;
    std::int32_t level_at_or_above(double v) const;

    DriveVehicle vehicle;
    ProgrammeRoad road;
    bool coasting;
    std::vector<double> levels;             // the grid of speeds, from 0 up
    std::vector<double> grade_loads;        // of each interval, N
    std::vector<std::int32_t> first_levels; // of each node
    std::vector<std::int32_t> last_levels;
};

} // namespace korvale::dynamics
