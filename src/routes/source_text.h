// Reading a route source (a map, a GPS track, a list of limits) into memory.
#pragma once

#include <string>

namespace korvale::routes {

// The whole file; throws RouteError "cannot read the WHAT 'PATH': REASON".
std::string read_source_file(const std::string& path, const char* what);

// km/h in a mile per hour.
constexpr double KMH_PER_MPH = 1.609344;

} // namespace korvale::routes
