// Polylines for tests: a locator from a list of points, or from points along +x, and a check of
// a point's coordinates.
#pragma once

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "geometry/point3.h"
#include "geometry/polyline_locator.h"

namespace korvale_test {

inline korvale::PolylineLocator make_locator(const std::vector<korvale::Point3>& points) {
    std::vector<double> x, y, z;
    for (const korvale::Point3& p : points) {
        x.push_back(p.x);
        y.push_back(p.y);
        z.push_back(p.z);
    }
    return korvale::PolylineLocator(x.data(), y.data(), z.data(),
                                    static_cast<std::int32_t>(points.size()));
}

// Points along +x at the given coordinates.
inline korvale::PolylineLocator along_x(const std::vector<double>& xs) {
    std::vector<korvale::Point3> points;
    for (double x : xs) {
        points.emplace_back(x, 0, 0);
    }
    return make_locator(points);
}

// Each coordinate within 1e-12 of the one expected.
inline void expect_point(const korvale::Point3& p, double x, double y, double z) {
    EXPECT_NEAR(p.x, x, 1e-12);
    EXPECT_NEAR(p.y, y, 1e-12);
    EXPECT_NEAR(p.z, z, 1e-12);
}

} // namespace korvale_test
