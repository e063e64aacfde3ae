// The route layer: listing the roads of a map of Town01's size and writing a 20 km route from
// one at 1 m steps, beside pugixml's bare parse of the same file. The generated map chains 98
// roads of 204 m (straights, spirals into and out of arcs of 200 to 600 m, a hill every road),
// each with seven lanes, road marks and user data as Town01 has them; Town01 itself is listed
// and parsed too.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

#include <benchmark/benchmark.h>
#include <pugixml.hpp>
#include <unistd.h>

#include "routes/opendrive/opendrive_map.h"
#include "routes/opendrive/opendrive_route.h"
#include "routes/opendrive/plan_geometry.h"

namespace {

using namespace korvale::routes;

constexpr int ROADS = 98;
constexpr double ROAD_LENGTH = 20000.0 / ROADS;

std::string scratch_path(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/korvale_bench_" +
           std::to_string(getpid()) + "_" + name;
}

std::string lanes_xml() {
    std::string lanes = "<lanes><laneOffset s=\"0\" a=\"0\" b=\"0\" c=\"0\" d=\"0\"/>"
                        "<laneSection s=\"0\">";
    const auto lane = [](int id, const char* type, double width) {
        char text[1024];
        std::snprintf(text, sizeof text,
                      "\n<lane id=\"%d\" type=\"%s\" level=\"false\"><link><predecessor "
                      "id=\"%d\"/><successor id=\"%d\"/></link><width sOffset=\"0\" a=\"%.16e\" "
                      "b=\"0\" c=\"0\" d=\"0\"/><roadMark sOffset=\"0\" type=\"solid\" "
                      "material=\"standard\" color=\"white\" width=\"1.25e-1\" "
                      "laneChange=\"none\"/><userData><vectorLane travelDir=\"%s\"/></userData>"
                      "</lane>",
                      id, type, id, id, width, id < 0 ? "forward" : "backward");
        return std::string(text);
    };
    lanes += "<left>" + lane(3, "sidewalk", 4.0) + lane(2, "shoulder", 0.3) +
             lane(1, "driving", 3.5) + "</left><center><lane id=\"0\" type=\"none\"/></center>";
    lanes += "<right>" + lane(-1, "driving", 3.5) + lane(-2, "shoulder", 0.3) +
             lane(-3, "sidewalk", 4.0) + "</right></laneSection></lanes>";
    return lanes;
}

std::string generate_map() {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<OpenDRIVE>\n<header "
                      "revMajor=\"1\" revMinor=\"4\" name=\"korvale bench\"/>\n";
    double x = 0, y = 0, heading = 0;
    char text[512];
    for (int r = 0; r < ROADS; ++r) {
        const double k = (r % 2 == 0 ? 1.0 : -1.0) / (200.0 + 400.0 * (r % 5) / 4);
        const double pieces[5][3] = {{60, 0, 0},
                                     {30, 0, k},
                                     {54.0816326530612, k, k},
                                     {30, k, 0},
                                     {ROAD_LENGTH - 174.0816326530612, 0, 0}};
        std::snprintf(text, sizeof text,
                      "<road name=\"Road %d\" length=\"%.16e\" id=\"%d\" junction=\"-1\"><link>"
                      "<predecessor elementType=\"road\" elementId=\"%d\" contactPoint=\"end\"/>"
                      "<successor elementType=\"road\" elementId=\"%d\" contactPoint=\"start\"/>"
                      "</link><type s=\"0\" type=\"town\"><speed max=\"%d\" unit=\"mph\"/></type>"
                      "<planView>",
                      r, ROAD_LENGTH, r, r - 1, r + 1, 25 + 5 * (r % 3));
        xml += text;
        double s = 0;
        for (const auto& piece : pieces) {
            const RecordStart start{s, x, y, heading, piece[0]};
            const char* shape = "<line/>";
            char curve[128];
            PlanGeometry g = PlanGeometry::line(start);
            if (piece[1] != piece[2]) {
                g = PlanGeometry::spiral(start, piece[1], piece[2]);
                std::snprintf(curve, sizeof curve,
                              "<spiral curvStart=\"%.16e\" curvEnd=\"%.16e\"/>", piece[1],
                              piece[2]);
                shape = curve;
            } else if (piece[1] != 0) {
                g = PlanGeometry::arc(start, piece[1]);
                std::snprintf(curve, sizeof curve, "<arc curvature=\"%.16e\"/>", piece[1]);
                shape = curve;
            }
            std::snprintf(text, sizeof text,
                          "\n<geometry s=\"%.16e\" x=\"%.16e\" y=\"%.16e\" hdg=\"%.16e\" "
                          "length=\"%.16e\">%s</geometry>",
                          s, x, y, heading, piece[0], shape);
            xml += text;
            const PlanPose end = g.at(piece[0]);
            x = end.x;
            y = end.y;
            heading = end.heading;
            s += piece[0];
        }
        // a hill 4 m high, back down by the road's end, and the road banked in its curve
        std::snprintf(text, sizeof text,
                      "</planView><elevationProfile><elevation s=\"0\" a=\"100\" b=\"0\" "
                      "c=\"%.16e\" d=\"%.16e\"/></elevationProfile><lateralProfile>"
                      "<superelevation s=\"0\" a=\"0\" b=\"0\" c=\"0\" d=\"0\"/><superelevation "
                      "s=\"60\" a=\"%.16e\" b=\"0\" c=\"0\" d=\"0\"/><superelevation s=\"174\" "
                      "a=\"0\" b=\"0\" c=\"0\" d=\"0\"/></lateralProfile>",
                      27 / (ROAD_LENGTH * ROAD_LENGTH),
                      -27 / (ROAD_LENGTH * ROAD_LENGTH * ROAD_LENGTH), k > 0 ? -0.03 : 0.03);
        xml += text;
        xml += lanes_xml() + "</road>\n";
    }
    return xml + "</OpenDRIVE>\n";
}

// The generated map, written on first use and removed at exit.
class GeneratedMap {
public:
    GeneratedMap() : path_(scratch_path("map.xodr")) {
        std::ofstream out(path_, std::ios::binary);
        out << generate_map();
        if (!out) {
            throw std::runtime_error("cannot write " + path_);
        }
    }
    ~GeneratedMap() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

const std::string& map_path(bool town) {
    static const GeneratedMap generated;
    static const std::string town01 = KORVALE_BENCH_TOWN01;
    return town ? town01 : generated.path();
}

void BM_opendrive_bare_parse(benchmark::State& state) {
    const std::string& path = map_path(state.range(0) != 0);
    for (auto _ : state) {
        pugi::xml_document document;
        benchmark::DoNotOptimize(document.load_file(path.c_str()));
    }
}

void BM_opendrive_list_roads(benchmark::State& state) {
    const std::string& path = map_path(state.range(0) != 0);
    for (auto _ : state) {
        const OpenDriveMap map = OpenDriveMap::read(path);
        benchmark::DoNotOptimize(map.summaries());
    }
}

// Every road of the generated map, on the centre of lane -1: 20 km.
OpenDriveRouteOptions whole_map() {
    OpenDriveRouteOptions options;
    for (int r = 0; r < ROADS; ++r) {
        options.roads.push_back(std::to_string(r));
    }
    options.lane = -1;
    return options;
}

// The rows alone, without the map's reading and the file's writing.
void BM_opendrive_rows(benchmark::State& state) {
    const OpenDriveMap map = OpenDriveMap::read(map_path(false));
    const OpenDriveRoute route(map, whole_map());
    std::int64_t rows = 0;
    for (auto _ : state) {
        rows = 0;
        route.sample([&](const RouteRow& row) {
            benchmark::DoNotOptimize(row);
            ++rows;
        });
    }
    state.SetItemsProcessed(state.iterations() * rows);
}

// Map file to route file, as korvale route opendrive does it.
void BM_opendrive_write_route(benchmark::State& state) {
    const std::string& path = map_path(false);
    const std::string route = scratch_path("route.txt");
    const OpenDriveRouteOptions options = whole_map();
    std::size_t rows = 0;
    for (auto _ : state) {
        rows = write_opendrive_route(OpenDriveMap::read(path), options, route).rows;
    }
    std::remove(route.c_str());
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows));
}

// Argument 0: the generated map; 1: Town01.
BENCHMARK(BM_opendrive_bare_parse)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_opendrive_list_roads)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_opendrive_rows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_opendrive_write_route)->Unit(benchmark::kMillisecond);

} // namespace
