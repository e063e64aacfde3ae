// The position search of a tracker: its window around the previous result, its cache of the
// last lookup, and the tie rule.
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "geometry/point3.h"
#include "geometry/polyline_locator.h"
#include "profile/position_tracker.h"
#include "support/polylines.h"

using korvale::Point3;
using korvale::PolylineLocator;
using korvale::PositionTracker;
using korvale_test::along_x;
using korvale_test::expect_point;
using korvale_test::make_locator;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

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
