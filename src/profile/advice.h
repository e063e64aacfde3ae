// Advice ahead of the vehicle: the next slow-down and where to lift off to coast into it.
#pragma once

#include <cstdint>

namespace korvale {

class RouteProfile;

struct Slowdown {
    double distance = 0.0;         // route distance of the slow-down row, m
    double target_speed = 0.0;     // recommended speed there, km/h
    double liftoff_distance = 0.0; // where coasting from speed_kmh reaches it at that speed, m
};

// What the driver of a vehicle at a speed is advised to do about the next slow-down.
enum class AdviceAction {
    keep = 0,     // no slow-down within the horizon
    lift_off = 1, // coast from liftoff_distance (the vehicle's distance itself: lift off now)
    brake = 2,    // coasting from here arrives too fast: brake at deceleration
};

struct Advice {
    AdviceAction action = AdviceAction::keep;
    Slowdown slowdown;         // with lift_off and brake: the slow-down; its lift-off distance is
                               // where the walked-back speed reaches the vehicle's (lift_off) or
                               // the vehicle's distance (brake)
    double deceleration = 0.0; // brake: the braking the vehicle needs on top of coasting, m/s²
};

// The first row beyond distance and within distance + horizon where the recommended speed has a
// local minimum below speed_kmh (for the predictive model one at least 2 km/h below the top of
// the fall into it), and the point where a vehicle at speed_kmh has to start
// coasting (the profile's own coasting model, without the rules that clamp the stored coasting
// column) to arrive there at the target speed; never before distance. Returns false when there
// is no such row. Reads the profile only.
bool next_slowdown(const RouteProfile& profile, double distance, double speed_kmh, double horizon,
                   Slowdown* out);

// The advice for a vehicle at distance going speed_kmh about the slow-down next_slowdown finds:
// keep without one (false); lift off where the speed walked back from it with the profile's own
// rule (as next_slowdown walks) reaches speed_kmh at or ahead of distance; brake when at
// distance it is still below speed_kmh, with the deceleration that reaches the target speed at
// the slow-down, (v² - v_target²) / (2 (d_target - distance)), less what coasting at v gives
// there on the grade at distance, never below 0 (speeds in m/s). Reads the profile only.
bool advise(const RouteProfile& profile, double distance, double speed_kmh, double horizon,
            Advice* out);

} // namespace korvale
