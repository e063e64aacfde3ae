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

TEST(AdviceExports, BrakeWhenCoastingIsTooLateLiftOffWhenInTimeKeepWithoutSlowdown) {
    // 1 km flat at 50 km/h ending in a stop, eco model.
    TempDir dir;
    std::vector<korvale_test::Row> rows;
    for (int i = 0; i <= 100; ++i) {
        rows.push_back({i * 10.0, 0, 0, 10000, i == 100 ? 5.0 : 50.0, 0});
    }
    const std::string path = dir.write("stop.txt", route_text(rows));
    korvale_vehicle car;
    korvale_default_vehicle(&car);
    testing::internal::CaptureStdout();
    korvale_profile* route = korvale_load_vehicle(path.c_str(), &car, KORVALE_MODEL_ECO);
    testing::internal::GetCapturedStdout();
    ASSERT_NE(route, nullptr);

    // 50 m before the stop at 50 km/h: brake. By hand: (13.889² - 1.389²) / (2 · 50) = 1.9097
    // m/s² needed, less coasting's (0.015 · 1644 · 9.81 + 0.446 · 13.889²) / 1644 = 0.1995.
    int32_t action = -1;
    double liftoff = -1, target = -1, target_speed = -1, deceleration = -1;
    EXPECT_EQ(korvale_advice(route, 950, 50, 1000, &action, &liftoff, &target, &target_speed,
                             &deceleration),
              1);
    EXPECT_EQ(action, KORVALE_ADVICE_BRAKE);
    EXPECT_EQ(liftoff, 950.0);
    EXPECT_EQ(target, 1000.0);
    EXPECT_EQ(target_speed, 5.0);
    EXPECT_NEAR(deceleration, 1.71023, 1e-5);

    // From the start, in time: lift off where korvale_next_slowdown says, well before the stop.
    double slowdown = -1, next_liftoff = -1;
    EXPECT_EQ(korvale_advice(route, 0, 50, 2000, &action, &liftoff, &target, &target_speed,
                             &deceleration),
              1);
    EXPECT_EQ(action, KORVALE_ADVICE_LIFT_OFF);
    EXPECT_EQ(deceleration, 0.0);
    EXPECT_EQ(korvale_next_slowdown(route, 0, 50, 2000, &slowdown, &target_speed, &next_liftoff),
              1);
    EXPECT_EQ(liftoff, next_liftoff);
    EXPECT_GT(liftoff, 300.0);
    EXPECT_LT(liftoff, 600.0);

    // The stop beyond the horizon: keep, nothing else written.
    double untouched = -7;
    EXPECT_EQ(
        korvale_advice(route, 0, 50, 500, &action, &untouched, &untouched, &untouched, &untouched),
        0);
    EXPECT_EQ(action, KORVALE_ADVICE_KEEP);
    EXPECT_EQ(untouched, -7);
    EXPECT_EQ(korvale_advice(route, 950, 50, 1000, nullptr, nullptr, nullptr, nullptr, nullptr), 1);
    deinitialize_korvale(route);
}
