// The subcommands and options of the korvale tool's own commands.
#include "command_line.h"

#include <cstdint>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include "commands.h"
#include "option_checks.h"
#include "vehicle_options.h"

namespace korvale_tool {

namespace {

constexpr std::int64_t MAX_PORT = 65535;

} // namespace

void add_strict_option(CLI::App* command, bool* strict) {
    command->add_flag("--strict", *strict,
                      "fail when lines of the route file do not start with six numbers");
}

void add_profile_command(CLI::App& app, CommandRun& run) {
    auto args = std::make_shared<ProfileArgs>();
    CLI::App* command =
        app.add_subcommand("profile", "build a route's profile and print a summary");
    command->add_option("route", args->route, "route file")->required();
    command->add_option("--csv", args->csv, "write every row with every column to FILE");
    command->add_option("--slowest", args->slowest, "slow points to list")
        ->capture_default_str()
        ->check(whole_number());
    add_strict_option(command, &args->strict);
    auto vehicle = add_vehicle_options(command);
    command->callback([args, vehicle, &run] {
        run = [args, vehicle](std::ostream& out) {
            args->vehicle = choose(*vehicle);
            return run_profile(*args, out);
        };
    });
}

void add_at_command(CLI::App& app, CommandRun& run) {
    auto args = std::make_shared<AtArgs>();
    CLI::App* command = app.add_subcommand("at", "the values at a distance or a position");
    command->add_option("route", args->route, "route file")->required();
    auto* distance =
        command->add_option("--distance", args->distance, "distance along the route, m")
            ->check(number_not_nan());
    auto* position = command->add_option("--position", args->position, "position X,Y,Z, m")
                         ->check(number_list(3));
    distance->excludes(position);
    command->add_option("--speed", args->speed, "vehicle speed, km/h: adds the advice ahead")
        ->check(not_negative());
    command->add_option("--horizon", args->horizon, "how far ahead the advice looks, m")
        ->capture_default_str()
        ->check(not_negative());
    command
        ->add_option("--max-offset", args->max_offset,
                     "warn when the position lies farther from the route, m")
        ->capture_default_str()
        ->check(not_negative());
    add_strict_option(command, &args->strict);
    auto vehicle = add_vehicle_options(command);
    command->callback([args, vehicle, &run] {
        run = [args, vehicle](std::ostream& out) {
            if (!args->position && !args->distance) {
                throw std::runtime_error("at: give --distance or --position");
            }
            args->vehicle = choose(*vehicle);
            return run_at(*args, out);
        };
    });
}

void add_drive_command(CLI::App& app, CommandRun& run) {
    auto args = std::make_shared<DriveArgs>();
    CLI::App* command = app.add_subcommand(
        "drive", "replay a drive (t,x,y,z per line, or columns named in a header) and print CSV");
    command->add_option("route", args->route, "route file")->required();
    command
        ->add_option("trace", args->trace,
                     "drive as CSV: t (s), x, y, z (m), in that order or named in a header line")
        ->required();
    command
        ->add_option("--dashboard", args->dashboard, "send status records and plots to HOST:PORT")
        ->check(host_and_port());
    command->add_option("--horizon", args->horizon, "how far ahead the advice looks, m")
        ->capture_default_str()
        ->check(not_negative());
    auto* realtime = command->add_flag("--realtime", "replay at the pace of the trace's times");
    command->add_option("--speedup", args->speedup, "with --realtime, this many times faster")
        ->needs(realtime)
        ->check(above_zero());
    command
        ->add_option("--smooth", args->smooth_s,
                     "the vehicle's speed from the distance driven over this many seconds "
                     "(0: from one sample to the next)")
        ->capture_default_str()
        ->check(not_negative());
    command
        ->add_option("--max-offset", args->max_offset,
                     "warn about samples farther from the route, m")
        ->capture_default_str()
        ->check(not_negative());
    add_strict_option(command, &args->strict);
    auto vehicle = add_vehicle_options(command);
    command->callback([args, vehicle, realtime, &run] {
        if (*realtime && !args->speedup) {
            args->speedup = 1.0;
        }
        run = [args, vehicle](std::ostream& out) {
            args->vehicle = choose(*vehicle);
            return run_drive(*args, out);
        };
    });
}

void add_dashboard_command(CLI::App& app, CommandRun& run) {
    auto args = std::make_shared<DashboardArgs>();
    CLI::App* command =
        app.add_subcommand("dashboard", "receive and print status records and plots");
    command->add_option("--port", args->port, "UDP port to listen on (0: any)")
        ->required()
        ->check(whole_within(0, MAX_PORT));
    command->add_option("--plot-counts", args->plot_counts, "values in a plot's two arrays, A,B")
        ->capture_default_str();
    command->add_option("--count", args->count, "stop after this many datagrams")
        ->check(whole_number());
    command
        ->add_option("--timeout", args->timeout_s,
                     "stop after this many seconds without a datagram")
        ->check(number());
    auto* http = command
                     ->add_option("--http", args->http,
                                  "serve a live web page on this TCP port (0: any free port)")
                     ->check(whole_within(0, MAX_PORT));
    command->add_option("--bind", args->bind, "address the web page is served on")
        ->capture_default_str()
        ->needs(http);
    command->add_option("--route", args->route, "route file: the page shows its profile")
        ->needs(http);
    command->add_option("--fields", args->fields,
                        "names of record fields on the page and in JSON: r1=NAME,r5=NAME,...");
    command
        ->add_option("--forward-json", args->forward_json,
                     "send each record on as one JSON datagram to HOST:PORT")
        ->check(host_and_port());
    command->add_flag("--print", args->print, "with --http, print the text lines too")->needs(http);
    add_strict_option(command, &args->strict);
    auto vehicle = add_vehicle_options(command);
    command->callback([args, vehicle, &run] {
        run = [args, vehicle](std::ostream& out) {
            args->vehicle = choose(*vehicle);
            return run_dashboard(*args, out);
        };
    });
}

} // namespace korvale_tool
