// Bad input through the shared library: every kind of file, number, position, port and host a
// host may hand over gets a clear message or a defined value, and only a route file without
// rows may end the process (in a child process here). The README's table of bad inputs names
// these tests, and the older tests that already cover a row.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "korvale.h"
#include "support/temp_dir.h"
#include "support/vehicles.h"

using korvale_test::DEFAULT_CAR;
using korvale_test::route_text;
using korvale_test::Row;
using korvale_test::TempDir;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double SENTINEL = -777.25;

struct Loaded {
    korvale_profile* handle = nullptr;
    std::string out;
    std::string err;
};

// korvale_load on a path, with what it printed.
Loaded load(const std::string& path) {
    const double* c = DEFAULT_CAR;
    Loaded result;
    CaptureStdout();
    CaptureStderr();
    result.handle = korvale_load(path.c_str(), c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
    result.out = GetCapturedStdout();
    result.err = GetCapturedStderr();
    return result;
}

// A profile of rows, released at the end of the scope.
class Route {
public:
    explicit Route(const std::vector<Row>& rows) : Route(route_text(rows)) {}
    explicit Route(const std::string& text) {
        handle = load(dir.write("route.txt", text)).handle;
        EXPECT_NE(handle, nullptr);
    }
    ~Route() { deinitialize_korvale(handle); }
    Route(const Route&) = delete;
    Route& operator=(const Route&) = delete;
    korvale_profile* get() const { return handle; }

    std::vector<double> column(void (*copy)(korvale_profile*, double*, int32_t)) const {
        std::vector<double> values(static_cast<std::size_t>(get_korvale_rows(handle)), SENTINEL);
        copy(handle, values.data(), static_cast<int32_t>(values.size()));
        return values;
    }

private:
    TempDir dir;
    korvale_profile* handle = nullptr;
};

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Exit status and standard output of the test host run on a route file in a child process.
std::pair<int, std::string> run_host(const TempDir& dir, const std::string& route) {
    const std::string out = dir.path() + "/host.out";
    const std::string command =
        "'" KORVALE_TEST_HOST "' '" + route + "' >'" + out + "' 2>/dev/null";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(out)};
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Every query of a profile, at a distance and at a position, gives its defined success result.
void expect_every_query_answers(korvale_profile* p, double distance, double x, double y, double z) {
    double a = SENTINEL, b = SENTINEL, c = SENTINEL, d = SENTINEL, xyz[3];
    get_max_speed_at_distance(p, distance);
    get_recomended_speed_at_distance(p, distance);
    get_coasting_speed_at_distance(p, distance);
    EXPECT_EQ(get_all_at_distance(p, distance, &a, &b, &c), 1) << distance;
    EXPECT_EQ(get_pos_at_distance(p, distance, &a, &b, &c), 1) << distance;
    EXPECT_EQ(get_pos_at_polyline_location(p, distance, xyz, 0), 1) << distance;
    const int32_t found = korvale_next_slowdown(p, distance, 90.0, 1000.0, &a, &b, &c);
    EXPECT_TRUE(found == 0 || found == 1) << distance;
    for (int32_t full_search : {0, 1}) {
        get_distance_at_position(p, x, y, z, full_search, 100.0);
        EXPECT_EQ(get_all_at_position(p, x, y, z, full_search, 100.0, &d, &a, &b, &c), 1);
    }
    get_max_speed_at_position(p, x, y, z);
    get_recomended_speed_at_position(p, x, y, z);
    get_coasting_speed_at_position(p, x, y, z);
    korvale_offset_from_route(p);
}

} // namespace

// ------------------------------------------------------------------ route files

TEST(BadRouteFiles, FilesWithoutRowsGiveANullHandleAndTheLoadFailureLine) {
    TempDir dir;
    std::string garbage;
    std::mt19937 random(7);
    for (int i = 0; i < 65536; ++i) {
        garbage += static_cast<char>(random() % 256);
    }
    garbage += "\n0 0 0\n1 2 3 4 5\n"; // and not one line of six numbers
    const struct {
        const char* name;
        std::string path;
    } files[] = {
        {"directory", dir.path()},
        {"empty file", dir.write("empty.txt", "")},
        {"binary garbage", dir.write("garbage.bin", garbage)},
        {"only headers", dir.write("headers.txt", "x y z radius limit superelevation\n"
                                                  "# metres and km/h\n\n")},
        {"one row without a line feed", dir.write("no_lf.txt", "0 0 0 100 50 0")},
    };
    for (const auto& file : files) {
        const Loaded loaded = load(file.path);
        EXPECT_EQ(loaded.handle, nullptr) << file.name;
        EXPECT_TRUE(contains(loaded.out, "=== KORVALE_DLL Library === (START)\n")) << file.name;
        EXPECT_TRUE(contains(loaded.out, "' data parser has ")) << loaded.out;
        EXPECT_EQ(loaded.out.substr(loaded.out.size() - 29), "Can not load file for Korvale")
            << file.name;
        // initialize_korvale ends the host on the same files, with exit code -1.
        const auto [status, out] = run_host(dir, file.path);
        EXPECT_EQ(status, 255) << file.name;
        EXPECT_TRUE(contains(out, "Can not load file for Korvale")) << file.name;
        EXPECT_FALSE(contains(out, "rows ")) << file.name;
    }
}

TEST(BadRouteFiles, GarbageAroundRowsIsSkippedAndNulBytesEndNoRead) {
    TempDir dir;
    std::string text = "\x7f\x45\x4c\x46\x02\x01\x01\n";
    text += std::string("0 0 0 100 50 0\n", 15);
    text += std::string("\0\0\0 1 2 3 4 5 6\n", 16); // NUL bytes: the line reads as empty
    text += "\xff\xfe garbage \x01\x02\n";
    text += "10 0 0 100 60 0\n";
    Route route(text);
    EXPECT_EQ(get_korvale_rows(route.get()), 2);
    EXPECT_EQ(route.column(get_korvale_x_vec), (std::vector<double>{0, 10}));
    EXPECT_EQ(get_max_speed_at_distance(route.get(), 5), 55.0);
}

TEST(BadRouteFiles, TenMegabyteLinesAreReadInPiecesWithinTheLineCount) {
    TempDir dir;
    const std::size_t ten_mb = 10u << 20;
    // A long line of words: no piece holds six numbers; the rows after it load as usual.
    Route words(std::string(ten_mb, 'x') + "\n0 0 0 100 50 0\n10 0 0 100 50 0\n");
    EXPECT_EQ(get_korvale_rows(words.get()), 2);
    // A long line of numbers: every piece of it is a row, but never more rows than the file has
    // line feeds plus one.
    std::string numbers;
    while (numbers.size() < ten_mb) {
        numbers += "1 2 3 4 5 6 ";
    }
    Route pieces(numbers + "\n0 0 0 100 50 0\n");
    EXPECT_EQ(get_korvale_rows(pieces.get()), 3);
    expect_every_query_answers(pieces.get(), 1.0, 1, 2, 3);
    // Ten megabytes without a line feed hold no row at all.
    const Loaded loaded = load(dir.write("long.txt", numbers));
    EXPECT_EQ(loaded.handle, nullptr);
}

TEST(BadRouteFiles, NanAndInfinitiesAreStoredAsReadAndQueriesStillAnswer) {
    Route route("0 0 0 10000 80 0\n"
                "100 0 0 nan 80 0\n"
                "200 0 0 10000 inf 0\n"
                "300 0 0 10000 80 -inf\n"
                "400 0 0 10000 80 0\n"
                "500 0 0 10000 80 0\n"
                "inf 0 0 10000 80 0\n"
                "600 NAN 0 10000 80 0\n");
    korvale_profile* p = route.get();
    ASSERT_EQ(get_korvale_rows(p), 8);
    const std::vector<double> x = route.column(get_korvale_x_vec);
    EXPECT_EQ(x[6], INF);
    EXPECT_TRUE(std::isnan(route.column(get_korvale_y_vec)[7]));
    // The distance column is finite up to the first non-finite point.
    const std::vector<double> distance = route.column(get_korvale_dist_vec);
    EXPECT_EQ(distance[5], 500.0);
    EXPECT_EQ(distance[6], INF);
    EXPECT_TRUE(std::isnan(get_max_distance_korvale(p)));
    // A NaN radius makes the speeds of its own row NaN; a row with good inputs keeps its speeds.
    EXPECT_TRUE(std::isnan(get_recomended_speed_at_distance(p, 100.0)));
    EXPECT_EQ(get_max_speed_at_distance(p, 450.0), 80.0);
    for (double d : {-1.0, 0.0, 150.0, 450.0, 550.0, NaN, INF}) {
        expect_every_query_answers(p, d, 450, 3, 0);
    }
}

TEST(BadRouteFiles, NegativeZeroAndHugeRadiiAndAZeroLimitGiveDefinedSpeeds) {
    Route route(std::vector<Row>{{0, 0, 0, 1e9, 80, 0},
                                 {100, 0, 0, 1e300, 80, 0},
                                 {200, 0, 0, 10000, 80, 0},
                                 {300, 0, 0, -100, 80, 0}, // no comfort speed: NaN on its row
                                 {400, 0, 0, 10000, 80, 0},
                                 {500, 0, 0, 0, 80, 0}, // no curve to drive through: 0
                                 {600, 0, 0, 10000, 80, 0},
                                 {700, 0, 0, 10000, 0, 0}, // a limit of 0: a stop
                                 {800, 0, 0, 10000, 80, 0}});
    korvale_profile* p = route.get();
    ASSERT_EQ(get_korvale_rows(p), 9);
    EXPECT_TRUE(std::isnan(get_recomended_speed_at_distance(p, 300)));
    // Interpolation on either segment of that row meets the NaN, as IEEE arithmetic has it.
    EXPECT_TRUE(std::isnan(get_recomended_speed_at_distance(p, 250)));
    EXPECT_EQ(get_recomended_speed_at_distance(p, 500), 0.0);
    EXPECT_EQ(get_recomended_speed_at_distance(p, 700), 0.0);
    EXPECT_EQ(get_max_speed_at_distance(p, 700), 0.0);
    // Every other row keeps finite speeds, the huge radii too.
    for (double d : {0.0, 100.0, 400.0, 600.0, 800.0}) {
        EXPECT_TRUE(std::isfinite(get_recomended_speed_at_distance(p, d))) << d;
        EXPECT_TRUE(std::isfinite(get_coasting_speed_at_distance(p, d))) << d;
        EXPECT_EQ(get_max_speed_at_distance(p, d), 80.0) << d;
    }
    // The row without a curve to drive through is the first slow-down ahead.
    double at = SENTINEL, target = SENTINEL, liftoff = SENTINEL;
    EXPECT_EQ(korvale_next_slowdown(p, 0, 80, 1000, &at, &target, &liftoff), 1);
    EXPECT_EQ(at, 500.0);
    EXPECT_EQ(target, 0.0);
    EXPECT_GE(liftoff, 0.0);
    EXPECT_LE(liftoff, 500.0);
    for (double d : {250.0, 300.0, 350.0, 650.0}) {
        expect_every_query_answers(p, d, d, 1, 0);
    }
}

TEST(BadRouteFiles, RepeatedPointsAndVerticalSegmentsAnswerEveryQuery) {
    // One point repeated: a route of length 0, every segment without length.
    Route still(
        std::vector<Row>{{5, 5, 5, 100, 50, 0}, {5, 5, 5, 100, 40, 0}, {5, 5, 5, 100, 30, 0}});
    EXPECT_EQ(get_max_distance_korvale(still.get()), 0.0);
    for (double d : {-1.0, 0.0, 1.0}) {
        expect_every_query_answers(still.get(), d, 9, 9, 9);
    }
    double distance = SENTINEL, max = SENTINEL, rec = SENTINEL, coast = SENTINEL;
    get_all_at_position(still.get(), 1, 2, 3, 1, 100, &distance, &max, &rec, &coast);
    EXPECT_EQ(distance, 0.0);
    EXPECT_TRUE(std::isfinite(max));

    // A vertical first segment, then a level road with a repeated point on it.
    Route lift(std::vector<Row>{{0, 0, 0, 10000, 50, 0},
                                {0, 0, 10, 10000, 50, 0},
                                {10, 0, 10, 10000, 50, 0},
                                {10, 0, 10, 10000, 50, 0},
                                {20, 0, 10, 10000, 50, 0}});
    korvale_profile* p = lift.get();
    EXPECT_EQ(lift.column(get_korvale_dist_vec), (std::vector<double>{0, 10, 20, 20, 30}));
    EXPECT_EQ(get_distance_at_position(p, 0, 0, 4, 1, 100), 4.0);
    EXPECT_EQ(get_distance_at_position(p, 15, 1, 10, 0, 100), 25.0);
    EXPECT_EQ(get_recomended_speed_at_distance(p, 5), 50.0);
    double x = SENTINEL, y = SENTINEL, z = SENTINEL;
    EXPECT_EQ(get_pos_at_distance(p, 5, &x, &y, &z), 1);
    EXPECT_EQ(z, 5.0);
    for (double d : {0.0, 5.0, 20.0, 30.0}) {
        expect_every_query_answers(p, d, d, 0, 10);
    }
}

// ------------------------------------------------------------------ numbers and positions

TEST(BadQueries, NonFiniteDistancesGiveDefinedValues) {
    Route route(std::vector<Row>{
        {0, 0, 0, 10000, 40, 0}, {10, 0, 0, 10000, 60, 0}, {20, 0, 0, 10000, 80, 0}});
    korvale_profile* p = route.get();
    // Recommended and coasting speeds hold the ends; NaN gives NaN.
    EXPECT_EQ(get_recomended_speed_at_distance(p, -INF), get_recomended_speed_at_distance(p, 0));
    EXPECT_EQ(get_recomended_speed_at_distance(p, INF), get_recomended_speed_at_distance(p, 20));
    EXPECT_EQ(get_coasting_speed_at_distance(p, 1e308), get_coasting_speed_at_distance(p, 20));
    EXPECT_TRUE(std::isnan(get_recomended_speed_at_distance(p, NaN)));
    // The maximum speed extrapolates the first segment below the start, holds the end beyond it.
    EXPECT_EQ(get_max_speed_at_distance(p, -INF), -INF);
    EXPECT_EQ(get_max_speed_at_distance(p, INF), 80.0);
    EXPECT_EQ(get_max_speed_at_distance(p, 5e-324), 40.0);
    double x = SENTINEL, y = SENTINEL, z = SENTINEL;
    EXPECT_EQ(get_pos_at_distance(p, INF, &x, &y, &z), 1);
    EXPECT_EQ(x, INF);
    EXPECT_EQ(get_pos_at_distance(p, NaN, &x, &y, &z), 1);
    EXPECT_TRUE(std::isnan(x));
    double at = SENTINEL;
    EXPECT_EQ(korvale_next_slowdown(p, NaN, 90, 1000, &at, nullptr, nullptr), 0);
    EXPECT_EQ(korvale_next_slowdown(p, 0, NaN, NaN, &at, nullptr, nullptr), 0);
    EXPECT_EQ(korvale_next_slowdown(p, -INF, 90, INF, &at, nullptr, nullptr), 0);
    EXPECT_EQ(at, SENTINEL);
}

TEST(BadQueries, NonFinitePositionsAndWindowsAreAnsweredAndAFullSearchRecovers) {
    Route route(std::vector<Row>{{0, 0, 0, 10000, 40, 0},
                                 {10, 0, 0, 10000, 60, 0},
                                 {20, 0, 0, 10000, 80, 0},
                                 {30, 0, 0, 10000, 80, 0}});
    korvale_profile* p = route.get();
    EXPECT_EQ(get_distance_at_position(p, 15, 2, 0, 1, 100), 15.0);
    const double bad[][3] = {{NaN, 0, 0}, {INF, 0, 0},   {-INF, INF, 0}, {1e308, -1e308, 1e308},
                             {0, 0, NaN}, {5e-324, 0, 0}};
    for (const auto& q : bad) {
        for (double window : {100.0, NaN, INF, -INF, -5.0, 0.0, 1e308}) {
            for (int32_t full_search : {0, 1, -7}) {
                const double d = get_distance_at_position(p, q[0], q[1], q[2], full_search, window);
                EXPECT_TRUE(std::isnan(d) || (d >= 0.0 && d <= 30.0)) << d;
                double distance = SENTINEL, max = SENTINEL, rec = SENTINEL, coast = SENTINEL;
                EXPECT_EQ(get_all_at_position(p, q[0], q[1], q[2], full_search, window, &distance,
                                              &max, &rec, &coast),
                          1);
                EXPECT_TRUE(std::isnan(distance) || (distance >= 0.0 && distance <= 30.0));
                get_max_speed_at_position(p, q[0], q[1], q[2]);
                korvale_offset_from_route(p);
            }
        }
        // However lost the tracking, a full search at a good position finds it again.
        EXPECT_EQ(get_distance_at_position(p, 25, 1, 0, 1, 100), 25.0);
        EXPECT_EQ(korvale_offset_from_route(p), 1.0);
    }
    get_max_speed_at_position(p, NaN, NaN, NaN);
    EXPECT_TRUE(std::isnan(korvale_offset_from_route(p)));
}

// ------------------------------------------------------------------ null handles and pointers

// (null handles: NullHandles.*, one table for every export)
TEST(NullPointers, NoNullOutputPointerIsWrittenThroughAndANullPathCannotBeOpened) {
    // A good handle with every output pointer null: nothing is written, results as usual.
    Route route(std::vector<Row>{
        {0, 0, 0, 10000, 80, 0}, {10, 0, 0, 10000, 40, 0}, {20, 0, 0, 10000, 80, 0}});
    korvale_profile* p = route.get();
    get_korvale_x_vec(p, nullptr, 3);
    get_korvale_dist_vec(p, nullptr, 3);
    EXPECT_EQ(get_all_at_distance(p, 5, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(get_pos_at_distance(p, 5, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(get_pos_at_polyline_location(p, 5, nullptr, 0), 1);
    EXPECT_EQ(get_all_at_position(p, 5, 1, 0, 0, 100, nullptr, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(korvale_next_slowdown(p, 0, 90, 1000, nullptr, nullptr, nullptr), 1);
    // ... and a null path is a file that cannot be opened.
    const double* c = DEFAULT_CAR;
    CaptureStdout();
    CaptureStderr();
    EXPECT_EQ(korvale_load(nullptr, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]), nullptr);
    EXPECT_TRUE(contains(GetCapturedStdout(), "Can not load file for Korvale"));
    EXPECT_EQ(GetCapturedStderr(), "Can't open output file (null)!\n");
}

// ------------------------------------------------------------------ dashboard link

namespace {

// Lines printed while a link is opened, sent on and closed.
std::string link_session(int32_t port, const char* host) {
    const double plot[] = {1.0, 2.0};
    CaptureStdout();
    korvale_link* link = init_com(port, host, 0, 0);
    EXPECT_NE(link, nullptr);
    send_msg(link, 1, 1, 2, 3, 4, 5, 6, 7, 8, 0, 1.0, 0);
    EXPECT_EQ(send_msg_plot(link, plot, plot, 2, 0, 2.0), 2.0);
    close_com(link);
    return GetCapturedStdout();
}

// The text after prefix up to the line end, when text starts with prefix.
std::string after(const std::string& text, const std::string& prefix) {
    if (text.compare(0, prefix.size(), prefix) != 0) {
        return "(missing) " + text;
    }
    const std::string rest = text.substr(prefix.size());
    return rest.substr(0, rest.find('\n'));
}

bool is_error_code(const std::string& code) {
    return !code.empty() && code != "0" &&
           code.find_first_not_of("-0123456789") == std::string::npos;
}

} // namespace

TEST(BadLinkInput, PortZeroOpensAndEverySendFailsWithTheSocketsCode) {
    for (int32_t port : {0, 0x10000, std::numeric_limits<int32_t>::min()}) {
        const std::string out = link_session(port, "127.0.0.1");
        const std::string opening =
            "Creating new connection for port " + std::to_string(port) + "\n";
        ASSERT_EQ(out.substr(0, opening.size()), opening) << out;
        std::string rest = out.substr(opening.size());
        const std::string code = after(rest, "sendto() failed; ");
        EXPECT_TRUE(is_error_code(code)) << out;
        const std::string failure = "sendto() failed; " + code + "\n";
        EXPECT_EQ(rest, failure + failure + "Closing connection for port 0\n");
    }
}

TEST(BadLinkInput, PortsOutsideSixteenBitsUseTheirLowBits) {
    for (const auto& [port, used] : {std::pair<int32_t, int>{-1, 65535},
                                     {65536 + 4321, 4321},
                                     {std::numeric_limits<int32_t>::max(), 65535}}) {
        EXPECT_EQ(link_session(port, "127.0.0.1"),
                  "Creating new connection for port " + std::to_string(port) +
                      "\nClosing connection for port " + std::to_string(used) + "\n");
    }
}

TEST(BadLinkInput, NullAndEmptyHostsGiveAFailedLinkThatSendsNothing) {
    for (const char* host : {static_cast<const char*>(nullptr), ""}) {
        const std::string out = link_session(9, host);
        const std::string opening = "Creating new connection for port 9\n";
        ASSERT_EQ(out.substr(0, opening.size()), opening) << out;
        const std::string rest = out.substr(opening.size());
        const std::string code = after(rest, "gethostbyname() failed: ");
        EXPECT_TRUE(is_error_code(code)) << out;
        // A failed link is silent on sends: only the closing line follows.
        EXPECT_EQ(rest, "gethostbyname() failed: " + code + "\nClosing connection for port 9\n");
    }
}
