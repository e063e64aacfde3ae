// korvale route roads, korvale route opendrive and korvale route gps: route files from
// OpenDRIVE maps and GPS recordings.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "option_checks.h"
#include "routes/gps/gps_route.h"
#include "routes/opendrive/lane_route.h"
#include "routes/opendrive/opendrive_map.h"
#include "routes/opendrive/opendrive_route.h"
#include "routes/route_error.h"
#include "tool_output.h"

namespace korvale_tool {

namespace {

using namespace korvale::routes;

std::string link_text(const RoadLink& link) {
    if (link.element_type.empty() && link.element_id.empty()) {
        return "-";
    }
    std::string text = link.element_type + " " + link.element_id;
    if (!link.contact_point.empty()) {
        text += " " + link.contact_point;
    }
    return text;
}

// "ROUTE: N rows, L m" for a route written.
void print_written(const std::string& path, std::size_t rows, double length, std::ostream& out) {
    char line[256];
    std::snprintf(line, sizeof line, "%zu rows, %.1f m", rows, length);
    out << path << ": " << line << "\n";
}

// One line per road under a header line, in columns as wide as their widest entry.
int run_roads(const std::string& map_path, std::ostream& out) {
    const OpenDriveMap map = OpenDriveMap::read(map_path);
    std::vector<std::vector<std::string>> table{{"id", "name", "length_m", "junction",
                                                 "predecessor", "successor", "first_limit",
                                                 "geometry"}};
    for (const RoadSummary& road : map.summaries()) {
        char length[64];
        std::snprintf(length, sizeof length, "%.3f", road.length);
        std::string kinds;
        for (const std::string& kind : road.geometry_kinds) {
            kinds += (kinds.empty() ? "" : ",") + kind;
        }
        table.push_back({road.id, road.name.empty() ? "-" : road.name, length, road.junction,
                         link_text(road.predecessor), link_text(road.successor),
                         road.first_limit.empty() ? "-" : road.first_limit,
                         kinds.empty() ? "-" : kinds});
    }
    print_columns(table, Alignment::left, out);
    return 0;
}

struct OpenDriveArgs {
    std::string map;
    std::string roads;
    int lane = 0;
    double step = DEFAULT_STEP;
    double limit = 0.0;
    bool reverse = false;
    std::string output;
    std::string from;
    std::string to;
    std::string via;
    double lane_change = DEFAULT_LANE_CHANGE;
    bool lane_change_given = false;
};

// The route along lanes from --from to --to.
int run_lane_route(const OpenDriveArgs& args, std::ostream& out) {
    if (args.from.empty() || args.to.empty()) {
        throw RouteError("a route along lanes needs both --from and --to");
    }
    if (!args.roads.empty() || args.lane != 0 || args.reverse) {
        throw RouteError("--from and --to find the roads and lanes themselves: leave out --roads, "
                         "--lane and --reverse");
    }
    LaneRouteOptions options;
    options.from = args.from;
    options.to = args.to;
    if (!args.via.empty()) {
        options.via = split_road_ids(args.via);
    }
    options.step = args.step;
    options.default_limit_kmh = args.limit;
    options.lane_change = args.lane_change;
    std::vector<std::string> warnings;
    const WrittenRoute written =
        write_lane_route(OpenDriveMap::read(args.map), options, args.output, &warnings);
    for (const std::string& warning : warnings) {
        warn(warning);
    }
    print_written(args.output, written.rows, written.length, out);
    return 0;
}

int run_opendrive(const OpenDriveArgs& args, std::ostream& out) {
    if (!args.from.empty() || !args.to.empty()) {
        return run_lane_route(args, out);
    }
    if (!args.via.empty() || args.lane_change_given) {
        throw RouteError("--via and --lane-change belong to a route along lanes (--from, --to)");
    }
    OpenDriveRouteOptions options;
    if (!args.roads.empty()) {
        options.roads = split_road_ids(args.roads);
    }
    options.lane = args.lane;
    options.step = args.step;
    options.default_limit_kmh = args.limit;
    options.reverse = args.reverse;
    const WrittenRoute written =
        write_opendrive_route(OpenDriveMap::read(args.map), options, args.output);
    print_written(args.output, written.rows, written.length, out);
    return 0;
}

struct GpsArgs {
    std::string track;
    double limit = 0.0;
    std::string limits;
    double step = DEFAULT_GPS_STEP;
    std::string origin; // LAT,LON[,H]
    double superelevation = 0.0;
    bool flat = false;
    std::string output;
};

int run_gps(const GpsArgs& args, std::ostream& out) {
    GpsRouteOptions options;
    options.step = args.step;
    options.default_limit_kmh = args.limit;
    if (!args.limits.empty()) {
        options.limits = read_limits_file(args.limits);
        options.limits_name = args.limits;
    }
    options.superelevation = args.superelevation;
    options.flat = args.flat;
    if (!args.origin.empty()) {
        const auto values = parse_number_list(
            args.origin, std::count(args.origin.begin(), args.origin.end(), ',') == 1 ? 2 : 3,
            "--origin");
        options.origin = GeoPoint{values[0], values[1], values.size() > 2 ? values[2] : 0.0};
    }
    const GpsRouteReport report = write_gps_route(read_gps_track(args.track), options, args.output);
    if (report.repeated > 0 || report.outliers > 0) {
        std::cerr << "korvale: dropped from '" << args.track << "': " << report.repeated
                  << (report.repeated == 1 ? " repeated point, " : " repeated points, ")
                  << report.outliers << (report.outliers == 1 ? " outlier" : " outliers") << "\n";
    }
    print_written(args.output, report.rows, report.length, out);
    return 0;
}

void add_roads_command(CLI::App* route, CommandRun& run) {
    auto map = std::make_shared<std::string>();
    CLI::App* roads = route->add_subcommand("roads", "list the roads of an OpenDRIVE map");
    roads->add_option("map", *map, "OpenDRIVE map (.xodr)")->required();
    roads->callback(
        [map, &run] { run = [map](std::ostream& out) { return run_roads(*map, out); }; });
}

void add_opendrive_command(CLI::App* route, CommandRun& run) {
    auto args = std::make_shared<OpenDriveArgs>();
    CLI::App* opendrive = route->add_subcommand(
        "opendrive", "write the route file of a chain of roads of a map, or of "
                     "the shortest way along lanes from --from to --to");
    opendrive->add_option("map", args->map, "OpenDRIVE map (.xodr)")->required();
    opendrive->add_option("--roads", args->roads,
                          "road ids in driving order, comma-separated, junction roads too; "
                          "may be left out for a map of one road");
    opendrive
        ->add_option("--lane", args->lane,
                     "centre of this lane (OpenDRIVE id, negative to the right) instead of "
                     "the reference line")
        ->check(whole_number());
    opendrive->add_option("--step", args->step, "metres between rows, 0.01 to 1000")
        ->capture_default_str()
        ->check(number());
    opendrive
        ->add_option("--limit", args->limit, "speed limit (km/h) for rows where the map gives none")
        ->check(above_zero());
    opendrive->add_flag("--reverse", args->reverse,
                        "drive the chain the other way (a single road towards -s)");
    opendrive->add_option("--from", args->from,
                          "start of a route along lanes: ROAD:LANE, ROAD:LANE@S or a position X,Y");
    opendrive->add_option("--to", args->to, "end of a route along lanes: ROAD:LANE[@S] or X,Y");
    opendrive->add_option("--via", args->via,
                          "road ids, comma-separated, that the route along lanes passes in order");
    opendrive
        ->add_option_function<double>(
            "--lane-change",
            [args](double metres) {
                args->lane_change = metres;
                args->lane_change_given = true;
            },
            "metres over which a lane change is blended (default 100)")
        ->check(number());
    opendrive->add_option("-o,--output", args->output, "route file to write")->required();
    opendrive->callback(
        [args, &run] { run = [args](std::ostream& out) { return run_opendrive(*args, out); }; });
}

void add_gps_command(CLI::App* route, CommandRun& run) {
    auto gps_args = std::make_shared<GpsArgs>();
    CLI::App* gps = route->add_subcommand(
        "gps", "write the route file of a GPS recording (GPX, or CSV with lat,lon columns)");
    gps->add_option("track", gps_args->track, "GPX file, or CSV with lat, lon [ele time maxspeed]")
        ->required();
    gps->add_option("--limit", gps_args->limit,
                    "speed limit (km/h) for rows that --limits and the track's maxspeed leave "
                    "without one")
        ->check(above_zero());
    gps->add_option("--limits", gps_args->limits,
                    "CSV of distance_m,limit_kmh lines, each limit from that distance on");
    gps->add_option("--step", gps_args->step, "metres between rows, 0.01 to 1000")
        ->capture_default_str()
        ->check(number());
    gps->add_option("--origin", gps_args->origin,
                    "LAT,LON[,H]: the origin of the local frame (default: the first fix)");
    gps->add_option("--superelevation", gps_args->superelevation,
                    "superelevation (fraction) of curved rows")
        ->capture_default_str()
        ->check(number());
    gps->add_flag("--flat", gps_args->flat, "z = 0 on every row (heights ignored)");
    gps->add_option("-o,--output", gps_args->output, "route file to write")->required();
    gps->callback([gps_args, &run] {
        run = [gps_args](std::ostream& out) { return run_gps(*gps_args, out); };
    });
}

} // namespace

void add_route_command(CLI::App& app, CommandRun& run) {
    CLI::App* route =
        app.add_subcommand("route", "make a route file from a road map or a GPS recording");
    route->require_subcommand(1);

    add_roads_command(route, run);
    add_opendrive_command(route, run);
    add_gps_command(route, run);
}

} // namespace korvale_tool
