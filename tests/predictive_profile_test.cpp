// The predictive model's profile, with planners of the test's own: the plan becomes the
// recommended speed, the coasting speed follows the eco rule from it, a missing plan leaves no
// rows, and the advice passes over the plan's shallow dips.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "profile/advice.h"
#include "profile/profile_columns.h"
#include "profile/route_profile.h"
#include "support/profiles_from_rows.h"

using korvale::CoastModel;
using korvale::CoastModelKind;
using korvale::PlannerRoad;
using korvale::RouteProfile;
using korvale_test::Row;

namespace {

// Plays back a speed for each row (a function of the row's distance), and keeps what it was
// given; or finds no plan.
class PlaybackPlanner final : public korvale::SpeedPlanner {
public:
    double (*speed)(double distance) = nullptr;
    mutable std::vector<double> radius, grade, allowed;
    mutable double time_budget = 0.0;

    bool plan(const PlannerRoad& road, const korvale::VehicleParameters& vehicle,
              double* recommended, std::string* error) const override {
        radius.assign(road.curve_radius, road.curve_radius + road.rows);
        grade.assign(road.grade, road.grade + road.rows);
        allowed.assign(road.allowed_speed, road.allowed_speed + road.rows);
        time_budget = vehicle.time_budget;
        if (speed == nullptr) {
            *error = "nothing reaches the end";
            return false;
        }
        for (std::int32_t i = 0; i < road.rows; ++i) {
            recommended[i] = speed(road.distance[i]);
        }
        return true;
    }
};

class PredictiveProfile : public testing::Test, protected korvale_test::ProfilesFromRows {
protected:
    CoastModel model{CoastModelKind::predictive, korvale::BUILT_IN_VEHICLE};
};

// Rows 10 m apart over 1 km, a curve in the middle; a hill of that height (the rise of its first
// half, the fall of its second).
std::vector<Row> hill(double height = 20.0) {
    std::vector<Row> rows;
    for (int i = 0; i <= 100; ++i) {
        const double s = i * 10.0;
        rows.push_back(
            {s, 0, height * std::sin(s / 1000.0 * 3.14159), i == 50 ? 150.0 : 10000.0, 80.0, 0.0});
    }
    return rows;
}

} // namespace

TEST_F(PredictiveProfile, ThePlanIsTheRecommendedSpeedAndCoastingFollowsTheEcoRuleFromIt) {
    PlaybackPlanner planner;
    planner.speed = [](double s) { return s < 600.0 ? 60.0 + 10.0 * std::cos(s / 150.0) : 40.0; };
    const RouteProfile& p = load(hill(), model, &planner);
    ASSERT_EQ(p.row_count(), 101);
    EXPECT_TRUE(p.plan_failure().empty());
    // The planner saw the radius and the grade side by side, not sharing an array.
    EXPECT_EQ(planner.radius[50], 150.0);
    EXPECT_EQ(planner.radius[10], 10000.0);
    EXPECT_GT(planner.grade[10], 0.0);
    EXPECT_LT(planner.grade[90], 0.0);
    EXPECT_EQ(planner.allowed[10], 80.0);
    EXPECT_LT(planner.allowed[50], 80.0); // the curve's comfort speed
    EXPECT_EQ(planner.time_budget, korvale::BUILT_IN_VEHICLE.time_budget);

    const CoastModel eco(CoastModelKind::eco, korvale::BUILT_IN_VEHICLE);
    const auto& d = p.distance_column();
    const auto& rec = p.recommended_speed_column();
    const auto& coast = p.coasting_speed_column();
    EXPECT_EQ(coast[100], rec[100]);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(rec[i], planner.speed(d[i])) << i;
        EXPECT_EQ(coast[i], eco.physics(planner.grade[i], rec[i + 1], d[i + 1], d[i])) << i;
    }
    // Where the plan slows down harder than coasting, the coasting speed lies below the plan.
    EXPECT_LT(coast[59], rec[59]);
    EXPECT_GT(coast[30], rec[30]);
}

TEST_F(PredictiveProfile, NoPlanLeavesNoRowsAndSaysWhy) {
    PlaybackPlanner nothing;
    const RouteProfile& failed = load(hill(), model, &nothing);
    EXPECT_EQ(failed.row_count(), 0);
    EXPECT_EQ(failed.plan_failure(), "nothing reaches the end");
    const RouteProfile& unplanned = load(hill(), model, nullptr);
    EXPECT_EQ(unplanned.row_count(), 0);
    EXPECT_EQ(unplanned.plan_failure(), "no planner for the predictive model");
    // A route without length has nothing to plan: the allowed speed, and no planner is asked.
    PlaybackPlanner untouched;
    const RouteProfile& point = load({{0, 0, 0, 10000, 50, 0}}, model, &untouched);
    ASSERT_EQ(point.row_count(), 1);
    EXPECT_EQ(point.recommended_speed_column()[0], 50.0);
    EXPECT_TRUE(untouched.radius.empty());
    // The other models never ask.
    const RouteProfile& eco = load(hill(), CoastModel(CoastModelKind::eco, model.vehicle()));
    EXPECT_EQ(eco.row_count(), 101);
}

TEST_F(PredictiveProfile, SlowdownsAreMinimaAtLeastTwoKmhBelowTheTopBeforeThem) {
    PlaybackPlanner planner;
    // 70 km/h with a dip of 1.5 km/h at 200 m, a stair from 70 km/h down by 1, 0.5 and 0.5 km/h
    // (minima at 400 and 450 m less than 2 km/h below its top, 2 in all at 500 m), and a drop
    // to 40 km/h at 800 m.
    planner.speed = [](double s) {
        if (s == 200.0) {
            return 68.5;
        }
        if (s >= 400.0 && s < 450.0) {
            return 69.0;
        }
        if (s >= 450.0 && s <= 500.0) {
            return s < 500.0 ? 68.5 : 68.0;
        }
        return s == 800.0 ? 40.0 : 70.0;
    };
    const RouteProfile& p = load(hill(0.0), model, &planner);
    korvale::Slowdown next;
    ASSERT_TRUE(korvale::next_slowdown(p, 0.0, 75.0, 1000.0, &next));
    EXPECT_EQ(next.distance, 500.0);
    // From within the fall, its top still counts.
    ASSERT_TRUE(korvale::next_slowdown(p, 455.0, 75.0, 1000.0, &next));
    EXPECT_EQ(next.distance, 500.0);
    ASSERT_TRUE(korvale::next_slowdown(p, 500.0, 75.0, 1000.0, &next));
    EXPECT_EQ(next.distance, 800.0);
    EXPECT_EQ(next.target_speed, 40.0);
    korvale::Advice advice;
    ASSERT_TRUE(korvale::advise(p, 100.0, 75.0, 1000.0, &advice));
    EXPECT_EQ(advice.slowdown.distance, 500.0);
    EXPECT_FALSE(korvale::next_slowdown(p, 0.0, 75.0, 150.0, &next)); // the dip alone
}
