// korvale simulate: drives along a route by the limit-following baseline, the advice follower,
// the recommended-speed cruise controller and the energy-optimal drive, and what each costs.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "command_line.h"
#include "option_checks.h"
#include "route_table.h"
#include "sim/profile_planner.h"
#include "sim/simulation.h"
#include "tool_output.h"
#include "vehicle_options.h"

namespace korvale_tool {

namespace {

using korvale::dynamics::DriveVehicle;
using korvale::dynamics::PowertrainKind;
using korvale::sim::DriverRun;
using korvale::sim::Figures;
using korvale::sim::Simulation;

constexpr double J_PER_WH = 3600.0;
// The time steps the drives take, s, and the longest stand at a stop.
constexpr double MIN_DT = 0.001;
constexpr double MAX_DT = 1.0;
constexpr double MAX_STAND_TIME = 3600.0;
constexpr double DEGREES_PER_RADIAN = 57.29577951308232;

struct SimulateArgs {
    std::string route;
    std::string drivers = "limit,advice,recommended,optimal";
    double dt = 0.1;
    double horizon = 1000.0;
    double stand_time = 0.0;
    std::string trace;
    std::string sumo;
    bool json = false;
    bool strict = false;
};

// The chosen vehicle's drive (choose() has checked its fields); throws naming what else makes
// no sense.
DriveVehicle chosen_vehicle(const VehicleChoice& choice) {
    DriveVehicle v = korvale::sim::drive_vehicle_of(choice.vehicle);
    const std::string problem = korvale::dynamics::drive_vehicle_problem(v);
    if (!problem.empty()) {
        throw std::runtime_error("vehicle refused: " + problem);
    }
    return v;
}

std::string number(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

struct Row {
    const DriverRun* run;
    double energy_per_km; // Wh/km
    double saving;        // % of the baseline's energy
    double extra_time;    // % of the baseline's trip time
};

double per_km(double joules, const Figures& f) {
    return f.distance > 0.0 ? joules / J_PER_WH / (f.distance / 1000.0) : 0.0;
}

std::vector<Row> rows_of(const Simulation& sim) {
    const Figures& base = sim.runs.front().drive.figures;
    std::vector<Row> rows;
    for (const DriverRun& run : sim.runs) {
        const Figures& f = run.drive.figures;
        rows.push_back({&run, per_km(f.source_energy, f),
                        100.0 * (base.source_energy - f.source_energy) / base.source_energy,
                        100.0 * (f.trip_time - base.trip_time) / base.trip_time});
    }
    return rows;
}

// The advice follower's energy less the optimum's at its trip time, in points of the baseline's.
std::optional<double> advice_gap(const Simulation& sim) {
    const DriverRun* advice = sim.find("advice");
    const DriverRun* optimal = sim.find("optimal@advice");
    if (advice == nullptr || optimal == nullptr) {
        return std::nullopt;
    }
    return 100.0 * (advice->drive.figures.source_energy - optimal->drive.figures.source_energy) /
           sim.runs.front().drive.figures.source_energy;
}

void print_table(const Simulation& sim, const DriveVehicle& vehicle, std::ostream& out) {
    const bool ice = vehicle.powertrain.kind == PowertrainKind::ice;
    std::vector<std::vector<std::string>> table{
        {"driver", "time_s", "extra_time_%", "mean_km/h", "wheel_Wh/km", "brake_Wh/km",
         ice ? "fuel_Wh/km" : "battery_Wh/km", ice ? "fuel_l/100km" : "-", "saving_%",
         "max_decel_m/s2", "rms_jerk_m/s3", "brakes", "lateral_m/s2", "above_max_s", "overrides"}};
    if (!ice) {
        for (auto& row : table) {
            row.erase(row.begin() + 7);
        }
    }
    for (const Row& row : rows_of(sim)) {
        const Figures& f = row.run->drive.figures;
        std::vector<std::string> line{row.run->name,
                                      number(f.trip_time, 1),
                                      number(row.extra_time, 1),
                                      number(f.mean_speed() * 3.6, 1),
                                      number(per_km(f.wheel_work, f), 1),
                                      number(per_km(f.brake_work, f), 1),
                                      number(row.energy_per_km, 1)};
        if (ice) {
            line.push_back(number(vehicle.powertrain.ice.fuel_volume(f.source_energy) /
                                      (f.distance / 1000.0) * 100.0,
                                  2));
        }
        const bool counted = row.run->name == "advice" || row.run->name == "recommended";
        for (std::string cell :
             {number(row.saving, 1), number(f.max_deceleration, 2), number(f.rms_jerk, 3),
              std::to_string(f.brake_applications), number(f.max_lateral_acceleration, 2),
              number(f.time_above_max_speed, 1),
              counted ? std::to_string(f.overrides) : std::string("-")}) {
            line.push_back(cell);
        }
        table.push_back(line);
    }
    print_columns(table, Alignment::numbers, out);
    if (const auto gap = advice_gap(sim)) {
        out << "advice to optimal at its trip time: " << number(*gap, 1)
            << " points of the limit driver's energy\n";
    }
}

std::string json_number(double value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void print_json(const SimulateArgs& args, const VehicleChoice& choice, const Simulation& sim,
                const DriveVehicle& vehicle, std::ostream& out) {
    out << "{\"route\": " << json_string(args.route)
        << ", \"powertrain\": " << json_string(choice.powertrain_name())
        << ", \"model\": " << json_string(choice.model_name()) << ", \"drivers\": [";
    bool first = true;
    for (const Row& row : rows_of(sim)) {
        const Figures& f = row.run->drive.figures;
        out << (first ? "" : ", ") << "{\"driver\": " << json_string(row.run->name)
            << ", \"trip_time_s\": " << json_number(f.trip_time)
            << ", \"distance_m\": " << json_number(f.distance)
            << ", \"mean_speed_kmh\": " << json_number(f.mean_speed() * 3.6)
            << ", \"wheel_work_Wh_per_km\": " << json_number(per_km(f.wheel_work, f))
            << ", \"brake_work_Wh_per_km\": " << json_number(per_km(f.brake_work, f))
            << ", \"energy_Wh_per_km\": " << json_number(row.energy_per_km);
        if (vehicle.powertrain.kind == PowertrainKind::ice) {
            out << ", \"fuel_g_per_km\": "
                << json_number(vehicle.powertrain.ice.fuel_mass(f.source_energy) * 1000.0 /
                               (f.distance / 1000.0));
        }
        out << ", \"saving_percent\": " << json_number(row.saving)
            << ", \"extra_time_percent\": " << json_number(row.extra_time)
            << ", \"max_deceleration\": " << json_number(f.max_deceleration)
            << ", \"rms_jerk\": " << json_number(f.rms_jerk)
            << ", \"brake_applications\": " << f.brake_applications
            << ", \"max_lateral_acceleration\": " << json_number(f.max_lateral_acceleration)
            << ", \"time_above_max_speed_s\": " << json_number(f.time_above_max_speed)
            << ", \"overrides\": " << f.overrides
            << ", \"override_time_s\": " << json_number(f.override_time);
        if (row.run->asked_time > 0.0) {
            out << ", \"asked_time_s\": " << json_number(row.run->asked_time)
                << ", \"planned_time_s\": " << json_number(row.run->planned_time);
        }
        out << ", \"error\": "
            << (row.run->drive.error.empty() ? "null" : json_string(row.run->drive.error)) << "}";
        first = false;
    }
    out << "]";
    if (const auto gap = advice_gap(sim)) {
        out << ", \"advice_gap_points\": " << json_number(*gap);
    }
    out << "}\n";
}

std::string trace_text(const SimulateArgs& args, const VehicleChoice& choice,
                       const DriveVehicle& vehicle, const DriverRun& run) {
    const bool ice = vehicle.powertrain.kind == PowertrainKind::ice;
    std::ostringstream text;
    text << "# korvale simulate: driver " << run.name << ", route " << args.route << "\n"
         << "# " << choice.summary() << "\n"
         << "# powertrain " << choice.powertrain_name() << ", dt " << args.dt << " s, max_power "
         << vehicle.limits.max_power << " W, max_acceleration " << vehicle.limits.max_acceleration
         << " m/s^2, rotating_mass_factor " << vehicle.body.rotating_mass_factor << "\n";
    if (ice) {
        const auto& e = vehicle.powertrain.ice;
        text << "# wheel_efficiency " << e.wheel_efficiency << ", idle_fuel " << e.idle_fuel
             << " l/h, heating_value " << e.heating_value << " J/kg, fuel_density "
             << e.fuel_density << " kg/l\n";
    } else {
        const auto& e = vehicle.powertrain.ev;
        text << "# drive_efficiency " << e.drive_efficiency << ", regen_efficiency "
             << e.regen_efficiency << ", regen_power " << e.max_regen_power << " W, aux_power "
             << e.aux_power << " W\n";
    }
    text << "t,s,v,a,grade,drive_force,brake_force,wheel_power,"
         << (ice ? "fuel_power" : "battery_power") << ",energy\n";
    char line[512];
    for (const auto& r : run.drive.trace) {
        std::snprintf(line, sizeof line, "%.3f,%.4f,%.5f,%.5f,%.5f,%.3f,%.3f,%.3f,%.3f,%.3f\n", r.t,
                      r.s, r.v, r.a, r.grade, r.drive, r.brake, r.wheel_power, r.source_power,
                      r.energy);
        text << line;
    }
    return text.str();
}

// The drive at 1 s steps as SUMO's emissionsDrivingCycle reads it: time;speed;acceleration;slope.
std::string sumo_text(const DriverRun& run) {
    const std::vector<korvale::sim::TraceRow> second = korvale::sim::each_second(run.drive.trace);
    std::string text;
    char line[128];
    for (std::size_t i = 0; i < second.size(); ++i) {
        const double next = i + 1 < second.size() ? second[i + 1].v : 0.0;
        std::snprintf(line, sizeof line, "%.0f;%.5f;%.5f;%.5f\n", second[i].t, second[i].v,
                      next - second[i].v, std::atan(second[i].grade) * DEGREES_PER_RADIAN);
        text += line;
    }
    return text;
}

std::string file_in(const std::string& dir, const std::string& name) {
    return (std::filesystem::path(dir) / name).string();
}

// Every driver's trace and SUMO cycle that the options ask for, written whole or not at all;
// a warning for each drive that did not reach the route's end.
void write_drives(const SimulateArgs& args, const VehicleChoice& choice,
                  const DriveVehicle& vehicle, const Simulation& sim) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const DriverRun& run : sim.runs) {
        if (!run.drive.error.empty()) {
            warn("driver " + run.name + ": " + run.drive.error);
        }
        if (!args.trace.empty()) {
            files.emplace_back(file_in(args.trace, run.name + ".csv"),
                               trace_text(args, choice, vehicle, run));
        }
        if (!args.sumo.empty()) {
            files.emplace_back(file_in(args.sumo, run.name + "_cycle.csv"), sumo_text(run));
        }
    }
    write_all_or_none(files);
}

void require_directories(const SimulateArgs& args) {
    for (const std::string& dir : {args.trace, args.sumo}) {
        std::error_code error;
        if (!dir.empty() && !std::filesystem::is_directory(dir, error)) {
            throw std::runtime_error("no directory '" + dir + "'");
        }
    }
}

int run_simulate(const SimulateArgs& args, const VehicleChoice& choice, std::ostream& out) {
    const std::vector<korvale::sim::DriverKind> kinds = korvale::sim::driver_kinds(args.drivers);
    const DriveVehicle vehicle = chosen_vehicle(choice);
    require_directories(args);
    const RouteTable table = load_route_table(args.route, choice.coast_model(), args.strict);
    const korvale::sim::SimRoad road(*table.profile, table.details);

    korvale::sim::SimulationSettings settings;
    settings.run.dt = args.dt;
    settings.run.stand_time = args.stand_time;
    settings.comfortable_braking = choice.vehicle.drive.comfortable_braking;
    settings.horizon = args.horizon;
    const Simulation sim = korvale::sim::simulate(*table.profile, road, vehicle, settings, kinds);

    write_drives(args, choice, vehicle, sim);
    if (args.json) {
        print_json(args, choice, sim, vehicle, out);
    } else {
        out << "route " << args.route << " (" << number(road.length(), 1) << " m), "
            << choice.powertrain_name() << ", " << choice.summary() << "\n";
        print_table(sim, vehicle, out);
    }
    return 0;
}

} // namespace

void add_simulate_command(CLI::App& app, CommandRun& run) {
    auto args = std::make_shared<SimulateArgs>();
    CLI::App* command = app.add_subcommand(
        "simulate", "drive the route by each driver and say what each drive costs");
    command->add_option("route", args->route, "route file")->required();
    command
        ->add_option("--drivers", args->drivers,
                     "comma-separated: limit, advice, recommended, optimal (limit always runs)")
        ->capture_default_str();
    command->add_option("--dt", args->dt, "time step, s (0.001 to 1)")
        ->capture_default_str()
        ->check(within(MIN_DT, MAX_DT, "s"));
    command->add_option("--horizon", args->horizon, "how far ahead the advice looks, m")
        ->capture_default_str()
        ->check(finite_not_negative());
    command->add_option("--stand-time", args->stand_time, "standing at each stop, s")
        ->capture_default_str()
        ->check(within(0.0, MAX_STAND_TIME, "s"));
    command->add_option("--trace", args->trace, "one CSV per driver into this directory");
    command->add_option("--sumo", args->sumo,
                        "each drive at 1 s steps for SUMO's emissionsDrivingCycle "
                        "(DRIVER_cycle.csv) into this directory");
    command->add_flag("--json", args->json, "the figures as JSON");
    add_strict_option(command, &args->strict);
    auto vehicle = add_vehicle_options(command, true);
    command->callback([args, vehicle, &run] {
        run = [args, vehicle](std::ostream& out) {
            return run_simulate(*args, choose(*vehicle), out);
        };
    });
}

} // namespace korvale_tool
