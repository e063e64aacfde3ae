// Advice ahead: the next slow-down and the lift-off point.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "profile/advice.h"
#include "profile/route_profile.h"
#include "support/profiles_from_rows.h"
#include "support/vehicles.h"

using korvale::next_slowdown;
using korvale::RouteProfile;
using korvale::Slowdown;
using korvale::VehicleParameters;
using korvale_test::default_car;
using korvale_test::powered_car;
using korvale_test::Row;

namespace {

class Advice : public testing::Test, protected korvale_test::ProfilesFromRows {};

std::vector<Row> four_row_example() {
    return {{0, 0, 0, 10000, 100, 0},
            {100, 0, 0, 10000, 100, 0},
            {200, 0, 0, 100, 100, 0.05},
            {300, 0, 0, 10000, 100, 0}};
}

// Speed (km/h) at the end of a coast of the car (the built-in one unless given) over the route
// from `from` to `to`, integrated with a 0.05 m step (RK4 in distance), grades from the route's
// own points.
double coast_numerically(const RouteProfile& route, double from, double to, double v_kmh,
                         const VehicleParameters& car = korvale::BUILT_IN_VEHICLE) {
    const double mass = car.vehicle_mass, g = car.gravity, rolling = car.rolling_resistance;
    const double k = 0.5 * car.air_density * car.drag_coefficient * car.frontal_area;
    const auto& d = route.distance_column();
    const auto& x = route.x_column();
    const auto& z = route.z_column();
    auto slope_at = [&](double s) {
        size_t i = 0;
        while (i + 2 < static_cast<size_t>(route.row_count()) && d[i + 1] <= s) {
            ++i;
        }
        return std::atan((z[i + 1] - z[i]) / std::fabs(x[i + 1] - x[i]));
    };
    // dv/ds = -(F0 + k v²) / (m v)
    auto dvds = [&](double s, double v) {
        const double theta = slope_at(s);
        const double f0 = mass * g * (rolling * std::cos(theta) + std::sin(theta));
        return -(f0 + k * v * v) / (mass * v);
    };
    double v = v_kmh / 3.6;
    const double h = 0.05;
    for (double s = from; s < to - 1e-12;) {
        const double step = std::min(h, to - s);
        const double k1 = dvds(s, v);
        const double k2 = dvds(s + step / 2, v + step / 2 * k1);
        const double k3 = dvds(s + step / 2, v + step / 2 * k2);
        const double k4 = dvds(s + step, v + step * k3);
        v += step / 6 * (k1 + 2 * k2 + 2 * k3 + k4);
        s += step;
    }
    return v * 3.6;
}

// A straight road with rows 10 m apart, a curve of 120 m radius around 1500 m and, when asked
// for, a stop at the end; hilly when amplitude is not 0.
std::vector<Row> road_with_curve(double amplitude, bool stop = true) {
    std::vector<Row> rows;
    for (int i = 0; i <= 300; ++i) {
        const double s = i * 10.0;
        const bool curve = s >= 1450 && s <= 1550;
        rows.push_back({s, 0, amplitude * std::sin(s / 300.0), curve ? 120.0 : 10000.0,
                        stop && i >= 298 ? 5.0 : 100.0, curve ? 0.05 : 0.0});
    }
    return rows;
}

} // namespace

TEST_F(Advice, WorkedExampleOfTheFourRowRoute) {
    const RouteProfile& route = load(four_row_example(), default_car);
    Slowdown found;
    ASSERT_TRUE(next_slowdown(route, 0, 60, 1000, &found));
    EXPECT_EQ(found.distance, 200.0);
    EXPECT_NEAR(found.target_speed, 52.371, 5e-4);
    EXPECT_NEAR(found.liftoff_distance, 44.70, 5e-3);

    ASSERT_TRUE(next_slowdown(route, 0, 80, 1000, &found));
    EXPECT_EQ(found.distance, 200.0);
    EXPECT_EQ(found.liftoff_distance, 0.0); // lift off now

    Slowdown untouched{-1, -1, -1};
    EXPECT_FALSE(next_slowdown(route, 0, 60, 150, &untouched));    // beyond the horizon
    EXPECT_FALSE(next_slowdown(route, 0, 40, 1000, &untouched));   // slower than every minimum
    EXPECT_FALSE(next_slowdown(route, 200, 60, 1000, &untouched)); // already there
    EXPECT_EQ(untouched.distance, -1);
    EXPECT_EQ(untouched.liftoff_distance, -1);
}

TEST_F(Advice, HorizonEndingJustBeforeAndJustAfterTheSlowdown) {
    const RouteProfile& route = load(four_row_example(), default_car);
    Slowdown found;
    EXPECT_FALSE(next_slowdown(route, 50, 60, 149.999, &found));
    EXPECT_TRUE(next_slowdown(route, 50, 60, 150, &found)); // the end of the horizon counts
    EXPECT_TRUE(next_slowdown(route, 50, 60, 150.001, &found));
    EXPECT_EQ(found.liftoff_distance, 50.0); // 44.70 lies behind us: lift off now
}

TEST_F(Advice, SlowdownsComeInOrderAlongTheRoad) {
    const RouteProfile& route = load(road_with_curve(0), default_car);
    Slowdown found;
    // The default model carries the stop's crawl back through the curve, so the first drop is
    // right behind the curve's first row, and the stop itself comes last.
    ASSERT_TRUE(next_slowdown(route, 0, 100, 5000, &found));
    EXPECT_EQ(found.distance, 1460);
    EXPECT_LT(found.target_speed, 10);
    EXPECT_LT(found.liftoff_distance, found.distance);
    ASSERT_TRUE(next_slowdown(route, 1460, 100, 5000, &found));
    EXPECT_EQ(found.distance, 2980); // the first row of the stop
    EXPECT_EQ(found.target_speed, 5);
    EXPECT_FALSE(next_slowdown(route, 2980, 100, 5000, &found));

    const RouteProfile& open_road = load(road_with_curve(0, false), default_car);
    ASSERT_TRUE(next_slowdown(open_road, 1000, 100, 5000, &found));
    EXPECT_EQ(found.distance, 1450);
    EXPECT_GT(found.target_speed, 40);
    EXPECT_FALSE(next_slowdown(open_road, 1450, 100, 5000, &found));
}

TEST_F(Advice, PlateauIsMarkedAtItsFirstRow) {
    std::vector<Row> rows;
    for (int i = 0; i < 8; ++i) {
        rows.push_back({i * 50.0, 0, 0, 10000, i >= 3 && i <= 5 ? 40.0 : 90.0, 0});
    }
    const RouteProfile& route = load(rows, default_car);
    Slowdown found;
    ASSERT_TRUE(next_slowdown(route, 0, 90, 1000, &found));
    EXPECT_EQ(found.distance, 150.0);
    EXPECT_EQ(found.target_speed, 40.0);
    EXPECT_FALSE(next_slowdown(route, 150, 90, 1000, &found)); // rest of the plateau: no drop
}

TEST_F(Advice, OneRowRouteAndParameterisedModel) {
    Slowdown found;
    EXPECT_FALSE(next_slowdown(load({{0, 0, 0, 100, 50, 0}}, default_car), 0, 200, 1000, &found));

    const RouteProfile& powered = load(road_with_curve(8), powered_car);
    ASSERT_TRUE(next_slowdown(powered, 0, 100, 5000, &found));
    EXPECT_TRUE(std::isfinite(found.liftoff_distance));
    EXPECT_LE(found.liftoff_distance, found.distance);
    EXPECT_GE(found.liftoff_distance, 0.0);
}

TEST_F(Advice, CoastingFromTheLiftoffArrivesAtTheTargetSpeed) {
    for (double amplitude : {0.0, 6.0}) {
        const RouteProfile& route = load(road_with_curve(amplitude, false), default_car);
        for (double speed : {70.0, 90.0}) {
            Slowdown found;
            ASSERT_TRUE(next_slowdown(route, 0, speed, 5000, &found));
            ASSERT_GT(found.liftoff_distance, 0.0) << "the test wants a lift-off ahead";
            const double arrival =
                coast_numerically(route, found.liftoff_distance, found.distance, speed);
            EXPECT_NEAR(arrival, found.target_speed, 1.0)
                << "amplitude " << amplitude << " speed " << speed;
        }
    }
}

TEST_F(Advice, EcoLiftoffCoastsIntoTheSlowdown) {
    // A 2 % climb to a 30 km/h limit: coasting slows the car by more than the least deceleration
    // all the way, so the eco walk back is the coasting equation, which the car follows forward.
    VehicleParameters van = default_car;
    van.vehicle_mass = 2800;
    for (const VehicleParameters& car : {default_car, van}) {
        std::vector<Row> rows;
        for (int i = 0; i <= 150; ++i) {
            rows.push_back({i * 10.0, 0, i * 0.2, 10000, i >= 148 ? 30.0 : 100.0, 0});
        }
        const RouteProfile& route =
            load(rows, korvale::CoastModel(korvale::CoastModelKind::eco, car));
        korvale::Advice advice;
        ASSERT_TRUE(korvale::advise(route, 0, 90, 2000, &advice));
        ASSERT_EQ(advice.action, korvale::AdviceAction::lift_off);
        const Slowdown& found = advice.slowdown;
        ASSERT_GT(found.liftoff_distance, 0.0) << "the test wants a lift-off ahead";
        EXPECT_EQ(found.target_speed, 30.0);
        EXPECT_NEAR(coast_numerically(route, found.liftoff_distance, found.distance, 90, car), 30.0,
                    1.0)
            << car.vehicle_mass << " kg";
        Slowdown same;
        ASSERT_TRUE(next_slowdown(route, 0, 90, 2000, &same));
        EXPECT_EQ(same.liftoff_distance, found.liftoff_distance);
    }
}
