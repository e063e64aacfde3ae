// The locator's quick searches give the answers of the plain ones, bit for bit: the window
// bounds walked to from the previous segment instead of searched, candidates compared by
// squared distance, segment lengths kept from construction. The plain searches are written out
// here as the straightforward reading of their rules and run side by side with the locator on
// random routes and drives, ties, repeated points, tiny segments and NaN included.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "geometry/point3.h"
#include "geometry/polyline_locator.h"
#include "geometry/segment.h"
#include "profile/position_tracker.h"
#include "support/polylines.h"
#include "support/random.h"

using korvale::Point3;
using korvale::PolylineLocator;
using korvale::Segment;
using korvale::Vector3;

using korvale_test::make_locator;
using korvale_test::Random;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// The plain searches over their own copy of the route.
class PlainLocator {
public:
    explicit PlainLocator(const std::vector<Point3>& route) : points(route) {
        distances.push_back(0.0);
        for (std::size_t i = 1; i < points.size(); ++i) {
            distances.push_back(distances.back() + Vector3(points[i] - points[i - 1]).norm());
        }
    }

    std::int32_t index_at_distance(double d) const {
        const auto n = static_cast<std::int32_t>(points.size());
        if (d > distances.at(n - 1)) {
            return n - 1;
        }
        if (n == 1 || distances.at(0) > d) {
            return 0;
        }
        std::int32_t lo = 0, hi = n - 1, mid = (hi - lo) / 2;
        while (hi - lo > 1) {
            if (distances.at(mid) == d) {
                return mid;
            }
            if (distances.at(mid) > d) {
                hi = mid;
            } else {
                lo = mid;
            }
            mid = lo + (hi - lo) / 2;
        }
        return mid;
    }

    Point3 locate(Point3 position, double* distance_out, double window, bool full_search) {
        if (position == last_position && last_segment >= 0) {
            *distance_out = last_distance;
            return last_result;
        }
        const auto n = static_cast<std::int32_t>(points.size());
        const bool full = full_search || last_segment < 0;
        const double range = full ? distances.at(n - 1) : window;
        const double L = last_distance;
        const std::int32_t lo = std::max(0, std::min(n - 2, index_at_distance(L - range)));
        const std::int32_t hi = std::min(n - 1, std::max(2, index_at_distance(L + range) + 1));
        double best = korvale::distance_between(points.at(lo), position);
        std::int32_t best_segment = lo;
        Point3 found = points.at(lo);
        for (std::int32_t i = lo + 1; i <= hi; ++i) {
            const Point3 p = Segment(points.at(i), points.at(i - 1)).closest_point(position);
            const double d = korvale::distance_between(p, position);
            if (d <= best) {
                best = d;
                best_segment = i - 1;
                found = p;
            }
        }
        last_distance =
            distances.at(best_segment) + korvale::distance_between(points.at(best_segment), found);
        last_segment = best_segment;
        last_result = found;
        last_position = position;
        *distance_out = last_distance;
        return found;
    }

    std::vector<Point3> points;
    std::vector<double> distances;
    double last_distance = 0.0;
    std::int32_t last_segment = -1;
    Point3 last_position, last_result;
};

bool same_bits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool same_bits(const Point3& a, const Point3& b) {
    return same_bits(a.x, b.x) && same_bits(a.y, b.y) && same_bits(a.z, b.z);
}

// A route of n points: steps of up to 10 m, now and then a repeated point, a tiny step, a
// point with a negative zero, or (on a grid) integer coordinates where ties abound.
std::vector<Point3> random_route(Random& r, int n, bool grid) {
    std::vector<Point3> route;
    Point3 p(grid ? 0.0 : -0.0, 0.0, 0.0);
    double heading = 0.0;
    for (int i = 0; i < n; ++i) {
        route.push_back(p);
        const int kind = r.below(20);
        if (kind == 0 && i > 0) {
            continue; // the next point repeats this one
        }
        if (grid) {
            const int axis = r.below(3);
            const double step = r.below(2) == 0 ? 1.0 : 2.0;
            p = axis == 0   ? Point3(p.x + step, p.y, p.z)
                : axis == 1 ? Point3(p.x, p.y + (r.below(2) ? step : -step), p.z)
                            : Point3(p.x + step, p.y + step, p.z);
        } else {
            const double step = kind == 1 ? r.uniform(0.0, 0.002) : r.uniform(0.5, 10.0);
            heading += r.uniform(-0.3, 0.3);
            p = Point3(p.x + step * std::cos(heading), p.y + step * std::sin(heading),
                       kind == 2 ? -0.0 : p.z + r.uniform(-0.2, 0.2));
        }
    }
    return route;
}

} // namespace

TEST(LocatorEquivalence, IndexNearAHintIsTheBinarySearchsIndex) {
    Random r(11);
    for (int route_number = 0; route_number < 60; ++route_number) {
        const std::vector<Point3> route = random_route(r, 2 + r.below(300), route_number % 3 == 0);
        const PolylineLocator locator = make_locator(route);
        const PlainLocator plain(route);
        const auto n = static_cast<std::int32_t>(route.size());
        for (int q = 0; q < 2000; ++q) {
            double d = 0;
            switch (r.below(5)) {
            case 0: // exactly a point's distance, repeated points included
                d = plain.distances[static_cast<std::size_t>(r.below(n))];
                break;
            case 1:
                d = q % 50 == 0 ? NaN
                                : (q % 2 ? -1.0 : 1.0) * std::numeric_limits<double>::infinity();
                break;
            default:
                d = r.uniform(-20.0, plain.distances.back() + 20.0);
            }
            const std::int32_t hint = r.below(n + 4) - 2;
            ASSERT_EQ(locator.index_at_distance(d), plain.index_at_distance(d)) << d;
            ASSERT_EQ(locator.index_at_distance_near(d, hint), plain.index_at_distance(d))
                << "d " << d << " hint " << hint << " route " << route_number;
        }
    }
}

TEST(LocatorEquivalence, DrivesFindTheSamePointsDistancesAndSegments) {
    Random r(5);
    const double windows[] = {0.5, 5.0, 30.0, 100.0, 100.0, 100.0, 1000.0, 1e9};
    for (int route_number = 0; route_number < 80; ++route_number) {
        const bool grid = route_number % 2 == 0;
        const std::vector<Point3> route = random_route(r, 1 + r.below(400), grid);
        const PolylineLocator locator = make_locator(route);
        korvale::PositionTracker tracker(locator);
        PlainLocator plain(route);
        const double length = plain.distances.back();
        double s = 0.0;
        Point3 previous;
        for (int q = 0; q < 1500; ++q) {
            // Mostly a drive forward with noise; sometimes a jump, a repeat, a far or NaN
            // position; on a grid, positions on the grid and half-way between its points.
            s += r.uniform(-0.5, 3.0);
            if (s > length || r.below(200) == 0) {
                s = r.uniform(0.0, length);
            }
            const Point3 on = locator.position_at_distance(s);
            Point3 position(on.x + r.uniform(-2, 2), on.y + r.uniform(-2, 2), on.z);
            if (grid) {
                position = Point3(std::round(position.x * 2) / 2, std::round(position.y * 2) / 2,
                                  std::round(position.z));
            }
            switch (r.below(40)) {
            case 0:
                position = previous;
                break;
            case 1:
                position = Point3(position.x, NaN, position.z);
                break;
            case 2:
                position = Point3(position.x + 500, position.y - 800, position.z);
                break;
            default:
                break;
            }
            previous = position;
            const double window = windows[r.below(8)];
            const bool full = r.below(25) == 0;
            double got_distance = 0, expected_distance = 0;
            const Point3 got = tracker.locate_position(position, &got_distance, window, full);
            const Point3 expected = plain.locate(position, &expected_distance, window, full);
            ASSERT_TRUE(same_bits(got, expected)) << "route " << route_number << " query " << q;
            ASSERT_TRUE(same_bits(got_distance, expected_distance))
                << "route " << route_number << " query " << q;
            ASSERT_EQ(tracker.get_last_lookup_segment(), plain.last_segment)
                << "route " << route_number << " query " << q;
        }
    }
}
