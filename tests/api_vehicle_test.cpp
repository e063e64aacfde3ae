// korvale_load_vehicle and korvale_default_vehicle through the shared library: the refusals,
// and the coasting models as korvale_load builds them, bit for bit.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "korvale.h"
#include "support/temp_dir.h"
#include "support/vehicles.h"

using korvale_test::DEFAULT_CAR;

namespace {

korvale_vehicle built_in_car() {
    korvale_vehicle car;
    korvale_default_vehicle(&car);
    return car;
}

// The recommended and coasting speed at every row's distance.
std::vector<double> speeds_at_rows(korvale_profile* route) {
    const int32_t rows = get_korvale_rows(route);
    std::vector<double> distance(static_cast<size_t>(rows)), speeds;
    get_korvale_dist_vec(route, distance.data(), rows);
    for (double d : distance) {
        double max = 0, recommended = 0, coasting = 0;
        get_all_at_distance(route, d, &max, &recommended, &coasting);
        speeds.push_back(recommended);
        speeds.push_back(coasting);
    }
    return speeds;
}

korvale_profile* quietly(korvale_profile* (*load)(const korvale_vehicle*, int32_t),
                         const korvale_vehicle* vehicle, int32_t model) {
    testing::internal::CaptureStdout();
    korvale_profile* route = load(vehicle, model);
    testing::internal::GetCapturedStdout();
    return route;
}

korvale_profile* load_example(const korvale_vehicle* vehicle, int32_t model) {
    return korvale_load_vehicle(KORVALE_EXAMPLE_ROUTE, vehicle, model);
}

} // namespace

TEST(LoadVehicle, DefaultVehicleIsTheBuiltInCar) {
    const korvale_vehicle car = built_in_car();
    const double* p = DEFAULT_CAR;
    const std::vector<double> fields = {
        car.drag_coefficient,  car.frontal_area,       car.air_density, car.vehicle_mass,
        car.gravity,           car.rolling_resistance, car.coast_power, car.brake_deceleration,
        car.least_deceleration};
    EXPECT_EQ(fields, std::vector<double>({p[0], p[1], p[2], p[3], p[4], p[5], p[6], 1.0, 0.15}));
    EXPECT_EQ(car.size, sizeof(korvale_vehicle));
    korvale_default_vehicle(nullptr); // nothing happens
}

TEST(LoadVehicle, RefusesEveryFieldThatMakesNoPhysicalSense) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const double nan = std::nan("");
    struct Bad {
        double korvale_vehicle::*field;
        double value;
        const char* line;
    };
    const Bad refused[] = {
        {&korvale_vehicle::vehicle_mass, 0, "vehicle_mass 0 is not above 0"},
        {&korvale_vehicle::vehicle_mass, nan, "vehicle_mass NaN is not a finite number"},
        {&korvale_vehicle::frontal_area, -2, "frontal_area -2 is not above 0"},
        {&korvale_vehicle::gravity, 0, "gravity 0 is not above 0"},
        {&korvale_vehicle::drag_coefficient, -0.1, "drag_coefficient -0.1 is below 0"},
        {&korvale_vehicle::rolling_resistance, -0.01, "rolling_resistance -0.01 is below 0"},
        {&korvale_vehicle::air_density, -inf, "air_density -infinity is not a finite number"},
        {&korvale_vehicle::coast_power, inf, "coast_power infinity is not a finite number"},
        {&korvale_vehicle::brake_deceleration, 0, "brake_deceleration 0 is not above 0"},
        {&korvale_vehicle::least_deceleration, -0.5, "least_deceleration -0.5 is below 0"},
    };
    for (const Bad& bad : refused) {
        for (int32_t model : {KORVALE_MODEL_DEFAULT, KORVALE_MODEL_ECO}) {
            korvale_vehicle car = built_in_car();
            car.*bad.field = bad.value;
            testing::internal::CaptureStderr();
            EXPECT_EQ(quietly(load_example, &car, model), nullptr) << bad.line;
            EXPECT_EQ(testing::internal::GetCapturedStderr(),
                      std::string("korvale_load_vehicle: vehicle refused: ") + bad.line + "\n");
        }
    }
    korvale_vehicle small = built_in_car();
    small.size = 8;
    const korvale_vehicle car = built_in_car();
    const struct {
        const korvale_vehicle* vehicle;
        int32_t model;
        const char* line;
    } misused[] = {{&small, KORVALE_MODEL_ECO, "the vehicle's size 8 is below"},
                   {nullptr, KORVALE_MODEL_ECO, "no vehicle"},
                   {&car, 4, "unknown model 4"}};
    for (const auto& m : misused) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(quietly(load_example, m.vehicle, m.model), nullptr) << m.line;
        EXPECT_NE(testing::internal::GetCapturedStderr().find(m.line), std::string::npos) << m.line;
    }

    // The edges are no fault: no drag, no air, no rolling resistance, no least deceleration.
    korvale_vehicle bare = built_in_car();
    bare.drag_coefficient = bare.air_density = bare.rolling_resistance = 0;
    bare.least_deceleration = 0;
    korvale_profile* route = quietly(load_example, &bare, KORVALE_MODEL_ECO);
    ASSERT_NE(route, nullptr);
    for (double speed : speeds_at_rows(route)) {
        ASSERT_TRUE(std::isfinite(speed));
    }
    deinitialize_korvale(route);
}

TEST(LoadVehicle, CoastingModelsAreAsKorvaleLoadBuildsThem) {
    const double* p = DEFAULT_CAR;
    korvale_vehicle truck = built_in_car();
    truck.vehicle_mass = 30000;
    truck.frontal_area = 10;
    korvale_vehicle powered = built_in_car();
    powered.coast_power = 1000;
    struct Case {
        const korvale_vehicle* vehicle;
        int32_t model;
        double coast_power, model_switch;
        double recommended_sum, coasting_sum; // of the example road's rows, before the eco model
    };
    // (the default model ignores the vehicle: the truck is the built-in car to it)
    for (const Case& c :
         {Case{&truck, KORVALE_MODEL_DEFAULT, 0, 0, 70977.89193768593, 124550.16837382746},
          Case{&powered, KORVALE_MODEL_PARAMETERISED, 1000, 0, 72889.34260623308,
               109154.81472203782}}) {
        testing::internal::CaptureStdout();
        korvale_profile* eight = korvale_load(KORVALE_EXAMPLE_ROUTE, p[0], p[1], p[2], p[3], p[4],
                                              p[5], c.coast_power, c.model_switch);
        korvale_profile* loaded = korvale_load_vehicle(KORVALE_EXAMPLE_ROUTE, c.vehicle, c.model);
        testing::internal::GetCapturedStdout();
        ASSERT_NE(loaded, nullptr);
        const std::vector<double> speeds = speeds_at_rows(loaded);
        EXPECT_EQ(speeds, speeds_at_rows(eight)) << c.model;
        double sums[2] = {0, 0};
        for (size_t i = 0; i < speeds.size(); ++i) {
            sums[i % 2] += speeds[i];
        }
        EXPECT_NEAR(sums[0], c.recommended_sum, 1e-9 * c.recommended_sum);
        EXPECT_NEAR(sums[1], c.coasting_sum, 1e-9 * c.coasting_sum);
        deinitialize_korvale(eight);
        deinitialize_korvale(loaded);
    }
}
