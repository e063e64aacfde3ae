// korvale drive: replays a recorded drive through the position queries.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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
constexpr double KMH_PER_MS = 3.6;

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
    return metres / (b.t - a.t) * KMH_PER_MS;
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
    if (!link->is_open()) {
        throw std::runtime_error("--dashboard: cannot reach '" + host + "'");
    }
    return link;
}

// Recommended speed at a distance, held at the route's ends.
double recommended_held(const korvale::RouteProfile& p, double d) {
    if (p.first_distance() > d) {
        return p.first_recommended_speed();
    }
    if (d > p.total_length()) {
        return p.last_recommended_speed();
    }
    return p.recommended_speed_at_distance(d);
}

// The record's flag: bit 0 when the vehicle is faster than recommended.
int status_flag(double speed, double recommended) {
    return speed > recommended ? 1 : 0;
}

std::string number_or_empty(double value) {
    if (std::isnan(value)) {
        return "";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

} // namespace

int run_drive(const DriveArgs& args, std::ostream& out) {
    const std::vector<Sample> samples = read_trace(args.trace);
    std::unique_ptr<korvale::RouteProfile> profile = load_route(args.route, args.vehicle);
    std::unique_ptr<korvale::comm::DashboardLink> link;
    if (!args.dashboard.empty()) {
        link = open_dashboard(args.dashboard);
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> plot_distance(PLOT_POINTS), plot_speed(PLOT_POINTS);
    std::optional<ReplayClock> clock;
    if (args.speedup) {
        clock.emplace(*args.speedup);
    }

    out << "t,distance,speed,max_speed,recommended_speed,coasting_speed,liftoff_distance,"
           "target_speed,offset\n";
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        if (clock) {
            clock->wait_for_sample(s.t);
        }
        double distance = 0, max_speed = 0, recommended = 0, coasting = 0;
        profile->all_at_position(s.x, s.y, s.z, i == 0, korvale::DEFAULT_SEARCH_WINDOW, &distance,
                                 &max_speed, &recommended, &coasting);
        const double speed = vehicle_speed(samples, i);
        korvale::Slowdown ahead;
        const bool has_slowdown =
            korvale::next_slowdown(*profile, distance, speed, args.horizon, &ahead);
        const double liftoff = has_slowdown ? ahead.liftoff_distance : nan;
        const double target = has_slowdown ? ahead.target_speed : nan;
        char line[320];
        std::snprintf(line, sizeof line, "%.3f,%.3f,%.3f,%.3f,%.3f,%.3f,%s,%s,%.3f\n", s.t,
                      distance, speed, max_speed, recommended, coasting,
                      number_or_empty(liftoff).c_str(), number_or_empty(target).c_str(),
                      profile->offset_from_route());
        out << line;
        if (clock) {
            out.flush();
        }

        if (link) {
            const double stamp = s.t - samples.front().t + 1.0;
            link->send_status(static_cast<std::int32_t>(i), distance, max_speed, recommended,
                              coasting, speed, 0.0, has_slowdown ? liftoff - distance : 0.0,
                              has_slowdown ? target : 0.0, status_flag(speed, recommended), stamp,
                              profile->rows());
            if (i % PLOT_EVERY == 0) {
                for (int k = 0; k < PLOT_POINTS; ++k) {
                    plot_distance[k] = distance + k * PLOT_SPACING_M;
                    plot_speed[k] = recommended_held(*profile, plot_distance[k]);
                }
                link->send_plot(plot_distance.data(), plot_speed.data(), PLOT_POINTS, PLOT_POINTS,
                                stamp + PLOT_STAMP_AFTER_S);
            }
        }
    }
    if (link) {
        link->close();
    }
    return 0;
}

} // namespace korvale_tool
