// Creating and releasing profiles and links many times holds on to nothing: no descriptor
// stays open, and in sanitized builds LeakSanitizer finds no leak when the process ends. The
// leak check itself is shown to be on by a child process that leaks on purpose.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <gtest/gtest.h>

#include "korvale.h"
#include "support/sanitizers.h"
#include "support/temp_dir.h"
#include "support/vehicles.h"

using korvale_test::address_sanitized;
using korvale_test::DEFAULT_CAR;
using korvale_test::Row;
using korvale_test::TempDir;

namespace {

constexpr int CYCLES = 300;

// Descriptors the process holds open, or -1 where they cannot be counted.
int open_descriptors() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (readdir(dir) != nullptr) {
        ++count;
    }
    closedir(dir);
    return count;
}

korvale_profile* load(const std::string& path) {
    const double* c = DEFAULT_CAR;
    return korvale_load(path.c_str(), c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(Resources, ManyCreateReleaseCyclesOfProfilesAndLinksHoldNothing) {
    TempDir dir;
    std::vector<Row> rows;
    for (int i = 0; i < 200; ++i) {
        rows.push_back(
            {i * 5.0, (i % 7) * 0.5, i * 0.1, 300.0 + i, i % 50 == 49 ? 30.0 : 80.0, 0.02});
    }
    const std::vector<std::string> routes = {
        dir.write("road.txt", korvale_test::route_text(rows)),
        dir.write("one.txt", "1 2 3 100 50 0\n"),
        dir.write("garbage.txt", "no rows here\n"),
        dir.path() + "/missing.txt",
        KORVALE_EXAMPLE_ROUTE,
    };
    const double plot[] = {1, 2, 3, 4};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int before = open_descriptors();
    for (int cycle = 0; cycle < CYCLES; ++cycle) {
        korvale_profile* p = load(routes[static_cast<std::size_t>(cycle) % routes.size()]);
        double d = 0, a = 0, b = 0, c = 0;
        get_all_at_position(p, 100, 1, 0, 0, 100, &d, &a, &b, &c);
        get_all_at_distance(p, 50, &a, &b, &c);
        korvale_next_slowdown(p, 0, 90, 1000, &d, &a, &b);
        deinitialize_korvale(p);

        const char* hosts[] = {"127.0.0.1", "localhost", nullptr, ""};
        korvale_link* link = init_com(9, hosts[cycle % 4], 0, 0);
        send_msg(link, 1, 1, 2, 3, 4, 5, 6, 7, 8, 0, 1.0, 0);
        send_msg_plot(link, plot, plot, 4, 4, 2.0);
        send_msg_plot(link, plot, plot, 8189, 0, 3.0); // too large: never built
        close_com(link);
    }
    const int after = open_descriptors();
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(after, before);
}

TEST(Resources, LeakCheckIsOnInChildProcesses) {
    if (!address_sanitized) {
        GTEST_SKIP() << "LeakSanitizer runs only in the AddressSanitizer build";
    }
    TempDir dir;
    const std::string err = dir.path() + "/canary.err";
    const std::string command =
        "'" KORVALE_LEAK_CANARY "' '" KORVALE_EXAMPLE_ROUTE "' >/dev/null 2>'" + err + "'";
    const int status = std::system(command.c_str());
    const std::string report = read_file(err);
    EXPECT_NE(status, 0);
    EXPECT_NE(report.find("LeakSanitizer: detected memory leaks"), std::string::npos) << report;
    // The leak is the library's own allocation, seen through the shared library.
    EXPECT_NE(report.find("korvale_load"), std::string::npos) << report;
    EXPECT_NE(report.find("init_com"), std::string::npos) << report;
}
