// The rules every route builder applies to its rows.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "routes/row_rules.h"

namespace {

using namespace korvale::routes;

TEST(RowRules, CurvesLimitsAndPlacesOfRows) {
    RouteRow row;
    set_curve(row, -0.02, 0.05);
    EXPECT_DOUBLE_EQ(row.radius, 50.0);
    EXPECT_EQ(row.superelevation, 0.05);
    set_curve(row, 0.5 * STRAIGHT_CURVATURE, 0.05);
    EXPECT_EQ(row.radius, STRAIGHT_RADIUS);
    EXPECT_EQ(row.superelevation, 0.0);
    // An unknown curvature is no straight: its radius is not a number, which builders refuse.
    set_curve(row, std::nan(""), 0.05);
    EXPECT_FALSE(std::isfinite(row.radius));

    EXPECT_EQ(limit_or_fallback(30.0, 50.0), 30.0);
    EXPECT_EQ(limit_or_fallback(std::nan(""), 50.0), 50.0);
    EXPECT_TRUE(std::isnan(limit_or_fallback(std::nan(""), 0.0)));
    EXPECT_TRUE(std::isnan(limit_or_fallback(std::nan(""), std::nan(""))));

    // The end stands in for a row closer to it than MIN_ROW_SPACING; a line shorter than that
    // still has its two ends.
    EXPECT_EQ(step_places(10.0, 3.0), (std::vector<double>{0, 3, 6, 9, 10}));
    EXPECT_EQ(step_places(9.0005, 3.0), (std::vector<double>{0, 3, 6, 9.0005}));
    EXPECT_EQ(step_places(0.0005, 3.0), (std::vector<double>{0, 0.0005}));
    EXPECT_LE(static_cast<double>(step_places(1000.0, 0.7).size()), rows_along(1000.0, 0.7));

    RouteLength length;
    EXPECT_EQ(length.add({0, 0, 0, 0, 0, 0}), 0.0);
    EXPECT_EQ(length.add({3, 4, 0, 0, 0, 0}), 5.0);
    EXPECT_EQ(length.add({3, 4, 12, 0, 0, 0}), 17.0);
}

} // namespace
