// Building a route profile from a file: columns, speed models and messages.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "profile/profile_columns.h"
#include "profile/route_profile.h"
#include "support/temp_dir.h"
#include "support/vehicles.h"

using korvale::RouteProfile;
using korvale::VehicleParameters;
using korvale_test::default_car;
using korvale_test::powered_car;
using korvale_test::route_text;
using korvale_test::Row;
using korvale_test::TempDir;

namespace {

void expect_column(const korvale::Column& column, const std::vector<double>& expected,
                   double tolerance) {
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(column[i], expected[i], tolerance) << "row " << i;
    }
}

// Four rows on a flat straight, 100 m apart, with a 100 m curve at the third row.
std::vector<Row> curve_route() {
    return {{0, 0, 0, 10000, 100, 0},
            {100, 0, 0, 10000, 100, 0},
            {200, 0, 0, 100, 100, 0.05},
            {300, 0, 0, 10000, 100, 0}};
}

} // namespace

TEST(RouteProfileBuild, CurveExampleWithBothModels) {
    TempDir dir;
    const std::string path = dir.write("curve.txt", route_text(curve_route()));
    testing::internal::CaptureStdout();
    RouteProfile profile(path.c_str(), default_car);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "=== KORVALE_DLL Library === (START)\n"
                   "[KORVALE_DLL] '" +
                       path +
                       "' data parser has 5 rows\n"
                       "[KORVALE_DLL] data parser finished reading '" +
                       path + "' it has '4'\n");
    ASSERT_EQ(profile.row_count(), 4);
    expect_column(profile.distance_column(), {0, 100, 200, 300}, 0);
    expect_column(profile.coasting_speed_column(), {100, 57.338, 52.371, 100}, 5e-4);
    expect_column(profile.recommended_speed_column(), {100, 57.338, 52.371, 100}, 5e-4);
    expect_column(profile.max_speed_column(), {100, 100, 100, 100}, 0);
    ASSERT_NE(profile.polyline(), nullptr);
    EXPECT_EQ(profile.polyline()->get_num_points(), 4);
    EXPECT_EQ(profile.polyline()->distance_at_index(3), 300.0);

    testing::internal::CaptureStdout();
    RouteProfile powered(path.c_str(), powered_car);
    testing::internal::GetCapturedStdout();
    expect_column(powered.coasting_speed_column(), {100, 57.899, 52.371, 100}, 5e-4);
}

TEST(RouteProfileBuild, StopAtTheEnd) {
    TempDir dir;
    std::vector<Row> rows = {{0, 0, 0, 10000, 100, 0},
                             {100, 0, 0, 10000, 100, 0},
                             {200, 0, 0, 10000, 100, 0},
                             {300, 0, 0, 10000, 5, 0}};
    const std::string path = dir.write("stop.txt", route_text(rows));
    testing::internal::CaptureStdout();
    RouteProfile by_default(path.c_str(), default_car);
    RouteProfile powered(path.c_str(), powered_car);
    testing::internal::GetCapturedStdout();
    expect_column(by_default.coasting_speed_column(), {100, 5, 5, 5}, 0);
    expect_column(powered.coasting_speed_column(), {100, 26.637, 10, 5}, 5e-4);
    expect_column(powered.recommended_speed_column(), {100, 26.637, 10, 5}, 5e-4);
}

TEST(RouteProfileBuild, DownhillCoastingGainsSpeed) {
    TempDir dir;
    std::vector<Row> rows = {{0, 0, 0, 10000, 80, 0},
                             {100, 0, -5, 10000, 80, 0},
                             {200, 0, -10, 10000, 80, 0},
                             {300, 0, -10, 10000, 30, 0}};
    const std::string path = dir.write("downhill.txt", route_text(rows));
    testing::internal::CaptureStdout();
    RouteProfile profile(path.c_str(), default_car);
    testing::internal::GetCapturedStdout();
    expect_column(profile.distance_column(), {0, 100.125, 200.250, 300.250}, 5e-4);
    expect_column(profile.coasting_speed_column(), {80, 22.417, 36.635, 30}, 5e-4);
}

TEST(RouteProfileBuild, SingleRowRoute) {
    TempDir dir;
    const std::string path = dir.write("one.txt", "5 6 7 100 40 0.05\n");
    testing::internal::CaptureStdout();
    RouteProfile profile(path.c_str(), default_car);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(profile.row_count(), 1);
    EXPECT_EQ(profile.distance_column()[0], 0.0);
    EXPECT_EQ(profile.coasting_speed_column()[0], 40.0); // the allowed speed
    EXPECT_EQ(profile.recommended_speed_column()[0], 40.0);
    EXPECT_EQ(profile.polyline()->get_num_points(), 1);
}

TEST(RouteProfileBuild, MissingAndEmptyFilesGiveNoRows) {
    TempDir dir;
    const std::string missing = dir.path() + "/missing.txt";
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    RouteProfile absent(missing.c_str(), default_car);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Can't open output file " + missing + "!\n");
    EXPECT_EQ(out, "=== KORVALE_DLL Library === (START)\n"
                   "[KORVALE_DLL] data parser FAILED reading file " +
                       missing +
                       "\n"
                       "[KORVALE_DLL] '" +
                       missing + "' data parser has -1 rows\n");
    EXPECT_EQ(absent.row_count(), -1);
    EXPECT_EQ(absent.polyline(), nullptr);

    const std::string words = dir.write("words.txt", "no numbers here\nnor here\n");
    testing::internal::CaptureStdout();
    RouteProfile unparsed(words.c_str(), default_car);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "=== KORVALE_DLL Library === (START)\n"
              "[KORVALE_DLL] '" +
                  words +
                  "' data parser has 3 rows\n"
                  "[KORVALE_DLL] data parser finished reading '" +
                  words + "' it has '0'\n");
    EXPECT_EQ(unparsed.row_count(), 0);
    EXPECT_EQ(unparsed.polyline(), nullptr);
}

TEST(RouteProfileBuild, SteepDownhillHoldsTheNextSpeedWhereCoastingCannotArrive) {
    // One 25 % drop in the middle of a flat road must not turn the speeds before it into NaN:
    // the row above the drop holds the speed of the row below it, and the rows before it coast
    // from there as usual.
    TempDir dir;
    std::vector<Row> rows;
    for (int i = 0; i < 10; ++i) {
        const double z = i <= 4 ? 0.0 : -25.0;
        rows.push_back({i * 100.0, 0, z, 10000, 90, 0});
    }
    rows.back().limit = 20;
    const std::string path = dir.write("steep.txt", route_text(rows));
    testing::internal::CaptureStdout();
    RouteProfile profile(path.c_str(), powered_car);
    testing::internal::GetCapturedStdout();
    const auto& coasting = profile.coasting_speed_column();
    for (int i = 0; i < profile.row_count(); ++i) {
        EXPECT_TRUE(std::isfinite(coasting[i])) << "row " << i;
        EXPECT_TRUE(std::isfinite(profile.recommended_speed_column()[i])) << "row " << i;
    }
    EXPECT_EQ(coasting[4], coasting[5]); // the drop: held with the brakes
    // Before the drop, the flat-road formula from the held speed.
    const korvale::CoastModel model(powered_car);
    EXPECT_EQ(coasting[3], model(0.0, coasting[4], 400.0, 300.0, korvale::NO_LOCAL_MINIMUM));
    // After the drop, on the flat, nothing changed: the formula from the row after.
    EXPECT_EQ(coasting[6], model(0.0, coasting[7], 700.0, 600.0, korvale::NO_LOCAL_MINIMUM));
}

TEST(RouteProfileBuild, NanFromTheFileStaysOnItsRows) {
    TempDir dir;
    const std::string path = dir.write("nan.txt", "0 0 0 10000 80 0\n"
                                                  "100 0 0 -50 80 0\n" // negative radius
                                                  "200 0 0 10000 80 0\n");
    testing::internal::CaptureStdout();
    RouteProfile profile(path.c_str(), default_car);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(profile.row_count(), 3);
    EXPECT_TRUE(std::isnan(profile.recommended_speed_column()[1]));
    EXPECT_EQ(profile.recommended_speed_column()[2], 80.0);
}

TEST(ProfileColumns, GradeOfSegmentsWithoutLevelRun) {
    // A vertical first segment gets grade 0; a later vertical one the grade before it.
    const double x[] = {0, 0, 100, 100, 200};
    const double y[] = {0, 0, 0, 0, 0};
    const double z[] = {0, 3, 8, 10, 10};
    double grade[5];
    korvale::compute_grade(5, x, y, z, grade);
    EXPECT_EQ(grade[0], 0.0);
    EXPECT_EQ(grade[1], 0.05);
    EXPECT_EQ(grade[2], 0.05);
    EXPECT_EQ(grade[3], 0.0);
    // Their height still counts in the distance.
    const korvale::PolylineLocator polyline(x, y, z, 5);
    EXPECT_EQ(polyline.distance_at_index(1), 3.0);
    EXPECT_EQ(polyline.distance_at_index(3), 3.0 + std::sqrt(100.0 * 100.0 + 25.0) + 2.0);
}

TEST(ProfileColumns, LocalMinimaOfTheAllowedSpeed) {
    const double allowed[] = {50, 40, 40, 60};
    double minima[4];
    korvale::compute_local_minima(4, allowed, minima);
    EXPECT_EQ(minima[0], 50);
    EXPECT_EQ(minima[1], 40);
    EXPECT_EQ(minima[2], korvale::NO_LOCAL_MINIMUM);
    EXPECT_EQ(minima[3], 60);
}

TEST(ProfileColumns, RepeatedCurveInputsGiveTheSameComfortSpeed) {
    // Reusing a run's comfort speed must give, bit for bit, what computing each row gives.
    const double radius[] = {10000, 10000, 0.0, -0.0, -0.0, 250, 250, 30000};
    const double e[] = {0, 0, 0, 0, 0, 0.05, 0.05, 0};
    const double limit[] = {200, 200, 200, 200, 200, 200, 200, 500};
    double comfort[8];
    double allowed[8];
    korvale::compute_comfort_and_allowed(8, radius, e, limit, comfort, allowed);
    for (int i = 0; i < 8; ++i) {
        const double direct = korvale::comfort_curve_velocity(radius[i], e[i]);
        EXPECT_EQ(std::signbit(comfort[i]), std::signbit(direct)) << i;
        EXPECT_EQ(comfort[i], direct) << i;
        EXPECT_EQ(allowed[i], std::min(direct, limit[i])) << i;
    }
}

// A profile builds its columns in fewer arrays than the steps take one by one; every value must
// come out as the steps give it with an array of their own each, and a construction that hands
// out its working columns must give them as the steps do.
TEST(RouteProfileBuild, ColumnsEqualTheStepsRunOneByOne) {
    TempDir dir;
    std::vector<Row> rows;
    for (int i = 0; i < 2500; ++i) {
        const double s = 4.0 * i;
        const bool curve = i % 90 < 30;
        rows.push_back({s, 60.0 * std::sin(s / 300.0), 8.0 * std::sin(s / 500.0) - 0.002 * s,
                        curve ? 150.0 + i % 7 : 10000.0, i % 400 < 330 ? 100.0 : 40.0 + i % 3,
                        curve ? 0.05 : 0.0});
        if (i % 500 == 250) {
            rows.push_back(rows.back()); // a repeated point
        }
    }
    rows.back().limit = 5.0; // a stop at the end
    const std::string file = dir.write("route.txt", route_text(rows));
    for (const VehicleParameters& car : {default_car, powered_car}) {
        RouteProfile profile(file.c_str(), car);
        const auto n = static_cast<std::int32_t>(rows.size());
        ASSERT_EQ(profile.row_count(), n);
        std::vector<double> x, y, z, radius, limit, e;
        for (const Row& r : rows) {
            x.push_back(r.x);
            y.push_back(r.y);
            z.push_back(r.z);
            radius.push_back(r.radius);
            limit.push_back(r.limit);
            e.push_back(r.superelevation);
        }
        const auto size = rows.size();
        std::vector<double> distance(size), grade(size), comfort(size), allowed(size), minima(size),
            coasting(size), recommended(size);
        // The cumulative distance as the rule reads: the 3-D step added to the one before.
        distance[0] = 0.0;
        for (std::size_t i = 1; i < size; ++i) {
            const double dx = x[i] - x[i - 1], dy = y[i] - y[i - 1], dz = z[i] - z[i - 1];
            distance[i] = distance[i - 1] + std::sqrt((dx * dx + dy * dy) + dz * dz);
        }
        korvale::compute_grade(n, x.data(), y.data(), z.data(), grade.data());
        korvale::compute_comfort_and_allowed(n, radius.data(), e.data(), limit.data(),
                                             comfort.data(), allowed.data());
        korvale::compute_local_minima(n, allowed.data(), minima.data());
        korvale::compute_coasting_and_recommended(n, korvale::CoastModel(car), grade.data(),
                                                  distance.data(), allowed.data(), minima.data(),
                                                  coasting.data(), recommended.data());
        // (the columns are as long as the file has lines, one more than it has rows here)
        auto rows_of = [n](const korvale::Column& column) {
            return std::vector<double>(column.begin(), column.begin() + n);
        };
        EXPECT_EQ(rows_of(profile.distance_column()), distance);
        EXPECT_EQ(rows_of(profile.coasting_speed_column()), coasting);
        EXPECT_EQ(rows_of(profile.recommended_speed_column()), recommended);
        EXPECT_EQ(rows_of(profile.max_speed_column()), limit);

        // Asked for the full table, the same pass keeps every working column as well.
        korvale::ConstructionDetails details;
        RouteProfile full(file.c_str(), korvale::CoastModel(car), &details);
        EXPECT_EQ(rows_of(full.coasting_speed_column()), coasting);
        EXPECT_EQ(rows_of(full.recommended_speed_column()), recommended);
        EXPECT_EQ(rows_of(details.curve_radius), radius);
        EXPECT_EQ(rows_of(details.superelevation), e);
        EXPECT_EQ(rows_of(details.grade), grade);
        EXPECT_EQ(rows_of(details.comfort_speed), comfort);
        EXPECT_EQ(rows_of(details.allowed_speed), allowed);
        EXPECT_EQ(rows_of(details.local_minimum), minima);
    }
}
