// The fit of one road curve (curve_model.h) to the fixes around a turn: the model's parameters
// as a vector, the model traced as a path, a fix's foot on it, the constraints that keep the
// model a road curve, and Levenberg-Marquardt on the fixes' distances from it.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "routes/gps/curve_model.h"

namespace korvale::routes {

// The parameters of the fit: the start (x0, y0, heading), the middle of the curve (m from the
// start), the two clothoids (m), the turn (rad) and the curvature (1/m). Turn and curvature
// apart, the arc follows from them: the fit then moves along the valley of the turn that the
// straights pin, not across it.
struct Param {
    enum Index : std::size_t { x0, y0, heading, middle, entry, exit, turn, curvature, count };
};
using FitVector = std::array<double, Param::count>;
using FitMatrix = std::array<FitVector, Param::count>;

CurveModel model_of(const FitVector& p);
FitVector vector_of(const CurveModel& m);

// A turn is fitted when it turns by at least this in all; a fitted curve turns by at least
// half of it.
constexpr double MIN_TURN = 0.17; // rad, about 10 degrees

// The model traced from its start at TRACE_STEP.
constexpr double TRACE_STEP = 0.5; // m
struct Path {
    std::vector<double> x, y;

    // The point at s along the path (clamped to it).
    void at(double s, double& px, double& py) const;
};
Path trace(const CurveModel& m, double length);

// Where a point lies along the path near s (its foot), and its distance from the path there,
// positive to the left.
struct Foot {
    double s = 0.0;
    double offset = 0.0;
    double nx = 0.0, ny = 0.0; // the path's normal there, to the left
};
// The foot is looked for from the segment at `near` along the path while the point lies beyond
// a segment's end (or before its start), FOOT_REACH at the most.
constexpr double FOOT_REACH = 40.0; // m
Foot foot_of(const Path& path, double px, double py, double near);

// Keeps the model a road curve: lengths not negative, the curve inside the model's length, the
// curvature of its sign (sign: +1 or -1) and size.
FitVector constrained(FitVector p, double length, double sign);

// Solves a x = b for symmetric positive definite a (Cholesky); false when a is not, or the
// solution is not finite.
bool solve(FitMatrix a, FitVector b, FitVector& x);

// The fixes of one turn in the frame of its window, and their feet on the model.
struct FitData {
    std::vector<double> x, y;
    std::vector<Foot> feet;
    double length = 0.0; // m of model
    double noise = 1.0;  // m
};

// What the model costs: the fixes' distances from it (Huber) and the clothoids' prior.
double huber_cost(double r, double noise);
double prior_cost(const CurveModel& m, double noise);

// The model fitted from start to data (whose feet it moves to the fitted model's).
CurveModel fit(const CurveModel& start, FitData& data);

} // namespace korvale::routes
