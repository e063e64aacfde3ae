// The pieces of the road-curve fit: its linear solve, the constraints that keep a model a road
// curve, and a fix's foot on a traced model.
#include <gtest/gtest.h>

#include <cmath>

#include "routes/gps/curve_fit.h"

namespace {

using namespace korvale::routes;

TEST(CurveFit, CholeskySolvesPositiveDefiniteSystemsAndRefusesOthers) {
    // a = m^T m + I for a full m: symmetric positive definite, every entry in use.
    FitMatrix a{};
    for (std::size_t i = 0; i < Param::count; ++i) {
        for (std::size_t j = 0; j < Param::count; ++j) {
            for (std::size_t k = 0; k < Param::count; ++k) {
                a[i][j] += std::sin(1.0 + static_cast<double>(k * 8 + i)) *
                           std::sin(1.0 + static_cast<double>(k * 8 + j));
            }
        }
        a[i][i] += 1.0;
    }
    FitVector known{}, b{};
    for (std::size_t i = 0; i < Param::count; ++i) {
        known[i] = static_cast<double>(i) - 3.5;
    }
    for (std::size_t i = 0; i < Param::count; ++i) {
        for (std::size_t j = 0; j < Param::count; ++j) {
            b[i] += a[i][j] * known[j];
        }
    }
    FitVector x{};
    ASSERT_TRUE(solve(a, b, x));
    for (std::size_t i = 0; i < Param::count; ++i) {
        EXPECT_NEAR(x[i], known[i], 1e-9);
    }
    FitMatrix singular = a;
    singular[Param::turn] = FitVector{}; // a row and column of zeros
    for (FitVector& row : singular) {
        row[Param::turn] = 0.0;
    }
    EXPECT_FALSE(solve(singular, b, x));
    FitMatrix indefinite = a;
    indefinite[Param::exit][Param::exit] = -1.0;
    EXPECT_FALSE(solve(indefinite, b, x));
}

TEST(CurveFit, ConstraintsKeepTheModelARoadCurve) {
    FitVector p{};
    p[Param::middle] = 5.0;
    p[Param::entry] = -3.0;
    p[Param::exit] = 500.0;
    p[Param::turn] = 10.0; // more than a full circle
    p[Param::curvature] = 0.01;
    const FitVector left = constrained(p, 200.0, 1.0);
    const double curve = left[Param::turn] / left[Param::curvature];
    EXPECT_EQ(left[Param::entry], 0.0);
    EXPECT_NEAR(curve, 200.0, 1e-9); // no longer than the model
    EXPECT_NEAR(left[Param::exit], 2 * curve, 1e-9);
    EXPECT_GE(model_of(left).lead, 0.0);
    // A curvature of the wrong sign becomes the flattest of the right one; a turn too small
    // for a curve is raised to one.
    p[Param::curvature] = -0.01;
    EXPECT_GT(constrained(p, 200.0, 1.0)[Param::curvature], 0.0);
    p[Param::turn] = -0.01;
    const FitVector right = constrained(p, 200.0, -1.0);
    EXPECT_LT(right[Param::curvature], 0.0);
    EXPECT_NEAR(right[Param::turn], -0.5 * MIN_TURN, 1e-12);
    // What the constraints leave round-trips through the model.
    const FitVector again = vector_of(model_of(right));
    for (std::size_t q = 0; q < Param::count; ++q) {
        EXPECT_NEAR(again[q], right[q], 1e-9) << q;
    }
}

TEST(CurveFit, AFixsFootIsItsNearestPlaceOnThePathWithinReach) {
    CurveModel straight; // along x from the origin
    const Path line = trace(straight, 100.0);
    Foot foot = foot_of(line, 30.2, 3.0, 0.0);
    EXPECT_NEAR(foot.s, 30.2, 1e-9);
    EXPECT_NEAR(foot.offset, 3.0, 1e-9); // to the left
    EXPECT_NEAR(foot.ny, 1.0, 1e-12);
    EXPECT_NEAR(foot_of(line, 30.2, -2.0, 60.0).offset, -2.0, 1e-9);
    // Searched no farther than its reach from where it was.
    EXPECT_LE(foot_of(line, 90.0, 0.0, 0.0).s, FOOT_REACH + 2 * TRACE_STEP);

    CurveModel circle; // a left arc of radius 50 from the origin, centre (0, 50)
    circle.arc = 150.0;
    circle.curvature = 0.02;
    const Path arc = trace(circle, 150.0);
    foot = foot_of(arc, 40 * std::sin(1.0), 50 - 40 * std::cos(1.0), 45.0);
    EXPECT_NEAR(foot.s, 50.0, 0.1);
    EXPECT_NEAR(foot.offset, 10.0, 0.01);
}

} // namespace
