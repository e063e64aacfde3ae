// The smoothed line of a GPS track: smoothing splines along the line's own arc length, with a
// bandwidth chosen place by place from the data (wide on straights, where noise would otherwise
// look like curves; narrow where the line really turns), and the same for the heights, whose
// grade is what matters there.
//
// 1. Arc length: the fixes are first placed along the line by the distance between fixes at
//    least THINNING_DISTANCE apart (so that noise around a stop or between dense fixes adds no
//    length), then three times fitted with a fixed bandwidth and each fix put where it projects
//    onto the fitted line.
// 2. Noise: the horizontal noise is the robust spread (1.4826 x the median) of the fixes'
//    distances from that line, the vertical noise likewise of their heights; neither is taken
//    below a floor (a line drawn through exact points is still a sequence of corners).
// 3. Bandwidth: the line is fitted with every bandwidth of a ladder (factor 1.4, 3 to 400 m);
//    the noise of each fit's curvature comes from fitting simulated white noise of the measured
//    size (a fixed seed, so the result is reproducible). At each place the curvature is taken
//    with a bandwidth of 0.15 times the smallest radius that any bandwidth sees there with a
//    curvature of at least 10 times its noise (but no narrower than that bandwidth, nor than
//    the spacing of the fixes); where none does, with the widest. The positions follow the
//    fixes more closely, with at most 25 m. The heights take the narrowest bandwidth (40 to
//    1000 m) whose grade is noisy by at most 0.4 %.
// 4. The line: at each place the fits of the two rungs of the ladder next to its bandwidth,
//    blended by where it lies between them (a single fit whose penalty varied along the line
//    would bend where the penalty changes).
// 5. Curves: where the line turns, the curvature of a road curve fitted to the fixes
//    (curve_model.h), which a spline's bandwidth would flatten or make spiky.
#pragma once

#include <cstddef>
#include <vector>

namespace korvale::routes {

struct TrackPoint {
    double x = 0.0; // m
    double y = 0.0;
    double z = 0.0;
};

struct SmoothingOptions {
    bool with_height = true; // fit the heights too (else z is 0)
};

// The smoothed line at evenly spaced knots of its parameter.
struct SmoothedLine {
    std::vector<double> x, y, z;
    std::vector<double> curvature; // 1/m, positive to the left
    std::vector<double> arc;       // m along the line (horizontal), from 0
    std::vector<double> bandwidth; // m, the horizontal bandwidth chosen at each knot
    double horizontal_noise = 0.0; // m, the noise measured (before the floor)
    double vertical_noise = 0.0;
    std::vector<double> fix_arc; // where each fix lies along the line, m
};

// The fewest fixes a line can be made from.
constexpr std::size_t MIN_TRACK_FIXES = 2;

// The length of the line before smoothing: the distance between fixes at least
// THINNING_DISTANCE (5 m) apart. Smoothing makes it shorter, by half at the most for fixes whose
// noise is as large as their spacing.
double rough_length(const std::vector<TrackPoint>& points);

// Throws RouteError for fewer than MIN_TRACK_FIXES points or points that all lie together.
SmoothedLine smooth_track(const std::vector<TrackPoint>& points, const SmoothingOptions& options);

} // namespace korvale::routes
