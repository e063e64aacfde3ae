// Every export that takes a handle answers a null handle with its fixed value, writes nothing
// through its output pointers and prints nothing, except send_msg's one line. One table for all
// of them, checked against the public header so that a new export cannot be left out.
#include <cmath>
#include <fstream>
#include <functional>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "korvale.h"

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double SENTINEL = -777.25;

// What a call with a null handle returns, as a double; void exports give their "nothing".
constexpr double NOTHING = -12345.5;

struct NullCall {
    const char* name;
    double expected; // the fixed value (NaN: the NaN given in)
    std::function<double(double* out)> call;
};

// Each call may write through out (eight doubles) and must not.
std::vector<NullCall> null_calls() {
    const double values[1] = {1.0};
    return {
        {"deinitialize_korvale", NOTHING,
         [](double*) { return deinitialize_korvale(nullptr), NOTHING; }},
        {"get_korvale_rows", -1, [](double*) { return get_korvale_rows(nullptr); }},
        {"get_korvale_x_vec", NOTHING,
         [](double* o) { return get_korvale_x_vec(nullptr, o, 3), NOTHING; }},
        {"get_korvale_y_vec", NOTHING,
         [](double* o) { return get_korvale_y_vec(nullptr, o, 3), NOTHING; }},
        {"get_korvale_z_vec", NOTHING,
         [](double* o) { return get_korvale_z_vec(nullptr, o, 3), NOTHING; }},
        {"get_korvale_dist_vec", NOTHING,
         [](double* o) { return get_korvale_dist_vec(nullptr, o, 3), NOTHING; }},
        {"get_max_distance_korvale", -1.0,
         [](double*) { return get_max_distance_korvale(nullptr); }},
        {"get_max_speed_at_distance", -1.0,
         [](double*) { return get_max_speed_at_distance(nullptr, 5); }},
        {"get_recomended_speed_at_distance", -1.0,
         [](double*) { return get_recomended_speed_at_distance(nullptr, 5); }},
        {"get_coasting_speed_at_distance", -1.0,
         [](double*) { return get_coasting_speed_at_distance(nullptr, 5); }},
        {"get_all_at_distance", -1,
         [](double* o) { return get_all_at_distance(nullptr, 5, o, o + 1, o + 2); }},
        {"get_pos_at_distance", 0,
         [](double* o) { return get_pos_at_distance(nullptr, 5, o, o + 1, o + 2); }},
        {"get_pos_at_polyline_location", 0,
         [](double* o) { return get_pos_at_polyline_location(nullptr, 5, o, 0); }},
        {"get_distance_at_position", -1.0,
         [](double*) { return get_distance_at_position(nullptr, 1, 2, 3, 1, 100); }},
        {"get_max_speed_at_position", -1.0,
         [](double*) { return get_max_speed_at_position(nullptr, 1, 2, 3); }},
        {"get_recomended_speed_at_position", -1.0,
         [](double*) { return get_recomended_speed_at_position(nullptr, 1, 2, 3); }},
        {"get_coasting_speed_at_position", -1.0,
         [](double*) { return get_coasting_speed_at_position(nullptr, 1, 2, 3); }},
        {"get_all_at_position", -1,
         [](double* o) {
             return get_all_at_position(nullptr, 1, 2, 3, 1, 100, o, o + 1, o + 2, o + 3);
         }},
        {"korvale_next_slowdown", -1,
         [](double* o) { return korvale_next_slowdown(nullptr, 0, 90, 1000, o, o + 1, o + 2); }},
        {"korvale_advice", -1,
         [](double* o) {
             int32_t action = -5;
             const int32_t got =
                 korvale_advice(nullptr, 0, 90, 1000, &action, o, o + 1, o + 2, o + 3);
             if (action != -5) {
                 o[4] = action; // written: the check below sees it
             }
             return got;
         }},
        {"korvale_offset_from_route", -1.0,
         [](double*) { return korvale_offset_from_route(nullptr); }},
        {"send_msg", NOTHING,
         [](double*) { return send_msg(nullptr, 1, 1, 2, 3, 4, 5, 6, 7, 8, 1, 1.0, 2), NOTHING; }},
        // send_msg_plot gives back its time stamp, NaN included, and reads no array.
        {"send_msg_plot", 12.5,
         [values](double*) { return send_msg_plot(nullptr, values, values, 1, 1, 12.5); }},
        {"send_msg_plot", NaN,
         [values](double*) { return send_msg_plot(nullptr, values, values, 1, 1, NaN); }},
        {"send_msg_plot", 4.5,
         [](double*) { return send_msg_plot(nullptr, nullptr, nullptr, 5, 5, 4.5); }},
        {"close_com", NOTHING, [](double*) { return close_com(nullptr), NOTHING; }},
        {"korvale_link_is_open", 0, [](double*) { return korvale_link_is_open(nullptr); }},
    };
}

// The functions the public header exports that take a handle as their first argument.
std::set<std::string> exports_taking_a_handle() {
    std::ifstream in(KORVALE_PUBLIC_HEADER);
    std::stringstream text;
    text << in.rdbuf();
    std::string header = text.str();
    std::set<std::string> names;
    for (std::size_t at = header.find("KORVALE_API "); at != std::string::npos;
         at = header.find("KORVALE_API ", at + 1)) {
        const std::size_t open = header.find('(', at);
        const std::size_t close = header.find(')', open);
        if (open == std::string::npos || close == std::string::npos) {
            continue;
        }
        const std::string before = header.substr(at, open - at);
        const std::size_t name_start = before.find_last_of(" *") + 1;
        const std::string first_argument = header.substr(open + 1, close - open - 1);
        if (first_argument.find("handle") != std::string::npos) {
            names.insert(before.substr(name_start));
        }
    }
    return names;
}

} // namespace

TEST(NullHandles, EveryExportAnswersItsFixedValueWritesNothingAndOnlySendMsgSpeaks) {
    std::set<std::string> tested;
    testing::internal::CaptureStdout();
    for (const NullCall& c : null_calls()) {
        std::vector<double> out(8, SENTINEL);
        const double got = c.call(out.data());
        if (std::isnan(c.expected)) {
            EXPECT_TRUE(std::isnan(got)) << c.name;
        } else {
            EXPECT_EQ(got, c.expected) << c.name;
        }
        EXPECT_EQ(out, std::vector<double>(8, SENTINEL)) << c.name;
        tested.insert(c.name);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Dashboard message -  wrong pointer\n");

    const std::set<std::string> declared = exports_taking_a_handle();
    EXPECT_EQ(declared.size(), 25u) << "the header's exports that take a handle";
    EXPECT_EQ(tested, declared);
}
