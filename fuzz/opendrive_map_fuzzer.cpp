// Any bytes as an OpenDRIVE map: the roads listed, then routes built from it - every one of its
// first roads alone and all of them chained - on the reference line and on a lane, with the
// step, lane and direction taken from the input's first byte, and every row formatted as the
// route file writer writes it; then the map's lane graph and a route along lanes from its first
// lane to its last, and from a position near the first to one near the last. A map may say anything
// (huge lengths, steep spirals, tiny steps): what the builder refuses must be a RouteError, and
// nothing may crash, leak or run away. The fuzzer caps routes at fewer rows than the tool does, so
// that each input finishes quickly.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "routes/opendrive/lane_route.h"
#include "routes/opendrive/opendrive_map.h"
#include "routes/opendrive/opendrive_route.h"
#include "routes/route_error.h"
#include "routes/route_file_writer.h"

namespace {

using namespace korvale::routes;

constexpr double MAX_FUZZ_ROWS = 20000;
constexpr std::size_t ROADS_BUILT = 3;
constexpr double STEPS[8] = {0.01, 0.1, 0.5, 1.0, 3.7, 25.0, 1000.0, 0.0};

// Every row of the route, formatted as the writer formats it.
template <class Route>
void format_rows(const Route& route) {
    std::string text;
    route.sample([&](const RouteRow& row) {
        append_row(row, text);
        if (text.size() > (1 << 16)) {
            text.clear();
        }
    });
}

void build(const OpenDriveMap& map, const OpenDriveRouteOptions& options) {
    try {
        format_rows(OpenDriveRoute(map, options));
    } catch (const RouteError&) {
    }
}

void build_along_lanes(const OpenDriveMap& map, double step, double limit) {
    try {
        const LaneGraph graph(map);
        if (graph.nodes().empty()) {
            return;
        }
        const auto name = [&](std::uint32_t n) {
            return graph.roads()[graph.nodes()[n].road].id + ":" +
                   std::to_string(graph.nodes()[n].lane);
        };
        const auto position = [&](std::uint32_t n) {
            const PlanPose p = reference_pose(graph.roads()[graph.nodes()[n].road], 1.0);
            return number_text(p.x + 1) + "," + number_text(p.y - 2);
        };
        const auto last = static_cast<std::uint32_t>(graph.nodes().size() - 1);
        for (const auto& [from, to] :
             {std::pair{name(0), name(last)}, std::pair{position(0), position(last)}}) {
            try {
                LaneRouteOptions options;
                options.from = from;
                options.to = to;
                options.step = step;
                options.default_limit_kmh = limit;
                options.max_rows = MAX_FUZZ_ROWS;
                format_rows(LaneRoute(graph, options));
            } catch (const RouteError&) {
            }
        }
    } catch (const RouteError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::uint8_t pick = data[0];
    try {
        const OpenDriveMap map =
            OpenDriveMap::parse(reinterpret_cast<const char*>(data) + 1, size - 1, "fuzz.xodr");
        std::vector<std::string> ids;
        for (const RoadSummary& road : map.summaries()) {
            if (ids.size() < ROADS_BUILT) {
                ids.push_back(road.id);
            }
        }
        OpenDriveRouteOptions options;
        options.step = STEPS[pick & 7];
        options.lane = static_cast<int>((pick >> 3) & 3) - 1; // -1 to 2
        options.reverse = (pick & 0x20) != 0;
        options.default_limit_kmh = (pick & 0x40) != 0 ? 50.0 : 0.0;
        options.max_rows = MAX_FUZZ_ROWS;
        for (const std::string& id : ids) {
            options.roads = {id};
            build(map, options);
        }
        options.roads = ids;
        build(map, options);
        build_along_lanes(map, options.step, options.default_limit_kmh);
    } catch (const RouteError&) {
    }
    return 0;
}
