// The command line of the korvale tool: each command adds its own subcommand and options to the
// application and, once parsed, leaves the function that runs it.
#pragma once

#include <functional>
#include <ostream>

#include <CLI/CLI.hpp>

namespace korvale_tool {

// Runs the command that was parsed; returns the process's exit status.
using CommandRun = std::function<int(std::ostream& out)>;

// --strict: skipped lines of the route file are an error.
void add_strict_option(CLI::App* command, bool* strict);

void add_profile_command(CLI::App& app, CommandRun& run);
void add_at_command(CLI::App& app, CommandRun& run);
void add_drive_command(CLI::App& app, CommandRun& run);
void add_dashboard_command(CLI::App& app, CommandRun& run);
void add_simulate_command(CLI::App& app, CommandRun& run);
// Built with the route layer, or as a command that says the layer is missing.
void add_route_command(CLI::App& app, CommandRun& run);

} // namespace korvale_tool
