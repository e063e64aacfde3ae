// The rules that every route builder applies to its rows: where rows lie along a line, the
// radius and superelevation that a curvature gives, the speed limit where no source gives one,
// and the route's length along its rows; and the one shape of a builder: a route that names
// itself in comment lines and hands its rows, in driving order, to a sink.
#pragma once

#include <cmath>
#include <cstddef>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "geometry/point3.h"
#include "routes/route_file_writer.h"

namespace korvale::routes {

// The radius written for straights, and the curvature (1/m) below which a row is straight.
constexpr double STRAIGHT_RADIUS = 10000.0;
constexpr double STRAIGHT_CURVATURE = 1e-4;

// A row closer than this to the row before it is left out; the row at the end of a line stays,
// in place of one just before it.
constexpr double MIN_ROW_SPACING = 0.001; // m

// The row's radius from the curvature (1/m) and its superelevation, which curves take and
// straights do not. A curvature that is not a number makes a radius that is not one either,
// which the builders refuse: an unknown curve is never written as a straight.
inline void set_curve(RouteRow& row, double curvature, double superelevation) {
    const bool straight = std::fabs(curvature) < STRAIGHT_CURVATURE;
    row.radius = straight ? STRAIGHT_RADIUS : 1 / std::fabs(curvature);
    row.superelevation = straight ? 0.0 : superelevation;
}

// Whether the row's place, radius and superelevation are finite numbers, as a route file's
// must be; the builders refuse a row where they are not, each saying where.
inline bool finite_shape(const RouteRow& row) {
    return std::isfinite(row.x) && std::isfinite(row.y) && std::isfinite(row.z) &&
           std::isfinite(row.radius) && std::isfinite(row.superelevation);
}

// The limit given for rows without one counts only when it is above 0 (NaN: none given).
inline bool gives_limit(double fallback_kmh) {
    return fallback_kmh > 0;
}
// A row's speed limit: the one its sources give (not NaN), else the fallback where it counts;
// NaN where neither does, which the builders refuse, each saying what to give.
inline double limit_or_fallback(double limit_kmh, double fallback_kmh) {
    if (!std::isnan(limit_kmh)) {
        return limit_kmh;
    }
    return gives_limit(fallback_kmh) ? fallback_kmh : std::numeric_limits<double>::quiet_NaN();
}

// Where the rows of a line of the given length lie: every step from 0, the end in place of a
// row closer than MIN_ROW_SPACING to it (the first row stays), and the end.
std::vector<double> step_places(double length, double step);
// The most rows step_places() makes, for the row count that builders check before any row.
double rows_along(double length, double step);

// A route's length in 3-D along its rows, row by row.
class RouteLength {
public:
    // Adds the way from the row before; returns the length up to this row.
    double add(const RouteRow& row);
    double metres() const { return total; }

private:
    bool first = true;
    Point3 last;
    double total = 0.0;
};

using RowSink = std::function<void(const RouteRow&)>;

struct WrittenRoute {
    std::size_t rows = 0;
    double length = 0.0; // m, along the rows in 3-D
};

// Writes the comment lines and the rows that sample hands its sink to path (replacing a file
// there only when complete), measuring the route's length as it goes.
WrittenRoute write_route_rows(const std::string& path, const std::vector<std::string>& comments,
                              const std::function<void(const RowSink&)>& sample);

// Every builder's route has comments(), the lines for the head of its file, and
// sample(sink), which makes every row in driving order and hands it to sink.
template <class Route>
WrittenRoute write_route(const Route& route, const std::string& path) {
    return write_route_rows(path, route.comments(),
                            [&](const RowSink& sink) { route.sample(sink); });
}

} // namespace korvale::routes
