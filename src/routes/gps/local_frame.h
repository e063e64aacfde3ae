// The local frame of a route made from GPS fixes: x east and y north in metres around an
// origin, from GeographicLib's local cartesian projection on the WGS84 ellipsoid, and z the
// height above the origin's height (not the projection's "up" coordinate, which falls below a
// level road by s²/2R and would add a false grade).
#pragma once

namespace korvale::routes {

struct GeoPoint {
    double latitude = 0.0;  // degrees
    double longitude = 0.0; // degrees
    double height = 0.0;    // m above the ellipsoid (or any datum, used alike for every point)
};

struct LocalPoint {
    double x = 0.0; // m east
    double y = 0.0; // m north
    double z = 0.0; // m above the origin's height
};

// Throws RouteError naming `what` when the latitude is beyond ±90 degrees, the longitude
// beyond ±180 or any of the three is not a finite number.
void check_geo_point(const GeoPoint& point, const char* what);

class LocalFrame {
public:
    // Throws RouteError for an origin that check_geo_point refuses.
    explicit LocalFrame(const GeoPoint& origin);

    const GeoPoint& origin() const { return origin_point; }
    // Throws RouteError for a point that check_geo_point refuses.
    LocalPoint forward(const GeoPoint& point) const;
    // The point whose forward() gives (x, y, z), within a micrometre.
    GeoPoint reverse(const LocalPoint& point) const;

private:
    GeoPoint origin_point;
};

} // namespace korvale::routes
