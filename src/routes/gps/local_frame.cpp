#include "routes/gps/local_frame.h"

#include <cmath>
#include <string>

#include <GeographicLib/LocalCartesian.hpp>

#include "routes/route_error.h"
#include "routes/route_file_writer.h"

namespace korvale::routes {

namespace {

constexpr double MAX_LATITUDE = 90.0;
constexpr double MAX_LONGITUDE = 180.0;
// The reverse projection is refined until the height misses by less than this.
constexpr double REVERSE_TOLERANCE = 1e-9; // m
constexpr int REVERSE_ITERATIONS = 8;

} // namespace

void check_geo_point(const GeoPoint& point, const char* what) {
    if (!(std::fabs(point.latitude) <= MAX_LATITUDE)) {
        throw RouteError(std::string(what) + ": the latitude " + number_text(point.latitude) +
                         " is not a number from -90 to 90");
    }
    if (!(std::fabs(point.longitude) <= MAX_LONGITUDE)) {
        throw RouteError(std::string(what) + ": the longitude " + number_text(point.longitude) +
                         " is not a number from -180 to 180");
    }
    if (!std::isfinite(point.height)) {
        throw RouteError(std::string(what) + ": the height " + number_text(point.height) +
                         " is not a finite number");
    }
}

LocalFrame::LocalFrame(const GeoPoint& origin) : origin_point(origin) {
    check_geo_point(origin, "the origin");
}

LocalPoint LocalFrame::forward(const GeoPoint& point) const {
    check_geo_point(point, "a point");
    const GeographicLib::LocalCartesian projection(origin_point.latitude, origin_point.longitude,
                                                   origin_point.height);
    LocalPoint local;
    double up = 0.0;
    projection.Forward(point.latitude, point.longitude, point.height, local.x, local.y, up);
    local.z = point.height - origin_point.height;
    return local;
}

GeoPoint LocalFrame::reverse(const LocalPoint& point) const {
    const GeographicLib::LocalCartesian projection(origin_point.latitude, origin_point.longitude,
                                                   origin_point.height);
    // The point has height origin + z; the "up" coordinate that gives it is found by a few
    // corrections, each by the height still missing (up and height change almost alike).
    const double height = origin_point.height + point.z;
    double up = point.z;
    GeoPoint found;
    for (int i = 0; i < REVERSE_ITERATIONS; ++i) {
        projection.Reverse(point.x, point.y, up, found.latitude, found.longitude, found.height);
        const double missing = height - found.height;
        up += missing;
        if (!(std::fabs(missing) > REVERSE_TOLERANCE)) {
            break;
        }
    }
    found.height = height;
    return found;
}

} // namespace korvale::routes
