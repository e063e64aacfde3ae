// The commands of the korvale tool. Each returns the process's exit status and writes its
// output to out; errors are thrown as std::runtime_error with a message for the user.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "vehicle_options.h"

namespace korvale_tool {

struct ProfileArgs {
    std::string route;
    VehicleChoice vehicle;
    std::string csv;     // every row to this file when not empty
    int slowest = 5;     // slow points in the summary
    bool strict = false; // lines of the route file that are skipped are an error
};

struct AtArgs {
    std::string route;
    VehicleChoice vehicle;
    std::optional<double> distance;
    std::optional<std::string> position; // "X,Y,Z"
    std::optional<double> speed;         // with it, the advice ahead
    double horizon = 1000.0;
    double max_offset = 10.0; // a position farther from the route draws a warning, m
    bool strict = false;
};

struct DriveArgs {
    std::string route;
    std::string trace;
    VehicleChoice vehicle;
    std::string dashboard; // HOST:PORT, or empty
    double horizon = 1000.0;
    std::optional<double> speedup; // replay at the pace of the trace's times, this much faster
    double smooth_s = 1.0;         // the vehicle's speed over this much of the trace, s
    double max_offset = 10.0;      // samples farther from the route draw a warning, m
    bool strict = false;
};

struct DashboardArgs {
    int port = 0;
    std::string plot_counts = "100,100"; // A,B
    std::int64_t count = 0;              // stop after this many datagrams; 0: never
    double timeout_s = 0.0;              // stop after this long without a datagram; 0: never
    std::optional<int> http;             // serve the web page on this port (0: any free one)
    std::string bind = "127.0.0.1";      // the address the web page is served on
    std::string route;                   // the route whose profile the page shows; or empty
    VehicleChoice vehicle;               // for the route's profile
    std::string fields;                  // new names of record fields: "r1=NAME,..."
    std::string forward_json;            // HOST:PORT that receives each record as JSON; or empty
    bool print = false;                  // with --http, the text lines too
    bool strict = false;                 // skipped lines of the route file are an error
};

int run_profile(const ProfileArgs& args, std::ostream& out);
int run_at(const AtArgs& args, std::ostream& out);
int run_drive(const DriveArgs& args, std::ostream& out);
int run_dashboard(const DashboardArgs& args, std::ostream& out);

// "X,Y,Z" or "A,B" as count numbers; none when the text is not that.
std::optional<std::vector<double>> read_number_list(const std::string& text, std::size_t count);
// The same; throws with a message naming what for.
std::vector<double> parse_number_list(const std::string& text, std::size_t count,
                                      const std::string& what);

} // namespace korvale_tool
