// korvale: look at a route's speed profile, query it, replay a drive, and watch a dashboard.
#include <exception>
#include <iostream>

#include <CLI/CLI.hpp>

#include "commands.h"

namespace {

// The eight vehicle parameters as options; the defaults are the built-in vehicle.
void add_vehicle_options(CLI::App* command, korvale::VehicleParameters* v) {
    *v = korvale::VehicleParameters{0.3, 2.3, 1.293, 1644.0, 9.81, 0.015, 0.0, 0.0};
    const char* group = "Vehicle";
    command->add_option("--drag-coefficient", v->drag_coefficient, "aerodynamic drag coefficient")
        ->capture_default_str()
        ->group(group);
    command->add_option("--frontal-area", v->frontal_area, "frontal area, m^2")
        ->capture_default_str()
        ->group(group);
    command->add_option("--air-density", v->air_density, "air density, kg/m^3")
        ->capture_default_str()
        ->group(group);
    command->add_option("--vehicle-mass", v->vehicle_mass, "vehicle mass, kg")
        ->capture_default_str()
        ->group(group);
    command->add_option("--gravity", v->gravity, "gravitational acceleration, m/s^2")
        ->capture_default_str()
        ->group(group);
    command
        ->add_option("--rolling-resistance", v->rolling_resistance,
                     "rolling-resistance coefficient")
        ->capture_default_str()
        ->group(group);
    command
        ->add_option("--coast-power", v->coast_power,
                     "power term of the parameterised coasting model; > 0 selects it")
        ->capture_default_str()
        ->group(group);
    command
        ->add_option("--model-switch", v->model_switch,
                     "> 0 selects the parameterised coasting model")
        ->capture_default_str()
        ->group(group);
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"korvale: the speed profile of a known road route"};
    app.require_subcommand(1);

    korvale_tool::ProfileArgs profile;
    CLI::App* profile_cmd =
        app.add_subcommand("profile", "build a route's profile and print a summary");
    profile_cmd->add_option("route", profile.route, "route file")->required();
    profile_cmd->add_option("--csv", profile.csv, "write every row with every column to FILE");
    profile_cmd->add_option("--slowest", profile.slowest, "slow points to list")
        ->capture_default_str();
    add_vehicle_options(profile_cmd, &profile.vehicle);

    korvale_tool::AtArgs at;
    double at_distance = 0.0;
    std::string at_position;
    double at_speed = 0.0;
    CLI::App* at_cmd = app.add_subcommand("at", "the values at a distance or a position");
    at_cmd->add_option("route", at.route, "route file")->required();
    auto* distance_opt =
        at_cmd->add_option("--distance", at_distance, "distance along the route, m");
    auto* position_opt = at_cmd->add_option("--position", at_position, "position X,Y,Z, m");
    distance_opt->excludes(position_opt);
    at_cmd->add_option("--speed", at_speed, "vehicle speed, km/h: adds the advice ahead");
    at_cmd->add_option("--horizon", at.horizon, "how far ahead the advice looks, m")
        ->capture_default_str();
    add_vehicle_options(at_cmd, &at.vehicle);

    korvale_tool::DriveArgs drive;
    CLI::App* drive_cmd =
        app.add_subcommand("drive", "replay a drive (t,x,y,z per line) and print CSV");
    drive_cmd->add_option("route", drive.route, "route file")->required();
    drive_cmd->add_option("trace", drive.trace, "drive as CSV: t (s), x, y, z (m)")->required();
    drive_cmd->add_option("--dashboard", drive.dashboard,
                          "send status records and plots to HOST:PORT");
    drive_cmd->add_option("--horizon", drive.horizon, "how far ahead the advice looks, m")
        ->capture_default_str();
    add_vehicle_options(drive_cmd, &drive.vehicle);

    korvale_tool::DashboardArgs dashboard;
    CLI::App* dashboard_cmd =
        app.add_subcommand("dashboard", "receive and print status records and plots");
    dashboard_cmd->add_option("--port", dashboard.port, "UDP port to listen on (0: any)")
        ->required();
    dashboard_cmd
        ->add_option("--plot-counts", dashboard.plot_counts, "values in a plot's two arrays, A,B")
        ->capture_default_str();
    dashboard_cmd->add_option("--count", dashboard.count, "stop after this many datagrams");
    dashboard_cmd->add_option("--timeout", dashboard.timeout_s,
                              "stop after this many seconds without a datagram");

    CLI11_PARSE(app, argc, argv);

    try {
        if (profile_cmd->parsed()) {
            return korvale_tool::run_profile(profile, std::cout);
        }
        if (at_cmd->parsed()) {
            if (*position_opt) {
                at.position = at_position;
            } else if (*distance_opt) {
                at.distance = at_distance;
            } else {
                throw std::runtime_error("at: give --distance or --position");
            }
            if (at_cmd->count("--speed") > 0) {
                at.speed = at_speed;
            }
            return korvale_tool::run_at(at, std::cout);
        }
        if (drive_cmd->parsed()) {
            return korvale_tool::run_drive(drive, std::cout);
        }
        return korvale_tool::run_dashboard(dashboard, std::cout);
    } catch (const std::exception& error) {
        std::cout.flush();
        std::cerr << "korvale: error: " << error.what() << "\n";
        return 1;
    }
}
