// Routes along lanes: the lane graph of a generated grid of junctions (GRID x GRID junctions
// 100 m apart, two lanes each way on every road, three connecting roads per approach: straight
// on in both lanes, right from the second lane, left from the first; 5 320 roads in all), and
// the shortest way across it from one corner to the other, without the XML parse (measured on
// its own) and without writing rows.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include "routes/opendrive/lane_route.h"
#include "routes/opendrive/opendrive_map.h"

namespace {

using namespace korvale::routes;

constexpr int GRID = 20;
constexpr double SPACING = 100.0; // m between junction centres
constexpr double HALF = 10.0;     // m from a junction's centre to where its roads begin
constexpr double WIDTH = 3.5;
constexpr double PI = 3.14159265358979323846;

// Directions of travel: east, north, west, south.
constexpr int DX[4] = {1, 0, -1, 0};
constexpr int DY[4] = {0, 1, 0, -1};

std::string lanes(int count_right, int count_left, const std::string& links_right = "") {
    std::string xml = "<lanes><laneSection s=\"0\">";
    char text[256];
    if (count_left > 0) {
        xml += "<left>";
        for (int id = 1; id <= count_left; ++id) {
            std::snprintf(text, sizeof text,
                          "<lane id=\"%d\" type=\"driving\"><width sOffset=\"0\" a=\"%g\"/></lane>",
                          id, WIDTH);
            xml += text;
        }
        xml += "</left>";
    }
    xml += "<center><lane id=\"0\" type=\"none\"/></center><right>" + links_right;
    if (links_right.empty()) {
        for (int id = 1; id <= count_right; ++id) {
            std::snprintf(text, sizeof text,
                          "<lane id=\"%d\" type=\"driving\"><width sOffset=\"0\" a=\"%g\"/></lane>",
                          -id, WIDTH);
            xml += text;
        }
    }
    return xml + "</right></laneSection></lanes>";
}

std::string link_road_id(int i, int j, int direction) {
    // the road that leaves junction (i, j) in this direction
    switch (direction) {
    case 0:
        return "h" + std::to_string(i) + "_" + std::to_string(j);
    case 1:
        return "v" + std::to_string(i) + "_" + std::to_string(j);
    case 2:
        return "h" + std::to_string(i - 1) + "_" + std::to_string(j);
    default:
        return "v" + std::to_string(i) + "_" + std::to_string(j - 1);
    }
}

bool leaves(int i, int j, int direction) {
    const int ni = i + DX[direction], nj = j + DY[direction];
    return ni >= 0 && nj >= 0 && ni < GRID && nj < GRID;
}

std::string grid_map(int* road_count) {
    std::string xml =
        "<?xml version=\"1.0\"?>\n<OpenDRIVE><header revMajor=\"1\" revMinor=\"6\"/>\n";
    std::string junctions;
    char text[1024];
    int roads = 0;
    const auto junction_id = [](int i, int j) { return std::to_string(1 + i + GRID * j); };
    for (int j = 0; j < GRID; ++j) {
        for (int i = 0; i < GRID; ++i) {
            for (const int direction : {0, 1}) {
                if (!leaves(i, j, direction)) {
                    continue;
                }
                const double x = i * SPACING + HALF * DX[direction];
                const double y = j * SPACING + HALF * DY[direction];
                std::snprintf(
                    text, sizeof text,
                    "<road id=\"%s\" length=\"%g\" junction=\"-1\"><link><predecessor "
                    "elementType=\"junction\" elementId=\"%s\"/><successor "
                    "elementType=\"junction\" "
                    "elementId=\"%s\"/></link><type s=\"0\" type=\"town\"><speed max=\"50\" "
                    "unit=\"km/h\"/></type><planView><geometry s=\"0\" x=\"%g\" y=\"%g\" "
                    "hdg=\"%.17g\" length=\"%g\"><line/></geometry></planView>",
                    link_road_id(i, j, direction).c_str(), SPACING - 2 * HALF,
                    junction_id(i, j).c_str(),
                    junction_id(i + DX[direction], j + DY[direction]).c_str(), x, y,
                    direction * PI / 2, SPACING - 2 * HALF);
                xml += text + lanes(2, 2) + "</road>\n";
                ++roads;
            }
        }
    }
    for (int j = 0; j < GRID; ++j) {
        for (int i = 0; i < GRID; ++i) {
            junctions += "<junction id=\"" + junction_id(i, j) + "\">";
            int connection = 0;
            for (int in = 0; in < 4; ++in) { // the direction of travel into the junction
                const int from_i = i - DX[in], from_j = j - DY[in];
                if (!leaves(from_i, from_j, in)) {
                    continue;
                }
                const std::string incoming = link_road_id(from_i, from_j, in);
                const int arriving = in < 2 ? -1 : 1; // first lane's id; the second is twice it
                for (const int turn : {0, 3, 1}) {    // straight on, right, left
                    const int out = (in + turn) % 4;
                    if (!leaves(i, j, out)) {
                        continue;
                    }
                    const std::string outgoing = link_road_id(i, j, out);
                    const int leaving = out < 2 ? -1 : 1;
                    const char* contact = out < 2 ? "start" : "end";
                    // The connecting road starts where the incoming one ends, beside its second
                    // lane for the right turn.
                    const double right_x = DY[in], right_y = -DX[in];
                    const double shift = turn == 3 ? WIDTH : 0.0;
                    const double x = i * SPACING - HALF * DX[in] + shift * right_x;
                    const double y = j * SPACING - HALF * DY[in] + shift * right_y;
                    const std::string id =
                        "c" + junction_id(i, j) + "_" + std::to_string(in) + std::to_string(out);
                    const double radius = turn == 3 ? HALF - WIDTH : HALF;
                    const double length = turn == 0 ? 2 * HALF : radius * PI / 2;
                    char shape[128] = "<line/>";
                    if (turn != 0) {
                        std::snprintf(shape, sizeof shape, "<arc curvature=\"%.17g\"/>",
                                      (turn == 1 ? 1 : -1) / radius);
                    }
                    const int first_in = turn == 3 ? 2 * arriving : arriving;
                    const int first_out = turn == 3 ? 2 * leaving : leaving;
                    std::string lane_xml;
                    for (int k = 1; k <= (turn == 0 ? 2 : 1); ++k) {
                        std::snprintf(text, sizeof text,
                                      "<lane id=\"%d\" type=\"driving\"><link><predecessor "
                                      "id=\"%d\"/><successor id=\"%d\"/></link><width "
                                      "sOffset=\"0\" a=\"%g\"/></lane>",
                                      -k, first_in * k, first_out * k, WIDTH);
                        lane_xml += text;
                    }
                    std::snprintf(
                        text, sizeof text,
                        "<road id=\"%s\" length=\"%.17g\" junction=\"%s\"><link><predecessor "
                        "elementType=\"road\" elementId=\"%s\" contactPoint=\"%s\"/><successor "
                        "elementType=\"road\" elementId=\"%s\" contactPoint=\"%s\"/></link>"
                        "<planView><geometry s=\"0\" x=\"%.17g\" y=\"%.17g\" hdg=\"%.17g\" "
                        "length=\"%.17g\">%s</geometry></planView>",
                        id.c_str(), length, junction_id(i, j).c_str(), incoming.c_str(),
                        in < 2 ? "end" : "start", outgoing.c_str(), contact, x, y, in * PI / 2,
                        length, shape);
                    xml += text + lanes(0, 0, lane_xml) + "</road>\n";
                    ++roads;
                    junctions += "<connection id=\"" + std::to_string(connection++) +
                                 "\" incomingRoad=\"" + incoming + "\" connectingRoad=\"" + id +
                                 "\" contactPoint=\"start\">";
                    for (int k = 1; k <= (turn == 0 ? 2 : 1); ++k) {
                        junctions += "<laneLink from=\"" + std::to_string(first_in * k) +
                                     "\" to=\"" + std::to_string(-k) + "\"/>";
                    }
                    junctions += "</connection>";
                }
            }
            junctions += "</junction>\n";
        }
    }
    *road_count = roads;
    return xml + junctions + "</OpenDRIVE>\n";
}

const std::string& grid_xml() {
    static int roads = 0;
    static const std::string xml = grid_map(&roads);
    return xml;
}

LaneRouteOptions across() {
    LaneRouteOptions options;
    options.from = "h0_0:-1";
    options.to = "h" + std::to_string(GRID - 2) + "_" + std::to_string(GRID - 1) + ":-1";
    return options;
}

void BM_opendrive_lane_grid_parse(benchmark::State& state) {
    const std::string& xml = grid_xml();
    for (auto _ : state) {
        benchmark::DoNotOptimize(OpenDriveMap::parse(xml.data(), xml.size(), "grid.xodr"));
    }
}

void BM_opendrive_lane_graph(benchmark::State& state) {
    const std::string& xml = grid_xml();
    const OpenDriveMap map = OpenDriveMap::parse(xml.data(), xml.size(), "grid.xodr");
    std::size_t nodes = 0;
    for (auto _ : state) {
        const LaneGraph graph(map);
        nodes = graph.nodes().size();
    }
    state.counters["roads"] = static_cast<double>(map.road_count());
    state.counters["lanes"] = static_cast<double>(nodes);
}

// The graph and the route across it, as korvale route opendrive --from --to makes them before
// it writes a row.
void BM_opendrive_lane_graph_and_route(benchmark::State& state) {
    const std::string& xml = grid_xml();
    const OpenDriveMap map = OpenDriveMap::parse(xml.data(), xml.size(), "grid.xodr");
    std::size_t pieces = 0;
    for (auto _ : state) {
        const LaneGraph graph(map);
        const LaneRoute route(graph, across());
        pieces = route.path().nodes.size();
    }
    state.counters["roads"] = static_cast<double>(map.road_count());
    state.counters["path_lanes"] = static_cast<double>(pieces);
}

BENCHMARK(BM_opendrive_lane_grid_parse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_opendrive_lane_graph)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_opendrive_lane_graph_and_route)->Unit(benchmark::kMillisecond);

} // namespace
