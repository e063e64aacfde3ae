// Comfort speed, local minima and the two coasting models.
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "profile/speed_models.h"

using korvale::coast_back_default;
using korvale::coast_back_parameterised;
using korvale::CoastModel;
using korvale::comfort_curve_velocity;
using korvale::find_local_minimum;
using korvale::NO_LOCAL_MINIMUM;
using korvale::VehicleParameters;

namespace {

const double nan_value = std::numeric_limits<double>::quiet_NaN();

// The built-in car with the two parameters that choose the model.
VehicleParameters car(double coast_power = 0, double model_switch = 0) {
    VehicleParameters p = korvale::BUILT_IN_VEHICLE;
    p.coast_power = coast_power;
    p.model_switch = model_switch;
    return p;
}

// The comfort speed's defining equation at v: the speed for the friction at v.
double comfort_equation(double radius, double e, double v) {
    const double f = 0.2237 * std::pow(2.71828182846, -0.006 * v);
    return std::sqrt((radius * 9.81) * (f + e) / (1.0 - f * e)) * 3600 / 1000;
}

} // namespace

TEST(ComfortSpeed, SettlingIterationGivesTheWorkedValues) {
    EXPECT_NEAR(comfort_curve_velocity(100, 0.05), 52.371, 5e-4);
    EXPECT_NEAR(comfort_curve_velocity(100, 0), 46.477, 5e-4);
    EXPECT_NEAR(comfort_curve_velocity(10000, 0), 252.268, 5e-4);
    EXPECT_EQ(comfort_curve_velocity(0, 0), 0.0);
    EXPECT_EQ(comfort_curve_velocity(0, 0.05), 0.0);
}

TEST(ComfortSpeed, UnsettledIterationEndsAtTheFixedPoint) {
    // 28 000 m would settle only after 469 iterations (at 333.495); 30 000 m and 1e9 m never.
    for (double radius : {28000.0, 30000.0, 1e6, 1e9}) {
        const double v = comfort_curve_velocity(radius, 0);
        ASSERT_TRUE(std::isfinite(v)) << radius;
        EXPECT_NEAR(comfort_equation(radius, 0, v), v, 1e-6 * v) << radius;
    }
    EXPECT_NEAR(comfort_curve_velocity(28000, 0), 330.80, 0.005);
    // Small superelevations that fail to settle for large radii end the same way.
    const double v = comfort_curve_velocity(1e8, 0.002);
    EXPECT_NEAR(comfort_equation(1e8, 0.002, v), v, 1e-6 * v);
}

TEST(ComfortSpeed, NanForNanInputsAndNegativeRoots) {
    EXPECT_TRUE(std::isnan(comfort_curve_velocity(nan_value, 0)));
    EXPECT_TRUE(std::isnan(comfort_curve_velocity(100, nan_value)));
    EXPECT_TRUE(std::isnan(comfort_curve_velocity(-100, 0)));
    EXPECT_TRUE(std::isnan(comfort_curve_velocity(100, -0.3)));
}

TEST(LocalMinimum, MarksStrictDropsFollowedByNoDrop) {
    EXPECT_EQ(find_local_minimum(50, 40, 40), 40);
    EXPECT_EQ(find_local_minimum(40, 40, 60), NO_LOCAL_MINIMUM); // flat bottom: first row only
    EXPECT_EQ(find_local_minimum(50, 40, 39), NO_LOCAL_MINIMUM);
    EXPECT_EQ(find_local_minimum(nan_value, 40, 50), NO_LOCAL_MINIMUM);
    EXPECT_EQ(find_local_minimum(50, nan_value, 50), NO_LOCAL_MINIMUM);
    // A minimum that is itself 1000 km/h is still a minimum to the predicate.
    EXPECT_TRUE(korvale::is_local_minimum(1200, NO_LOCAL_MINIMUM, 1100));

    // Where the drive slows down along a column: never row 0, the last row when lower than the
    // one before, a plateau at its first row.
    const double speeds[] = {30, 50, 40, 40, 60, 20};
    std::vector<int> rows;
    for (int i = -1; i <= 6; ++i) {
        if (korvale::slows_down_at(speeds, 6, i)) {
            rows.push_back(i);
        }
    }
    EXPECT_EQ(rows, (std::vector<int>{2, 5}));
    const double with_nan[] = {50, nan_value, 40, 45};
    EXPECT_FALSE(korvale::slows_down_at(with_nan, 4, 1));
    EXPECT_FALSE(korvale::slows_down_at(with_nan, 4, 2));
}

TEST(CoastingModels, RulesComeBeforeThePhysics) {
    // Default: rule 1 carries a slow speed back unchanged, rule 2 and 3 return the minimum.
    EXPECT_EQ(coast_back_default(0, 5, 100, 0, NO_LOCAL_MINIMUM), 5);
    EXPECT_EQ(coast_back_default(0, 30, 100, 0, 45), 45);
    EXPECT_EQ(coast_back_default(0, 60, 100, 0, 52), 52);
    // Parameterised: rule 1 gives 10, rule 2 needs a gap above 20.
    const VehicleParameters p = car(1000);
    EXPECT_EQ(coast_back_parameterised(p, 0, 5, 100, 0, 300), 10.0);
    EXPECT_EQ(coast_back_parameterised(p, 0, 20, 100, 0, 45), 45);
    EXPECT_GT(coast_back_parameterised(p, 0, 30, 100, 0, 45), 30); // gap 15: physics
    EXPECT_EQ(coast_back_parameterised(p, 0, 60, 100, 0, 52), 52);
}

TEST(CoastingModels, DefaultModelIsTheExactCoastingSolution) {
    // 100 m back from 52.371 km/h on the flat.
    EXPECT_NEAR(coast_back_default(0, 52.371, 200, 100, NO_LOCAL_MINIMUM), 57.338, 2e-3);
    // Downhill the vehicle gains speed, so it starts slower.
    EXPECT_LT(coast_back_default(-0.05, 36.635, 200.25, 100.125, NO_LOCAL_MINIMUM), 36.635);
}

TEST(CoastingModels, ModelChoiceAndPowerTermLimits) {
    EXPECT_FALSE(CoastModel(car(0, 0)).is_parameterised());
    EXPECT_FALSE(CoastModel(car(-1, 0)).is_parameterised());
    EXPECT_TRUE(CoastModel(car(1000, 0)).is_parameterised());
    EXPECT_TRUE(CoastModel(car(0, 1)).is_parameterised());
    EXPECT_TRUE(CoastModel(car(nan_value, 0)).is_parameterised());

    // With no usable power term (power 0 or below, or no drag) the model coasts on rolling
    // resistance and slope alone instead of computing 0/0.
    VehicleParameters no_drag = car(1000);
    no_drag.drag_coefficient = 0;
    for (const VehicleParameters& p : {car(0, 1), car(-500, 1), no_drag}) {
        const double v = coast_back_parameterised(p, 0, 50, 100, 0, NO_LOCAL_MINIMUM);
        const VehicleParameters& c = korvale::BUILT_IN_VEHICLE;
        const double a = (c.vehicle_mass * c.gravity) * c.rolling_resistance / c.vehicle_mass;
        EXPECT_NEAR(v, std::sqrt((50 / 3.6) * (50 / 3.6) + 200 * a) * 3.6, 1e-9);
    }
    // A NaN parameter still propagates, with or without air drag.
    EXPECT_TRUE(std::isnan(coast_back_parameterised(car(nan_value, 1), 0, 50, 100, 0, 1000)));
    VehicleParameters nan_power_no_drag = car(nan_value, 1);
    nan_power_no_drag.drag_coefficient = 0;
    EXPECT_TRUE(std::isnan(coast_back_parameterised(nan_power_no_drag, 0, 50, 100, 0, 1000)));
    VehicleParameters nan_drag = car(1000);
    nan_drag.air_density = nan_value;
    EXPECT_TRUE(std::isnan(coast_back_parameterised(nan_drag, 0, 50, 100, 0, 1000)));
    // The model object gives what the free function gives.
    const VehicleParameters p = car(1000);
    EXPECT_EQ(CoastModel(p)(0.03, 70, 250, 150, NO_LOCAL_MINIMUM),
              coast_back_parameterised(p, 0.03, 70, 250, 150, NO_LOCAL_MINIMUM));
}

TEST(CoastingModels, SteepDownhillHoldsTheNextSpeedInsteadOfNan) {
    const VehicleParameters p = car(1000);
    // On a 30 % downhill nothing slower than 20 km/h at the next row can be reached by coasting.
    EXPECT_EQ(coast_back_parameterised(p, -0.3, 20, 100, 0, NO_LOCAL_MINIMUM), 20);
    // A gentle slope still uses the formula.
    EXPECT_NE(coast_back_parameterised(p, -0.01, 20, 100, 0, NO_LOCAL_MINIMUM), 20);
}
