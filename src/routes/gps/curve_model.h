// The curves of a smoothed GPS line, refitted as road geometry. A smoothing spline keeps a
// curve's turn but not its sharpness: where a curve is short next to the bandwidth that its
// few fixes allow, its peak curvature comes out too low, and where the bandwidth is narrow
// its noise makes spikes. A road curve, though, has a shape known in advance: a straight, a
// clothoid from straight to the arc's curvature, the arc, a clothoid back, a straight. Fitted
// to every fix of the curve and of the straights on either side (whose fixes pin the tangents,
// so the turn), by nonlinear least squares on the fixes' distances from it, the model takes
// its curvature from all of them at once.
//
// Each run of the line that turns one way clearly (see find_turns) is fitted on its own,
// started from the spline; the model replaces the line's curvature over the curve and a margin
// of straight either side when it fits the fixes about as well as their noise allows and keeps
// the turn the spline sees. Elsewhere, and where the model does not fit (two curves in one, a
// curve without straight on either side), the spline's curvature stays.
#pragma once

#include <cstddef>
#include <vector>

namespace korvale::routes {

// A curve of the road in the plane, along its own arc length s from its start.
struct CurveModel {
    double x0 = 0.0, y0 = 0.0; // m, the start
    double heading = 0.0;      // rad at the start, from x towards y
    double lead = 0.0;         // m of straight before the first clothoid
    double entry = 0.0;        // m, the first clothoid
    double arc = 0.0;          // m
    double exit = 0.0;         // m, the second clothoid
    double curvature = 0.0;    // 1/m of the arc, positive to the left

    double end_of_curve() const { return lead + entry + arc + exit; }
    double curvature_at(double s) const;
    double heading_at(double s) const;
    double turn() const { return curvature * (0.5 * entry + arc + 0.5 * exit); }
};

// A stretch of the line, knots first to last, that turns one way; its core turns most.
struct Turn {
    std::size_t first = 0, last = 0;
    std::size_t core_first = 0, core_last = 0;
    double angle = 0.0; // rad, signed
};

// The runs of knots whose curvature keeps one sign above a small floor, joined across short
// gaps, split where the curvature falls well below the peaks on either side, that turn by at
// least a few degrees in all.
// arc: the line's length at each knot.
std::vector<Turn> find_turns(const std::vector<double>& curvature, const std::vector<double>& arc);

// The fixes (px, py, each at place fix_knot along the line, in knots) and the line they were
// smoothed to (x, y and curvature at evenly spaced knots of its parameter): each turn
// of the line fitted with a CurveModel, and the curvature replaced where the model holds.
// noise: the fixes' measured noise, m. Returns how many curves were replaced.
std::size_t refit_curves(const std::vector<double>& px, const std::vector<double>& py,
                         const std::vector<double>& fix_knot, double noise,
                         const std::vector<double>& x, const std::vector<double>& y,
                         std::vector<double>& curvature);

} // namespace korvale::routes
