// The eco model: the worked numbers, each of its rules on climbs and descents and for a heavy
// vehicle, no crawl carried back, and the coasting models left as they were.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "profile/route_profile.h"
#include "support/profiles_from_rows.h"
#include "support/vehicles.h"

using korvale::CoastModel;
using korvale::CoastModelKind;
using korvale::RouteProfile;
using korvale::VehicleParameters;
using korvale_test::default_car;
using korvale_test::Row;

namespace {

CoastModel eco(const VehicleParameters& vehicle = default_car) {
    return CoastModel(CoastModelKind::eco, vehicle);
}

class EcoModel : public testing::Test, protected korvale_test::ProfilesFromRows {
protected:
    const RouteProfile& load(const std::vector<Row>& rows, const CoastModel& model = eco()) {
        return ProfilesFromRows::load(rows, model);
    }
};

void expect_column(const korvale::Column& column, const std::vector<double>& expected) {
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(column[i], expected[i], 5e-4) << "row " << i;
    }
}

// A straight along x with rows every `step` m, the limit of each row, flat unless z is given.
std::vector<Row> straight(const std::vector<double>& limits, double step = 100.0,
                          const std::vector<double>& z = {}) {
    std::vector<Row> rows;
    for (size_t i = 0; i < limits.size(); ++i) {
        rows.push_back({i * step, 0, z.empty() ? 0.0 : z[i], 10000, limits[i], 0});
    }
    return rows;
}

} // namespace

TEST_F(EcoModel, WorkedNumbers) {
    const RouteProfile& curve = load({{0, 0, 0, 10000, 100, 0},
                                      {100, 0, 0, 10000, 100, 0},
                                      {200, 0, 0, 100, 100, 0.05},
                                      {300, 0, 0, 10000, 100, 0}});
    expect_column(curve.coasting_speed_column(), {62.152, 57.338, 104.640, 100});
    expect_column(curve.recommended_speed_column(), {62.152, 57.338, 52.371, 100});

    const RouteProfile& stop = load(straight({100, 100, 100, 5}));
    expect_column(stop.coasting_speed_column(), {35.666, 28.873, 20.454, 5});
    expect_column(stop.recommended_speed_column(), {35.666, 28.873, 20.454, 5});

    const RouteProfile& downhill = load(straight({80, 80, 80, 30}, 100, {0, -5, -10, -10}));
    expect_column(downhill.distance_column(), {0, 100.125, 200.250, 300.250});
    expect_column(downhill.coasting_speed_column(), {80.825, 62.749, 36.635, 30});
    expect_column(downhill.recommended_speed_column(), {80, 62.749, 36.635, 30});
}

TEST_F(EcoModel, ClimbSlightDescentSteepDescentAndHeavyVehicle) {
    // Back over 100 m to 36 km/h (10 m/s). Figures from the formulas worked by hand.
    const CoastModel car = eco();
    const double least = std::sqrt(100.0 + 2 * 100 * 0.15) * 3.6; // light engine braking
    const double braking = std::sqrt(100.0 + 2 * 100 * 1.0) * 3.6;
    EXPECT_NEAR(car(0.0, 36, 100, 0, 1000), 41.955, 5e-4);    // flat: coasting
    EXPECT_NEAR(car(0.05, 36, 100, 0, 1000), 55.359, 5e-4);   // climb: coasting slows more
    EXPECT_NEAR(car(-0.01, 36, 100, 0, 1000), least, 1e-9);   // coasting barely slows
    EXPECT_NEAR(car(-0.06, 36, 100, 0, 1000), braking, 1e-9); // coasting would speed it up
    // Faster on the same slight descent, drag makes coasting slow it by more than the least.
    EXPECT_NEAR(car(-0.01, 72, 100, 0, 1000), 74.858, 5e-4);

    // A 30 t truck coasts 0.11 m/s² on the flat at 72 km/h: it plans with the least deceleration.
    VehicleParameters truck = default_car;
    truck.vehicle_mass = 30000;
    truck.drag_coefficient = 0.6;
    truck.frontal_area = 10;
    truck.rolling_resistance = 0.006;
    EXPECT_NEAR(eco(truck)(0.0, 72, 100, 0, 1000), std::sqrt(400.0 + 2 * 100 * 0.15) * 3.6, 1e-9);
    // The eco model has no held rules: a local minimum far above changes nothing.
    EXPECT_EQ(car(0.0, 36, 100, 0, 60), car(0.0, 36, 100, 0, 1000));
    EXPECT_EQ(car.physics(0.0, 36, 100, 0), car(0.0, 36, 100, 0, 1000));
}

TEST_F(EcoModel, SteepDescentIntoAStopIsRiddenDownBraking) {
    // 1 km at 6 % down to a stop: coasting can slow into it nowhere, so the ramp brakes at
    // 1 m/s² all the way; the default model recommends a crawl at the top instead.
    std::vector<double> limits(101, 80.0), z(101);
    limits.back() = 5.0;
    for (size_t i = 0; i < z.size(); ++i) {
        z[i] = -0.06 * 10.0 * static_cast<double>(i);
    }
    const std::vector<Row> rows = straight(limits, 10.0, z);
    const RouteProfile& route = load(rows);
    const double end = route.total_length();
    const double v_stop = 5.0 / 3.6;
    for (int i = 0; i < route.row_count(); ++i) {
        const double to_go = end - route.distance_column()[i];
        const double ramp = std::sqrt(v_stop * v_stop + 2 * 1.0 * to_go) * 3.6;
        EXPECT_NEAR(route.recommended_speed_column()[i], std::min(ramp, 80.0), 1e-6) << i;
    }
    EXPECT_EQ(route.recommended_speed_column()[0], 80.0);

    const RouteProfile& coasting = load(rows, CoastModel(default_car));
    EXPECT_LT(coasting.recommended_speed_column()[1], 20.0);
}

TEST_F(EcoModel, NoCrawlIsCarriedBackAndNoNumberStaysWhereItIs) {
    // 1 km flat at 50 km/h ending in a stop: the default model recommends the stop's 5 km/h
    // from the second row on; the eco model ramps down over the last 550 m or so.
    std::vector<double> limits(101, 50.0);
    limits.back() = 5.0;
    const RouteProfile& route = load(straight(limits, 10.0));
    const korvale::Column& recommended = route.recommended_speed_column();
    for (int i = 0; i < route.row_count(); ++i) {
        const double to_go = 1000.0 - 10.0 * i;
        if (to_go > 600) {
            EXPECT_EQ(recommended[i], 50.0) << i;
        } else {
            EXPECT_GE(recommended[i], recommended[i + 1 < route.row_count() ? i + 1 : i]) << i;
            EXPECT_TRUE(to_go < 150 || recommended[i] >= 20.0) << i;
        }
    }

    // A row whose curve gives no comfort speed (a negative radius) is NaN itself; the rows
    // before it plan from its coasting speed, as they would without the fault.
    std::vector<Row> rows = straight(limits, 10.0);
    rows[70].radius = -100;
    const RouteProfile& broken = load(rows);
    for (int i = 0; i < route.row_count(); ++i) {
        if (i == 70) {
            EXPECT_TRUE(std::isnan(broken.recommended_speed_column()[i]));
        } else {
            EXPECT_EQ(broken.recommended_speed_column()[i], recommended[i]) << i;
        }
    }
}
