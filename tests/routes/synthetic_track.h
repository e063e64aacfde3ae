// Synthetic GPS recordings of roads of known geometry, and how well a route built from one
// matches the road: used by the accuracy program and the tests of the GPS route builder.
//
// A road: straights of 150 to 600 m and curves of 40 to 1000 m radius (log-uniform) turning 30
// to 120 degrees, entered and left through clothoids; a limit of 50 to 110 km/h per straight and
// curve; hills of -6 to 6 % grade changing every 200 to 800 m over 100 m vertical curves. A
// drive: each place at the smaller of the limit and the curve's comfort speed, reached with
// 1.5 m/s² at most, fixed at 1 or 10 Hz; noise of 1.5 m per fix and axis, plus a bias that
// wanders as a Gauss-Markov process (2 m, 60 s), and 2 m of height noise per fix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "routes/gps/gps_track.h"
#include "routes/gps/local_frame.h"
#include "routes/route_file_writer.h"

namespace korvale_test {

struct SyntheticCurve {
    double start = 0.0, end = 0.0; // m along the road, clothoids included
    double radius = 0.0;           // m, of the arc
    double turn = 0.0;             // rad
    double clothoid = 0.0;         // m, each of the two
    double limit = 0.0;            // km/h
    double comfort = 0.0;          // km/h, at the radius
};

struct SyntheticRoad {
    double spacing = 0.5; // m between samples
    std::vector<double> x, y, z, curvature, grade, limit;
    std::vector<SyntheticCurve> curves;
    double length() const { return spacing * static_cast<double>(x.size() - 1); }
};

struct NoiseModel {
    double horizontal = 1.5; // m per fix and axis, white
    double bias = 2.0;       // m per axis, Gauss-Markov
    double bias_time = 60.0; // s, its correlation time
    double vertical = 2.0;   // m per fix, white
};

SyntheticRoad make_road(std::uint64_t seed, int curves);

// The fixes of a drive along the road at rate_hz, in the frame of origin, with maxspeed set
// to the road's limit when with_limits.
korvale::routes::GpsTrack record_drive(const SyntheticRoad& road, double rate_hz,
                                       std::uint64_t seed, const NoiseModel& noise,
                                       const korvale::routes::GeoPoint& origin, bool with_limits);

struct Accuracy {
    int curves = 0;               // curves whose comfort speed is below their limit
    int curves_within = 0;        // of those, the slowest comfort speed of the route within 15 %
    double worst_curve = 0.0;     // largest |route / true - 1| of those
    double straight_length = 0.0; // m of straight farther than 60 m from any curve
    double straight_above = 0.0;  // of it, where the route's comfort speed >= the limit
    double length = 0.0;          // m of route compared for grade
    double grade_within = 0.0;    // of it, where the grade is within 2 percentage points
    std::vector<double> road_s;   // for each row, where it lies along the road
    std::vector<std::pair<std::size_t, double>> curve_errors; // (curve, route / true - 1)
};

Accuracy evaluate(const SyntheticRoad& road, const std::vector<korvale::routes::RouteRow>& rows);

} // namespace korvale_test
