// The OpenDRIVE route builder against numbers worked out here, independently of its code:
// positions by Simpson's rule over the heading, radii from the records' curvatures, lane
// centres and speed limits from the map's own values.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "routes/opendrive/opendrive_map.h"
#include "routes/opendrive/opendrive_route.h"
#include "routes/route_error.h"

namespace {

using namespace korvale::routes;

constexpr double PI = 3.14159265358979323846;

std::string map_of(const std::string& roads) {
    return "<?xml version=\"1.0\"?>\n<OpenDRIVE><header revMajor=\"1\" revMinor=\"6\"/>" + roads +
           "</OpenDRIVE>";
}

std::string geometry(double s, double x, double y, double heading, double length,
                     const std::string& shape) {
    char head[256];
    std::snprintf(head, sizeof head,
                  "<geometry s=\"%.17g\" x=\"%.17g\" y=\"%.17g\" hdg=\"%.17g\" length=\"%.17g\">",
                  s, x, y, heading, length);
    return head + shape + "</geometry>";
}

// A road with one lane of width 3.5 m on each side unless lanes are given.
std::string road(const std::string& id, double length, const std::string& plan,
                 const std::string& extra = "", const std::string& lanes = "") {
    const std::string lane_xml =
        lanes.empty()
            ? "<lanes><laneSection s=\"0\"><left><lane id=\"1\"><width sOffset=\"0\" "
              "a=\"3.5\"/></lane></left><center><lane id=\"0\"/></center><right><lane "
              "id=\"-1\"><width sOffset=\"0\" a=\"3.5\"/></lane></right></laneSection></lanes>"
            : lanes;
    return "<road id=\"" + id + "\" length=\"" + std::to_string(length) + "\" junction=\"-1\">" +
           extra + "<planView>" + plan + "</planView>" + lane_xml + "</road>";
}

std::vector<RouteRow> rows_of(const std::string& xml, OpenDriveRouteOptions options,
                              std::vector<bool>* backwards = nullptr) {
    const OpenDriveMap map = OpenDriveMap::parse(xml.data(), xml.size(), "test.xodr");
    const OpenDriveRoute route(map, std::move(options));
    if (backwards != nullptr) {
        backwards->clear();
        for (const auto& leg : route.legs()) {
            backwards->push_back(leg.backwards);
        }
    }
    std::vector<RouteRow> rows;
    route.sample([&](const RouteRow& row) { rows.push_back(row); });
    return rows;
}

OpenDriveRouteOptions options(std::vector<std::string> roads, double step, int lane = 0,
                              double limit = 0.0, bool reverse = false) {
    OpenDriveRouteOptions o;
    o.roads = std::move(roads);
    o.step = step;
    o.lane = lane;
    o.default_limit_kmh = limit;
    o.reverse = reverse;
    return o;
}

// Simpson's rule with n (even) intervals.
double simpson(const std::function<double(double)>& f, double a, double b, int n = 4000) {
    const double h = (b - a) / n;
    double sum = f(a) + f(b);
    for (int i = 1; i < n; ++i) {
        sum += f(a + i * h) * (i % 2 == 1 ? 4 : 2);
    }
    return sum * h / 3;
}

double cubic(const double (&k)[4], double p) {
    return k[0] + k[1] * p + k[2] * p * p + k[3] * p * p * p;
}
double slope(const double (&k)[4], double p) {
    return k[1] + 2 * k[2] * p + 3 * k[3] * p * p;
}
double bend(const double (&k)[4], double p) {
    return 2 * k[2] + 6 * k[3] * p;
}

struct Expected {
    double x, y, curvature;
};

TEST(OpenDriveGeometry, EveryRecordKindMatchesAnIndependentIntegrationOfItsHeading) {
    // One road of six records, each with a start of its own.
    const double p3[4] = {0.3, 0.1, 0.01, -0.0004};
    const double pu[4] = {0, 1, -0.002, 0}, pv[4] = {0, 0.05, 0.004, -0.0001};
    const double nu[4] = {1, 30, -1, 0.2}, nv[4] = {0, 2, 3, -1};
    const auto coefficients = [](const char* names, const double(&k)[4]) {
        std::string text;
        for (int i = 0; i < 4; ++i) {
            text += " " + std::string(1, names[i]) + std::string(names + 4) + "=\"" +
                    std::to_string(k[i]) + "\"";
        }
        return text;
    };
    const std::string plan =
        geometry(0, 10, 20, 0.3, 20, "<line/>") +
        geometry(20, 50, -10, 1.0, 40, "<spiral curvStart=\"0.01\" curvEnd=\"0.05\"/>") +
        geometry(60, 0, 0, -0.5, 30, "<arc curvature=\"-0.04\"/>") +
        geometry(90, 5, 5, 2.0, 30, "<poly3" + coefficients("abcd", p3) + "/>") +
        geometry(120, -20, 40, -1.0, 30,
                 "<paramPoly3" + coefficients("abcdU", pu) + coefficients("abcdV", pv) +
                     " pRange=\"arcLength\"/>") +
        geometry(150, 60, 60, 0.7, 30,
                 "<paramPoly3" + coefficients("abcdU", nu) + coefficients("abcdV", nv) + "/>");
    const std::string elevation = "<elevationProfile><elevation s=\"0\" a=\"100\" b=\"0.02\" "
                                  "c=\"0.001\" d=\"-0.00001\"/><elevation s=\"100\" a=\"50\" "
                                  "b=\"-0.03\"/></elevationProfile>";
    const auto rows = rows_of(map_of(road("r", 180, plan, elevation)), options({}, 0.5, 0, 50));
    ASSERT_EQ(rows.size(), 361u); // every record starts on a step

    const auto turned = [](double x0, double y0, double h0, double ds, double c0, double rate) {
        const auto heading = [=](double u) { return h0 + c0 * u + rate * u * u / 2; };
        return Expected{x0 + simpson([&](double u) { return std::cos(heading(u)); }, 0, ds),
                        y0 + simpson([&](double u) { return std::sin(heading(u)); }, 0, ds),
                        c0 + rate * ds};
    };
    const auto local = [](double x0, double y0, double h0, double u, double v, double du, double dv,
                          double ddu, double ddv) {
        return Expected{x0 + u * std::cos(h0) - v * std::sin(h0),
                        y0 + u * std::sin(h0) + v * std::cos(h0),
                        (du * ddv - dv * ddu) / std::pow(du * du + dv * dv, 1.5)};
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const double s = 0.5 * static_cast<double>(i);
        Expected e{};
        if (s < 20) {
            e = turned(10, 20, 0.3, s, 0, 0);
        } else if (s < 60) {
            e = turned(50, -10, 1.0, s - 20, 0.01, 0.04 / 40);
        } else if (s < 90) {
            e = turned(0, 0, -0.5, s - 60, -0.04, 0);
        } else if (s < 120) {
            // u where the arc length is ds, by bisection over Simpson's rule
            const double ds = s - 90;
            double low = 0, high = ds;
            for (int k = 0; k < 60; ++k) {
                const double mid = (low + high) / 2;
                const double length =
                    simpson([&](double u) { return std::sqrt(1 + slope(p3, u) * slope(p3, u)); }, 0,
                            mid, 400);
                (length < ds ? low : high) = mid;
            }
            const double u = (low + high) / 2;
            e = local(5, 5, 2.0, u, cubic(p3, u), 1, slope(p3, u), 0, bend(p3, u));
        } else if (s < 150) {
            const double p = s - 120;
            e = local(-20, 40, -1.0, cubic(pu, p), cubic(pv, p), slope(pu, p), slope(pv, p),
                      bend(pu, p), bend(pv, p));
        } else {
            const double p = (s - 150) / 30;
            e = local(60, 60, 0.7, cubic(nu, p), cubic(nv, p), slope(nu, p), slope(nv, p),
                      bend(nu, p), bend(nv, p));
        }
        SCOPED_TRACE("s = " + std::to_string(s));
        EXPECT_NEAR(rows[i].x, e.x, 1e-6);
        EXPECT_NEAR(rows[i].y, e.y, 1e-6);
        const double radius = std::fabs(e.curvature) < 1e-4 ? 10000 : 1 / std::fabs(e.curvature);
        EXPECT_NEAR(rows[i].radius, radius, 1e-8 * radius);
        const double ds = s < 100 ? s : s - 100;
        const double z =
            s < 100 ? 100 + 0.02 * ds + 0.001 * ds * ds - 0.00001 * ds * ds * ds : 50 - 0.03 * ds;
        EXPECT_NEAR(rows[i].z, z, 1e-9);
        EXPECT_EQ(rows[i].superelevation, 0.0);
        EXPECT_EQ(rows[i].speed_limit, 50.0);
    }
}

TEST(OpenDriveChain, ARoadDrivenBackwardsJoinsItsNeighboursWithOneRowWhereTheyMeet) {
    // a: (0,0) to (50,0); b: drawn from (80,0) back to (50,0); c: (80,0) to (100,0).
    const std::string lanes_b =
        "<lanes><laneSection s=\"0\"><left><lane id=\"1\"><width sOffset=\"0\" a=\"3.5\"/>"
        "<speed sOffset=\"0\" max=\"30\" unit=\"mph\"/></lane></left><right><lane id=\"-1\">"
        "<width sOffset=\"0\" a=\"3.5\"/></lane></right></laneSection></lanes>";
    const std::string xml =
        map_of(road("a", 50, geometry(0, 0, 0, 0, 50, "<line/>"),
                    "<type s=\"0\" type=\"town\"><speed max=\"50\" unit=\"km/h\"/></type>") +
               road("b", 30, geometry(0, 80, 0, PI, 30, "<line/>"),
                    "<type s=\"0\" type=\"town\"><speed max=\"20\"/></type>", lanes_b) +
               road("c", 20, geometry(0, 80, 0, 0, 20, "<line/>"),
                    "<type s=\"0\" type=\"town\"><speed max=\"no limit\"/></type>"));

    std::vector<bool> backwards;
    const auto rows = rows_of(xml, options({"a", "b", "c"}, 1.0, -1, 40), &backwards);
    EXPECT_EQ(backwards, (std::vector<bool>{false, true, false}));
    ASSERT_EQ(rows.size(), 101u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(rows[i].x, static_cast<double>(i), 1e-9);
        EXPECT_NEAR(rows[i].y, -1.75, 1e-9); // the driver's right on every road
        // km/h on a, the lane's own mph on b (lane 1: driven backwards), "no limit" filled on c
        EXPECT_NEAR(rows[i].speed_limit, i < 50 ? 50 : (i < 80 ? 30 * 1.609344 : 40), 1e-9);
    }

    const auto reversed = rows_of(xml, options({"a", "b", "c"}, 1.0, -1, 40, true), &backwards);
    EXPECT_EQ(backwards, (std::vector<bool>{true, false, true})); // c, b, a
    ASSERT_EQ(reversed.size(), 101u);
    for (std::size_t i = 0; i < reversed.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(reversed[i].x, 100.0 - static_cast<double>(i), 1e-9);
        EXPECT_NEAR(reversed[i].y, 1.75, 1e-9);
        // lane -1 of b has no record of its own: the road's 20 m/s
        EXPECT_NEAR(reversed[i].speed_limit, i < 20 ? 40 : (i < 50 ? 72 : 50), 1e-9);
    }

    // A road of length 0 is one row, its start, driven either way.
    for (bool reverse : {false, true}) {
        const auto point = rows_of(map_of(road("p", 0, geometry(0, 5, 6, 0, 10, "<line/>"))),
                                   options({"p"}, 1, 0, 40, reverse));
        ASSERT_EQ(point.size(), 1u);
        EXPECT_NEAR(point[0].x, 5, 1e-9);
    }

    // Without a limit for rows that have none, the "no limit" road cannot be driven.
    try {
        rows_of(xml, options({"a", "b", "c"}, 1.0, -1));
        FAIL() << "no error";
    } catch (const RouteError& error) {
        EXPECT_STREQ(error.what(), "road 'c' has no speed limit at s = 0; give a limit for rows "
                                   "without one");
    }
}

TEST(OpenDriveLanes, LaneCentresLieAtTheirOffsetWithTheOffsetCurvesRadius) {
    // An arc of radius 100 around (0, 100), lanes 3.5 m wide, the lanes shifted 0.5 m left.
    const std::string arc =
        road("arc", 100, geometry(0, 0, 0, 0, 100, "<arc curvature=\"0.01\"/>"),
             "<type s=\"0\"><speed max=\"60\" unit=\"km/h\"/></type>",
             "<lanes><laneOffset s=\"0\" a=\"0.5\"/><laneSection s=\"0\"><left><lane id=\"2\">"
             "<width sOffset=\"0\" a=\"3.5\"/></lane><lane id=\"1\"><width sOffset=\"0\" "
             "a=\"3.5\"/></lane></left><right><lane id=\"-1\"><width sOffset=\"0\" a=\"3.5\"/>"
             "</lane></right></laneSection></lanes>");
    for (const auto& [lane, t] : {std::pair{-1, -1.25}, std::pair{1, 2.25}, std::pair{2, 5.75}}) {
        SCOPED_TRACE(lane);
        for (const RouteRow& row : rows_of(map_of(arc), options({}, 5.0, lane))) {
            EXPECT_NEAR(std::hypot(row.x, row.y - 100), 100 - t, 1e-9);
            EXPECT_NEAR(row.radius, 100 - t, 1e-9);
        }
    }
    // A lane beyond the centre of the curve has no radius.
    const std::string tight =
        road("tight", 10, geometry(0, 0, 0, 0, 10, "<arc curvature=\"0.2\"/>"), "",
             "<lanes><laneSection s=\"0\"><left><lane id=\"2\"><width "
             "sOffset=\"0\" a=\"3.5\"/></lane><lane id=\"1\"><width "
             "sOffset=\"0\" a=\"3.5\"/></lane></left></laneSection></lanes>");
    EXPECT_THROW(rows_of(map_of(tight), options({}, 1.0, 2, 50)), RouteError);
    // A lane that a section lacks.
    EXPECT_THROW(rows_of(map_of(tight), options({}, 1.0, -1, 50)), RouteError);

    // On a straight, a lane whose offset grows as 1.5 + 0.002 s^2 is the curve y = t(x), whose
    // curvature is t'' / (1 + t'^2)^1.5.
    const std::string widening =
        road("w", 50, geometry(0, 0, 0, 0, 50, "<line/>"), "",
             "<lanes><laneOffset s=\"0\" a=\"0\" b=\"0\" c=\"0.002\"/><laneSection s=\"0\"><left>"
             "<lane id=\"1\"><width sOffset=\"0\" a=\"3\"/></lane></left></laneSection></lanes>");
    const auto rows = rows_of(map_of(widening), options({}, 1.0, 1, 50));
    ASSERT_EQ(rows.size(), 51u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const double s = static_cast<double>(i), slope = 0.004 * s;
        EXPECT_NEAR(rows[i].x, s, 1e-9);
        EXPECT_NEAR(rows[i].y, 1.5 + 0.002 * s * s, 1e-9);
        EXPECT_NEAR(rows[i].radius, std::pow(1 + slope * slope, 1.5) / 0.004, 1e-6);
        EXPECT_EQ(rows[i].superelevation, 0.0); // the reference line is straight
    }
}

TEST(OpenDriveSuperelevation, ABankTowardsTheInsideIsPositiveWhicheverWayTheRoadIsDriven) {
    const auto banked = [](double curvature, double roll) {
        return map_of(
            road("r", 40,
                 geometry(0, 0, 0, 0, 40, "<arc curvature=\"" + std::to_string(curvature) + "\"/>"),
                 "<type s=\"0\"><speed max=\"50\" unit=\"km/h\"/></type><lateralProfile>"
                 "<superelevation s=\"0\" a=\"" +
                     std::to_string(roll) + "\"/></lateralProfile>"));
    };
    const double bank = std::tan(0.05);
    struct Case {
        double curvature, roll, expected;
    };
    // The roll is positive where the road falls to the right.
    for (const Case& c : {Case{0.01, -0.05, bank}, Case{-0.01, 0.05, bank}, Case{0.01, 0.05, -bank},
                          Case{-0.01, -0.05, -bank}, Case{0.0, 0.05, 0.0}}) {
        for (bool reverse : {false, true}) {
            SCOPED_TRACE(std::to_string(c.curvature) + " " + std::to_string(c.roll) +
                         (reverse ? " backwards" : ""));
            for (const RouteRow& row :
                 rows_of(banked(c.curvature, c.roll), options({}, 10.0, 0, 0, reverse))) {
                EXPECT_NEAR(row.superelevation, c.expected, 1e-12);
            }
        }
    }
}

} // namespace
