// The route profile's lifecycle and columns through the shared library, and the one path that
// ends the host process.
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "korvale.h"
#include "support/child_process.h"
#include "support/sanitizers.h"
#include "support/temp_dir.h"
#include "support/vehicles.h"

using korvale_test::address_sanitized;
using korvale_test::DEFAULT_CAR;
using korvale_test::EXIT_MINUS_ONE_SEEN_BY_PARENT;
using korvale_test::quoted_path;
using korvale_test::route_text;
using korvale_test::Row;
using korvale_test::TempDir;

namespace {

korvale_profile* open_route(const std::string& path) {
    const double* p = DEFAULT_CAR;
    return initialize_korvale(path.c_str(), p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
}

// The text a child wrote to a file through its standard streams, read in text mode: Windows
// writes a line end there as a carriage return and a line feed.
std::string read_text_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct HostRun {
    int exit_status = -1;
    std::string out;
    std::string err;
};

// Runs the test host on a route file in a child process; shell_prefix may limit it.
HostRun run_host(const TempDir& dir, const std::string& route,
                 const std::string& shell_prefix = "") {
    const std::string out = dir.path() + "/host.out";
    const std::string err = dir.path() + "/host.err";
    // The route goes to the host as the test names it, so that its messages can be compared.
    const std::string command = shell_prefix + quoted_path(KORVALE_TEST_HOST) + " \"" + route +
                                "\" >" + quoted_path(out) + " 2>" + quoted_path(err);
    HostRun run;
    run.exit_status = korvale_test::run_shell(command);
    run.out = read_text_file(out);
    run.err = read_text_file(err);
    return run;
}

} // namespace

TEST(ProfileLifecycle, ColumnsOfALoadedRoute) {
    TempDir dir;
    const std::string path = dir.write(
        "route.txt",
        route_text({{0, 0, 0, 10000, 50, 0}, {3, 4, 0, 10000, 50, 0}, {3, 4, 12, 10000, 50, 0}}));
    testing::internal::CaptureStdout();
    korvale_profile* profile = open_route(path);
    testing::internal::GetCapturedStdout();
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(get_korvale_rows(profile), 3);
    EXPECT_EQ(get_max_distance_korvale(profile), 17.0);

    std::vector<double> out(6, -7.0);
    get_korvale_dist_vec(profile, out.data(), 6); // more than the rows: exactly the rows
    EXPECT_EQ(out, (std::vector<double>{0, 5, 17, -7, -7, -7}));
    out.assign(6, -7.0);
    get_korvale_x_vec(profile, out.data(), 2);
    EXPECT_EQ(out, (std::vector<double>{0, 3, -7, -7, -7, -7}));
    out.assign(6, -7.0);
    get_korvale_y_vec(profile, out.data(), 3);
    EXPECT_EQ(out, (std::vector<double>{0, 4, 4, -7, -7, -7}));
    out.assign(6, -7.0);
    get_korvale_z_vec(profile, out.data(), 3);
    EXPECT_EQ(out, (std::vector<double>{0, 0, 12, -7, -7, -7}));
    out.assign(6, -7.0);
    get_korvale_z_vec(profile, out.data(), 0);
    get_korvale_z_vec(profile, out.data(), -4);
    get_korvale_z_vec(profile, nullptr, 3); // nothing to write to: nothing happens
    EXPECT_EQ(out, std::vector<double>(6, -7.0));
    deinitialize_korvale(profile);
}

TEST(ProfileLifecycle, OneRowRouteHasLengthZero) {
    TempDir dir;
    testing::internal::CaptureStdout();
    korvale_profile* profile = open_route(dir.write("one.txt", "1 2 3 100 50 0\n"));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(get_korvale_rows(profile), 1);
    EXPECT_EQ(get_max_distance_korvale(profile), 0.0);
    deinitialize_korvale(profile);
}

TEST(ProfileLifecycle, ExampleRouteLoads) {
    testing::internal::CaptureStdout();
    korvale_profile* profile = open_route(KORVALE_EXAMPLE_ROUTE);
    testing::internal::GetCapturedStdout();
    const int rows = get_korvale_rows(profile);
    ASSERT_GT(rows, 100);
    std::vector<double> distance(static_cast<size_t>(rows));
    get_korvale_dist_vec(profile, distance.data(), rows);
    for (int i = 1; i < rows; ++i) {
        ASSERT_GT(distance[i], distance[i - 1]) << "row " << i;
    }
    EXPECT_GT(get_max_distance_korvale(profile), 3000.0);
    deinitialize_korvale(profile);
}

TEST(ProfileLifecycleFatal, RouteWithRowsKeepsTheHostRunning) {
    TempDir dir;
    const HostRun run = run_host(dir, dir.write("ok.txt", "0 0 0 100 50 0\n10 0 0 100 50 0\n"));
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run.out.find("rows 2\n"), std::string::npos) << run.out;
}

TEST(ProfileLifecycleFatal, FileWithoutRowsEndsTheHostWithMinusOne) {
    TempDir dir;
    const std::string missing = dir.path() + "/missing.txt";
    HostRun run = run_host(dir, missing);
    EXPECT_EQ(run.exit_status, EXIT_MINUS_ONE_SEEN_BY_PARENT);
    EXPECT_EQ(run.out, "=== KORVALE_DLL Library === (START)\n"
                       "[KORVALE_DLL] data parser FAILED reading file " +
                           missing +
                           "\n"
                           "[KORVALE_DLL] '" +
                           missing +
                           "' data parser has -1 rows\n"
                           "Can not load file for Korvale");
    EXPECT_EQ(run.err, "Can't open output file " + missing + "!\n");

    for (const char* content : {"", "1 2 3 4 5 6", "header only\n\n", "1,2,3,4,5,6\n"}) {
        const std::string path = dir.write("bad.txt", content);
        run = run_host(dir, path);
        EXPECT_EQ(run.exit_status, EXIT_MINUS_ONE_SEEN_BY_PARENT) << content;
        EXPECT_NE(run.out.find("Can not load file for Korvale"), std::string::npos) << content;
        EXPECT_EQ(run.out.find("rows "), std::string::npos) << content;
    }
}

TEST(ProfileLifecycleFatal, RouteTooLargeForMemoryTakesTheFatalPathWithoutACrash) {
    if (address_sanitized) {
        GTEST_SKIP() << "an address space limit and AddressSanitizer's shadow memory do not mix";
    }
    if (!korvale_test::SHELL_HAS_ULIMIT) {
        GTEST_SKIP() << "the shell cannot limit the address space of the host it starts";
    }
    TempDir dir;
    // Twenty million line feeds size thirteen arrays of 160 MB each; 600 MB of address space
    // does not hold them.
    const std::string path =
        dir.write("huge.txt", "0 0 0 100 50 0\n" + std::string(20000000, '\n'));
    const HostRun run = run_host(dir, path, "ulimit -v 600000; ");
    EXPECT_EQ(run.exit_status, EXIT_MINUS_ONE_SEEN_BY_PARENT);
    EXPECT_NE(run.out.find("cannot be held in memory"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("it has '0'\nCan not load file for Korvale"), std::string::npos)
        << run.out;
}

TEST(ProfileLifecycle, NonFatalLoadGivesNullWhereTheHostWouldEnd) {
    TempDir dir;
    const std::string missing = dir.path() + "/missing.txt";
    const double* p = DEFAULT_CAR;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(korvale_load(missing.c_str(), p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]),
              nullptr);
    EXPECT_EQ(korvale_load(dir.write("bad.txt", "a b c\n").c_str(), p[0], p[1], p[2], p[3], p[4],
                           p[5], p[6], p[7]),
              nullptr);
    EXPECT_EQ(korvale_load(nullptr, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]), nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Can't open output file " + missing + "!\nCan't open output file (null)!\n");
    EXPECT_EQ(out.rfind("=== KORVALE_DLL Library === (START)\n"
                        "[KORVALE_DLL] data parser FAILED reading file " +
                            missing +
                            "\n"
                            "[KORVALE_DLL] '" +
                            missing +
                            "' data parser has -1 rows\n"
                            "Can not load file for Korvale",
                        0),
              0u)
        << out;

    testing::internal::CaptureStdout();
    korvale_profile* profile = korvale_load(dir.write("ok.txt", "0 0 0 100 50 0\n").c_str(), p[0],
                                            p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
    testing::internal::GetCapturedStdout();
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(get_korvale_rows(profile), 1);
    deinitialize_korvale(profile);
}
