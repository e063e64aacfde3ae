// korvale profile and korvale at.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "commands.h"
#include "option_checks.h"
#include "profile/advice.h"
#include "profile/speed_models.h"
#include "route_table.h"
#include "text/csv.h"
#include "text/text.h"
#include "tool_output.h"

namespace korvale_tool {

namespace {

// The summary shows speeds to a tenth of a km/h.
constexpr double SHOWN_SPEED_STEP_KMH = 0.05;

struct SlowPoint {
    std::int32_t row;
    double speed; // recommended, km/h
};

// Rows where the drive slows down, to the allowed speed (a curve, a limit, a stop) or to the
// recommended speed where the coasting model holds it lower; slowest first.
std::vector<SlowPoint> slowest_points(const RouteTable& table, int how_many) {
    std::vector<SlowPoint> points;
    const double* allowed = table.details.allowed_speed.data();
    const double* recommended = table.profile->recommended_speed_column().data();
    for (std::int32_t i = 1; i < table.rows; ++i) {
        if (korvale::slows_down_at(allowed, table.rows, i) ||
            korvale::slows_down_at(recommended, table.rows, i)) {
            points.push_back({i, recommended[i]});
        }
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const SlowPoint& a, const SlowPoint& b) { return a.speed < b.speed; });
    if (points.size() > static_cast<std::size_t>(std::max(how_many, 0))) {
        points.resize(static_cast<std::size_t>(std::max(how_many, 0)));
    }
    return points;
}

void write_csv(const RouteTable& table, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        throw std::runtime_error("cannot write '" + path + "'");
    }
    const korvale::RouteProfile& p = *table.profile;
    const korvale::ConstructionDetails& d = table.details;
    std::fprintf(file, "x,y,z,distance,grade,radius,superelevation,comfort_speed,max_speed,"
                       "allowed_speed,coasting_speed,recommended_speed\n");
    for (std::int32_t i = 0; i < table.rows; ++i) {
        std::fprintf(
            file, "%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g\n",
            p.x_column()[i], p.y_column()[i], p.z_column()[i], p.distance_column()[i], d.grade[i],
            d.curve_radius[i], d.superelevation[i], d.comfort_speed[i], p.max_speed_column()[i],
            d.allowed_speed[i], p.coasting_speed_column()[i], p.recommended_speed_column()[i]);
    }
    if (std::fclose(file) != 0) {
        throw std::runtime_error("cannot write '" + path + "'");
    }
}

void print_advice(const korvale::RouteProfile& profile, double distance, double speed,
                  double horizon, std::ostream& out) {
    korvale::Advice advice;
    if (!korvale::advise(profile, distance, speed, horizon, &advice)) {
        out << "advice: no slow-down below " << speed << " km/h within " << horizon << " m\n";
        return;
    }
    const korvale::Slowdown& found = advice.slowdown;
    char line[256];
    if (advice.action == korvale::AdviceAction::brake) {
        std::snprintf(line, sizeof line,
                      "advice: slow-down at %.1f m to %.1f km/h; brake now at %.2f m/s^2 "
                      "(coasting arrives too fast)\n",
                      found.distance, found.target_speed, advice.deceleration);
    } else {
        std::snprintf(
            line, sizeof line,
            "advice: slow-down at %.1f m to %.1f km/h; lift off at %.1f m (%.1f m ahead)%s\n",
            found.distance, found.target_speed, found.liftoff_distance,
            found.liftoff_distance - distance, found.liftoff_distance <= distance ? ", now" : "");
    }
    out << line;
}

// What the command used: the model and the vehicle as it sees it.
void print_choice(const VehicleChoice& choice, std::ostream& out) {
    out << "model:     " << choice.model_name() << "\nvehicle:   " << choice.vehicle_description()
        << "\n";
}

} // namespace

std::optional<std::vector<double>> read_number_list(const std::string& text, std::size_t count) {
    const std::vector<std::string> items = korvale::text::split_fields(text, ',');
    std::vector<double> values(items.size());
    bool read = items.size() == count;
    for (std::size_t i = 0; i < items.size() && read; ++i) {
        read = korvale::text::read_number(items[i], &values[i]);
    }
    return read ? std::optional<std::vector<double>>(std::move(values)) : std::nullopt;
}

std::vector<double> parse_number_list(const std::string& text, std::size_t count,
                                      const std::string& what) {
    std::optional<std::vector<double>> values = read_number_list(text, count);
    if (!values) {
        throw std::runtime_error(what + ": '" + text + "' is not " + number_list_text(count));
    }
    return std::move(*values);
}

int run_profile(const ProfileArgs& args, std::ostream& out) {
    const RouteTable table = load_route_table(args.route, args.vehicle.coast_model(), args.strict);
    const korvale::RouteProfile& p = *table.profile;
    const auto& z = p.z_column();
    const auto [low, high] = std::minmax_element(z.begin(), z.begin() + table.rows);
    char line[256];
    out << "\nroute:     " << args.route << "\n";
    std::snprintf(line, sizeof line,
                  "rows:      %d\nlength:    %.1f m\nelevation: %.1f to %.1f m\n", table.rows,
                  p.total_length(), *low, *high);
    out << line;
    print_choice(args.vehicle, out);
    const auto points = slowest_points(table, args.slowest);
    if (!points.empty()) {
        out << "slowest points (recommended speed):\n";
        for (const SlowPoint& s : points) {
            char allowed[64] = "";
            if (s.speed < table.details.allowed_speed[s.row] - SHOWN_SPEED_STEP_KMH) {
                std::snprintf(allowed, sizeof allowed, "; allowed %.1f km/h",
                              table.details.allowed_speed[s.row]);
            }
            std::snprintf(line, sizeof line,
                          "  %9.1f m  %6.1f km/h  %-5s (limit %.0f, curve radius %.0f m%s)\n",
                          p.distance_column()[s.row], s.speed, slow_reason(table, s.row),
                          p.max_speed_column()[s.row], table.details.curve_radius[s.row], allowed);
            out << line;
        }
    }
    if (!args.csv.empty()) {
        write_csv(table, args.csv);
        out << "rows written to " << args.csv << "\n";
    }
    return 0;
}

namespace {

// The values at the position and how far it lies from the route; the distance it maps to.
double print_at_position(korvale::RouteProfile& profile, const AtArgs& args, std::ostream& out) {
    const auto xyz = parse_number_list(*args.position, 3, "--position");
    double distance = 0.0, max_speed = 0, recommended = 0, coasting = 0;
    profile.all_at_position(xyz[0], xyz[1], xyz[2], true, korvale::DEFAULT_SEARCH_WINDOW, &distance,
                            &max_speed, &recommended, &coasting);
    const double offset = profile.offset_from_route();
    char line[256];
    if (!(offset <= args.max_offset)) {
        std::snprintf(line, sizeof line,
                      "position %s lies %.1f m from the route (more than --max-offset %g m): "
                      "the values are those of the nearest route point",
                      args.position->c_str(), offset, args.max_offset);
        warn(line);
    }
    std::snprintf(line, sizeof line,
                  "position %.3f,%.3f,%.3f: distance %.3f m, offset %.3f m\n"
                  "max %.3f km/h, recommended %.3f km/h, coasting %.3f km/h\n",
                  xyz[0], xyz[1], xyz[2], distance, offset, max_speed, recommended, coasting);
    out << line;
    return distance;
}

// The values at the distance, or at the nearer end of the route for one outside it (with a
// warning); the distance they are of.
double print_at_distance(const korvale::RouteProfile& profile, double distance, std::ostream& out) {
    char line[256];
    const double length = profile.total_length();
    if (!(distance >= 0.0 && distance <= length)) {
        const double end = distance < 0.0 ? 0.0 : length;
        std::snprintf(line, sizeof line,
                      "distance %g m lies outside the route (0 to %.1f m): the values at "
                      "%.1f m follow",
                      distance, length, end);
        warn(line);
        distance = end;
    }
    double max_speed = 0, recommended = 0, coasting = 0;
    profile.all_at_distance(distance, &max_speed, &recommended, &coasting);
    double x = 0, y = 0, z = 0;
    profile.pos_at_distance(distance, &x, &y, &z);
    std::snprintf(line, sizeof line,
                  "distance %.3f m: point %.3f,%.3f,%.3f\n"
                  "max %.3f km/h, recommended %.3f km/h, coasting %.3f km/h\n",
                  distance, x, y, z, max_speed, recommended, coasting);
    out << line;
    return distance;
}

} // namespace

int run_at(const AtArgs& args, std::ostream& out) {
    auto profile = load_route(args.route, args.vehicle.coast_model(), args.strict);
    print_choice(args.vehicle, out);
    const double distance = args.position
                                ? print_at_position(*profile, args, out)
                                : print_at_distance(*profile, args.distance.value_or(0.0), out);
    if (args.speed) {
        print_advice(*profile, distance, *args.speed, args.horizon, out);
    }
    return 0;
}

} // namespace korvale_tool
