// A recorded drive for korvale drive: one sample per line, comma-separated.
#pragma once

#include <string>
#include <vector>

namespace korvale_tool {

struct TraceSample {
    double t, x, y, z; // s; m in the route's frame
};

// Reads a trace. A first line that does not start with a number is a header naming the
// columns: t, x, y and z in any order (names compared without case and surrounding blanks),
// among other columns, which are ignored. Without a header every line is t,x,y,z. Blank lines
// are skipped; times must be finite and increase. Throws std::runtime_error naming the file and
// the line for anything else.
std::vector<TraceSample> read_trace(const std::string& path);

} // namespace korvale_tool
