// Projections onto a segment, the distance index of the polyline, the position search with its
// window and cache, and the profile's interpolations read against its own columns.
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "geometry/point3.h"
#include "geometry/polyline_locator.h"
#include "geometry/segment.h"
#include "profile/position_tracker.h"
#include "profile/route_profile.h"
#include "profile/speed_models.h"
#include "support/temp_dir.h"
#include "support/vehicles.h"

using korvale::Point3;
using korvale::PolylineLocator;
using korvale::PositionTracker;
using korvale::RouteProfile;
using korvale::Segment;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

void expect_point(const Point3& p, double x, double y, double z) {
    EXPECT_NEAR(p.x, x, 1e-12);
    EXPECT_NEAR(p.y, y, 1e-12);
    EXPECT_NEAR(p.z, z, 1e-12);
}

PolylineLocator make_locator(const std::vector<Point3>& points) {
    std::vector<double> x, y, z;
    for (const Point3& p : points) {
        x.push_back(p.x);
        y.push_back(p.y);
        z.push_back(p.z);
    }
    return PolylineLocator(x.data(), y.data(), z.data(), static_cast<std::int32_t>(points.size()));
}

// Points along +x at the given coordinates.
PolylineLocator along_x(const std::vector<double>& xs) {
    std::vector<Point3> points;
    for (double x : xs) {
        points.emplace_back(x, 0, 0);
    }
    return make_locator(points);
}

// A route and a vehicle's tracker along it.
struct Tracked {
    explicit Tracked(PolylineLocator polyline) : route(std::move(polyline)), tracker(route) {}
    Tracked(const Tracked&) = delete;
    Tracked& operator=(const Tracked&) = delete;

    PolylineLocator route;
    PositionTracker tracker;
};

// Runs a search and returns the distance it writes.
double locate(Tracked& locator, Point3 position, double window, bool full,
              Point3* found = nullptr) {
    double distance = -12345.0;
    const Point3 p = locator.tracker.locate_position(position, &distance, window, full);
    if (found != nullptr) {
        *found = p;
    }
    return distance;
}

const std::vector<double> FIVE_POINTS = {0, 10, 20, 30, 40};
const std::vector<double> LONG_SEGMENT = {0, 10, 20, 1020, 1030};

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

TEST(LocatePosition, FirstSearchAfterConstructionIsFull) {
    Tracked locator(along_x(FIVE_POINTS));
    EXPECT_EQ(locator.tracker.get_last_lookup_segment(), -1);
    EXPECT_EQ(locator.tracker.get_last_lookup_distance(), 0.0);
    Point3 found;
    EXPECT_NEAR(locate(locator, Point3(15, 3, 0), 100, false, &found), 15.0, 1e-9);
    expect_point(found, 15, 0, 0);
    EXPECT_EQ(locator.tracker.get_last_lookup_segment(), 1);
    EXPECT_EQ(locator.tracker.get_last_lookup_distance(), 15.0);

    // The first search reaches the last segment too.
    Tracked fresh(along_x(FIVE_POINTS));
    EXPECT_NEAR(locate(fresh, Point3(38, 1, 0), 100, false, &found), 38.0, 1e-9);
    expect_point(found, 38, 0, 0);
    EXPECT_EQ(fresh.tracker.get_last_lookup_segment(), 3);
    EXPECT_NEAR(locate(fresh, Point3(38, 1.5, 0), 100, false), 38.0, 1e-9);

    // However small the window asked for.
    Tracked far(along_x(LONG_SEGMENT));
    EXPECT_NEAR(locate(far, Point3(1025, 1, 0), 1, false), 1025.0, 1e-9);
    EXPECT_EQ(far.tracker.get_last_lookup_segment(), 3);
}

TEST(LocatePosition, WindowFollowsThePreviousResult) {
    Tracked locator(along_x(FIVE_POINTS));
    EXPECT_NEAR(locate(locator, Point3(38, 1, 0), 100, false), 38.0, 1e-9);
    // Beyond the last point and before the first: the end points.
    Point3 found;
    EXPECT_NEAR(locate(locator, Point3(45, 0, 0), 100, false, &found), 40.0, 1e-9);
    expect_point(found, 40, 0, 0);
    EXPECT_EQ(locator.tracker.get_last_lookup_segment(), 3);
    EXPECT_NEAR(locate(locator, Point3(-5, 2, 0), 100, false, &found), 0.0, 1e-9);
    expect_point(found, 0, 0, 0);
    EXPECT_EQ(locator.tracker.get_last_lookup_segment(), 0);

    // A window of 5 m around 0 holds only segments 0 and 1: a position far along the route maps
    // to their end, until a full search.
    EXPECT_NEAR(locate(locator, Point3(35, 1, 0), 5, false), 20.0, 1e-9);
    EXPECT_NEAR(locate(locator, Point3(35, 2, 0), 5, true), 35.0, 1e-9);
}

TEST(LocatePosition, SegmentLongerThanTheWindowIsStillSearched) {
    Tracked locator(along_x(LONG_SEGMENT));
    Point3 found;
    EXPECT_NEAR(locate(locator, Point3(500, 2, 0), 100, false, &found), 500.0, 1e-9);
    expect_point(found, 500, 0, 0);
    EXPECT_EQ(locator.tracker.get_last_lookup_segment(), 2);
    EXPECT_NEAR(locate(locator, Point3(510, 2, 0), 100, false, &found), 510.0, 1e-9);
    expect_point(found, 510, 0, 0);
    EXPECT_NEAR(locate(locator, Point3(520, 2, 0), 100, false), 520.0, 1e-9);
    EXPECT_NEAR(locate(locator, Point3(530, 2, 0), 100, true), 530.0, 1e-9);

    // Walking the whole straight in small steps with a small window, onto the next segment.
    for (double x = 535; x <= 1028; x += 0.5) {
        ASSERT_NEAR(locate(locator, Point3(x, 1, 0), 2, false), x, 1e-9) << "at x = " << x;
    }
    EXPECT_EQ(locator.tracker.get_last_lookup_segment(), 3);
}

TEST(LocatePosition, IdenticalPositionIsAnsweredFromTheCache) {
    // A U-turn: (10, 9, 0) lies 9 m from the first leg and 1 m from the last.
    Tracked locator(make_locator({{0, 0, 0}, {100, 0, 0}, {100, 10, 0}, {0, 10, 0}}));
    EXPECT_NEAR(locate(locator, Point3(10, 1, 0), 20, false), 10.0, 1e-9);
    Point3 found;
    EXPECT_NEAR(locate(locator, Point3(10, 9, 0), 20, false, &found), 10.0, 1e-9);
    expect_point(found, 10, 0, 0);
    // The same position with a full search still gets the cached answer...
    EXPECT_NEAR(locate(locator, Point3(10, 9, 0), 20, true, &found), 10.0, 1e-9);
    expect_point(found, 10, 0, 0);
    EXPECT_EQ(locator.tracker.get_last_lookup_segment(), 0);
    // ...and any other position searches: here fully, onto the last leg.
    EXPECT_NEAR(locate(locator, Point3(10, 9.5, 0), 20, true), 200.0, 1e-9);
    EXPECT_EQ(locator.tracker.get_last_lookup_segment(), 2);
}

TEST(LocatePosition, EqualDistancesGoToTheLaterSegment) {
    Tracked interior(along_x(FIVE_POINTS));
    EXPECT_NEAR(locate(interior, Point3(20, 0, 0), 100, false), 20.0, 1e-9);
    EXPECT_EQ(interior.tracker.get_last_lookup_segment(), 2);

    // Equally near to both legs of a U-turn.
    Tracked u_turn(make_locator({{0, 0, 0}, {100, 0, 0}, {100, 10, 0}, {0, 10, 0}}));
    EXPECT_NEAR(locate(u_turn, Point3(50, 5, 0), 100, false), 160.0, 1e-9);
    EXPECT_EQ(u_turn.tracker.get_last_lookup_segment(), 2);

    // A repeated last point: the zero-length segment 2 wins, at the same distance.
    Tracked repeated(along_x({0, 10, 20, 20}));
    EXPECT_NEAR(locate(repeated, Point3(25, 0, 0), 100, false), 20.0, 1e-9);
    EXPECT_EQ(repeated.tracker.get_last_lookup_segment(), 2);
    EXPECT_NEAR(locate(repeated, Point3(26, 0, 0), 100, false), 20.0, 1e-9);
    EXPECT_EQ(repeated.tracker.get_last_lookup_segment(), 2);
}

TEST(LocatePosition, PositionThatIsNotANumberGivesTheWindowsFirstPoint) {
    Tracked locator(along_x(FIVE_POINTS));
    EXPECT_NEAR(locate(locator, Point3(25, 1, 0), 100, false), 25.0, 1e-9);
    Point3 found;
    EXPECT_NEAR(locate(locator, Point3(NaN, 0, 0), 5, false, &found), 20.0, 1e-9);
    expect_point(found, 20, 0, 0);
    EXPECT_EQ(locator.tracker.get_last_lookup_segment(), 2);
    // The cached NaN position never matches: the next call searches again, around 20.
    EXPECT_NEAR(locate(locator, Point3(NaN, 0, 0), 5, false), 10.0, 1e-9);
    EXPECT_NEAR(locate(locator, Point3(0, NaN, 0), 100, true), 0.0, 1e-9);
}

TEST(LocatePosition, OneAndTwoPointRoutesStayInRange) {
    Tracked one(make_locator({{7, 7, 7}}));
    Point3 found;
    EXPECT_NEAR(locate(one, Point3(100, -3, 2), 100, false, &found), 0.0, 1e-9);
    expect_point(found, 7, 7, 7);
    EXPECT_EQ(one.tracker.get_last_lookup_segment(), 0);
    EXPECT_NEAR(locate(one, Point3(1, 2, 3), 10, false), 0.0, 1e-9);
    EXPECT_NEAR(locate(one, Point3(1, 2, 3), 10, true), 0.0, 1e-9);
    EXPECT_NEAR(locate(one, Point3(NaN, 2, 3), 10, false), 0.0, 1e-9);
    EXPECT_EQ(one.tracker.get_last_lookup_segment(), 0);

    Tracked two(along_x({0, 10}));
    EXPECT_NEAR(locate(two, Point3(4, 3, 0), 100, false), 4.0, 1e-9);
    EXPECT_EQ(two.tracker.get_last_lookup_segment(), 0);
    EXPECT_NEAR(locate(two, Point3(12, 0, 0), 1, false), 10.0, 1e-9);
    EXPECT_NEAR(locate(two, Point3(-3, 0, 0), 1, false), 0.0, 1e-9);
    EXPECT_NEAR(locate(two, Point3(6, 1, 0), 1, true), 6.0, 1e-9);
    EXPECT_NEAR(locate(two, Point3(NaN, 1, 0), 1, false), 0.0, 1e-9);
    EXPECT_EQ(two.tracker.get_last_lookup_segment(), 0);
}

// The profile's queries, read against the profile's own columns: the recommended and coasting
// columns follow from the speed models and cannot be written into a route file.
class ProfileQueries : public ::testing::Test {
protected:
    // A straight along x at the given coordinates and maximum speeds; curves too gentle to matter.
    std::unique_ptr<RouteProfile> make(const std::vector<double>& xs,
                                       const std::vector<double>& speeds) {
        std::vector<korvale_test::Row> rows;
        for (std::size_t i = 0; i < xs.size(); ++i) {
            rows.push_back({xs[i], 0, 0, 10000, speeds[i], 0});
        }
        const std::string file = dir.write("route.txt", korvale_test::route_text(rows));
        const double* c = korvale_test::DEFAULT_CAR;
        const korvale::VehicleParameters car{c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]};
        auto profile = std::make_unique<RouteProfile>(file.c_str(), car);
        EXPECT_EQ(profile->row_count(), static_cast<std::int32_t>(xs.size()));
        return profile;
    }

    korvale_test::TempDir dir;
};

TEST_F(ProfileQueries, QueriesByDistanceInterpolateTheColumns) {
    auto profile = make({0, 10, 20}, {10, 20, 40});
    const auto& coast = profile->coasting_speed_column();
    // Slope first in the single-column queries, fraction first in all_at_distance.
    EXPECT_EQ(profile->coasting_speed_at_distance(15), coast[1] + (coast[2] - coast[1]) / 10 * 5);
    EXPECT_EQ(profile->coasting_speed_at_distance(-5), coast[0] + (coast[1] - coast[0]) / 10 * -5);
    EXPECT_EQ(profile->coasting_speed_at_distance(25), coast[2]);
    double m = 0, r = 0, c = 0;
    ASSERT_TRUE(profile->all_at_distance(-5, &m, &r, &c));
    EXPECT_EQ(c, coast[0] + (coast[1] - coast[0]) * -0.5);

    // A repeated point: the zero-length interval gives its first row, ratio 0.
    auto repeated = make({0, 5, 5, 10}, {10, 20, 30, 40});
    const auto& rec = repeated->recommended_speed_column();
    const auto& coast_r = repeated->coasting_speed_column();
    EXPECT_EQ(repeated->recommended_speed_at_distance(5), rec[1]);
    EXPECT_EQ(repeated->coasting_speed_at_distance(5), coast_r[1]);
    std::int32_t index = -1;
    double ratio = -1;
    ASSERT_TRUE(repeated->index_and_ratio_at_distance(5, &index, &ratio));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(ratio, 0.0);
    ASSERT_TRUE(repeated->all_at_distance(5, &m, &r, &c));
    EXPECT_EQ(r, rec[1]);
    EXPECT_EQ(c, coast_r[1]);
}

TEST_F(ProfileQueries, AllAtPositionInterpolatesOnTheSegmentFound) {
    auto profile = make({0, 10, 20, 30, 40}, {50, 60, 70, 80, 90});
    const auto& rec = profile->recommended_speed_column();
    const auto& coast = profile->coasting_speed_column();
    double d = -1, m = -1, r = -1, c = -1;
    ASSERT_TRUE(profile->all_at_position(15, 3, 0, false, 100, &d, &m, &r, &c));
    EXPECT_EQ(d, 15.0);
    EXPECT_EQ(m, 65.0);
    EXPECT_EQ(r, rec[1] + (rec[2] - rec[1]) * 0.5);
    EXPECT_EQ(c, coast[1] + (coast[2] - coast[1]) * 0.5);
    // At a route point: that row exactly.
    ASSERT_TRUE(profile->all_at_position(30, 0, 0, false, 100, &d, &m, &r, &c));
    EXPECT_EQ(d, 30.0);
    EXPECT_EQ(m, 80.0);
    EXPECT_EQ(r, rec[3]);
    EXPECT_EQ(c, coast[3]);
    // The speed queries at a position interpolate at the distance found.
    EXPECT_EQ(profile->coasting_speed_at_position(35, 1, 0),
              coast[3] + (coast[4] - coast[3]) / 10 * 5);
}
