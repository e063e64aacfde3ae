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

// The first row beyond distance and within distance + horizon where the recommended speed has a
// local minimum below speed_kmh, and the point where a vehicle at speed_kmh has to start
// coasting (the profile's own coasting model, without the rules that clamp the stored coasting
// column) to arrive there at the target speed; never before distance. Returns false when there
// is no such row. Reads the profile only.
bool next_slowdown(const RouteProfile& profile, double distance, double speed_kmh, double horizon,
                   Slowdown* out);

} // namespace korvale
