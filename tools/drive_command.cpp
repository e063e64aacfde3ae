// korvale drive: replays a recorded drive through the position queries.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "comm/dashboard_link.h"
#include "commands.h"
#include "json_forwarder.h"
#include "profile/advice.h"
#include "profile/speed_models.h"
#include "replay_clock.h"
#include "route_table.h"
#include "tool_output.h"
#include "trace_reader.h"

namespace korvale_tool {

namespace {

// A status record every sample, a plot every PLOT_EVERY samples.
constexpr int PLOT_EVERY = 10;
constexpr int PLOT_POINTS = 100;
constexpr double PLOT_SPACING_M = 10.0;
// Records and plots share one time-stamp gate, so a plot goes 1 ms after its record.
constexpr double PLOT_STAMP_AFTER_S = 0.001;

// A time step counts as within the smoothing window up to this much beyond it (trace times
// written in decimals rarely differ by exactly the window).
constexpr double WINDOW_SLACK_S = 1e-6;

// A sample without a height (a GPS trace without heights) takes the route's height where the
// vehicle was last found.
void fill_height(TraceSample& s, const korvale::RouteProfile& profile, double distance) {
    if (std::isnan(s.z)) {
        double x = 0, y = 0;
        profile.pos_at_distance(distance, &x, &y, &s.z);
    }
}

// The vehicle's speed along the route, km/h, from the distances tracked so far: over the last
// window seconds, and at least over the step from the sample before. NaN at the first sample.
class TrackedSpeed {
public:
    explicit TrackedSpeed(double window_s) : window(window_s) {}

    double next(double t, double distance) {
        times.push_back(t);
        distances.push_back(distance);
        const std::size_t i = times.size() - 1;
        if (i == 0) {
            return std::numeric_limits<double>::quiet_NaN();
        }
        while (first + 1 < i && t - times[first] > window + WINDOW_SLACK_S) {
            ++first;
        }
        return (distance - distances[first]) / (t - times[first]) * korvale::KMH_PER_MS;
    }

private:
    double window;
    std::size_t first = 0;
    std::vector<double> times;
    std::vector<double> distances;
};

std::unique_ptr<korvale::comm::DashboardLink> open_dashboard(const std::string& target) {
    const HostPort where = parse_host_port(target, "--dashboard");
    auto link = std::make_unique<korvale::comm::DashboardLink>(static_cast<int>(where.port), 0,
                                                               library_lines());
    link->open(where.host.c_str());
    if (!link->get_is_open()) {
        throw std::runtime_error("--dashboard: cannot reach '" + where.host + "'");
    }
    return link;
}

// The record's flag: bit 0 when the vehicle is faster than recommended, bit 1 when braking is
// advised.
int status_flag(double speed, double recommended, korvale::AdviceAction action) {
    return (speed > recommended ? 1 : 0) | (action == korvale::AdviceAction::brake ? 2 : 0);
}

std::string number_or_empty(double value) {
    if (std::isnan(value)) {
        return "";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

// What the drive prints and sends for one sample.
struct DriveRow {
    double distance = 0, max_speed = 0, recommended = 0, coasting = 0, speed = 0;
    bool has_slowdown = false;
    korvale::AdviceAction action = korvale::AdviceAction::keep;
    double liftoff = 0, target = 0, deceleration = 0; // NaN without a slow-down ahead
};

// The position queries at sample i (a full search at the first) and the advice ahead.
DriveRow drive_row(korvale::RouteProfile& profile, const TraceSample& s, bool first,
                   TrackedSpeed& speed, double horizon) {
    DriveRow row;
    profile.all_at_position(s.x, s.y, s.z, first, korvale::DEFAULT_SEARCH_WINDOW, &row.distance,
                            &row.max_speed, &row.recommended, &row.coasting);
    row.speed = speed.next(s.t, row.distance);
    korvale::Advice advice;
    row.has_slowdown = !std::isnan(row.speed) &&
                       korvale::advise(profile, row.distance, row.speed, horizon, &advice);
    row.action = advice.action;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    row.liftoff = row.has_slowdown ? advice.slowdown.liftoff_distance : nan;
    row.target = row.has_slowdown ? advice.slowdown.target_speed : nan;
    row.deceleration = row.has_slowdown ? advice.deceleration : nan;
    return row;
}

// The status record of sample i and, every PLOT_EVERY samples, a plot of the recommended speed
// ahead.
void send_row(korvale::comm::DashboardLink& link, const korvale::RouteProfile& profile,
              const DriveRow& row, std::size_t i, double stamp) {
    const double speed = std::isnan(row.speed) ? 0.0 : row.speed;
    link.send_status(static_cast<std::int32_t>(i), row.distance, row.max_speed, row.recommended,
                     row.coasting, speed, 0.0, row.has_slowdown ? row.liftoff - row.distance : 0.0,
                     row.has_slowdown ? row.target : 0.0,
                     status_flag(speed, row.recommended, row.action), stamp, profile.row_count());
    if (i % PLOT_EVERY != 0) {
        return;
    }
    double plot_distance[PLOT_POINTS];
    double plot_speed[PLOT_POINTS];
    for (int k = 0; k < PLOT_POINTS; ++k) {
        plot_distance[k] = row.distance + k * PLOT_SPACING_M;
        plot_speed[k] = profile.recommended_speed_held_at_distance(plot_distance[k]);
    }
    link.send_plot(plot_distance, plot_speed, PLOT_POINTS, PLOT_POINTS, stamp + PLOT_STAMP_AFTER_S);
}

// Counts the samples farther from the route than the limit; one warning at the end.
class OffsetWatch {
public:
    explicit OffsetWatch(double limit_m) : limit(limit_m) {}

    void sample(double t, double offset) {
        if (!(offset <= limit)) {
            if (far == 0) {
                first_t = t;
            }
            ++far;
            largest = std::max(largest, offset);
        }
    }

    void report(std::size_t samples) const {
        if (far == 0) {
            return;
        }
        char text[256];
        std::snprintf(text, sizeof text,
                      "%zu of %zu samples lie more than %g m from the route (--max-offset; the "
                      "first at t=%.3f s, up to %.1f m)",
                      far, samples, limit, first_t, largest);
        warn(text);
    }

private:
    double limit;
    std::size_t far = 0;
    double first_t = 0.0;
    double largest = 0.0;
};

// The drive's CSV line of a sample.
void print_row(const TraceSample& s, const DriveRow& row, double offset, std::ostream& out) {
    char line[320];
    std::snprintf(line, sizeof line, "%.3f,%.3f,%s,%.3f,%.3f,%.3f,%s,%s,%.3f,%d,%s\n", s.t,
                  row.distance, number_or_empty(row.speed).c_str(), row.max_speed, row.recommended,
                  row.coasting, number_or_empty(row.liftoff).c_str(),
                  number_or_empty(row.target).c_str(), offset, static_cast<int>(row.action),
                  number_or_empty(row.deceleration).c_str());
    out << line;
}

// Where the replay goes besides standard output: the pace of the trace's times, the dashboard.
struct ReplayOutlets {
    std::optional<ReplayClock> clock;
    std::unique_ptr<korvale::comm::DashboardLink> link;
};

ReplayOutlets open_outlets(const DriveArgs& args) {
    ReplayOutlets outlets;
    if (!args.dashboard.empty()) {
        outlets.link = open_dashboard(args.dashboard);
    }
    if (args.speedup) {
        outlets.clock.emplace(*args.speedup);
    }
    return outlets;
}

} // namespace

int run_drive(const DriveArgs& args, std::ostream& out) {
    std::vector<TraceSample> samples = read_trace(args.trace, args.route);
    std::unique_ptr<korvale::RouteProfile> profile =
        load_route(args.route, args.vehicle.coast_model(), args.strict);
    std::cerr << "korvale: " << args.vehicle.summary() << "\n";
    ReplayOutlets outlets = open_outlets(args);
    TrackedSpeed speed(args.smooth_s);
    OffsetWatch offsets(args.max_offset);
    out << "t,distance,speed,max_speed,recommended_speed,coasting_speed,liftoff_distance,"
           "target_speed,offset,action,deceleration\n";
    double last_distance = 0.0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        TraceSample& s = samples[i];
        fill_height(s, *profile, last_distance);
        if (outlets.clock) {
            outlets.clock->wait_for_sample(s.t);
        }
        const DriveRow row = drive_row(*profile, s, i == 0, speed, args.horizon);
        last_distance = row.distance;
        const double offset = profile->offset_from_route();
        offsets.sample(s.t, offset);
        print_row(s, row, offset, out);
        if (outlets.clock) {
            out.flush();
        }
        if (outlets.link) {
            send_row(*outlets.link, *profile, row, i, s.t - samples.front().t + 1.0);
        }
    }
    if (outlets.link) {
        outlets.link->close();
    }
    out.flush();
    offsets.report(samples.size());
    return 0;
}

} // namespace korvale_tool
