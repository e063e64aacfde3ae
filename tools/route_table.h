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

// Loads the route once (the library's own lines go where library_lines() says) and keeps every
// column. Lines of the file that were skipped draw a warning with their count and first line
// numbers, or with strict an error. The predictive model plans with the simulation's planner.
// Throws std::runtime_error with a message when the file cannot be read, yields no rows, has no
// plan (the predictive model), or (strict) has skipped lines.
RouteTable load_route_table(const std::string& path, const korvale::CoastModel& model, bool strict);

// Builds only the profile; checks and throws like load_route_table.
std::unique_ptr<korvale::RouteProfile> load_route(const std::string& path,
                                                  const korvale::CoastModel& model, bool strict);

// Why the drive slows down at a row: "stop", "curve" or "limit" where the allowed speed has a
// local minimum, else "coast" (the recommended speed has one: a coasting vehicle could not slow
// down enough for what lies ahead), or "plan" for the predictive model (its plan slows there).
const char* slow_reason(const RouteTable& table, std::int32_t row);

} // namespace korvale_tool
