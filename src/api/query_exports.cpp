// Exported queries of a route profile: by distance, by position, and the point at a distance.
#include "api/guard.h"
#include "korvale.h"
#include "profile/route_profile.h"

using korvale::RouteProfile;
using korvale::api::guarded;
using korvale::api::store;

extern "C" {

double get_max_speed_at_distance(korvale_profile* handle, double distance) {
    return guarded<RouteProfile>(
        handle, -1.0, [&](RouteProfile& p) { return p.max_speed_at_distance(distance); });
}

double get_recomended_speed_at_distance(korvale_profile* handle, double distance) {
    return guarded<RouteProfile>(handle, -1.0, [&](RouteProfile& p) {
        return p.recommended_speed_held_at_distance(distance);
    });
}

double get_coasting_speed_at_distance(korvale_profile* handle, double distance) {
    return guarded<RouteProfile>(
        handle, -1.0, [&](RouteProfile& p) { return p.coasting_speed_held_at_distance(distance); });
}

int32_t get_all_at_distance(korvale_profile* handle, double distance, double* max_speed,
                            double* recommended_speed, double* coasting_speed) {
    return guarded<RouteProfile>(handle, int32_t{-1}, [&](RouteProfile& p) {
        double values[3] = {0.0, 0.0, 0.0};
        if (!p.all_at_distance(distance, &values[0], &values[1], &values[2])) {
            return 0;
        }
        store(max_speed, values[0]);
        store(recommended_speed, values[1]);
        store(coasting_speed, values[2]);
        return 1;
    });
}

int32_t get_pos_at_distance(korvale_profile* handle, double distance, double* x, double* y,
                            double* z) {
    return guarded<RouteProfile>(handle, int32_t{0}, [&](RouteProfile& p) {
        double point[3] = {0.0, 0.0, 0.0};
        if (p.pos_at_distance(distance, &point[0], &point[1], &point[2])) {
            store(x, point[0]);
            store(y, point[1]);
            store(z, point[2]);
        }
        return 1;
    });
}

int32_t get_pos_at_polyline_location(korvale_profile* handle, double distance, double* xyz,
                                     int32_t /*unused*/) {
    return guarded<RouteProfile>(handle, int32_t{0}, [&](RouteProfile& p) {
        double x = 0.0, y = 0.0, z = 0.0;
        if (p.pos_at_distance(distance, &x, &y, &z) && xyz != nullptr) {
            xyz[0] = x;
            xyz[1] = y;
            xyz[2] = z;
        }
        return 1;
    });
}

double get_distance_at_position(korvale_profile* handle, double x, double y, double z,
                                int32_t full_search, double search_window) {
    return guarded<RouteProfile>(handle, -1.0, [&](RouteProfile& p) {
        return p.distance_at_position(x, y, z, full_search == 1, search_window);
    });
}

double get_max_speed_at_position(korvale_profile* handle, double x, double y, double z) {
    return guarded<RouteProfile>(handle, -1.0,
                                 [&](RouteProfile& p) { return p.max_speed_at_position(x, y, z); });
}

double get_recomended_speed_at_position(korvale_profile* handle, double x, double y, double z) {
    return guarded<RouteProfile>(
        handle, -1.0, [&](RouteProfile& p) { return p.recommended_speed_at_position(x, y, z); });
}

double get_coasting_speed_at_position(korvale_profile* handle, double x, double y, double z) {
    return guarded<RouteProfile>(
        handle, -1.0, [&](RouteProfile& p) { return p.coasting_speed_at_position(x, y, z); });
}

int32_t get_all_at_position(korvale_profile* handle, double x, double y, double z,
                            int32_t full_search, double search_window, double* distance,
                            double* max_speed, double* recommended_speed, double* coasting_speed) {
    return guarded<RouteProfile>(handle, int32_t{-1}, [&](RouteProfile& p) {
        double values[4] = {0.0, 0.0, 0.0, 0.0};
        p.all_at_position(x, y, z, full_search != 0, search_window, &values[0], &values[1],
                          &values[2], &values[3]);
        store(distance, values[0]);
        store(max_speed, values[1]);
        store(recommended_speed, values[2]);
        store(coasting_speed, values[3]);
        return 1;
    });
}

} // extern "C"
