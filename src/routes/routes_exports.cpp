// The C functions of include/korvale_routes.h: each checks its arguments, runs a builder and
// turns every exception into a message in the caller's buffer.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "korvale_routes.h"
#include "routes/gps/gps_route.h"
#include "routes/gps/local_frame.h"
#include "routes/opendrive/lane_route.h"
#include "routes/opendrive/opendrive_map.h"
#include "routes/opendrive/opendrive_route.h"
#include "routes/route_error.h"
#include "routes/route_file_writer.h"

namespace {

// Takes the text as it stands: a failure without memory must not need any to be reported.
void put_message(const char* message, char* error, size_t error_size) noexcept {
    if (error == nullptr || error_size == 0) {
        return;
    }
    const std::size_t n = std::min(std::strlen(message), error_size - 1);
    std::memcpy(error, message, n);
    error[n] = '\0';
}

// Runs work, reporting success or the failure's message; nothing escapes.
template <class Work>
int32_t reported(char* error, size_t error_size, Work&& work) noexcept {
    try {
        work();
        put_message("", error, error_size);
        return KORVALE_ROUTES_OK;
    } catch (const korvale::routes::RouteError& failure) {
        put_message(failure.what(), error, error_size);
    } catch (const std::bad_alloc&) {
        put_message("not enough memory", error, error_size);
    } catch (const std::exception& failure) {
        try {
            put_message((std::string("internal error: ") + failure.what()).c_str(), error,
                        error_size);
        } catch (...) {
            put_message("internal error", error, error_size);
        }
    } catch (...) {
        put_message("internal error", error, error_size);
    }
    return KORVALE_ROUTES_FAILED;
}

void require(const char* argument, const char* what) {
    if (argument == nullptr || *argument == '\0') {
        throw korvale::routes::RouteError(std::string("no ") + what + " given");
    }
}

void require_output(const double* output, const char* what) {
    if (output == nullptr) {
        throw korvale::routes::RouteError(std::string("no ") + what + " array given");
    }
}

} // namespace

extern "C" {

KORVALE_ROUTES_API int32_t korvale_route_from_opendrive(const char* map_path, const char* roads,
                                                        int32_t lane, double step, double limit_kmh,
                                                        int32_t reverse, const char* route_path,
                                                        char* error, size_t error_size) {
    using namespace korvale::routes;
    return reported(error, error_size, [&] {
        require(map_path, "map path");
        require(route_path, "route path");
        OpenDriveRouteOptions options;
        if (roads != nullptr && *roads != '\0') {
            options.roads = split_road_ids(roads);
        }
        options.lane = lane;
        options.step = step;
        options.default_limit_kmh = limit_kmh;
        options.reverse = reverse != 0;
        write_opendrive_route(OpenDriveMap::read(map_path), options, route_path);
    });
}

KORVALE_ROUTES_API int32_t korvale_route_through_opendrive(
    const char* map_path, const char* from, const char* to, const char* via, double step,
    double limit_kmh, double lane_change, const char* route_path, char* error, size_t error_size) {
    using namespace korvale::routes;
    return reported(error, error_size, [&] {
        require(map_path, "map path");
        require(from, "start");
        require(to, "end");
        require(route_path, "route path");
        LaneRouteOptions options;
        options.from = from;
        options.to = to;
        if (via != nullptr && *via != '\0') {
            options.via = split_road_ids(via);
        }
        options.step = step;
        options.default_limit_kmh = limit_kmh;
        options.lane_change = lane_change;
        write_lane_route(OpenDriveMap::read(map_path), options, route_path);
    });
}

KORVALE_ROUTES_API int32_t korvale_route_from_gps(const char* track_path, double step,
                                                  double limit_kmh, const char* limits_path,
                                                  double superelevation, int32_t flat,
                                                  const double* origin, const char* route_path,
                                                  int64_t* summary, char* error,
                                                  size_t error_size) {
    using namespace korvale::routes;
    return reported(error, error_size, [&] {
        require(track_path, "track path");
        require(route_path, "route path");
        GpsRouteOptions options;
        options.step = step;
        options.default_limit_kmh = limit_kmh;
        if (limits_path != nullptr && *limits_path != '\0') {
            options.limits = read_limits_file(limits_path);
            options.limits_name = limits_path;
        }
        options.superelevation = superelevation;
        options.flat = flat != 0;
        if (origin != nullptr) {
            options.origin = GeoPoint{origin[0], origin[1], origin[2]};
        }
        const GpsRouteReport report =
            write_gps_route(read_gps_track(track_path), options, route_path);
        if (summary != nullptr) {
            summary[0] = static_cast<int64_t>(report.fixes);
            summary[1] = static_cast<int64_t>(report.repeated);
            summary[2] = static_cast<int64_t>(report.outliers);
            summary[3] = static_cast<int64_t>(report.rows);
        }
    });
}

KORVALE_ROUTES_API int32_t korvale_local_frame_forward(double origin_latitude,
                                                       double origin_longitude,
                                                       double origin_height, double latitude,
                                                       double longitude, double height, double* xyz,
                                                       char* error, size_t error_size) {
    using namespace korvale::routes;
    return reported(error, error_size, [&] {
        require_output(xyz, "xyz");
        const LocalFrame frame({origin_latitude, origin_longitude, origin_height});
        const LocalPoint p = frame.forward({latitude, longitude, height});
        xyz[0] = p.x;
        xyz[1] = p.y;
        xyz[2] = p.z;
    });
}

KORVALE_ROUTES_API int32_t korvale_local_frame_reverse(double origin_latitude,
                                                       double origin_longitude,
                                                       double origin_height, double x, double y,
                                                       double z, double* lat_lon_height,
                                                       char* error, size_t error_size) {
    using namespace korvale::routes;
    return reported(error, error_size, [&] {
        require_output(lat_lon_height, "lat_lon_height");
        if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
            throw RouteError("the local point (" + number_text(x) + ", " + number_text(y) + ", " +
                             number_text(z) + ") is not finite");
        }
        const LocalFrame frame({origin_latitude, origin_longitude, origin_height});
        const GeoPoint p = frame.reverse({x, y, z});
        lat_lon_height[0] = p.latitude;
        lat_lon_height[1] = p.longitude;
        lat_lon_height[2] = p.height;
    });
}

} // extern "C"
