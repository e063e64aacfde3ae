// Exported advice ahead of the vehicle, and how far it is from the route.
#include "api/guard.h"
#include "korvale.h"
#include "profile/advice.h"
#include "profile/route_profile.h"

using korvale::RouteProfile;
using korvale::api::guarded;
using korvale::api::store;

extern "C" {

int32_t korvale_next_slowdown(korvale_profile* handle, double distance, double speed_kmh,
                              double horizon_m, double* slowdown_distance, double* target_speed_kmh,
                              double* liftoff_distance) {
    return guarded<RouteProfile>(handle, int32_t{-1}, [&](RouteProfile& p) {
        korvale::Slowdown found;
        if (!korvale::next_slowdown(p, distance, speed_kmh, horizon_m, &found)) {
            return 0;
        }
        store(slowdown_distance, found.distance);
        store(target_speed_kmh, found.target_speed);
        store(liftoff_distance, found.liftoff_distance);
        return 1;
    });
}

int32_t korvale_advice(korvale_profile* handle, double distance, double speed_kmh, double horizon_m,
                       int32_t* action, double* liftoff_distance, double* target_distance,
                       double* target_speed_kmh, double* deceleration) {
    return guarded<RouteProfile>(handle, int32_t{-1}, [&](RouteProfile& p) {
        korvale::Advice advice;
        const bool found = korvale::advise(p, distance, speed_kmh, horizon_m, &advice);
        if (action != nullptr) {
            *action = static_cast<int32_t>(advice.action);
        }
        if (!found) {
            return 0;
        }
        store(liftoff_distance, advice.slowdown.liftoff_distance);
        store(target_distance, advice.slowdown.distance);
        store(target_speed_kmh, advice.slowdown.target_speed);
        store(deceleration, advice.deceleration);
        return 1;
    });
}

double korvale_offset_from_route(korvale_profile* handle) {
    return guarded<RouteProfile>(handle, -1.0,
                                 [](RouteProfile& p) { return p.offset_from_route(); });
}

} // extern "C"
