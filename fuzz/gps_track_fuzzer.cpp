// Any bytes as a GPS track (GPX when they start with '<', else CSV) and as a list of limits:
// the track read, then, when it has a few fixes, built into a route with the step and options
// taken from the input's first byte. What the reader or the builder refuses must be a
// RouteError, and nothing may crash, leak or run away. The fuzzer caps tracks and routes below
// what the tool takes, so that each input finishes quickly.
#include <cstddef>
#include <cstdint>
#include <string>

#include "routes/gps/gps_route.h"
#include "routes/gps/gps_track.h"
#include "routes/route_error.h"

namespace {

using namespace korvale::routes;

constexpr std::size_t MAX_FUZZ_FIXES = 400;
constexpr double MAX_FUZZ_ROWS = 5000;
constexpr double STEPS[4] = {0.5, 1.0, 2.0, 0.0};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::uint8_t pick = data[0];
    const char* text = reinterpret_cast<const char*>(data) + 1;
    try {
        parse_limits(text, size - 1, "fuzz.csv");
    } catch (const RouteError&) {
    }
    try {
        const GpsTrack track = parse_gps_track(text, size - 1, "fuzz");
        if (track.fixes.size() > MAX_FUZZ_FIXES) {
            return 0;
        }
        GpsRouteOptions options;
        options.step = STEPS[pick & 3];
        options.flat = (pick & 4) != 0;
        options.default_limit_kmh = (pick & 8) != 0 ? 50.0 : 0.0;
        if ((pick & 16) != 0) {
            options.limits = {{0.0, 30.0}, {100.0, 60.0}};
        }
        if ((pick & 32) != 0) {
            options.origin = GeoPoint{45.0, 7.0, 100.0};
        }
        options.max_rows = MAX_FUZZ_ROWS;
        const GpsRoute route = build_gps_route(track, options);
        std::string rows;
        for (const RouteRow& row : route.rows) {
            append_row(row, rows);
        }
    } catch (const RouteError&) {
    }
    return 0;
}
