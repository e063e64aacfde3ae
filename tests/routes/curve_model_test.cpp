// The road curves fitted to a GPS line's fixes: turns found in a spline's curvature, and a
// curve's radius recovered from noisy fixes where the spline has flattened it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "routes/gps/curve_model.h"

namespace {

using namespace korvale::routes;

constexpr double PI = 3.14159265358979323846;

// A road sampled every metre: 200 m straight, a 20 m clothoid into an arc of radius 60 m,
// the arc, a 20 m clothoid out, 200 m straight; 50 degrees in all.
struct Road {
    std::vector<double> x, y, curvature;
    double curve_start = 200.0, curve_end = 0.0;
};

Road make_road() {
    constexpr double radius = 60.0, clothoid = 20.0, turn = 50 * PI / 180;
    const double arc = turn * radius - clothoid;
    Road road;
    road.curve_end = road.curve_start + 2 * clothoid + arc;
    const double length = road.curve_end + 200.0;
    const auto k_at = [&](double s) {
        const double t = s - road.curve_start;
        if (t < 0 || t > 2 * clothoid + arc) {
            return 0.0;
        }
        if (t < clothoid) {
            return t / clothoid / radius;
        }
        if (t > clothoid + arc) {
            return (2 * clothoid + arc - t) / clothoid / radius;
        }
        return 1 / radius;
    };
    double x = 0, y = 0, heading = 0.3;
    constexpr int fine = 100; // integration steps per metre
    for (int m = 0; m <= static_cast<int>(length); ++m) {
        road.x.push_back(x);
        road.y.push_back(y);
        road.curvature.push_back(k_at(m));
        for (int i = 0; i < fine; ++i) {
            const double s = m + (i + 0.5) / fine;
            const double h = heading + 0.5 * k_at(s) / fine;
            x += std::cos(h) / fine;
            y += std::sin(h) / fine;
            heading += k_at(s) / fine;
        }
    }
    return road;
}

// The curvature as a wide spline sees it: a running mean over 81 m.
std::vector<double> flattened(const std::vector<double>& k) {
    std::vector<double> out(k.size(), 0.0);
    for (std::size_t j = 0; j < k.size(); ++j) {
        const std::size_t a = j >= 40 ? j - 40 : 0, b = std::min(k.size() - 1, j + 40);
        for (std::size_t i = a; i <= b; ++i) {
            out[j] += k[i] / 81.0;
        }
    }
    return out;
}

TEST(CurveModel, TurnsAreTheSplinesRunsOfOneSignSplitBetweenCurves) {
    std::vector<double> arc(1000), k(1000, 1e-5);
    for (std::size_t j = 0; j < arc.size(); ++j) {
        arc[j] = static_cast<double>(j);
    }
    EXPECT_TRUE(find_turns(k, arc).empty()); // a straight
    // Two left curves with 300 m between them where the spline still bends a little the same
    // way, then a right curve.
    for (std::size_t j = 0; j < 1000; ++j) {
        k[j] = 8e-4;
    }
    for (std::size_t j = 100; j < 160; ++j) {
        k[j] = k[j + 400] = 1.0 / 50;
    }
    for (std::size_t j = 800; j < 880; ++j) {
        k[j] = -1.0 / 80;
    }
    k[700] = 0.0;
    const std::vector<Turn> turns = find_turns(k, arc);
    ASSERT_EQ(turns.size(), 3u);
    EXPECT_TRUE(turns[0].core_first == 100 && turns[0].core_last == 159);
    EXPECT_TRUE(turns[1].core_first == 500 && turns[1].core_last == 559);
    EXPECT_GT(turns[1].angle, 0.0);
    EXPECT_NEAR(turns[2].angle, -1.0, 0.01);
}

TEST(CurveModel, RecoversTheRadiusThatTheSplineFlattened) {
    const Road road = make_road();
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 1.5);
    std::vector<double> px, py, at;
    for (std::size_t m = 0; m < road.x.size(); m += 6) { // 1 Hz at about 20 km/h
        px.push_back(road.x[m] + noise(random));
        py.push_back(road.y[m] + noise(random));
        at.push_back(static_cast<double>(m));
    }
    std::vector<double> k = flattened(road.curvature);
    EXPECT_GT(1 / *std::max_element(k.begin(), k.end()), 80.0); // the spline's: too fast
    ASSERT_EQ(refit_curves(px, py, at, 1.5, road.x, road.y, k), 1u);
    // Within 30 % in radius (15 % in comfort speed): about what a dozen fixes with 1.5 m of
    // noise on the curve can tell.
    EXPECT_NEAR(1 / *std::max_element(k.begin(), k.end()), 60.0, 18.0);
    // The straights beside the curve are straight again.
    const auto start = static_cast<std::size_t>(road.curve_start);
    const auto end = static_cast<std::size_t>(road.curve_end);
    EXPECT_EQ(k[start - 25], 0.0);
    EXPECT_EQ(k[end + 25], 0.0);

    // Fixes that no road curve fits leave the spline's curvature as it was.
    for (double& y : py) {
        y += 20 * noise(random);
    }
    std::vector<double> kept = flattened(road.curvature);
    EXPECT_EQ(refit_curves(px, py, at, 1.5, road.x, road.y, kept), 0u);
    EXPECT_EQ(kept, flattened(road.curvature));
}

} // namespace
