// Without memory the new exports fail as documented and never let an exception reach the host
// (which would end it): the route layer's functions say so in the caller's buffer, and
// korvale_load_vehicle gives a null handle, also when memory runs out while it plans. Runs in the
// binary whose operator new can refuse.
#include <cmath>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "korvale.h"
#include "support/refused_allocations.h"
#include "support/temp_dir.h"

#ifdef KORVALE_TEST_ROUTES
#include "korvale_routes.h"
#endif

TEST(OutOfMemory, LoadVehicleGivesNullAndSaysSo) {
    korvale_test::TempDir dir;
    const std::string file = dir.write("route.txt", "0 0 0 10000 50 0\n100 0 0 10000 50 0\n");
    korvale_vehicle car;
    korvale_default_vehicle(&car);
    auto* profile = reinterpret_cast<korvale_profile*>(&car); // anything but null before
    {
        const korvale_test::RefusedAllocations refused;
        profile = korvale_load_vehicle(file.c_str(), &car, KORVALE_MODEL_ECO);
    }
    EXPECT_EQ(profile, nullptr);
    char error[64];
    korvale_last_error(error, sizeof error);
    EXPECT_STREQ(error, "Can not load file for Korvale");
}

TEST(OutOfMemory, APredictiveLoadThatRunsOutOfMemoryAnywhereFails) {
    korvale_test::TempDir dir;
    std::string text;
    for (int i = 0; i <= 200; ++i) { // 2 km over a hill, a stop in the middle
        text += std::to_string(i * 10) + " 0 " + std::to_string(30 * std::sin(i / 64.0)) +
                " 10000 " + (i == 100 ? "0" : "80") + " 0\n";
    }
    const std::string file = dir.write("route.txt", text);
    korvale_vehicle car;
    korvale_default_vehicle(&car);
    korvale_profile* profile = nullptr;
    std::int64_t granted = 0;
    for (; profile == nullptr && granted < 100000000; granted = granted * 3 / 2 + 1) {
        {
            const korvale_test::RefusedAllocations refused(granted);
            profile = korvale_load_vehicle(file.c_str(), &car, KORVALE_MODEL_PREDICTIVE);
        }
        if (profile == nullptr) {
            char error[64];
            EXPECT_GT(korvale_last_error(error, sizeof error), 0u) << granted;
        }
    }
    ASSERT_NE(profile, nullptr);
    EXPECT_GT(granted, 1000); // the plan ran out too, not only the columns
    deinitialize_korvale(profile);
}

#ifdef KORVALE_TEST_ROUTES
TEST(OutOfMemory, RouteFunctionsReportItInTheBuffer) {
    korvale_test::TempDir dir;
    const std::string map = dir.write("map.xodr", "<OpenDRIVE/>");
    const std::string track = dir.write("track.csv", "lat,lon\n48.1,11.5\n48.2,11.5\n");
    const std::string route = dir.path() + "/route.txt";
    char error[5][64];
    std::memset(error, 'x', sizeof error);
    int32_t result[5] = {0, 0, 0, 0, 0};
    double xyz[3] = {0, 0, 0};
    {
        const korvale_test::RefusedAllocations refused;
        result[0] = korvale_route_from_opendrive(map.c_str(), "1", 0, 1.0, 50.0, 0, route.c_str(),
                                                 error[0], sizeof error[0]);
        result[1] = korvale_route_from_gps(track.c_str(), 2.0, 50.0, nullptr, 0.0, 0, nullptr,
                                           route.c_str(), nullptr, error[1], sizeof error[1]);
        // A latitude out of range: even the refusal's message needs memory.
        result[2] = korvale_local_frame_forward(48.1, 11.5, 0.0, 91.0, 11.5, 0.0, xyz, error[2],
                                                sizeof error[2]);
        result[3] = korvale_local_frame_reverse(48.1, 11.5, 0.0, HUGE_VAL, 0.0, 0.0, xyz, error[3],
                                                sizeof error[3]);
        result[4] =
            korvale_route_through_opendrive(map.c_str(), "1:-1", "2:-1", nullptr, 1.0, 50.0, 100.0,
                                            route.c_str(), error[4], sizeof error[4]);
    }
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(result[i], KORVALE_ROUTES_FAILED) << i;
        EXPECT_STREQ(error[i], "not enough memory") << i;
    }
}
#endif
