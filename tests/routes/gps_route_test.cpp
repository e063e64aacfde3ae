// The GPS route builder: the projection against the ellipsoid's own formulas, the track forms,
// cleaning, limits, errors, and the accuracy on synthetic drives of known roads.
#include <algorithm>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "routes/gps/gps_route.h"
#include "routes/gps/gps_track.h"
#include "routes/gps/local_frame.h"
#include "routes/route_error.h"
#include "support/sanitizers.h"
#include "synthetic_track.h"

namespace {

using namespace korvale::routes;

constexpr double PI = 3.14159265358979323846;

// WGS84 geodetic to earth-centred coordinates, then east-north-up at the origin.
struct Enu {
    double e, n, u;
};

Enu enu_of(const GeoPoint& o, const GeoPoint& p) {
    const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
    const auto ecef = [&](const GeoPoint& g, double out[3]) {
        const double lat = g.latitude * PI / 180, lon = g.longitude * PI / 180;
        const double n = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
        out[0] = (n + g.height) * std::cos(lat) * std::cos(lon);
        out[1] = (n + g.height) * std::cos(lat) * std::sin(lon);
        out[2] = (n * (1 - e2) + g.height) * std::sin(lat);
    };
    double po[3], pp[3];
    ecef(o, po);
    ecef(p, pp);
    const double d[3] = {pp[0] - po[0], pp[1] - po[1], pp[2] - po[2]};
    const double lat = o.latitude * PI / 180, lon = o.longitude * PI / 180;
    return {-std::sin(lon) * d[0] + std::cos(lon) * d[1],
            -std::sin(lat) * std::cos(lon) * d[0] - std::sin(lat) * std::sin(lon) * d[1] +
                std::cos(lat) * d[2],
            std::cos(lat) * std::cos(lon) * d[0] + std::cos(lat) * std::sin(lon) * d[1] +
                std::sin(lat) * d[2]};
}

TEST(GpsRoute, TheFrameMatchesTheEllipsoidsOwnFormulasAndReversesExactly) {
    const GeoPoint origin{48.137, 11.575, 520.0};
    const LocalFrame frame(origin);
    // About 1000 m north (on the origin's meridian) and 1000 m east (on its parallel).
    const double a = 6378137.0, e2 = 0.00669437999014;
    const double lat = origin.latitude * PI / 180, w = 1 - e2 * std::sin(lat) * std::sin(lat);
    const double meridian = a * (1 - e2) / std::pow(w, 1.5), normal = a / std::sqrt(w);
    const GeoPoint north{origin.latitude + 1000 / meridian * 180 / PI, origin.longitude, 530.0};
    const GeoPoint east{origin.latitude,
                        origin.longitude + 1000 / (normal * std::cos(lat)) * 180 / PI, 505.0};
    for (const GeoPoint& p : {north, east}) {
        const Enu expected = enu_of(origin, p);
        const LocalPoint got = frame.forward(p);
        EXPECT_NEAR(got.x, expected.e, 1e-3);
        EXPECT_NEAR(got.y, expected.n, 1e-3);
        EXPECT_NEAR(std::hypot(got.x, got.y), 1000.0, 1.0);
        // z is the height above the origin's, not "up", which falls 78 mm below a level
        // road at 1 km.
        EXPECT_DOUBLE_EQ(got.z, p.height - origin.height);
        EXPECT_LT(expected.u, got.z - 0.07);
        const GeoPoint back = frame.reverse(got);
        EXPECT_NEAR(back.latitude, p.latitude, 1e-11);
        EXPECT_NEAR(back.longitude, p.longitude, 1e-11);
        EXPECT_NEAR(back.height, p.height, 1e-6);
    }
    EXPECT_THROW(LocalFrame({90.5, 0, 0}), RouteError);
    EXPECT_THROW(frame.forward({0, 181, 0}), RouteError);
    EXPECT_THROW(frame.forward({0, 0, NAN}), RouteError);
}

GpsTrack parse(const std::string& text) {
    return parse_gps_track(text.data(), text.size(), "t");
}

TEST(GpsRoute, ReadsGpxSegmentsRoutesAndCsvColumnsInAnyOrder) {
    const GpsTrack gpx = parse(
        "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\">"
        "<wpt lat=\"1\" lon=\"1\"/><trk><trkseg>"
        "<trkpt lat=\"48.1\" lon=\"11.5\"><ele>500.5</ele><time>2016-02-02T16:58:58Z</time></trkpt>"
        "</trkseg><trkseg><trkpt lat=\"48.2\" lon=\"11.6\"><ele>501</ele>"
        "<time>2016-02-02T17:58:59.5+01:00</time></trkpt></trkseg></trk>"
        "<rte><rtept lat=\"0\" lon=\"0\"/></rte></gpx>");
    ASSERT_EQ(gpx.fixes.size(), 2u); // segments joined; waypoints and routes beside a track ignored
    EXPECT_EQ(gpx.format, "GPX 1.1");
    EXPECT_TRUE(gpx.has_elevation && gpx.has_time);
    EXPECT_DOUBLE_EQ(gpx.fixes[0].time, 1454432338.0);
    EXPECT_DOUBLE_EQ(gpx.fixes[1].time - gpx.fixes[0].time, 1.5);
    EXPECT_DOUBLE_EQ(gpx.fixes[1].elevation, 501.0);

    const GpsTrack route = parse("<gpx version=\"1.0\"><rte><rtept lat=\"1\" lon=\"2\"/>"
                                 "<rtept lat=\"1.5\" lon=\"2\"/></rte></gpx>");
    EXPECT_EQ(route.fixes.size(), 2u);
    EXPECT_FALSE(route.has_elevation || route.has_time);

    const GpsTrack csv = parse("\xEF\xBB\xBFtime,maxspeed,Lon,lat,alt,name\r\n"
                               "10,50,11.5,48.1,500,a\n"
                               "\n# a comment\n"
                               "2016-02-02T16:58:58Z,30 mph,11.6,48.2,501,\"b, c\"\n"
                               "12,\"50;30\",11.7,48.3,,d\n"
                               "13,none,11.8,48.4,502,e\n");
    ASSERT_EQ(csv.fixes.size(), 4u);
    EXPECT_DOUBLE_EQ(csv.fixes[0].longitude, 11.5);
    EXPECT_DOUBLE_EQ(csv.fixes[1].time, 1454432338.0);
    EXPECT_DOUBLE_EQ(csv.fixes[0].maxspeed, 50.0);
    EXPECT_NEAR(csv.fixes[1].maxspeed, 48.28, 0.01);
    EXPECT_TRUE(std::isnan(csv.fixes[2].maxspeed) && std::isnan(csv.fixes[3].maxspeed));
    EXPECT_FALSE(csv.has_elevation); // one fix has none
    EXPECT_TRUE(csv.has_time);
}

TEST(GpsRoute, RefusesWhatIsNoTrack) {
    const auto message = [](const std::string& text) {
        try {
            parse(text);
        } catch (const RouteError& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    EXPECT_NE(message("x,y\n1,2\n").find("neither GPX nor CSV with lat and lon"),
              std::string::npos);
    EXPECT_NE(message("").find("neither GPX nor CSV"), std::string::npos);
    EXPECT_NE(message("<kml/>").find("XML but not GPX"), std::string::npos);
    EXPECT_NE(message("<gpx><trk>").find("not well-formed XML"), std::string::npos);
    EXPECT_NE(message("lat,lon\n91,0\n").find("line 2: the latitude 91"), std::string::npos);
    EXPECT_NE(message("lat,lon\n1,x\n").find("line 2: lon 'x' is not a number"), std::string::npos);
    EXPECT_NE(message("<gpx><trk><trkseg>\n<trkpt lat=\"-90.5\" lon=\"0\"/></trkseg></trk></gpx>")
                  .find("point 1 (line 2): the latitude -90.5"),
              std::string::npos);

    GpsRouteOptions options;
    options.default_limit_kmh = 50;
    const auto build_message = [&](const std::string& text) {
        try {
            build_gps_route(parse(text), options);
        } catch (const RouteError& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    EXPECT_NE(build_message("lat,lon\n").find("holds no fixes"), std::string::npos);
    EXPECT_NE(build_message("lat,lon\n48,11\n48,11\n").find("has 1 distinct fix"),
              std::string::npos);
    options.default_limit_kmh = NAN;
    EXPECT_NE(build_message("lat,lon\n48,11\n48.001,11\n").find("no speed limit 0 m along"),
              std::string::npos);
}

// A straight northwards, 1 fix every 10 m, in the frame of its first fix.
GpsTrack straight_track(int fixes, double step_m = 10.0) {
    GpsTrack track;
    track.name = "straight";
    const LocalFrame frame({48.0, 11.0, 0.0});
    for (int i = 0; i < fixes; ++i) {
        const GeoPoint p = frame.reverse({0.0, i * step_m, 0.0});
        GpsFix fix;
        fix.latitude = p.latitude;
        fix.longitude = p.longitude;
        track.fixes.push_back(fix);
    }
    return track;
}

TEST(GpsRoute, DropsRepeatedPointsAndOutliersAndTakesLimitsFromEachSourceInTurn) {
    GpsTrack track = straight_track(41); // 400 m
    track.fixes.insert(track.fixes.begin() + 5, track.fixes[4]);
    track.fixes.insert(track.fixes.begin() + 5, track.fixes[4]);
    const LocalFrame frame({48.0, 11.0, 0.0});
    const GeoPoint away = frame.reverse({35.0, 200.0, 0.0}); // 35 m off the road and back
    track.fixes[22].latitude = away.latitude;
    track.fixes[22].longitude = away.longitude;
    for (std::size_t i = 30; i < track.fixes.size(); ++i) {
        track.fixes[i].maxspeed = 70; // the last 100 m
    }
    GpsRouteOptions options;
    options.limits = {{100.0, 30.0}, {200.0, 40.0}};
    options.default_limit_kmh = 90;
    const GpsRoute route = build_gps_route(track, options);
    EXPECT_EQ(route.report.fixes, 43u);
    EXPECT_EQ(route.report.repeated, 2u);
    EXPECT_EQ(route.report.outliers, 1u);
    EXPECT_EQ(route.comments[0].rfind("origin 48 11", 0), 0u);
    ASSERT_NEAR(route.report.length, 400.0, 0.5);
    ASSERT_EQ(route.report.rows, 201u);
    for (std::size_t r = 0; r < route.rows.size(); ++r) {
        const RouteRow& row = route.rows[r];
        EXPECT_NEAR(row.x, 0.0, 0.01); // the outlier pulls nothing aside
        EXPECT_EQ(row.radius, STRAIGHT_RADIUS);
        EXPECT_EQ(row.z, 0.0);
        const double expected = r < 50 ? 90 : (r < 100 ? 30 : 40); // a row every 2 m
        EXPECT_EQ(row.speed_limit, expected) << r;
    }
    // Without the list: the maxspeed of the last 100 m, the filling limit before.
    options.limits.clear();
    const GpsRoute by_track = build_gps_route(track, options);
    EXPECT_EQ(by_track.rows.front().speed_limit, 90);
    EXPECT_EQ(by_track.rows.back().speed_limit, 70);

    const std::string limits = "distance_m,limit_kmh\n0,50\n# ...\n120.5,60\n";
    EXPECT_EQ(parse_limits(limits.data(), limits.size(), "l").size(), 2u);
    // (a byte-order mark before the first limit does not make that line a header)
    const std::string marked = "\xEF\xBB\xBF"
                               "0,50\r\n120.5,60\r\n";
    EXPECT_EQ(parse_limits(marked.data(), marked.size(), "l").size(), 2u);
    const std::string backwards = "0,50\n0,60\n";
    EXPECT_THROW(parse_limits(backwards.data(), backwards.size(), "l"), RouteError);
}

TEST(GpsRoute, SyntheticDrivesMeetTheAccuracyFigures) {
    using namespace korvale_test;
    const GeoPoint origin{48.137, 11.575, 520.0};
    Accuracy total;
    // One seed where the sanitizers slow everything down; the plain build checks three.
    const std::uint64_t seeds = korvale_test::address_sanitized ? 1 : 3;
    for (std::uint64_t seed = 1; seed <= seeds; ++seed) {
        const SyntheticRoad road = make_road(seed, 8);
        for (const double rate : {1.0, 10.0}) {
            const GpsTrack track = record_drive(road, rate, seed, NoiseModel{}, origin, true);
            const Accuracy a = evaluate(road, build_gps_route(track, {}).rows);
            if (rate == 10.0) { // every curve at 10 Hz
                EXPECT_EQ(a.curves_within, a.curves) << "seed " << seed;
            }
            total.curves += a.curves;
            total.curves_within += a.curves_within;
            total.worst_curve = std::max(total.worst_curve, a.worst_curve);
            total.straight_length += a.straight_length;
            total.straight_above += a.straight_above;
            total.length += a.length;
            total.grade_within += a.grade_within;
        }
    }
    EXPECT_GE(total.curves_within, 0.95 * total.curves);
    EXPECT_LE(total.worst_curve, 0.30);
    EXPECT_GE(total.straight_above, 0.95 * total.straight_length);
    EXPECT_GE(total.grade_within, 0.90 * total.length);
}

} // namespace
