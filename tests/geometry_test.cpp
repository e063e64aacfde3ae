// Points, vectors, segments, and the construction of the polyline locator.
#include <cmath>
#include <limits>
#include <stdexcept>

#include <gtest/gtest.h>

#include "geometry/point3.h"
#include "geometry/polyline_locator.h"
#include "geometry/segment.h"

using korvale::Point3;
using korvale::PolylineLocator;
using korvale::Segment;
using korvale::Vector3;

namespace {

void expect_point(const Point3& p, double x, double y, double z) {
    EXPECT_DOUBLE_EQ(p.x, x);
    EXPECT_DOUBLE_EQ(p.y, y);
    EXPECT_DOUBLE_EQ(p.z, z);
}

} // namespace

// The value types do plain arithmetic; what matters beyond it is exact IEEE equality (the
// position cache relies on it) and the floored divisor of normalized().
TEST(GeometryValues, ArithmeticExactEqualityAndTheFlooredNormalization) {
    expect_point(Point3(), 0, 0, 0);
    expect_point(Point3(1, 2, 3) - Point3(0.5, 4, -1), 0.5, -2, 4);
    expect_point(Point3(1, 2, 3) + Point3(1, 1, 1), 2, 3, 4);
    expect_point(Point3(1, 2, 3) * 2.0, 2, 4, 6);
    expect_point(Point3(1, 2, 3) / 2.0, 0.5, 1, 1.5);
    const Point3 shifted = Point3(1, 2, 3) + 0.01;
    EXPECT_EQ(shifted.x, 1 + 0.01);
    EXPECT_EQ(shifted.y, 2 + 0.01);
    EXPECT_EQ(shifted.z, 3 + 0.01);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(Point3(1, 2, nan) == Point3(1, 2, nan));
    EXPECT_TRUE(Point3(0, 0, 0) == Point3(-0.0, 0, 0));
    EXPECT_FALSE(Point3(0, 0, 1) == Point3(0, 0, 1 + 1e-15));

    const Vector3 v(Point3(3, 4, 0));
    EXPECT_EQ(v.norm(), 5.0);
    expect_point(v.normalized(), 0.6, 0.8, 0);
    EXPECT_EQ(v.dot(Point3(1, 1, 7)), 7.0);
    // The divisor is floored: zero stays zero, a tiny vector comes out shorter than unit.
    expect_point(Vector3(Point3(0, 0, 0)).normalized(), 0, 0, 0);
    expect_point(Vector3(Point3(1e-8, 0, 0)).normalized(), 0.1, 0, 0);
    EXPECT_TRUE(std::isnan(Vector3(Point3(std::nan(""), 0, 0)).normalized().y));

    const Segment s(Point3(1, 1, 1), Point3(4, 5, 1));
    expect_point(s.vector(), 3, 4, 0);
    EXPECT_EQ(s.length(), 5.0);
    const Segment point(Point3(2, 2, 2), Point3(2, 2, 2));
    expect_point(point.vector(), 0, 0, 0);
    EXPECT_EQ(point.length(), 0.0);
}

TEST(PolylineLocator, SumsThreeDimensionalStepLengths) {
    const double x[] = {0, 3, 3, 3};
    const double y[] = {0, 4, 4, 4};
    const double z[] = {0, 0, 12, 12};
    const PolylineLocator locator(x, y, z, 4);
    EXPECT_EQ(locator.get_num_points(), 4);
    EXPECT_EQ(locator.distance_at_index(0), 0.0);
    EXPECT_EQ(locator.distance_at_index(1), 5.0);
    EXPECT_EQ(locator.distance_at_index(2), 17.0);
    EXPECT_EQ(locator.distance_at_index(3), 17.0); // a repeated point adds nothing
    // point_at_index clamps its index to the points held.
    expect_point(locator.point_at_index(-5), 0, 0, 0);
    expect_point(locator.point_at_index(2), 3, 4, 12);
    expect_point(locator.point_at_index(7), 3, 4, 12);
}

TEST(PolylineLocator, DegenerateRowCounts) {
    const double v[] = {7};
    const PolylineLocator one(v, v, v, 1);
    EXPECT_EQ(one.get_num_points(), 1);
    EXPECT_EQ(one.distance_at_index(0), 0.0);
    expect_point(one.point_at_index(3), 7, 7, 7);

    for (int n : {0, -3}) {
        const PolylineLocator empty(v, v, v, n);
        EXPECT_EQ(empty.get_num_points(), n);
        EXPECT_EQ(empty.distance_at_index(5), 0.0); // the one distance it holds
        EXPECT_THROW(empty.point_at_index(0), std::out_of_range);
    }
}

TEST(PolylineLocator, NonFiniteCoordinatesCarryIntoLaterDistances) {
    const double x[] = {0, 1, std::numeric_limits<double>::infinity(), 3};
    const double y[] = {0, 0, 0, 0};
    const PolylineLocator locator(x, y, y, 4);
    EXPECT_EQ(locator.distance_at_index(1), 1.0);
    EXPECT_TRUE(std::isinf(locator.distance_at_index(2)));
    EXPECT_TRUE(std::isinf(locator.distance_at_index(3)));
}
