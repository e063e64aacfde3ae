// The drivers: rules from what a driver sees to what it asks of the vehicle.
#pragma once

#include <cstddef>
#include <vector>

#include "profile/advice.h"
#include "profile/route_profile.h"
#include "sim/drive_run.h"

namespace korvale::sim {

// The acceleration of a driver who speeds up toward a target: a_max·(1 - (v/target)^4), which
// eases off as the target nears and brakes above it.
double toward(double v, double target, double max_acceleration);

// The baseline of eco-driving studies: toward the braking envelope's target (the maximum
// speed, and what braking at b allows ahead of each lower one), never coasting.
class LimitDriver : public Driver {
public:
    LimitDriver(const BrakingEnvelope& envelope, double max_acceleration)
        : envelope(envelope), max_acceleration(max_acceleration) {}
    Command command(const DriverState& state) override;
    bool counts_overrides() const override { return false; }

private:
    const BrakingEnvelope& envelope;
    double max_acceleration;
};

// A person who follows the profile's advice, acting on what it said a delay ago: keep holds the
// recommended speed, lift off holds it up to the lift-off point and then coasts, brake brakes
// with the mass times the advised deceleration.
class AdviceDriver : public Driver {
public:
    AdviceDriver(const RouteProfile& profile, const SimRoad& road, double horizon, double delay,
                 double dt, double mass, double max_acceleration);
    Command command(const DriverState& state) override;

private:
    const RouteProfile& profile;
    const SimRoad& road;
    double horizon;
    std::size_t delay_steps;
    double mass;
    double max_acceleration;
    std::vector<Advice> said; // one per step since the last stop it stood at, in order
    std::int32_t stops_stood = 0;
};

// How far ahead the cruise controller looks and how fast it closes the gap, s.
constexpr double CRUISE_HORIZON = 2.0;

// A cruise controller on the recommended speed: (v_rec(s + 2 s·v) - v) / 2 s.
class RecommendedDriver : public Driver {
public:
    explicit RecommendedDriver(const SimRoad& road) : road(road) {}
    Command command(const DriverState& state) override;

private:
    const SimRoad& road;
};

// Follows a speed plan over distance nodes (constant acceleration between them), with a
// feedback that pulls its speed back onto the plan.
class PlanDriver : public Driver {
public:
    PlanDriver(std::vector<double> distance, std::vector<double> speed)
        : distance(std::move(distance)), speed(std::move(speed)) {}
    Command command(const DriverState& state) override;
    bool counts_overrides() const override { return false; }

private:
    std::vector<double> distance;
    std::vector<double> speed;
    std::size_t node = 0;
};

} // namespace korvale::sim
