// GPS traces where the route layer is not built: a message saying so.
#include <stdexcept>

#include "trace_reader.h"

namespace korvale_tool {

std::vector<TraceSample> read_geo_trace(const std::string& trace_path, std::string_view,
                                        const std::string&) {
    throw std::runtime_error("trace '" + trace_path +
                             "' is a GPS recording, which needs the route layer; this korvale "
                             "was built without it");
}

} // namespace korvale_tool
