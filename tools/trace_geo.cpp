// GPS traces for korvale drive: fixes put into the local frame of the route's origin.
#include <cmath>
#include <fstream>
#include <optional>
#include <stdexcept>

#include "routes/gps/gps_route.h"
#include "routes/gps/gps_track.h"
#include "routes/gps/local_frame.h"
#include "trace_reader.h"

namespace korvale_tool {

using namespace korvale::routes;

std::vector<TraceSample> read_geo_trace(const std::string& trace_path, std::string_view trace,
                                        const std::string& route_path) {
    // The origin: the first comment line of its kind among the route's leading comments.
    std::ifstream route(route_path);
    if (!route) {
        throw std::runtime_error("cannot open the route '" + route_path + "'");
    }
    std::optional<GeoPoint> origin;
    std::string line;
    while (!origin && std::getline(route, line) && !line.empty() && line[0] == '#') {
        origin = parse_origin_comment(line);
    }
    if (!origin) {
        throw std::runtime_error("the route '" + route_path +
                                 "' has no '# origin LAT LON H' line, which a GPS trace needs "
                                 "(make the route with korvale route gps)");
    }
    const GpsTrack track = parse_gps_track(trace.data(), trace.size(), trace_path);
    if (track.fixes.empty()) {
        throw std::runtime_error("trace '" + trace_path + "' holds no fix");
    }
    if (!track.has_time) {
        throw std::runtime_error("trace '" + trace_path + "': every fix needs a time");
    }
    const LocalFrame frame(*origin);
    std::vector<TraceSample> samples;
    const double start = track.fixes.front().time;
    for (const GpsFix& fix : track.fixes) {
        const bool height = !std::isnan(fix.elevation);
        const LocalPoint p =
            frame.forward({fix.latitude, fix.longitude, height ? fix.elevation : origin->height});
        samples.push_back({fix.time - start, p.x, p.y, height ? p.z : NAN});
        check_time_increases(samples,
                             "trace '" + trace_path + "' fix " + std::to_string(samples.size()));
    }
    return samples;
}

} // namespace korvale_tool
