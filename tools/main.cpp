// korvale: look at a route's speed profile, query it, replay a drive, and watch a dashboard.
#include <exception>
#include <iostream>

#include <CLI/CLI.hpp>

#include "command_line.h"
#include "option_checks.h"
#include "tool_output.h"

int main(int argc, char** argv) {
    CLI::App app{"korvale: the speed profile of a known road route"};
    app.require_subcommand(1);
    // Options read the same on every system: on Windows too, "/path" is a path, not an option.
    app.allow_windows_style_options(false);
    // (given before or after the command's own options)
    app.fallthrough();
    bool verbose = false;
    app.add_flag("-v,--verbose", verbose,
                 "the library's own lines (loading a route, the dashboard link) on standard error");

    korvale_tool::CommandRun run;
    korvale_tool::add_profile_command(app, run);
    korvale_tool::add_at_command(app, run);
    korvale_tool::add_drive_command(app, run);
    korvale_tool::add_dashboard_command(app, run);
    korvale_tool::add_route_command(app, run);
    korvale_tool::add_simulate_command(app, run);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return korvale_tool::command_line_error(app, error);
    }
    korvale_tool::set_verbose(verbose);

    try {
        return run(std::cout);
    } catch (const std::exception& error) {
        return korvale_tool::report_error(error.what());
    }
}
