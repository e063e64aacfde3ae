// The drive that korvale drive replays, read from a file of one of these forms:
// - CSV with a header line naming the columns t, x, y and z in any order (route coordinates,
//   metres; "time" may stand for t), other columns ignored;
// - CSV without a header: t,x,y,z on every line;
// - a GPS recording, as korvale route gps reads it: CSV with a header naming lat and lon,
//   optionally ele and time (ISO 8601 or seconds), or GPX 1.0 or 1.1; its fixes are put into
//   the local frame of the route's "# origin" line (a route made by korvale route gps), and its
//   times counted from the first fix. This form needs the route layer.
// CSV fields are separated by ',', ';' or tabs (what the first line holds, in that order); a
// byte-order mark, blank lines and '#' comment lines are passed over. Times must increase from
// sample to sample.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvale_tool {

struct TraceSample {
    double t, x, y, z; // s, m; z is NaN where a GPS trace has no heights
};

// Throws std::runtime_error with a message naming the file and the line.
std::vector<TraceSample> read_trace(const std::string& trace_path, const std::string& route_path);

// The GPS form from the trace file's text (trace_geo.cpp, or trace_geo_unavailable.cpp without
// the route layer).
std::vector<TraceSample> read_geo_trace(const std::string& trace_path, std::string_view trace,
                                        const std::string& route_path);

// Throws for a sample whose time is not above the one before it (number: its line or fix).
void check_time_increases(const std::vector<TraceSample>& samples, const std::string& where);

} // namespace korvale_tool
