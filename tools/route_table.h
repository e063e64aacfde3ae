// A route as the tool shows it: the profile, and beside it the columns that construction works
// with and a profile drops, from the same construction pass.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "profile/profile_columns.h"
#include "profile/route_profile.h"

namespace korvale_tool {

struct RouteTable {
    std::unique_ptr<korvale::RouteProfile> profile;
    korvale::ConstructionDetails details; // grade, radius, comfort, allowed speed, local minima
    std::int32_t rows = 0;
};

// Loads the route once (the library's own lines go to standard output) and keeps every column;
// throws std::runtime_error with a message when the file yields no rows.
RouteTable load_route_table(const std::string& path, const korvale::CoastModel& model);

// Builds only the profile; throws like load_route_table.
std::unique_ptr<korvale::RouteProfile> load_route(const std::string& path,
                                                  const korvale::CoastModel& model);

// Why the recommended speed is low at a row: "stop", "curve" or "limit".
const char* slow_reason(const RouteTable& table, std::int32_t row);

} // namespace korvale_tool
