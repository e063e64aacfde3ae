// Projections onto a segment, the distance index of the polyline and the point at a distance.
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "geometry/point3.h"
#include "geometry/polyline_locator.h"
#include "geometry/segment.h"
#include "support/polylines.h"

using korvale::Point3;
using korvale::PolylineLocator;
using korvale::Segment;
using korvale_test::along_x;
using korvale_test::expect_point;
using korvale_test::make_locator;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

} // namespace

TEST(Segment, ClosestPointIsTheClampedProjection) {
    const Segment s(Point3(0, 0, 0), Point3(10, 0, 0));
    expect_point(s.closest_point(Point3(5, 3, 0)), 5, 0, 0);
    expect_point(s.closest_point(Point3(-4, 1, 0)), 0, 0, 0);
    expect_point(s.closest_point(Point3(14, -2, 0)), 10, 0, 0);
    // A parameter that is not a number clamps to the end.
    expect_point(s.closest_point(Point3(NaN, 0, 0)), 10, 0, 0);

    const Segment point(Point3(1, 1, 1), Point3(1, 1, 1));
    expect_point(point.closest_point(Point3(9, -3, 4)), 1, 1, 1);

    // Below the squared-length floor the parameter shrinks: not the end point.
    const Segment tiny(Point3(0, 0, 0), Point3(0.0005, 0, 0));
    const Point3 p = tiny.closest_point(Point3(0.0005, 0, 0));
    EXPECT_NEAR(p.x, 0.000125, 1e-15);
    EXPECT_EQ(p.y, 0.0);
}

TEST(Segment, ProjectOnLineIsUnbounded) {
    const Segment s(Point3(0, 0, 0), Point3(10, 0, 0));
    expect_point(s.project_on_line(Point3(-4, 1, 0)), -4, 0, 0);
    expect_point(s.project_on_line(Point3(14, -2, 0)), 14, 0, 0);
    expect_point(s.project_on_line(Point3(5, 3, 7)), 5, 0, 0);
    const Segment point(Point3(1, 1, 1), Point3(1, 1, 1));
    expect_point(point.project_on_line(Point3(9, -3, 4)), 1, 1, 1);
}

TEST(Segment, PointAtWalksAlongOrAgainstTheDirection) {
    const Segment s(Point3(0, 0, 0), Point3(10, 0, 0));
    expect_point(s.point_at(3, true), 3, 0, 0);
    expect_point(s.point_at(3, false), -3, 0, 0);
    expect_point(s.point_at(12, true), 12, 0, 0);
    const Segment point(Point3(1, 1, 1), Point3(1, 1, 1));
    expect_point(point.point_at(5, true), 1, 1, 1);
    // Shorter than the norm floor: the direction is shorter than a unit vector.
    const Segment tiny(Point3(0, 0, 0), Point3(0, 0, 5e-8));
    expect_point(tiny.point_at(1, true), 0, 0, 0.5);
}

TEST(IndexAtDistance, FollowsTheBinaryProbeOrder) {
    const PolylineLocator four = along_x({0, 10, 20, 30});
    EXPECT_EQ(four.index_at_distance(-5), 0);
    EXPECT_EQ(four.index_at_distance(0), 0);
    EXPECT_EQ(four.index_at_distance(5), 0);
    EXPECT_EQ(four.index_at_distance(10), 1);
    EXPECT_EQ(four.index_at_distance(15), 1);
    EXPECT_EQ(four.index_at_distance(20), 2);
    EXPECT_EQ(four.index_at_distance(25), 2);
    EXPECT_EQ(four.index_at_distance(30), 2); // the total length: the last segment
    EXPECT_EQ(four.index_at_distance(30.5), 3);
    EXPECT_EQ(four.index_at_distance(NaN), 2);

    // On a repeated point the probe that meets the run first wins.
    EXPECT_EQ(along_x({0, 5, 5, 10}).index_at_distance(5), 1);
    EXPECT_EQ(along_x({0, 5, 5, 5, 5, 10}).index_at_distance(5), 2);

    const PolylineLocator one = along_x({7});
    EXPECT_EQ(one.index_at_distance(-1), 0);
    EXPECT_EQ(one.index_at_distance(0), 0);
    EXPECT_EQ(one.index_at_distance(3), 0);
    EXPECT_EQ(one.index_at_distance(NaN), 0);
}

TEST(IndexAtDistance, DistanceAndSegmentAtIndexClamp) {
    const PolylineLocator four = make_locator({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {10, 10, 10}});
    EXPECT_EQ(four.distance_at_index(-3), 0.0);
    EXPECT_EQ(four.distance_at_index(2), 20.0);
    EXPECT_EQ(four.distance_at_index(7), 30.0);

    for (int i : {-4, 0}) {
        const Segment first = four.segment_at_index(i);
        expect_point(first.start, 0, 0, 0);
        expect_point(first.end, 10, 0, 0);
    }
    const Segment middle = four.segment_at_index(1);
    expect_point(middle.start, 10, 0, 0);
    expect_point(middle.end, 10, 10, 0);
    // From the last point on: a short segment along the unit diagonal, not along the route.
    for (int i : {3, 9}) {
        const Segment end = four.segment_at_index(i);
        expect_point(end.start, 10, 10, 10);
        expect_point(end.end, 10.01, 10.01, 10.01);
    }
}

TEST(PositionAtDistance, InterpolatesInsideAndExtrapolatesOutside) {
    const PolylineLocator bent = make_locator({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {10, 20, 0}});
    expect_point(bent.position_at_distance(0), 0, 0, 0);
    expect_point(bent.position_at_distance(5), 5, 0, 0);
    expect_point(bent.position_at_distance(10), 10, 0, 0);
    expect_point(bent.position_at_distance(15), 10, 5, 0);
    expect_point(bent.position_at_distance(30), 10, 20, 0);
    const double step = 1 / std::sqrt(3.0);
    expect_point(bent.position_at_distance(31), 10 + step, 20 + step, step);
    expect_point(bent.position_at_distance(-2), -2, 0, 0);

    expect_point(along_x({0, 5, 5, 10}).position_at_distance(5), 5, 0, 0);

    const PolylineLocator one = make_locator({{7, 7, 7}});
    expect_point(one.position_at_distance(0), 7, 7, 7);
    expect_point(one.position_at_distance(2), 7 + 2 * step, 7 + 2 * step, 7 + 2 * step);
    expect_point(one.position_at_distance(-2), 7 - 2 * step, 7 - 2 * step, 7 - 2 * step);
}
