// The smoothed line of a GPS track: a smoothing spline along the line's own arc length whose
// bandwidth is chosen place by place from the data (wide on straights, where noise would
// otherwise look like curves; narrow where the line really turns), and the same for the
// heights, whose grade is what matters there.
//
// 1. Arc length: the fixes are first placed along the line by the distance between fixes at
//    least THINNING_DISTANCE apart (so that noise around a stop or between dense fixes adds no
//    length), then three times fitted with a fixed bandwidth and each fix put where it projects
//    onto the fitted line.
// 2. Noise: the horizontal noise is the robust spread (1.4826 x the median) of the fixes'
//    distances from that line, the vertical noise likewise of their heights; neither is taken
//    below a floor (a line drawn through exact points is still a sequence of corners).
// 3. Bandwidth: the line is fitted with every bandwidth of a ladder (factor 1.4 from a few metres
//    to a few hundred); the noise of each fit's curvature comes from fitting simulated white
//    noise of the measured size (a fixed seed, so the result is reproducible). At each place the
//    widest bandwidth is kept whose curvature agrees, within CONFIDENCE times its noise, with the
//    curvature of every narrower one (the intersection of confidence intervals); a narrow
//    bandwidth then holds over its own width around the place that needed it, and the result is
//    smoothed. The heights are treated alike with the grade in place of the curvature.
// 4. The line: one last fit with that bandwidth at each place.
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

// Throws RouteError for fewer than MIN_TRACK_FIXES points or points that all lie together.
SmoothedLine smooth_track(const std::vector<TrackPoint>& points, const SmoothingOptions& options);

} // namespace korvale::routes
