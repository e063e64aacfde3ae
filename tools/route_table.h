// Every column of a route, the kept ones and the ones construction works with and drops,
// computed by the same core functions that construction uses.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "profile/route_profile.h"

namespace korvale_tool {

struct RouteTable {
    std::unique_ptr<korvale::RouteProfile> profile;
    std::int32_t rows = 0;
    std::vector<double> grade, radius, superelevation, comfort, allowed;
};

// Loads the route (the library's own lines go to standard output) and fills the table; throws
// std::runtime_error with a message when the file yields no rows.
RouteTable load_route_table(const std::string& path, const korvale::VehicleParameters& vehicle);

// Builds only the profile; throws like load_route_table.
std::unique_ptr<korvale::RouteProfile> load_route(const std::string& path,
                                                  const korvale::VehicleParameters& vehicle);

// Why the recommended speed is low at a row: "stop", "curve" or "limit".
const char* slow_reason(const RouteTable& table, std::int32_t row);

} // namespace korvale_tool
