#include "sim/drivers.h"

#include <algorithm>
#include <cmath>

#include "profile/speed_models.h"

namespace korvale::sim {

namespace {

// Below this target a driver counts it as standing (m/s).
constexpr double LEAST_TARGET = 0.1;
// How fast the plan's follower pulls back onto the plan, s.
constexpr double PLAN_FEEDBACK = 0.5;

Command accelerate(double a) {
    return {Command::Kind::accelerate, a};
}

// The recommended speed at s, held at the route's ends; a stop is a point.
double recommended_at(const SimRoad& road, double s, std::int32_t hint) {
    return road.recommended(s, road.segment_at(s, hint));
}

} // namespace

double toward(double v, double target, double max_acceleration) {
    const double ratio = v / std::max(target, LEAST_TARGET);
    const double square = ratio * ratio;
    return max_acceleration * (1.0 - square * square);
}

Command LimitDriver::command(const DriverState& state) {
    const double target = envelope.target(
        state.look_from, envelope.road().segment_at(state.look_from, state.segment));
    return accelerate(toward(state.v, target, max_acceleration));
}

AdviceDriver::AdviceDriver(const RouteProfile& profile, const SimRoad& road, double horizon,
                           double delay, double dt, double mass, double max_acceleration)
    : profile(profile), road(road), horizon(horizon),
      delay_steps(static_cast<std::size_t>(std::round(delay / dt))), mass(mass),
      max_acceleration(max_acceleration) {}

Command AdviceDriver::command(const DriverState& state) {
    if (state.stops_stood != stops_stood) {
        said.clear(); // what was said before the stop is done with
        stops_stood = state.stops_stood;
    }
    Advice now;
    // (one who stood at a stop looks on from its row, as if the stop were behind)
    const double here = state.look_from;
    advise(profile, here, state.v * KMH_PER_MS, horizon, &now);
    said.push_back(now);
    const Advice& advice = said[said.size() > delay_steps ? said.size() - 1 - delay_steps : 0];
    const double hold =
        toward(state.v, recommended_at(road, here, state.segment), max_acceleration);
    switch (advice.action) {
    case AdviceAction::brake:
        return {Command::Kind::brake, mass * advice.deceleration};
    case AdviceAction::lift_off:
        if (here >= advice.slowdown.liftoff_distance) {
            return {Command::Kind::coast, 0.0};
        }
        return accelerate(hold);
    case AdviceAction::keep:
        break;
    }
    return accelerate(hold);
}

Command RecommendedDriver::command(const DriverState& state) {
    const double ahead =
        recommended_at(road, state.look_from + CRUISE_HORIZON * state.v, state.segment);
    return accelerate((ahead - state.v) / CRUISE_HORIZON);
}

Command PlanDriver::command(const DriverState& state) {
    const double here = state.look_from;
    while (node + 2 < distance.size() && distance[node + 1] <= here) {
        ++node;
    }
    const double length = distance[node + 1] - distance[node];
    const double v0 = speed[node];
    const double v1 = speed[node + 1];
    const double slope = (v1 * v1 - v0 * v0) / length; // of v² over distance
    const double share = std::clamp(here - distance[node], 0.0, length);
    const double planned = std::sqrt(std::max(0.0, v0 * v0 + slope * share));
    return accelerate(slope / 2.0 + (planned - state.v) / PLAN_FEEDBACK);
}

} // namespace korvale::sim
