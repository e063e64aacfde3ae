// A simulated drive: a vehicle follows a curved, hilly route that the test generates, with
// lateral noise, and the distance tracked by the position queries must follow its true distance
// along the route from the first call to the last.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "korvale.h"
#include "support/temp_dir.h"
#include "support/vehicles.h"

namespace {

const double PI = std::acos(-1.0);

struct Point {
    double x, y, z;
};

// One piece of the route in plan: a straight (radius 0) or an arc of the signed radius (positive
// turns left). A piece drawn with only its end points stands for a long straight of a real file.
struct Piece {
    double length;
    double radius;
    bool end_points_only;
};

struct Route {
    std::vector<korvale_test::Row> rows;
    std::vector<Point> points;
    std::vector<double> distance; // cumulative 3-D length, computed here
};

// Height along the route in plan: rolling hills, grades below 10 %.
double height(double s) {
    return 300.0 + 8.0 * std::sin(2 * PI * s / 1200.0) + 3.0 * std::sin(2 * PI * s / 400.0);
}

Route make_route() {
    const Piece pieces[] = {
        {200, 0, false},    {120, 150, false}, {150, 0, false},  {110, -80, false},
        {300, 0, true},     {250, 200, false}, {90, -60, false}, {120, 0, false},
        {300, -400, false}, {150, 120, false}, {250, 0, false},
    };
    Route route;
    double x0 = 350000.0, y0 = 5600000.0, heading = 0.3, s_plan = 0.0;
    auto add = [&](double x, double y, double s, const Piece& piece) {
        const double radius = piece.radius == 0 ? 10000.0 : std::fabs(piece.radius);
        const double limit = piece.radius == 0 ? 100.0 : 80.0;
        const double superelevation = piece.radius == 0 ? 0.0 : 0.05;
        const Point p{x, y, height(s)};
        route.rows.push_back({p.x, p.y, p.z, radius, limit, superelevation});
        route.points.push_back(p);
    };
    add(x0, y0, 0.0, pieces[0]);
    int sample = 0;
    for (const Piece& piece : pieces) {
        // Points 2 to 5 m apart, in an irregular but fixed pattern.
        std::vector<double> offsets;
        if (!piece.end_points_only) {
            double s = 0.0;
            for (;;) {
                const double golden = std::fmod(0.6180339887 * ++sample, 1.0);
                s += 2.0 + 3.0 * golden;
                if (s >= piece.length - 1.0) {
                    break;
                }
                offsets.push_back(s);
            }
        }
        offsets.push_back(piece.length);
        for (double s : offsets) {
            double x, y;
            if (piece.radius == 0) {
                x = x0 + s * std::cos(heading);
                y = y0 + s * std::sin(heading);
            } else {
                const double k = 1.0 / piece.radius;
                x = x0 + (std::sin(heading + k * s) - std::sin(heading)) / k;
                y = y0 - (std::cos(heading + k * s) - std::cos(heading)) / k;
            }
            add(x, y, s_plan + s, piece);
        }
        x0 = route.points.back().x;
        y0 = route.points.back().y;
        if (piece.radius != 0) {
            heading += piece.length / piece.radius;
        }
        s_plan += piece.length;
    }
    route.distance.push_back(0.0);
    for (std::size_t i = 1; i < route.points.size(); ++i) {
        const Point& a = route.points[i - 1];
        const Point& b = route.points[i];
        route.distance.push_back(route.distance.back() +
                                 std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) +
                                           (b.z - a.z) * (b.z - a.z)));
    }
    return route;
}

enum class Query { DistanceAtPosition, AllAtPosition };

struct DriveCase {
    double window;
    double rate_hz;
    Query query;
};

std::string case_name(const ::testing::TestParamInfo<DriveCase>& info) {
    char name[96];
    std::snprintf(name, sizeof name, "Window%d_%dHz_%s", static_cast<int>(info.param.window),
                  static_cast<int>(info.param.rate_hz),
                  info.param.query == Query::DistanceAtPosition ? "Distance" : "All");
    return name;
}

void PrintTo(const DriveCase& drive, std::ostream* out) {
    *out << drive.window << " m window at " << drive.rate_hz << " Hz";
}

class Drive : public ::testing::TestWithParam<DriveCase> {};

TEST_P(Drive, TrackedDistanceFollowsTheVehicle) {
    const DriveCase drive = GetParam();
    const Route route = make_route();
    const double total = route.distance.back();
    ASSERT_GT(total, 2000.0);

    korvale_test::TempDir dir;
    const std::string file = dir.write("drive.txt", korvale_test::route_text(route.rows));
    const double* c = korvale_test::DEFAULT_CAR;
    korvale_profile* profile =
        initialize_korvale(file.c_str(), c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
    const std::unique_ptr<korvale_profile, void (*)(korvale_profile*)> release(
        profile, &deinitialize_korvale);
    ASSERT_EQ(get_korvale_rows(profile), static_cast<int32_t>(route.rows.size()));

    // Lateral offset: a slow drift in the lane plus jitter, at most 1.5 m either way.
    std::mt19937 random(20240611u);
    std::uniform_real_distribution<double> jitter(-0.5, 0.5);
    // Nearest-point mapping near a vertex of the polyline shifts the distance by at most the
    // offset times the sine of the turn between two segments: a few centimetres here.
    const double margin = 0.2;

    const double dt = 1.0 / drive.rate_hz;
    double t = 0.0, s = 0.0, worst_excess = -1e9, worst_true = 0.0, worst_found = 0.0;
    std::size_t segment = 0, calls = 0;
    while (s <= total) {
        while (segment + 2 < route.points.size() && route.distance[segment + 1] < s) {
            ++segment;
        }
        const Point& a = route.points[segment];
        const Point& b = route.points[segment + 1];
        const double f =
            (s - route.distance[segment]) / (route.distance[segment + 1] - route.distance[segment]);
        const double run = std::hypot(b.x - a.x, b.y - a.y);
        const double nx = -(b.y - a.y) / run, ny = (b.x - a.x) / run;
        const double lateral = std::sin(2 * PI * t / 7.0) + jitter(random);
        const double px = a.x + (b.x - a.x) * f + lateral * nx;
        const double py = a.y + (b.y - a.y) * f + lateral * ny;
        const double pz = a.z + (b.z - a.z) * f;

        double found = -1.0;
        if (drive.query == Query::DistanceAtPosition) {
            found = get_distance_at_position(profile, px, py, pz, 0, drive.window);
        } else {
            double max = -1, recommended = -1, coasting = -1;
            ASSERT_EQ(get_all_at_position(profile, px, py, pz, 0, drive.window, &found, &max,
                                          &recommended, &coasting),
                      1);
            double max_d = -2, recommended_d = -2, coasting_d = -2;
            get_all_at_distance(profile, found, &max_d, &recommended_d, &coasting_d);
            ASSERT_NEAR(max, max_d, 1e-9) << "at " << found;
            ASSERT_NEAR(recommended, recommended_d, 1e-9) << "at " << found;
            ASSERT_NEAR(coasting, coasting_d, 1e-9) << "at " << found;
        }
        const double excess = std::fabs(found - s) - (std::fabs(lateral) + margin);
        if (excess > worst_excess) {
            worst_excess = excess;
            worst_true = s;
            worst_found = found;
        }
        ++calls;
        // 50 to 100 km/h, changing smoothly.
        const double speed = (75.0 + 25.0 * std::sin(2 * PI * t / 45.0)) / 3.6;
        s += speed * dt;
        t += dt;
    }

    EXPECT_GT(calls, static_cast<std::size_t>(total / (100 / 3.6) * drive.rate_hz));
    EXPECT_LE(worst_excess, 0.0) << "true distance " << worst_true << ", tracked " << worst_found;
}

INSTANTIATE_TEST_SUITE_P(Windows, Drive,
                         ::testing::Values(DriveCase{10, 50, Query::DistanceAtPosition},
                                           DriveCase{30, 50, Query::DistanceAtPosition},
                                           DriveCase{100, 50, Query::DistanceAtPosition},
                                           DriveCase{500, 50, Query::DistanceAtPosition},
                                           DriveCase{10, 100, Query::AllAtPosition},
                                           DriveCase{30, 100, Query::AllAtPosition},
                                           DriveCase{100, 100, Query::AllAtPosition},
                                           DriveCase{500, 100, Query::AllAtPosition}),
                         case_name);

} // namespace
