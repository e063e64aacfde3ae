// The exported queries of a route profile: by distance, by position, and the point at a
// distance, on route files written by the tests.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "korvale.h"
#include "support/temp_dir.h"
#include "support/vehicles.h"

using korvale_test::Row;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double SENTINEL = -777.25;

// A route profile built from rows, released at the end of the scope.
class Profile {
public:
    explicit Profile(const std::vector<Row>& rows) {
        const std::string file = dir.write("route.txt", korvale_test::route_text(rows));
        const double* c = korvale_test::DEFAULT_CAR;
        handle = initialize_korvale(file.c_str(), c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
    }
    ~Profile() { deinitialize_korvale(handle); }
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;

    korvale_profile* get() const { return handle; }

private:
    korvale_test::TempDir dir;
    korvale_profile* handle = nullptr;
};

// Rows along +x with the given maximum speeds. With curves this gentle the allowed speed is the
// maximum speed; for rising speeds the default coasting model then gives a recommended speed
// equal to it (coasting from each row would end above the next row's limit).
std::vector<Row> straight(const std::vector<double>& xs, const std::vector<double>& speeds) {
    std::vector<Row> rows;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        rows.push_back({xs[i], 0, 0, 10000, speeds[i], 0});
    }
    return rows;
}

struct Speeds {
    double max = SENTINEL, recommended = SENTINEL, coasting = SENTINEL;
};

Speeds all_at_distance(korvale_profile* p, double distance) {
    Speeds s;
    EXPECT_EQ(get_all_at_distance(p, distance, &s.max, &s.recommended, &s.coasting), 1);
    return s;
}

struct AtPosition {
    double distance = SENTINEL;
    Speeds speeds;
};

AtPosition all_at_position(korvale_profile* p, double x, double y, double z, int32_t full_search,
                           double window) {
    AtPosition a;
    EXPECT_EQ(get_all_at_position(p, x, y, z, full_search, window, &a.distance, &a.speeds.max,
                                  &a.speeds.recommended, &a.speeds.coasting),
              1);
    return a;
}

} // namespace

TEST(QueriesByDistance, InterpolateAndHoldTheEndsOnlyForRecommendedAndCoasting) {
    Profile profile(straight({0, 10, 20}, {10, 20, 40}));
    korvale_profile* p = profile.get();

    EXPECT_EQ(get_recomended_speed_at_distance(p, 15), 30.0);
    EXPECT_EQ(get_recomended_speed_at_distance(p, 10), 20.0);
    EXPECT_EQ(get_recomended_speed_at_distance(p, 20), 40.0);
    EXPECT_EQ(get_recomended_speed_at_distance(p, -5), 10.0);
    EXPECT_EQ(get_recomended_speed_at_distance(p, 25), 40.0);

    EXPECT_EQ(get_max_speed_at_distance(p, 15), 30.0);
    EXPECT_EQ(get_max_speed_at_distance(p, -5), 5.0); // the line through the first two rows
    EXPECT_EQ(get_max_speed_at_distance(p, 25), 40.0);

    // The coasting column follows from the coasting model; its row values as the exports give
    // them at the rows (the last one beyond the route, where get_all_at_distance holds nothing).
    const double coast0 = get_coasting_speed_at_distance(p, 0);
    const double coast1 = get_coasting_speed_at_distance(p, 10);
    const double coast2 = all_at_distance(p, 1e9).coasting;
    EXPECT_NE(coast0, coast1);
    EXPECT_NEAR(get_coasting_speed_at_distance(p, 20), coast2, 1e-12);
    EXPECT_EQ(get_coasting_speed_at_distance(p, -5), coast0);
    EXPECT_EQ(get_coasting_speed_at_distance(p, -1e9), coast0);
    EXPECT_EQ(get_coasting_speed_at_distance(p, 25), coast2);

    // All three at once: interpolated, extrapolated below the start, the last row beyond.
    Speeds s = all_at_distance(p, 15);
    EXPECT_EQ(s.max, 30.0);
    EXPECT_EQ(s.recommended, 30.0);
    EXPECT_EQ(s.coasting, coast1 + (coast2 - coast1) * 0.5);
    s = all_at_distance(p, -5);
    EXPECT_EQ(s.max, 5.0);
    EXPECT_EQ(s.recommended, 5.0);
    EXPECT_EQ(s.coasting, coast0 + (coast1 - coast0) * -0.5);
    s = all_at_distance(p, 25);
    EXPECT_EQ(s.max, 40.0);
    EXPECT_EQ(s.recommended, 40.0);
    EXPECT_EQ(s.coasting, coast2);
}

TEST(QueriesByDistance, ZeroLengthIntervalGivesItsFirstRow) {
    // The second and third rows are the same point: distances 0, 5, 5, 10.
    Profile profile(straight({0, 5, 5, 10}, {10, 20, 30, 40}));
    korvale_profile* p = profile.get();
    EXPECT_EQ(get_max_speed_at_distance(p, 5), 20.0);
    EXPECT_EQ(get_recomended_speed_at_distance(p, 5), 20.0);
    EXPECT_TRUE(std::isfinite(get_coasting_speed_at_distance(p, 5)));
    const Speeds s = all_at_distance(p, 5);
    EXPECT_EQ(s.max, 20.0);
    EXPECT_EQ(s.recommended, 20.0);
    EXPECT_EQ(s.coasting, get_coasting_speed_at_distance(p, 5));
    EXPECT_EQ(get_max_speed_at_distance(p, 2.5), 15.0);
    EXPECT_EQ(get_max_speed_at_distance(p, 7.5), 35.0);
}

TEST(PointAtDistance, FollowsTheRouteAndLeavesItAlongTheFirstSegmentOrTheDiagonal) {
    Profile profile({{0, 0, 0, 10000, 50, 0}, {10, 0, 0, 10000, 50, 0}, {10, 10, 0, 10000, 50, 0}});
    korvale_profile* p = profile.get();
    double x = SENTINEL, y = SENTINEL, z = SENTINEL;
    EXPECT_EQ(get_pos_at_distance(p, 15, &x, &y, &z), 1);
    EXPECT_DOUBLE_EQ(x, 10);
    EXPECT_DOUBLE_EQ(y, 5);
    EXPECT_DOUBLE_EQ(z, 0);
    const double step = 1 / std::sqrt(3.0);
    EXPECT_EQ(get_pos_at_distance(p, 21, &x, &y, &z), 1);
    EXPECT_NEAR(x, 10 + step, 1e-12);
    EXPECT_NEAR(y, 10 + step, 1e-12);
    EXPECT_NEAR(z, step, 1e-12);

    for (int32_t ignored : {0, -7, 123456}) {
        double xyz[4] = {SENTINEL, SENTINEL, SENTINEL, SENTINEL};
        EXPECT_EQ(get_pos_at_polyline_location(p, 5, xyz, ignored), 1);
        EXPECT_DOUBLE_EQ(xyz[0], 5);
        EXPECT_DOUBLE_EQ(xyz[1], 0);
        EXPECT_DOUBLE_EQ(xyz[2], 0);
        EXPECT_EQ(xyz[3], SENTINEL);
    }
}

TEST(QueriesByPosition, MapThePositionToTheRouteAndReadTheSpeedsThere) {
    const std::vector<Row> rows = straight({0, 10, 20, 30, 40}, {50, 60, 70, 80, 90});
    {
        Profile profile(rows);
        korvale_profile* p = profile.get();
        const AtPosition a = all_at_position(p, 15, 3, 0, 0, 100.0);
        EXPECT_EQ(a.distance, 15.0);
        EXPECT_EQ(a.speeds.max, 65.0);
        EXPECT_EQ(a.speeds.recommended, 65.0);
        EXPECT_EQ(a.speeds.coasting, all_at_distance(p, 15).coasting);
    }
    {
        Profile profile(rows);
        korvale_profile* p = profile.get();
        EXPECT_EQ(get_max_speed_at_position(p, 15, 3, 0), 65.0);
        EXPECT_EQ(get_recomended_speed_at_position(p, 15, 3, 0), 65.0);
        EXPECT_EQ(get_coasting_speed_at_position(p, 15, 3, 0),
                  get_coasting_speed_at_distance(p, 15));
        EXPECT_EQ(get_distance_at_position(p, 15, 3, 0, 0, 100), 15.0);
    }
    {
        // At a route point: that row exactly.
        Profile profile(rows);
        korvale_profile* p = profile.get();
        const AtPosition a = all_at_position(p, 20, 0, 0, 0, 100.0);
        EXPECT_EQ(a.distance, 20.0);
        EXPECT_EQ(a.speeds.max, 70.0);
        EXPECT_EQ(a.speeds.recommended, 70.0);
        EXPECT_EQ(a.speeds.coasting, get_coasting_speed_at_distance(p, 20));
    }
    {
        // The first search reaches the last segment.
        Profile profile(rows);
        EXPECT_EQ(get_distance_at_position(profile.get(), 38, 1, 0, 0, 100), 38.0);
    }
}

TEST(QueriesByPosition, FollowTheVehicleAlongASegmentLongerThanTheWindow) {
    Profile profile(straight({0, 10, 20, 1020, 1030}, {50, 60, 70, 80, 90}));
    korvale_profile* p = profile.get();
    EXPECT_NEAR(get_distance_at_position(p, 500, 2, 0, 0, 100), 500.0, 1e-9);
    EXPECT_NEAR(get_distance_at_position(p, 510, 2, 0, 0, 100), 510.0, 1e-9);
    EXPECT_NEAR(get_distance_at_position(p, 520, 2, 0, 0, 100), 520.0, 1e-9);
    EXPECT_NEAR(get_distance_at_position(p, 530, 2, 0, 1, 100), 530.0, 1e-9);
    // The speed queries search their own 100 m window from there.
    EXPECT_NEAR(get_max_speed_at_position(p, 620, 1, 0), 70 + 10 * 0.6, 1e-9);
    EXPECT_NEAR(all_at_position(p, 720, 1, 0, 0, 100).distance, 720.0, 1e-9);
}

TEST(QueriesByPosition, RepeatedLastPointGivesTheSpeedsOfItsFirstRow) {
    Profile profile(straight({0, 10, 20, 20}, {50, 60, 70, 80}));
    korvale_profile* p = profile.get();
    for (double x : {25.0, 26.0}) {
        const AtPosition a = all_at_position(p, x, 0, 0, 0, 100.0);
        EXPECT_EQ(a.distance, 20.0);
        EXPECT_EQ(a.speeds.max, 70.0);
        EXPECT_EQ(a.speeds.recommended, 70.0);
        EXPECT_TRUE(std::isfinite(a.speeds.coasting));
    }
}

TEST(QueriesByPosition, FullSearchIsOneForTheDistanceAndAnyNonzeroForAll) {
    std::vector<double> xs, speeds;
    for (int i = 0; i <= 20; ++i) {
        xs.push_back(10.0 * i);
        speeds.push_back(50);
    }
    Profile profile(straight(xs, speeds));
    korvale_profile* p = profile.get();
    // The first query searches the whole route whatever it asks for.
    EXPECT_EQ(get_distance_at_position(p, 5, 1, 0, 0, 10), 5.0);
    // A 10 m window around 5 reaches up to the end of segment 1.
    EXPECT_EQ(get_distance_at_position(p, 150, 1, 0, 2, 10), 20.0);
    EXPECT_EQ(get_distance_at_position(p, 150, 2, 0, -1, 10), 40.0);
    EXPECT_EQ(get_distance_at_position(p, 150, 3, 0, 1, 10), 150.0);

    EXPECT_EQ(all_at_position(p, 5, 1, 0, 2, 10).distance, 5.0);
    EXPECT_EQ(all_at_position(p, 150, 1, 0, 0, 10).distance, 20.0);
    EXPECT_EQ(all_at_position(p, 150, 2, 0, -1, 10).distance, 150.0);
    EXPECT_EQ(all_at_position(p, 5, 2, 0, 1, 10).distance, 5.0);

    // At exactly the previous position the cache answers, whatever the options.
    EXPECT_EQ(get_distance_at_position(p, 190, 1, 0, 0, 10), 20.0);
    EXPECT_EQ(get_distance_at_position(p, 190, 1, 0, 1, 10), 20.0);
    EXPECT_EQ(all_at_position(p, 190, 1, 0, 1, 10).distance, 20.0);
}

TEST(TinyRoutes, OnePointRouteAnswersEveryQueryWithItsRow) {
    Profile profile({{7, 7, 7, 10000, 50, 0}});
    korvale_profile* p = profile.get();
    for (double distance : {-5.0, 0.0, 3.0, NaN}) {
        EXPECT_EQ(get_max_speed_at_distance(p, distance), 50.0);
        EXPECT_EQ(get_recomended_speed_at_distance(p, distance), 50.0);
        EXPECT_EQ(get_coasting_speed_at_distance(p, distance), 50.0);
        const Speeds s = all_at_distance(p, distance);
        EXPECT_EQ(s.max, 50.0);
        EXPECT_EQ(s.recommended, 50.0);
        EXPECT_EQ(s.coasting, 50.0);
    }
    double x = SENTINEL, y = SENTINEL, z = SENTINEL;
    EXPECT_EQ(get_pos_at_distance(p, 0, &x, &y, &z), 1);
    EXPECT_EQ(x, 7.0);
    EXPECT_EQ(y, 7.0);
    EXPECT_EQ(z, 7.0);

    const double positions[][3] = {{7, 7, 7}, {100, -4, 2}, {NaN, 0, 0}, {1, 2, 3}};
    for (const auto& q : positions) {
        for (int32_t full : {0, 1, 2}) {
            EXPECT_EQ(get_distance_at_position(p, q[0], q[1], q[2], full, 100), 0.0);
            const AtPosition a = all_at_position(p, q[0], q[1], q[2], full, 10);
            EXPECT_EQ(a.distance, 0.0);
            EXPECT_EQ(a.speeds.max, 50.0);
            EXPECT_EQ(a.speeds.recommended, 50.0);
            EXPECT_EQ(a.speeds.coasting, 50.0);
        }
        EXPECT_EQ(get_max_speed_at_position(p, q[0], q[1], q[2]), 50.0);
        EXPECT_EQ(get_recomended_speed_at_position(p, q[0], q[1], q[2]), 50.0);
        EXPECT_EQ(get_coasting_speed_at_position(p, q[0], q[1], q[2]), 50.0);
    }
}

TEST(TinyRoutes, TwoPointRouteAnswersEveryQueryOnItsOneSegment) {
    Profile profile(straight({0, 10}, {40, 60}));
    korvale_profile* p = profile.get();
    EXPECT_EQ(get_max_speed_at_distance(p, 5), 50.0);
    EXPECT_EQ(get_recomended_speed_at_distance(p, 5), 50.0);
    EXPECT_EQ(all_at_distance(p, 12).max, 60.0);
    double x = SENTINEL, y = SENTINEL, z = SENTINEL;
    EXPECT_EQ(get_pos_at_distance(p, 4, &x, &y, &z), 1);
    EXPECT_DOUBLE_EQ(x, 4.0);

    EXPECT_EQ(get_distance_at_position(p, 4, 3, 0, 0, 100), 4.0);
    EXPECT_EQ(get_distance_at_position(p, 12, 0, 0, 0, 1), 10.0);
    EXPECT_EQ(get_distance_at_position(p, -3, 0, 0, 1, 1), 0.0);
    EXPECT_EQ(get_distance_at_position(p, NaN, 0, 0, 0, 1), 0.0);
    AtPosition a = all_at_position(p, 5, 1, 0, 0, 1);
    EXPECT_EQ(a.distance, 5.0);
    EXPECT_EQ(a.speeds.max, 50.0);
    EXPECT_EQ(a.speeds.recommended, 50.0);
    a = all_at_position(p, 15, 1, 0, 1, 1);
    EXPECT_EQ(a.distance, 10.0);
    EXPECT_EQ(a.speeds.max, 60.0);
    EXPECT_EQ(get_max_speed_at_position(p, 2, -1, 0), 44.0);
    EXPECT_TRUE(std::isfinite(get_coasting_speed_at_position(p, 8, 0, 0)));
}
