// The C functions of include/korvale_routes.h: each checks its arguments, runs a builder and
// turns every exception into a message in the caller's buffer.
#include <cmath>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "korvale_routes.h"
#include "opendrive_map.h"
#include "opendrive_route.h"
#include "route_error.h"

namespace {

void put_message(const std::string& message, char* error, size_t error_size) noexcept {
    if (error == nullptr || error_size == 0) {
        return;
    }
    const std::size_t n = std::min(message.size(), error_size - 1);
    std::memcpy(error, message.data(), n);
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
            put_message(std::string("internal error: ") + failure.what(), error, error_size);
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

} // extern "C"
