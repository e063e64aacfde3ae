#include "dynamics/speed_programme.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

namespace korvale::dynamics {

namespace {

constexpr double NO_COST = std::numeric_limits<double>::infinity();
// A search for a trip time gives up after this many passes of each of its two stages.
constexpr int MAX_PASSES = 30;
// The grid of speeds stops here.
constexpr std::size_t MAX_LEVELS = 100000;

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
                               double speed_step, bool with_coasting)
    : vehicle(vehicle_in), road(road_in), coasting(with_coasting) {
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
    // Only stops (and the ends) stand still: elsewhere the slowest speed is one step; the
    // highest is the node's maximum speed.
    const std::size_t nodes = road.distance.size();
    for (std::size_t node = 0; node < nodes; ++node) {
        const bool stands = node == 0 || node + 1 == nodes || road.max_speed[node] < STOP_SPEED;
        first_levels.push_back(stands ? 0 : 1);
        const auto above =
            std::lower_bound(levels.begin(), levels.end(), road.max_speed[node] - 1e-9);
        last_levels.push_back(
            stands ? 0
                   : std::max<std::int32_t>(
                         1, std::min(static_cast<std::int32_t>(above - levels.begin()),
                                     static_cast<std::int32_t>(levels.size()) - 1)));
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
    return first_levels[node];
}

std::int32_t SpeedProgramme::last_level(std::size_t node) const {
    return last_levels[node];
}

std::int32_t SpeedProgramme::level_at_or_above(double v) const {
    return static_cast<std::int32_t>(std::lower_bound(levels.begin(), levels.end(), v - 1e-9) -
                                     levels.begin());
}

double SpeedProgramme::coasting_speed(double v0, double length, std::size_t interval) const {
    // Coasting with the drag of the mean v², as the transitions take it: v1² solves
    // M·(v1² - v0²)/(2L) = -k·(v0² + v1²)/2 - load.
    const double mass = vehicle.body.inertial_mass() / (2.0 * length);
    const double drag = vehicle.body.drag_constant() / 2.0;
    const double square = (v0 * v0 * (mass - drag) - grade_loads[interval]) / (mass + drag);
    return square > 0.0 ? std::sqrt(square) : 0.0;
}

double SpeedProgramme::full_power_speed(double v0, double length, std::size_t interval) const {
    // v1 with the force of the transition times the larger speed at the power limit (a little
    // below it, for rounding): the force's v1² solved with the power over the speed held fixed,
    // a few times from v1 = v0.
    const double mass = vehicle.body.inertial_mass() / (2.0 * length);
    const double drag = vehicle.body.drag_constant() / 2.0;
    const double power = vehicle.limits.max_power * (1.0 - 1e-9);
    double v1 = v0;
    for (int i = 0; i < 5; ++i) {
        const double speed = std::max(v0, v1);
        if (!(speed > 0.0)) {
            return -1.0;
        }
        const double square =
            (power / speed - grade_loads[interval] - drag * v0 * v0 + mass * v0 * v0) /
            (mass + drag);
        v1 = square > 0.0 ? std::sqrt(square) : 0.0;
    }
    return v1;
}

double SpeedProgramme::cost_to_go(const std::vector<double>& next, std::size_t node,
                                  double v) const {
    // Linear between the two levels around v; beyond the node's levels, no way on.
    const std::int32_t first = first_level(node);
    const std::int32_t last = last_level(node);
    if (v > speed_of(node, last) + 1e-9 || v < speed_of(node, first) - 1e-9) {
        return NO_COST;
    }
    const std::int32_t above = std::clamp(level_at_or_above(v), first, last);
    const double high = speed_of(node, above);
    if (above == first || high - v <= 1e-12) {
        return next[static_cast<std::size_t>(above)];
    }
    const double low = speed_of(node, above - 1);
    const double share = (v - low) / (high - low);
    return next[static_cast<std::size_t>(above - 1)] * (1.0 - share) +
           next[static_cast<std::size_t>(above)] * share;
}

SpeedProgramme::Choice SpeedProgramme::best_step(std::size_t i, double v0,
                                                 const std::vector<double>& next,
                                                 double weight) const {
    Choice best;
    const double length = road.distance[i + 1] - road.distance[i];
    const double load = grade_loads[i];
    const std::int32_t first1 = first_level(i + 1);
    const std::int32_t last1 = last_level(i + 1);
    // Levels of the next node that the acceleration limits reach.
    const double low =
        std::sqrt(std::max(0.0, v0 * v0 - 2.0 * vehicle.limits.max_deceleration * length));
    const double high = std::sqrt(v0 * v0 + 2.0 * vehicle.limits.max_acceleration * length);
    const std::int32_t j_low = std::max(first1, level_at_or_above(low));
    const std::int32_t j_high = std::min(last1, level_at_or_above(high));
    for (std::int32_t j = j_low; j <= j_high; ++j) {
        const double to_go = next[static_cast<std::size_t>(j)];
        if (to_go == NO_COST) {
            continue;
        }
        const double v1 = speed_of(i + 1, j);
        const Transition t = transition_with_load(vehicle, v0, v1, length, load);
        if (t.feasible) {
            const double cost = t.energy + weight * t.time + to_go;
            if (cost < best.cost) {
                best = {cost, v1};
            }
        }
    }
    // Coasting, full power and speeding up at the full or half acceleration, to speeds between
    // the levels (never into a stop).
    if (coasting && first1 > 0) {
        step_between_levels(i, v0, high, next, weight, &best);
    }
    return best;
}

void SpeedProgramme::step_between_levels(std::size_t i, double v0, double high,
                                         const std::vector<double>& next, double weight,
                                         Choice* best) const {
    const double length = road.distance[i + 1] - road.distance[i];
    const double load = grade_loads[i];
    const double top = speed_of(i + 1, last_level(i + 1));
    const auto consider = [&](double v1) {
        const double to_go = v1 > 0.0 ? cost_to_go(next, i + 1, v1) : NO_COST;
        if (to_go == NO_COST) {
            return true;
        }
        const Transition t = transition_with_load(vehicle, v0, v1, length, load);
        if (t.feasible && t.energy + weight * t.time + to_go < best->cost) {
            *best = {t.energy + weight * t.time + to_go, v1};
        }
        return t.feasible;
    };
    if (v0 > 0.0) {
        consider(coasting_speed(v0, length, i));
    }
    // (full power where the full acceleration is beyond it)
    if (!consider(std::min(high, top))) {
        consider(std::min(full_power_speed(v0, length, i), top));
    }
    consider(std::min(std::sqrt(v0 * v0 + vehicle.limits.max_acceleration * length), top));
}

Plan SpeedProgramme::solve(double weight) const {
    Plan plan;
    plan.weight = weight;
    const std::size_t nodes = road.distance.size();
    if (nodes < 2) {
        return plan;
    }
    // Backwards: the least cost from each level of each node to the stop at the end.
    std::vector<std::vector<double>> to_end(nodes);
    to_end[nodes - 1].assign(1, 0.0);
    for (std::size_t i = nodes - 1; i-- > 0;) {
        std::vector<double>& here = to_end[i];
        here.assign(static_cast<std::size_t>(last_level(i) + 1), NO_COST);
        for (std::int32_t k = first_level(i); k <= last_level(i); ++k) {
            here[static_cast<std::size_t>(k)] =
                best_step(i, speed_of(i, k), to_end[i + 1], weight).cost;
        }
    }
    if (to_end[0][0] == NO_COST) {
        return plan;
    }
    // Forwards from rest, taking the best step from the speed actually reached.
    plan.speed.assign(nodes, 0.0);
    for (std::size_t i = 0; i + 1 < nodes; ++i) {
        const Choice step = best_step(i, plan.speed[i], to_end[i + 1], weight);
        if (step.cost == NO_COST) {
            plan.speed.clear();
            return plan;
        }
        const Transition t =
            transition_with_load(vehicle, plan.speed[i], step.speed,
                                 road.distance[i + 1] - road.distance[i], grade_loads[i]);
        plan.time += t.time;
        plan.energy += t.energy;
        plan.speed[i + 1] = step.speed;
    }
    return plan;
}

namespace {

// The search for a trip time starts at this weight of time, J/s ...
constexpr double FIRST_WEIGHT = 1000.0;
// ... and steps it by this factor until the time lies between two weights.
constexpr double WEIGHT_FACTOR = 8.0;
// Below this weight the plan is that of the least energy.
constexpr double LEAST_WEIGHT = 1e-3;
// The false position stops when the logarithms of the two weights are this close.
constexpr double LOG_WEIGHT_GAP = 1e-9;

// The plans that a search for a trip time tries, and the one of them closest to the time.
class TimeSearch {
public:
    TimeSearch(const SpeedProgramme& searched, double trip_time, double tolerance)
        : programme(searched), target(trip_time), share(tolerance) {}

    // The plan at a weight of time; kept when it comes closest so far (the first always).
    Plan solve(double weight) {
        Plan plan = programme.solve(weight);
        if (!tried || std::fabs(plan.time - target) < std::fabs(best.time - target)) {
            best = plan;
            tried = true;
        }
        return plan;
    }
    bool done(const Plan& plan) const {
        return plan.speed.empty() || std::fabs(plan.time - target) <= share * target;
    }

    const SpeedProgramme& programme;
    const double target;
    Plan best;

private:
    double share;
    bool tried = false;
};

// Two log weights on either side of the trip time, and their trip times less it.
struct Bracket {
    double slow_x = 0.0;
    double fast_x = 0.0;
    double slow_f = 0.0;
    double fast_f = 0.0;
};

// Steps the weight from the first plan's by the factor until the trip time lies between two
// weights (the bracket); or the plan that ends the search on the way: one close enough, the
// least energy's, or the closest when nothing is that fast.
std::optional<Plan> bracket(TimeSearch& search, double weight, Plan plan, Bracket* out) {
    const double target = search.target;
    const bool too_slow = plan.time > target;
    for (int i = 0; i < MAX_PASSES; ++i) {
        const double next = too_slow ? weight * WEIGHT_FACTOR : weight / WEIGHT_FACTOR;
        Plan other = search.solve(next);
        if (search.done(other)) {
            return other;
        }
        if ((other.time > target) != too_slow) {
            const bool other_slow = other.time > target;
            out->slow_x = std::log(other_slow ? next : weight);
            out->fast_x = std::log(other_slow ? weight : next);
            out->slow_f = (other_slow ? other.time : plan.time) - target;
            out->fast_f = (other_slow ? plan.time : other.time) - target;
            return std::nullopt;
        }
        if (!too_slow && next < LEAST_WEIGHT) {
            // As slow as the energy alone makes it: the least energy is the answer.
            Plan least = search.programme.solve(0.0);
            return least.time <= target ? least : search.best;
        }
        weight = next;
        plan = std::move(other);
    }
    return search.best; // nothing is that fast
}

// Closes in on the logarithm of the weight by false position (Illinois: an end that stays put
// has its share halved).
Plan close_in(TimeSearch& search, Bracket b) {
    int kept = 0; // which end stayed put last: -1 the slow one, 1 the fast one
    for (int i = 0; i < MAX_PASSES && b.fast_x - b.slow_x > LOG_WEIGHT_GAP; ++i) {
        double x = b.fast_x - b.fast_f * (b.fast_x - b.slow_x) / (b.fast_f - b.slow_f);
        if (!(x > b.slow_x && x < b.fast_x)) {
            x = (b.slow_x + b.fast_x) / 2.0;
        }
        Plan middle = search.solve(std::exp(x));
        if (search.done(middle)) {
            return middle;
        }
        const double f = middle.time - search.target;
        if (f > 0.0) {
            b.slow_x = x;
            b.slow_f = f;
            b.fast_f = kept == 1 ? b.fast_f / 2.0 : b.fast_f;
            kept = 1;
        } else {
            b.fast_x = x;
            b.fast_f = f;
            b.slow_f = kept == -1 ? b.slow_f / 2.0 : b.slow_f;
            kept = -1;
        }
    }
    return search.best;
}

} // namespace

Plan SpeedProgramme::solve_for_time(double trip_time, double tolerance) const {
    // The trip time falls as the weight rises. Bracket the time asked for between two weights
    // a factor of 8 apart, then close in on the logarithm of the weight.
    TimeSearch search(*this, trip_time, tolerance);
    Plan plan = search.solve(FIRST_WEIGHT);
    if (search.done(plan)) {
        return plan;
    }
    Bracket between;
    if (std::optional<Plan> found = bracket(search, FIRST_WEIGHT, std::move(plan), &between)) {
        return std::move(*found);
    }
    return close_in(search, between);
}

} // namespace korvale::dynamics
