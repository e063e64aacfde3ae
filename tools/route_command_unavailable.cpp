// korvale route where the route layer is not built (no pugixml): one line saying so.
#include <iostream>

#include "command_line.h"

namespace korvale_tool {

void add_route_command(CLI::App& app, CommandRun& run) {
    CLI::App* route = app.add_subcommand("route", "make a route file from a road map (not built)");
    route->allow_extras();
    route->prefix_command();
    route->callback([&run] {
        run = [](std::ostream&) {
            std::cerr << "korvale: route: not available, this korvale was built without the "
                         "route layer (it needs pugixml and GeographicLib)\n";
            return 1;
        };
    });
}

} // namespace korvale_tool
