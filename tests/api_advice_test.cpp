// Advice ahead and the offset from the route, through the shared library.
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "korvale.h"
#include "support/temp_dir.h"
#include "support/vehicles.h"

using korvale_test::DEFAULT_CAR;
using korvale_test::route_text;
using korvale_test::TempDir;

namespace {

korvale_profile* open_four_row_example(const TempDir& dir) {
    const std::string path = dir.write("four.txt", route_text({{0, 0, 0, 10000, 100, 0},
                                                               {100, 0, 0, 10000, 100, 0},
                                                               {200, 0, 0, 100, 100, 0.05},
                                                               {300, 0, 0, 10000, 100, 0}}));
    const double* p = DEFAULT_CAR;
    testing::internal::CaptureStdout();
    korvale_profile* profile =
        initialize_korvale(path.c_str(), p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
    testing::internal::GetCapturedStdout();
    return profile;
}

} // namespace

TEST(AdviceExports, NextSlowdownThroughTheLibrary) {
    TempDir dir;
    korvale_profile* route = open_four_row_example(dir);
    double at = -1, target = -1, liftoff = -1;
    EXPECT_EQ(korvale_next_slowdown(route, 0, 60, 1000, &at, &target, &liftoff), 1);
    EXPECT_EQ(at, 200.0);
    EXPECT_NEAR(target, 52.371, 5e-4);
    EXPECT_NEAR(liftoff, 44.70, 5e-3);

    double untouched[3] = {-7, -7, -7};
    EXPECT_EQ(korvale_next_slowdown(route, 0, 60, 150, &untouched[0], &untouched[1], &untouched[2]),
              0);
    EXPECT_EQ(
        korvale_next_slowdown(nullptr, 0, 60, 1000, &untouched[0], &untouched[1], &untouched[2]),
        -1);
    EXPECT_EQ(untouched[0], -7);
    EXPECT_EQ(untouched[2], -7);
    // Null outputs are dropped, not written through.
    EXPECT_EQ(korvale_next_slowdown(route, 0, 60, 1000, nullptr, nullptr, nullptr), 1);
    deinitialize_korvale(route);
}

TEST(AdviceExports, OffsetFromRouteFollowsThePositionQueries) {
    TempDir dir;
    korvale_profile* route = open_four_row_example(dir);
    EXPECT_EQ(korvale_offset_from_route(nullptr), -1.0);
    EXPECT_EQ(korvale_offset_from_route(route), -1.0); // no query by position yet
    EXPECT_EQ(get_distance_at_position(route, 150, 3, 4, 0, 100.0), 150.0);
    EXPECT_EQ(korvale_offset_from_route(route), 5.0);
    // Advice reads the profile only: the tracking state stays where it was.
    double at = 0, target = 0, liftoff = 0;
    korvale_next_slowdown(route, 0, 60, 1000, &at, &target, &liftoff);
    EXPECT_EQ(korvale_offset_from_route(route), 5.0);
    EXPECT_EQ(get_distance_at_position(route, 150, 3, 4, 0, 100.0), 150.0); // still cached
    get_max_speed_at_position(route, 250, 0, 0);
    EXPECT_EQ(korvale_offset_from_route(route), 0.0);
    get_max_speed_at_position(route, std::nan(""), 0, 0);
    EXPECT_TRUE(std::isnan(korvale_offset_from_route(route)));
    deinitialize_korvale(route);
}

TEST(AdviceExports, LiftoffStaysBetweenTheVehicleAndTheSlowdownForAnySpeed) {
    // A limit far below zero makes the coasting speed before it overflow to infinity; the
    // vehicle's speed is the largest double. The lift-off point was NaN here.
    TempDir dir;
    const std::string path = dir.write("absurd.txt", route_text({{0, 0, 0, 10000, 80, 0},
                                                                 {100, 0, 0, 10000, -1e300, 0},
                                                                 {200, 0, 0, 10000, 80, 0}}));
    const double* p = DEFAULT_CAR;
    testing::internal::CaptureStdout();
    korvale_profile* route =
        korvale_load(path.c_str(), p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
    testing::internal::GetCapturedStdout();
    ASSERT_NE(route, nullptr);
    for (double speed : {1e308, 1.7976931348623157e308, HUGE_VAL}) {
        double at = -1, target = -1, liftoff = -1;
        EXPECT_EQ(korvale_next_slowdown(route, 0, speed, 1000, &at, &target, &liftoff), 1);
        EXPECT_EQ(at, 100.0);
        EXPECT_EQ(target, -1e300);
        EXPECT_GE(liftoff, 0.0) << speed;
        EXPECT_LE(liftoff, 100.0) << speed;
    }
    deinitialize_korvale(route);
}
