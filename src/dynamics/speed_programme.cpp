#include "speed_programme.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvale::dynamics {

namespace {

constexpr double NO_COST = std::numeric_limits<double>::infinity();
// The grid of speeds stops here (the predecessors are kept as 16-bit levels).
constexpr std::size_t MAX_LEVELS = 30000;

// The transition with the interval's grade load worked out already.
Transition transition_with_load(const DriveVehicle& vehicle, double v0, double v1, double length,
                                double load) {
    Transition out;
    if (!(v0 + v1 > 0.0) || !(length > 0.0)) {
        return out;
    }
    const double a = (v1 * v1 - v0 * v0) / (2.0 * length);
    if (a > vehicle.limits.max_acceleration || a < -vehicle.limits.max_deceleration) {
        return out;
    }
    const Body& body = vehicle.body;
    const double force =
        body.inertial_mass() * a + body.drag_constant() * (v0 * v0 + v1 * v1) / 2.0 + load;
    if (force > 0.0 && force * std::max(v0, v1) > vehicle.limits.max_power) {
        return out;
    }
    out.feasible = true;
    out.time = 2.0 * length / (v0 + v1);
    out.energy = power_flow(vehicle.powertrain, force * length / out.time).source * out.time;
    return out;
}

} // namespace

SpeedProgramme::SpeedProgramme(const DriveVehicle& vehicle_in, const ProgrammeRoad& road_in,
                               double speed_step)
    : vehicle(vehicle_in), road(road_in) {
    double longest = 0.0;
    for (std::size_t i = 0; i + 1 < road.distance.size(); ++i) {
        longest = std::max(longest, road.distance[i + 1] - road.distance[i]);
    }
    double top = 0.0;
    for (double v : road.max_speed) {
        top = std::max(top, v);
    }
    // A step of v² no larger than what the acceleration reaches over half the longest interval.
    const double square_step = vehicle.limits.max_acceleration * longest;
    levels.push_back(0.0);
    while (levels.back() < top && levels.size() < MAX_LEVELS) {
        const double v = levels.back();
        levels.push_back(v +
                         (v > 0.0 ? std::min(speed_step, square_step / (2.0 * v)) : speed_step));
    }
    grade_loads.reserve(road.grade.size());
    for (double grade : road.grade) {
        grade_loads.push_back(grade_load(vehicle.body, grade));
    }
}

Transition SpeedProgramme::transition(double v0, double v1, double length, double grade) const {
    return transition_with_load(vehicle, v0, v1, length, grade_load(vehicle.body, grade));
}

std::int32_t SpeedProgramme::first_level(std::size_t node) const {
    // Only stops (and the ends) stand still: elsewhere the slowest speed is one step.
    return node == 0 || node + 1 == road.distance.size() || road.max_speed[node] < STOP_SPEED ? 0
                                                                                              : 1;
}

std::int32_t SpeedProgramme::last_level(std::size_t node) const {
    if (first_level(node) == 0) {
        return 0;
    }
    const auto above = std::lower_bound(levels.begin(), levels.end(), road.max_speed[node] - 1e-9);
    return std::max<std::int32_t>(1, std::min(static_cast<std::int32_t>(above - levels.begin()),
                                              static_cast<std::int32_t>(levels.size()) - 1));
}

Plan SpeedProgramme::solve(double weight) const {
    Plan plan;
    plan.weight = weight;
    const std::size_t nodes = road.distance.size();
    if (nodes < 2) {
        return plan;
    }
    // The cost of the best drive to each speed of a node, and where it came from.
    std::vector<std::size_t> offset(nodes + 1, 0);
    for (std::size_t i = 0; i < nodes; ++i) {
        offset[i + 1] = offset[i] + static_cast<std::size_t>(last_level(i) + 1);
    }
    std::vector<std::int16_t> from(offset[nodes], -1);
    std::vector<double> before(static_cast<std::size_t>(last_level(0) + 1), NO_COST);
    std::vector<double> after;
    before[0] = 0.0;
    const double up = 2.0 * vehicle.limits.max_acceleration;
    const double down = 2.0 * vehicle.limits.max_deceleration;
    for (std::size_t i = 0; i + 1 < nodes; ++i) {
        const double length = road.distance[i + 1] - road.distance[i];
        const double load = grade_loads[i];
        const std::int32_t first0 = first_level(i);
        const std::int32_t last0 = last_level(i);
        const std::int32_t first1 = first_level(i + 1);
        const std::int32_t last1 = last_level(i + 1);
        after.assign(static_cast<std::size_t>(last1 + 1), NO_COST);
        for (std::int32_t j = first1; j <= last1; ++j) {
            const double v1 = speed_of(i + 1, j);
            // Speeds before from which the acceleration stays within the limits.
            const double low = std::sqrt(std::max(0.0, v1 * v1 - up * length));
            const double high = std::sqrt(v1 * v1 + down * length);
            const std::int32_t k_low =
                std::max(first0, static_cast<std::int32_t>(
                                     std::lower_bound(levels.begin(), levels.end(), low - 1e-9) -
                                     levels.begin()));
            // (a last level lies at or below its grid speed)
            const std::int32_t k_high =
                std::min(last0, static_cast<std::int32_t>(
                                    std::upper_bound(levels.begin(), levels.end(), high + 1e-9) -
                                    levels.begin()));
            double best = NO_COST;
            std::int32_t best_k = -1;
            for (std::int32_t k = k_low; k <= k_high; ++k) {
                const double so_far = before[static_cast<std::size_t>(k)];
                if (so_far == NO_COST) {
                    continue;
                }
                const Transition t =
                    transition_with_load(vehicle, speed_of(i, k), v1, length, load);
                if (!t.feasible) {
                    continue;
                }
                const double cost = so_far + t.energy + weight * t.time;
                if (cost < best) {
                    best = cost;
                    best_k = k;
                }
            }
            after[static_cast<std::size_t>(j)] = best;
            from[offset[i + 1] + static_cast<std::size_t>(j)] = static_cast<std::int16_t>(best_k);
        }
        before.swap(after);
    }
    if (before[0] == NO_COST) {
        return plan;
    }
    // Back from the stop at the end.
    plan.speed.assign(nodes, 0.0);
    std::int32_t level = 0;
    for (std::size_t i = nodes - 1; i > 0; --i) {
        const std::int32_t previous = from[offset[i] + static_cast<std::size_t>(level)];
        const Transition t =
            transition_with_load(vehicle, speed_of(i - 1, previous), speed_of(i, level),
                                 road.distance[i] - road.distance[i - 1], grade_loads[i - 1]);
        plan.time += t.time;
        plan.energy += t.energy;
        plan.speed[i - 1] = speed_of(i - 1, previous);
        level = previous;
    }
    return plan;
}

Plan SpeedProgramme::solve_for_time(double trip_time, double tolerance) const {
    Plan slowest = solve(0.0);
    if (slowest.speed.empty() || slowest.time <= trip_time * (1.0 + tolerance)) {
        return slowest;
    }
    // A weight fast enough, then bisection (on its logarithm) between it and one too slow.
    double low = 0.0;
    double high = 100.0;
    Plan best = solve(high);
    for (int i = 0; i < 40 && best.time > trip_time; ++i) {
        low = high;
        high *= 4.0;
        best = solve(high);
    }
    if (best.time > trip_time) {
        return best; // nothing is that fast
    }
    for (int i = 0; i < 60 && std::fabs(best.time - trip_time) > tolerance * trip_time; ++i) {
        const double middle = low > 0.0 ? std::sqrt(low * high) : high / 4.0;
        Plan plan = solve(middle);
        if (plan.time > trip_time) {
            low = middle;
        } else {
            high = middle;
        }
        if (std::fabs(plan.time - trip_time) < std::fabs(best.time - trip_time)) {
            best = std::move(plan);
        }
        if (high - low <= 1e-9 * high) {
            break;
        }
    }
    return best;
}

} // namespace korvale::dynamics
