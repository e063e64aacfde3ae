// korvale_load_vehicle and korvale_default_vehicle through the shared library: the refusals,
// and the coasting models as korvale_load builds them, bit for bit.
#include <cmath>
#include <cstddef>
#include <cstring>
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

TEST(LoadVehicle, TheFillFunctionsWriteOnlyTheFieldsWithinTheSizeGiven) {
    constexpr unsigned char GUARD = 0xA5;
    struct Sized {
        void (*fill)(korvale_vehicle*); // or with a size
        uint32_t size;
        uint32_t written; // what size then says
    };
    const uint32_t v02 = offsetof(korvale_vehicle, least_deceleration) + sizeof(double);
    ASSERT_EQ(v02, 80u);
    const Sized cases[] = {
        {(korvale_default_vehicle), 0, v02}, // the function of that name: the struct of 0.2
        {nullptr, 84, 84},                   // up to the powertrain
        {nullptr, 91, 88},                   // reserved whole, max_power not
        {nullptr, sizeof(korvale_vehicle), sizeof(korvale_vehicle)},
        {nullptr, 79, 0}, // below the struct of 0.2: nothing
    };
    for (const Sized& c : cases) {
        unsigned char bytes[sizeof(korvale_vehicle) + 16];
        std::memset(bytes, GUARD, sizeof bytes);
        auto* vehicle = reinterpret_cast<korvale_vehicle*>(bytes);
        if (c.fill != nullptr) {
            c.fill(vehicle);
        } else {
            korvale_fill_default_vehicle(vehicle, c.size);
        }
        const uint32_t end = c.fill != nullptr ? v02 : c.size;
        for (size_t i = end; i < sizeof bytes; ++i) {
            ASSERT_EQ(bytes[i], GUARD) << "size " << c.size << ", byte " << i;
        }
        if (c.written == 0) {
            EXPECT_EQ(bytes[0], GUARD);
            continue;
        }
        EXPECT_EQ(vehicle->size, c.written);
        EXPECT_EQ(vehicle->least_deceleration, 0.15);
    }
    korvale_vehicle truck;
    ASSERT_EQ(korvale_fill_vehicle_preset("truck", &truck, sizeof truck), 1);
    EXPECT_EQ(truck.powertrain, KORVALE_POWERTRAIN_EV);
    EXPECT_EQ(truck.max_power, 330e3);
    // 2.5 l/h of diesel, as fuel power
    EXPECT_NEAR(truck.idle_power, 2.5 / 3600 * 0.835 * 42.8e6, 1e-6);
    EXPECT_EQ(truck.time_budget, 0.02);
}

TEST(LoadVehicle, AnOlderCallersStructTakesTheBuiltInCarsDriveForThePredictiveModel) {
    // The struct of 0.2 made by hand, followed by bytes that are no vehicle's.
    struct Old {
        uint32_t size;
        double fields[9];
        unsigned char garbage[64];
    } old;
    std::memset(&old, 0xFF, sizeof old);
    const korvale_vehicle car = built_in_car();
    old.size = 80;
    std::memcpy(old.fields, &car.vehicle_mass, sizeof old.fields);
    const auto* as_vehicle = reinterpret_cast<const korvale_vehicle*>(&old);
    korvale_profile* from_old = quietly(load_example, as_vehicle, KORVALE_MODEL_PREDICTIVE);
    korvale_profile* from_new = quietly(load_example, &car, KORVALE_MODEL_PREDICTIVE);
    ASSERT_NE(from_old, nullptr);
    ASSERT_NE(from_new, nullptr);
    EXPECT_EQ(speeds_at_rows(from_old), speeds_at_rows(from_new));
    deinitialize_korvale(from_old);
    deinitialize_korvale(from_new);
    old.size = 79;
    testing::internal::CaptureStderr();
    EXPECT_EQ(quietly(load_example, as_vehicle, KORVALE_MODEL_PREDICTIVE), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("size 79 is below"), std::string::npos);
}

TEST(LoadVehicle, ThePredictiveModelRefusesEachDriveFieldThatMakesNoSense) {
    struct Bad {
        double korvale_vehicle::*field;
        double value;
        const char* line;
    };
    const Bad refused[] = {
        {&korvale_vehicle::max_power, 0, "max_power 0 is not above 0"},
        {&korvale_vehicle::max_acceleration, -1, "max_acceleration -1 is not above 0"},
        {&korvale_vehicle::comfortable_braking, 0, "comfortable_braking 0 is outside (0, 3]"},
        {&korvale_vehicle::comfortable_braking, 4, "comfortable_braking 4 is outside (0, 3]"},
        {&korvale_vehicle::rotating_mass_factor, -0.1, "rotating_mass_factor -0.1 is below 0"},
        {&korvale_vehicle::drive_efficiency, 0, "drive_efficiency 0 is outside (0, 1]"},
        {&korvale_vehicle::regen_efficiency, 1.5, "regen_efficiency 1.5 is outside (0, 1]"},
        {&korvale_vehicle::max_regen_power, 0, "max_regen_power 0 is not above 0"},
        {&korvale_vehicle::aux_power, -300, "aux_power -300 is below 0"},
        {&korvale_vehicle::engine_efficiency, std::nan(""),
         "engine_efficiency NaN is not a finite number"},
        {&korvale_vehicle::idle_power, -1000, "idle_power -1000 is below 0"},
        {&korvale_vehicle::time_budget, -0.01, "time_budget -0.01 is below 0"},
    };
    for (const Bad& bad : refused) {
        korvale_vehicle car = built_in_car();
        car.*bad.field = bad.value;
        testing::internal::CaptureStderr();
        EXPECT_EQ(quietly(load_example, &car, KORVALE_MODEL_PREDICTIVE), nullptr) << bad.line;
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string("korvale_load_vehicle: vehicle refused: ") + bad.line + "\n");
        // The other models never read the drive.
        korvale_profile* eco = quietly(load_example, &car, KORVALE_MODEL_ECO);
        EXPECT_NE(eco, nullptr) << bad.line;
        deinitialize_korvale(eco);
    }
    korvale_vehicle steam = built_in_car();
    steam.powertrain = 7;
    testing::internal::CaptureStderr();
    EXPECT_EQ(quietly(load_example, &steam, KORVALE_MODEL_PREDICTIVE), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("powertrain 7 is no powertrain"),
              std::string::npos);

    // 20 W take the car up no hill of the example road: no plan, and the reason.
    korvale_vehicle weak = built_in_car();
    weak.max_power = 20;
    testing::internal::CaptureStderr();
    EXPECT_EQ(quietly(load_example, &weak, KORVALE_MODEL_PREDICTIVE), nullptr);
    const std::string line = testing::internal::GetCapturedStderr();
    EXPECT_EQ(line.rfind("korvale_load_vehicle: no plan: ", 0), 0u) << line;
    char last[512];
    korvale_last_error(last, sizeof last);
    EXPECT_EQ(std::string(last) + "\n", line);
}

TEST(LoadVehicle, APredictiveProfileAnswersEveryQuery) {
    korvale_vehicle car = built_in_car();
    car.powertrain = KORVALE_POWERTRAIN_ICE;
    korvale_profile* route = quietly(load_example, &car, KORVALE_MODEL_PREDICTIVE);
    ASSERT_NE(route, nullptr);
    const int32_t rows = get_korvale_rows(route);
    std::vector<double> d(static_cast<size_t>(rows)), x(d), y(d), z(d);
    get_korvale_dist_vec(route, d.data(), rows);
    get_korvale_x_vec(route, x.data(), rows);
    get_korvale_y_vec(route, y.data(), rows);
    get_korvale_z_vec(route, z.data(), rows);
    int advised = 0;
    for (int32_t i = 0; i < rows; i += 7) {
        double max = 0, recommended = 0, coasting = 0;
        ASSERT_EQ(get_all_at_distance(route, d[i], &max, &recommended, &coasting), 1);
        EXPECT_LE(recommended, max + 0.5) << d[i];
        EXPECT_GE(recommended, 0.0) << d[i];
        EXPECT_TRUE(std::isfinite(coasting)) << d[i];
        EXPECT_EQ(get_recomended_speed_at_distance(route, d[i]), recommended);
        double at = 0, max_p = 0, rec_p = 0, coast_p = 0;
        ASSERT_EQ(
            get_all_at_position(route, x[i], y[i], z[i], 0, 100.0, &at, &max_p, &rec_p, &coast_p),
            1);
        EXPECT_NEAR(at, d[i], 1e-6);
        EXPECT_NEAR(rec_p, recommended, 1e-6);
        EXPECT_NEAR(coast_p, coasting, 1e-6);
        int32_t action = -1;
        double liftoff = 0, target = 0, target_speed = 0, deceleration = 0;
        const int32_t found = korvale_advice(route, d[i], recommended + 20.0, 1000.0, &action,
                                             &liftoff, &target, &target_speed, &deceleration);
        ASSERT_GE(found, 0);
        if (found == 1) {
            ++advised;
            EXPECT_GE(liftoff, d[i]);
            EXPECT_LE(liftoff, target);
            EXPECT_LT(target_speed, recommended + 20.0);
        }
    }
    EXPECT_GT(advised, 0);
    deinitialize_korvale(route);
}
