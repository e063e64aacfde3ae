// korvale drive: replays a recorded drive through the position queries.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "comm/dashboard_link.h"
#include "commands.h"
#include "geometry/point3.h"
#include "profile/advice.h"
#include "profile/speed_models.h"
#include "replay_clock.h"
#include "route_table.h"

namespace korvale_tool {

namespace {

// A status record every sample, a plot every PLOT_EVERY samples.
constexpr int PLOT_EVERY = 10;
constexpr int PLOT_POINTS = 100;
constexpr double PLOT_SPACING_M = 10.0;
// Records and plots share one time-stamp gate, so a plot goes 1 ms after its record.
constexpr double PLOT_STAMP_AFTER_S = 0.001;

struct Sample {
    double t, x, y, z;
};

std::vector<Sample> read_trace(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot open trace '" + path + "'");
    }
    std::vector<Sample> samples;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.find_first_not_of(" \t") == std::string::npos) {
            continue;
        }
        Sample s{};
        char tail = '\0';
        const int got =
            std::sscanf(line.c_str(), " %lf , %lf , %lf , %lf %c", &s.t, &s.x, &s.y, &s.z, &tail);
        if (got != 4) {
            if (number == 1 && got == 0) {
                continue; // a header line
            }
            throw std::runtime_error("trace '" + path + "' line " + std::to_string(number) +
                                     ": expected t,x,y,z");
        }
        if (!samples.empty() && !(s.t > samples.back().t)) {
            throw std::runtime_error("trace '" + path + "' line " + std::to_string(number) +
                                     ": time does not increase");
        }
        samples.push_back(s);
    }
    if (samples.empty()) {
        throw std::runtime_error("trace '" + path + "' holds no sample");
    }
    return samples;
}

// Vehicle speed at sample i from its neighbours, km/h.
double vehicle_speed(const std::vector<Sample>& samples, std::size_t i) {
    if (samples.size() < 2) {
        return 0.0;
    }
    const Sample& a = samples[i == 0 ? 0 : i - 1];
    const Sample& b = samples[i == 0 ? 1 : i];
    const double metres =
        korvale::distance_between(korvale::Point3(a.x, a.y, a.z), korvale::Point3(b.x, b.y, b.z));
    return metres / (b.t - a.t) * korvale::KMH_PER_MS;
}

std::unique_ptr<korvale::comm::DashboardLink> open_dashboard(const std::string& target) {
    const std::size_t colon = target.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        throw std::runtime_error("--dashboard: '" + target + "' is not HOST:PORT");
    }
    const std::string host = target.substr(0, colon);
    const std::string port_text = target.substr(colon + 1);
    char* end = nullptr;
    errno = 0;
    const long port = std::strtol(port_text.c_str(), &end, 10);
    if (port_text.empty() || *end != '\0' || errno != 0 || port < 1 || port > 65535) {
        throw std::runtime_error("--dashboard: port '" + port_text + "' is not 1 to 65535");
    }
    auto link = std::make_unique<korvale::comm::DashboardLink>(static_cast<int>(port), 0);
    link->open(host.c_str());
    if (!link->get_is_open()) {
        throw std::runtime_error("--dashboard: cannot reach '" + host + "'");
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
DriveRow drive_row(korvale::RouteProfile& profile, const std::vector<Sample>& samples,
                   std::size_t i, double horizon) {
    const Sample& s = samples[i];
    DriveRow row;
    profile.all_at_position(s.x, s.y, s.z, i == 0, korvale::DEFAULT_SEARCH_WINDOW, &row.distance,
                            &row.max_speed, &row.recommended, &row.coasting);
    row.speed = vehicle_speed(samples, i);
    korvale::Advice advice;
    row.has_slowdown = korvale::advise(profile, row.distance, row.speed, horizon, &advice);
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
    link.send_status(
        static_cast<std::int32_t>(i), row.distance, row.max_speed, row.recommended, row.coasting,
        row.speed, 0.0, row.has_slowdown ? row.liftoff - row.distance : 0.0,
        row.has_slowdown ? row.target : 0.0, status_flag(row.speed, row.recommended, row.action),
        stamp, profile.row_count());
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

} // namespace

int run_drive(const DriveArgs& args, std::ostream& out) {
    const std::vector<Sample> samples = read_trace(args.trace);
    std::unique_ptr<korvale::RouteProfile> profile =
        load_route(args.route, args.vehicle.coast_model());
    std::cerr << "korvale: " << args.vehicle.summary() << "\n";
    std::unique_ptr<korvale::comm::DashboardLink> link;
    if (!args.dashboard.empty()) {
        link = open_dashboard(args.dashboard);
    }
    std::optional<ReplayClock> clock;
    if (args.speedup) {
        clock.emplace(*args.speedup);
    }
    out << "t,distance,speed,max_speed,recommended_speed,coasting_speed,liftoff_distance,"
           "target_speed,offset,action,deceleration\n";
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        if (clock) {
            clock->wait_for_sample(s.t);
        }
        const DriveRow row = drive_row(*profile, samples, i, args.horizon);
        char line[320];
        std::snprintf(line, sizeof line, "%.3f,%.3f,%.3f,%.3f,%.3f,%.3f,%s,%s,%.3f,%d,%s\n", s.t,
                      row.distance, row.speed, row.max_speed, row.recommended, row.coasting,
                      number_or_empty(row.liftoff).c_str(), number_or_empty(row.target).c_str(),
                      profile->offset_from_route(), static_cast<int>(row.action),
                      number_or_empty(row.deceleration).c_str());
        out << line;
        if (clock) {
            out.flush();
        }
        if (link) {
            send_row(*link, *profile, row, i, s.t - samples.front().t + 1.0);
        }
    }
    if (link) {
        link->close();
    }
    return 0;
}

} // namespace korvale_tool
