// The profile's queries by distance and by position, read against its own columns.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "profile/route_profile.h"
#include "support/temp_dir.h"
#include "support/vehicles.h"

using korvale::RouteProfile;

// The profile's queries, read against the profile's own columns: the recommended and coasting
// columns follow from the speed models and cannot be written into a route file.
class ProfileQueries : public ::testing::Test {
protected:
    // A straight along x at the given coordinates and maximum speeds; curves too gentle to matter.
    std::unique_ptr<RouteProfile> make(const std::vector<double>& xs,
                                       const std::vector<double>& speeds) {
        std::vector<korvale_test::Row> rows;
        for (std::size_t i = 0; i < xs.size(); ++i) {
            rows.push_back({xs[i], 0, 0, 10000, speeds[i], 0});
        }
        const std::string file = dir.write("route.txt", korvale_test::route_text(rows));
        auto profile = std::make_unique<RouteProfile>(file.c_str(), korvale_test::default_car);
        EXPECT_EQ(profile->row_count(), static_cast<std::int32_t>(xs.size()));
        return profile;
    }

    korvale_test::TempDir dir;
};

TEST_F(ProfileQueries, QueriesByDistanceInterpolateTheColumns) {
    auto profile = make({0, 10, 20}, {10, 20, 40});
    const auto& coast = profile->coasting_speed_column();
    // Slope first in the single-column queries, fraction first in all_at_distance.
    EXPECT_EQ(profile->coasting_speed_at_distance(15), coast[1] + (coast[2] - coast[1]) / 10 * 5);
    EXPECT_EQ(profile->coasting_speed_at_distance(-5), coast[0] + (coast[1] - coast[0]) / 10 * -5);
    EXPECT_EQ(profile->coasting_speed_at_distance(25), coast[2]);
    double m = 0, r = 0, c = 0;
    ASSERT_TRUE(profile->all_at_distance(-5, &m, &r, &c));
    EXPECT_EQ(c, coast[0] + (coast[1] - coast[0]) * -0.5);

    // A repeated point: the zero-length interval gives its first row, ratio 0.
    auto repeated = make({0, 5, 5, 10}, {10, 20, 30, 40});
    const auto& rec = repeated->recommended_speed_column();
    const auto& coast_r = repeated->coasting_speed_column();
    EXPECT_EQ(repeated->recommended_speed_at_distance(5), rec[1]);
    EXPECT_EQ(repeated->coasting_speed_at_distance(5), coast_r[1]);
    std::int32_t index = -1;
    double ratio = -1;
    ASSERT_TRUE(repeated->index_and_ratio_at_distance(5, &index, &ratio));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(ratio, 0.0);
    ASSERT_TRUE(repeated->all_at_distance(5, &m, &r, &c));
    EXPECT_EQ(r, rec[1]);
    EXPECT_EQ(c, coast_r[1]);
}

TEST_F(ProfileQueries, AllAtPositionInterpolatesOnTheSegmentFound) {
    auto profile = make({0, 10, 20, 30, 40}, {50, 60, 70, 80, 90});
    const auto& rec = profile->recommended_speed_column();
    const auto& coast = profile->coasting_speed_column();
    double d = -1, m = -1, r = -1, c = -1;
    ASSERT_TRUE(profile->all_at_position(15, 3, 0, false, 100, &d, &m, &r, &c));
    EXPECT_EQ(d, 15.0);
    EXPECT_EQ(m, 65.0);
    EXPECT_EQ(r, rec[1] + (rec[2] - rec[1]) * 0.5);
    EXPECT_EQ(c, coast[1] + (coast[2] - coast[1]) * 0.5);
    // At a route point: that row exactly.
    ASSERT_TRUE(profile->all_at_position(30, 0, 0, false, 100, &d, &m, &r, &c));
    EXPECT_EQ(d, 30.0);
    EXPECT_EQ(m, 80.0);
    EXPECT_EQ(r, rec[3]);
    EXPECT_EQ(c, coast[3]);
    // The speed queries at a position interpolate at the distance found.
    EXPECT_EQ(profile->coasting_speed_at_position(35, 1, 0),
              coast[3] + (coast[4] - coast[3]) / 10 * 5);
}
