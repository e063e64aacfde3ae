// libkorvale_routes through its C function, and the routes it writes through libkorvale: a real
// map (CARLA's Town01) becomes a route that loads and tracks a drive along it.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "korvale.h"
#include "korvale_routes.h"
#include "support/temp_dir.h"
#include "support/vehicles.h"

namespace {

using korvale_test::DEFAULT_CAR;
using korvale_test::TempDir;

// Town01: from road 7 through 14 (driven backwards), 8, 11 (backwards) to 0, 414 m with four
// tight curves.
constexpr const char* TOWN_ROADS = "7,14,8,11,0";

struct Point {
    double x, y, z;
};

std::vector<Point> points_of(const std::string& route) {
    std::vector<Point> points;
    std::ifstream in(route);
    std::string line;
    while (std::getline(in, line)) {
        Point p{};
        if (line[0] != '#' && std::sscanf(line.c_str(), "%lf %lf %lf", &p.x, &p.y, &p.z) == 3) {
            points.push_back(p);
        }
    }
    return points;
}

int files_in(const std::string& directory) {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) {
        ++count;
    }
    return count;
}

TEST(RoutesApi, ATownMapRouteLoadsAndTracksADriveAlongItWithinATenthOfAMetre) {
    TempDir dir;
    const std::string route = dir.path() + "/town.txt", drive = dir.path() + "/drive.txt";
    char error[256] = "untouched";
    ASSERT_EQ(korvale_route_from_opendrive(KORVALE_TOWN01, TOWN_ROADS, 0, 1.0, 0.0, 0,
                                           route.c_str(), error, sizeof error),
              KORVALE_ROUTES_OK)
        << error;
    EXPECT_STREQ(error, "");
    // The drive: the same roads every 5 cm.
    ASSERT_EQ(korvale_route_from_opendrive(KORVALE_TOWN01, TOWN_ROADS, 0, 0.05, 0.0, 0,
                                           drive.c_str(), nullptr, 0),
              KORVALE_ROUTES_OK);

    korvale_profile* profile = initialize_korvale(route.c_str(), DEFAULT_CAR[0], DEFAULT_CAR[1],
                                                  DEFAULT_CAR[2], DEFAULT_CAR[3], DEFAULT_CAR[4],
                                                  DEFAULT_CAR[5], DEFAULT_CAR[6], DEFAULT_CAR[7]);
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(get_korvale_rows(profile), static_cast<int32_t>(points_of(route).size()));
    EXPECT_NEAR(get_max_distance_korvale(profile), 413.6, 0.1);
    double last = 0, worst = 0;
    const auto positions = points_of(drive);
    ASSERT_GT(positions.size(), 8000u);
    for (const Point& p : positions) {
        double distance = 0, max_speed = 0, recommended = 0, coasting = 0;
        ASSERT_EQ(get_all_at_position(profile, p.x, p.y, p.z, 0, 100.0, &distance, &max_speed,
                                      &recommended, &coasting),
                  1);
        EXPECT_GE(distance, last - 1e-9);
        last = distance;
        worst = std::fmax(worst, korvale_offset_from_route(profile));
        EXPECT_LE(recommended, 40.2336 + 1e-9);
    }
    EXPECT_LT(worst, 0.1);
    EXPECT_NEAR(last, get_max_distance_korvale(profile), 0.01);
    deinitialize_korvale(profile);
}

TEST(RoutesApi, AFailureIsAMessageInTheCallersBufferAndLeavesNoFileBehind) {
    TempDir dir;
    const std::string route = dir.path() + "/route.txt";
    char error[512];
    EXPECT_EQ(korvale_route_from_opendrive(KORVALE_TOWN01, "7,99999", 0, 1.0, 0.0, 0, route.c_str(),
                                           error, sizeof error),
              KORVALE_ROUTES_FAILED);
    EXPECT_EQ(std::string(error),
              std::string("the map '") + KORVALE_TOWN01 + "' has no road '99999'");
    // Roads that do not meet: the message names both and the gap.
    EXPECT_EQ(korvale_route_from_opendrive(KORVALE_TOWN01, "0,4", 0, 1.0, 0.0, 0, route.c_str(),
                                           error, sizeof error),
              KORVALE_ROUTES_FAILED);
    EXPECT_NE(std::strstr(error, "roads '0' and '4' do not meet"), nullptr) << error;
    EXPECT_EQ(files_in(dir.path()), 0);

    // A file already there stays as it was when a build fails, and a short buffer gets the
    // start of the message, terminated.
    { std::ofstream(route) << "kept\n"; }
    char small[8];
    EXPECT_EQ(korvale_route_from_opendrive(KORVALE_TOWN01, TOWN_ROADS, 0, 0.001, 0.0, 0,
                                           route.c_str(), small, sizeof small),
              KORVALE_ROUTES_FAILED);
    EXPECT_STREQ(small, "the ste");
    std::ifstream kept(route);
    std::string text((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "kept\n");
    EXPECT_EQ(files_in(dir.path()), 1);

    // Null arguments are failures with a message, never a crash; a null buffer gets nothing.
    EXPECT_EQ(korvale_route_from_opendrive(nullptr, nullptr, 0, 1.0, 0.0, 0, route.c_str(), error,
                                           sizeof error),
              KORVALE_ROUTES_FAILED);
    EXPECT_STREQ(error, "no map path given");
    EXPECT_EQ(korvale_route_from_opendrive(KORVALE_TOWN01, TOWN_ROADS, 0, 1.0, 0.0, 0, nullptr,
                                           nullptr, 0),
              KORVALE_ROUTES_FAILED);
}

TEST(RoutesApi, AGpsTrackBecomesARouteThatLoadsAndTheFrameRoundTrips) {
    TempDir dir;
    const std::string track = dir.path() + "/track.csv", route = dir.path() + "/route.txt";
    {
        std::ofstream out(track);
        out << "lat,lon,ele\n";
        double xyz[3];
        for (int i = 0; i <= 100; ++i) { // 500 m east, 5 m a fix, rising 1 in 100
            double geo[3];
            ASSERT_EQ(korvale_local_frame_reverse(47.0, 8.0, 400.0, 5.0 * i, 0.0, 0.05 * i, geo,
                                                  nullptr, 0),
                      KORVALE_ROUTES_OK);
            ASSERT_EQ(korvale_local_frame_forward(47.0, 8.0, 400.0, geo[0], geo[1], geo[2], xyz,
                                                  nullptr, 0),
                      KORVALE_ROUTES_OK);
            EXPECT_NEAR(xyz[0], 5.0 * i, 1e-6);
            EXPECT_NEAR(xyz[2], 0.05 * i, 1e-6);
            out.precision(12);
            out << geo[0] << "," << geo[1] << "," << geo[2] << "\n";
        }
    }
    const double origin[3] = {47.0, 8.0, 400.0};
    int64_t summary[4] = {0, 0, 0, 0};
    char error[256] = "untouched";
    ASSERT_EQ(korvale_route_from_gps(track.c_str(), 5.0, 80.0, nullptr, 0.0, 0, origin,
                                     route.c_str(), summary, error, sizeof error),
              KORVALE_ROUTES_OK)
        << error;
    EXPECT_STREQ(error, "");
    EXPECT_EQ(summary[0], 101);
    EXPECT_EQ(summary[3], 101);
    korvale_profile* profile = initialize_korvale(route.c_str(), DEFAULT_CAR[0], DEFAULT_CAR[1],
                                                  DEFAULT_CAR[2], DEFAULT_CAR[3], DEFAULT_CAR[4],
                                                  DEFAULT_CAR[5], DEFAULT_CAR[6], DEFAULT_CAR[7]);
    ASSERT_NE(profile, nullptr);
    EXPECT_NEAR(get_max_distance_korvale(profile), 500.0 * std::sqrt(1.0001), 0.05);
    EXPECT_EQ(get_max_speed_at_distance(profile, 250.0), 80.0);
    deinitialize_korvale(profile);

    // Failures: a message, no file, nothing written through the outputs.
    const std::string failed = dir.path() + "/failed.txt";
    EXPECT_EQ(korvale_route_from_gps(track.c_str(), 5.0, 0.0, nullptr, 0.0, 0, nullptr,
                                     failed.c_str(), nullptr, error, sizeof error),
              KORVALE_ROUTES_FAILED);
    EXPECT_NE(std::strstr(error, "no speed limit"), nullptr) << error;
    EXPECT_EQ(korvale_route_from_gps(KORVALE_TOWN01, 5.0, 50.0, nullptr, 0.0, 0, nullptr,
                                     failed.c_str(), nullptr, error, sizeof error),
              KORVALE_ROUTES_FAILED);
    EXPECT_NE(std::strstr(error, "XML but not GPX"), nullptr) << error;
    EXPECT_EQ(korvale_route_from_gps(nullptr, 5.0, 50.0, nullptr, 0.0, 0, nullptr, failed.c_str(),
                                     nullptr, error, sizeof error),
              KORVALE_ROUTES_FAILED);
    EXPECT_STREQ(error, "no track path given");
    EXPECT_EQ(files_in(dir.path()), 2);
    double xyz[3] = {7, 7, 7};
    EXPECT_EQ(korvale_local_frame_forward(91.0, 8.0, 0.0, 47.0, 8.0, 0.0, xyz, error, sizeof error),
              KORVALE_ROUTES_FAILED);
    EXPECT_STREQ(error, "the origin: the latitude 91 is not a number from -90 to 90");
    EXPECT_EQ(xyz[0], 7.0);
    EXPECT_EQ(
        korvale_local_frame_forward(47.0, 8.0, 0.0, 47.0, 8.0, 0.0, nullptr, error, sizeof error),
        KORVALE_ROUTES_FAILED);
    EXPECT_EQ(korvale_local_frame_reverse(47.0, 8.0, 0.0, NAN, 0.0, 0.0, xyz, nullptr, 0),
              KORVALE_ROUTES_FAILED);
}

} // namespace
