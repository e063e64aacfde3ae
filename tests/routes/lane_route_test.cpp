// Routes along lanes against numbers worked out here: the example junction map's lane
// geometry (straight lanes, arcs of known radius), an exhaustive search of its lane graph, the
// quintic lane change in closed form; and Town01's routes loaded and tracked by libkorvale.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "korvale.h"
#include "korvale_routes.h"
#include "routes/opendrive/lane_route.h"
#include "routes/route_error.h"
#include "support/temp_dir.h"
#include "support/vehicles.h"

namespace {

using namespace korvale::routes;

constexpr double PI = 3.14159265358979323846;

struct Built {
    std::vector<RouteRow> rows;
    std::vector<std::string> comments;
    std::vector<std::string> warnings;
};

Built build(const OpenDriveMap& map, const std::string& from, const std::string& to,
            double step = 1.0, double lane_change = 100.0, double limit = 0.0,
            std::vector<std::string> via = {}) {
    const LaneGraph graph(map);
    LaneRouteOptions options;
    options.from = from;
    options.to = to;
    options.via = std::move(via);
    options.step = step;
    options.lane_change = lane_change;
    options.default_limit_kmh = limit;
    const LaneRoute route(graph, options);
    Built built{{}, route.comments(), route.warnings()};
    route.sample([&](const RouteRow& row) { built.rows.push_back(row); });
    return built;
}

OpenDriveMap junction_map() {
    return OpenDriveMap::read(KORVALE_JUNCTION_MAP);
}

double gap(const RouteRow& a, const RouteRow& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                     (a.z - b.z) * (a.z - b.z));
}

double largest_gap(const std::vector<RouteRow>& rows) {
    double most = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        most = std::max(most, gap(rows[i - 1], rows[i]));
    }
    return most;
}

bool mentions(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : lines) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(LaneGraph, TheJunctionMapHasTheLanesAndLinksItDraws) {
    const LaneGraph graph(junction_map());
    const auto node = [&](const char* road, std::uint32_t section, int lane) {
        const std::uint32_t r = graph.road_index(road);
        for (const bool forward : {true, false}) {
            if (const std::uint32_t n = graph.find(r, section, lane, forward); n != NO_NODE) {
                return n;
            }
        }
        return NO_NODE;
    };
    const auto edge = [&](std::uint32_t from, std::uint32_t to, bool change) {
        for (const LaneEdge* e = graph.edges_begin(from); e != graph.edges_end(from); ++e) {
            if (e->to == to && e->lane_change == change) {
                return true;
            }
        }
        return false;
    };
    // Road 1: five lanes in two sections; road 2: four (not its sidewalk); road 3: two; five
    // connecting roads of one lane each.
    EXPECT_EQ(graph.nodes().size(), 10u + 4 + 2 + 5);
    EXPECT_EQ(node("2", 0, -3), NO_NODE);
    EXPECT_NEAR(graph.nodes()[node("11", 0, -1)].length, (20 - 1.75) * PI / 2, 1e-9);
    EXPECT_NEAR(graph.nodes()[node("14", 0, -1)].length, (20 + 1.75) * PI / 2, 1e-9);
    // Lane -3 narrows to nothing: its centre drifts by half the width, w = 3.5 (1 - 3u^2 + 2u^3).
    double drifting = 0;
    for (int i = 0; i < 100000; ++i) {
        const double u = (i + 0.5) / 100000, half_slope = 3.5 * (-6 * u + 6 * u * u) / 100 / 2;
        drifting += std::sqrt(1 + half_slope * half_slope) * 100 / 100000;
    }
    EXPECT_NEAR(graph.nodes()[node("1", 1, -3)].length, drifting, 1e-6);
    EXPECT_TRUE(graph.nodes()[node("1", 0, 2)].forward == false);
    // The junction's lane links, the lanes' own links on, and lanes beside each other.
    EXPECT_TRUE(edge(node("1", 1, -2), node("10", 0, -1), false));
    EXPECT_TRUE(edge(node("10", 0, -1), node("2", 0, -2), false));
    EXPECT_TRUE(edge(node("1", 1, -1), node("11", 0, -1), false));
    EXPECT_TRUE(edge(node("1", 0, -3), node("1", 1, -3), false));
    EXPECT_EQ(graph.edges_end(node("1", 1, -3)) - graph.edges_begin(node("1", 1, -3)), 1);
    EXPECT_TRUE(edge(node("1", 1, -3), node("1", 1, -2), true));
    EXPECT_FALSE(edge(node("1", 0, -1), node("1", 0, 1), true));
}

TEST(LaneRouter, PathsAreAsShortAsAnExhaustiveSearchOfTheGraphFinds) {
    const OpenDriveMap map = junction_map();
    const LaneGraph graph(map);
    const auto& nodes = graph.nodes();
    // Every simple path by depth-first search, lane changes at LANE_CHANGE_COST.
    const std::function<double(std::uint32_t, std::uint32_t, std::vector<bool>&)> shortest =
        [&](std::uint32_t at, std::uint32_t goal, std::vector<bool>& seen) {
            if (at == goal) {
                return nodes[at].length;
            }
            double best = INFINITY;
            seen[at] = true;
            for (const LaneEdge* e = graph.edges_begin(at); e != graph.edges_end(at); ++e) {
                if (!seen[e->to]) {
                    const double rest = shortest(e->to, goal, seen);
                    // A lane change replaces the lane left by the one taken.
                    best = std::min(best,
                                    rest + (e->lane_change ? LANE_CHANGE_COST : nodes[at].length));
                }
            }
            seen[at] = false;
            return best;
        };
    int compared = 0, refused = 0;
    for (const char* from : {"1:-1", "1:-2", "1:-3", "1:1", "2:-2", "2:1", "3:-1", "3:1"}) {
        for (const char* to : {"1:1", "1:2", "2:-1", "2:-2", "2:2", "3:-1", "3:1"}) {
            const GraphPlace start = resolve_place(graph, parse_lane_place(from, "from"), false);
            const GraphPlace end = resolve_place(graph, parse_lane_place(to, "to"), true);
            std::vector<bool> seen(nodes.size(), false);
            const double expected = start.node == end.node ? nodes[start.node].length
                                                           : shortest(start.node, end.node, seen);
            if (std::isinf(expected)) {
                EXPECT_THROW(find_lane_path(graph, start, end, {}, from, to), RouteError)
                    << from << " to " << to;
                ++refused;
                continue;
            }
            const LanePath path = find_lane_path(graph, start, end, {}, from, to);
            double cost = nodes[path.nodes.back()].length;
            for (std::size_t i = 0; i + 1 < path.nodes.size(); ++i) {
                cost += path.changed[i + 1] ? LANE_CHANGE_COST : nodes[path.nodes[i]].length;
            }
            EXPECT_NEAR(cost, expected, 1e-6) << from << " to " << to;
            ++compared;
        }
    }
    EXPECT_GE(compared, 20);
    EXPECT_GT(refused, 5);
    // Through road 10, which lane -2 of road 1 enters; road 3 cannot come before road 2.
    const Built through = build(map, "1:-1", "2:-1", 1.0, 100.0, 0.0, {"10"});
    EXPECT_TRUE(mentions(through.comments, "path: 1:-1, 1:-2 (lane change), 10:-1, 2:-2, 2:-1"));
    EXPECT_THROW(build(map, "1:-1", "2:-1", 1.0, 100.0, 0.0, {"3", "2"}), RouteError);
}

TEST(LaneRoute, RowsFollowTheLaneCentresThroughTheJunction) {
    const OpenDriveMap map = junction_map();
    // Lane -2 of road 1 into road 10, which starts 3.5 m to the right, and on in lane -2.
    const Built straight = build(map, "1:-2", "2:-2", 0.7);
    // Rows every 0.7 m from the start of each lane section and road, and at its end.
    std::size_t expected = 1;
    for (const double length : {200.0, 100.0, 20.0, 400.0}) {
        expected += static_cast<std::size_t>(std::ceil(length / 0.7));
    }
    ASSERT_EQ(straight.rows.size(), expected);
    for (const RouteRow& row : straight.rows) {
        EXPECT_NEAR(row.y, -5.25, 1e-9);
        EXPECT_EQ(row.radius, 10000.0);
    }
    EXPECT_NEAR(straight.rows.back().x, 720, 1e-9);
    EXPECT_LE(largest_gap(straight.rows), 0.7 + 1e-9);
    EXPECT_TRUE(straight.warnings.empty());
    // Lane -1 into the right turn of radius 20 m, whose lane centre lies 18.25 m from the
    // centre of the turn, and south down road 3.
    const Built turn = build(map, "1:-1@250", "3:-1@50", 2.0);
    int on_arc = 0;
    for (const RouteRow& row : turn.rows) {
        if (row.x > 300 + 1e-9 && row.y > -20 + 1e-9) {
            EXPECT_NEAR(std::hypot(row.x - 300, row.y + 20), 18.25, 1e-6);
            EXPECT_NEAR(row.radius, 18.25, 1e-6);
            ++on_arc;
        }
    }
    EXPECT_GE(on_arc, 14);
    EXPECT_NEAR(turn.rows.front().x, 250, 1e-9);
    EXPECT_NEAR(turn.rows.back().y, -70, 1e-9);
    EXPECT_NEAR(turn.rows.back().x, 320 - 1.75, 1e-9);
    EXPECT_LE(largest_gap(turn.rows), 2.0 + 0.01);
}

TEST(LaneRoute, ALaneChangeFollowsTheQuinticAndEndsWhereTheLaneEnds) {
    const OpenDriveMap map = junction_map();
    // Lane -3 ends at 300 m: from it to road 3 both changes fall on road 1, the second one
    // ending at the junction, the first where the second begins.
    for (const double change : {100.0, 40.0}) {
        const Built built = build(map, "1:-3", "3:-1", 0.5, change);
        int blended = 0;
        for (const RouteRow& row : built.rows) {
            if (row.x > 300) {
                break;
            }
            // The lane left: -5.25 for the second change; -8.75 for the first, and from 200 m
            // on, the centre of lane -3 as it narrows.
            const double v = std::max(0.0, (row.x - 200) / 100);
            const double narrowing[3] = {-3.5 * (1 - 3 * v * v + 2 * v * v * v) / 2,
                                         -3.5 * (-6 * v + 6 * v * v) / 100 / 2,
                                         -3.5 * (-6 + 12 * v) / 10000 / 2};
            for (const double end : {300.0, 300.0 - change}) {
                const double u = (row.x - (end - change)) / change;
                if (u <= 0 || u >= 1) {
                    continue;
                }
                const bool first = end < 300;
                const double from[3] = {first ? -7 + narrowing[0] : -5.25,
                                        first && v > 0 ? narrowing[1] : 0.0,
                                        first && v > 0 ? narrowing[2] : 0.0};
                const double to = first ? -5.25 : -1.75;
                const double q = u * u * u * (10 - 15 * u + 6 * u * u);
                const double dq = 30 * u * u * (1 - u) * (1 - u) / change;
                const double ddq = 60 * u * (1 - u) * (1 - 2 * u) / (change * change);
                const double slope = from[1] * (1 - q) + (to - from[0]) * dq;
                const double bend = from[2] * (1 - q) - 2 * from[1] * dq + (to - from[0]) * ddq;
                const double curvature = std::fabs(bend) / std::pow(1 + slope * slope, 1.5);
                EXPECT_NEAR(row.y, from[0] + (to - from[0]) * q, 1e-9) << row.x;
                EXPECT_NEAR(row.radius, curvature < 1e-4 ? 10000 : 1 / curvature,
                            curvature < 1e-4 ? 0 : 1e-6 / curvature)
                    << row.x;
                ++blended;
            }
        }
        EXPECT_GT(blended, static_cast<int>(3.5 * change));
        EXPECT_LE(largest_gap(built.rows), 0.5 + 0.01);
    }
}

TEST(LaneRoute, LimitsCarryOverRoadsWithoutRecordsAndTheGivenOneOnlyFillsTheStart) {
    const OpenDriveMap map = junction_map();
    const Built turn = build(map, "1:-1", "3:-1");
    for (const RouteRow& row : turn.rows) {
        EXPECT_EQ(row.speed_limit, row.y > -20 ? 80.0 : 50.0) << row.x << " " << row.y;
    }
    EXPECT_TRUE(mentions(turn.comments, "limit carried over: road '11' lane -1 from s = 0 takes "
                                        "80 km/h from road '1'"));
    // Starting on a junction road: the given limit, then the map's, then lane -1's own.
    const Built start = build(map, "10:-1@5", "2:-1", 1.0, 100.0, 60.0);
    for (const RouteRow& row : start.rows) {
        // (the lane change onto lane -1 from 620 m takes the lower limit of the two lanes)
        EXPECT_EQ(row.speed_limit, row.x < 320 ? 60.0 : (row.x < 620 ? 100.0 : 70.0)) << row.x;
    }
    EXPECT_THROW(build(map, "10:-1@5", "2:-1"), RouteError);
}

// One straight road from x0 with lanes -1 and -2, given its own lanes XML.
std::string straight_road(const std::string& id, double x0, double length, const std::string& lanes,
                          const std::string& links = "") {
    char head[512];
    std::snprintf(head, sizeof head,
                  "<road id=\"%s\" length=\"%.17g\" junction=\"-1\"><link>%s</link><type s=\"0\">"
                  "<speed max=\"50\" unit=\"km/h\"/></type><planView><geometry s=\"0\" x=\"%.17g\" "
                  "y=\"0\" hdg=\"0\" length=\"%.17g\"><line/></geometry></planView><lanes>",
                  id.c_str(), length, links.c_str(), x0, length);
    return head + lanes + "</lanes></road>";
}

std::string two_lanes(double s, double width = 3.5, const std::string& extra = "") {
    char text[512];
    std::snprintf(text, sizeof text,
                  "<laneSection s=\"%.17g\"><right><lane id=\"-1\" type=\"driving\">%s<width "
                  "sOffset=\"0\" a=\"%.17g\"/></lane><lane id=\"-2\" type=\"driving\"><width "
                  "sOffset=\"0\" a=\"3.5\"/></lane></right></laneSection>",
                  s, extra.c_str(), width);
    return text;
}

OpenDriveMap parsed(const std::string& roads) {
    const std::string xml = "<OpenDRIVE><header/>" + roads + "</OpenDRIVE>";
    return OpenDriveMap::parse(xml.data(), xml.size(), "test.xodr");
}

TEST(LaneGraph, TrafficRuleLaneDirectionTypeAndWidthDecideWhatIsDriven) {
    const auto lane = [](int id, const char* type, double width, const char* direction = "") {
        return "<lane id=\"" + std::to_string(id) + "\" type=\"" + type + "\"" + direction +
               "><width sOffset=\"0\" a=\"" + std::to_string(width) + "\"/></lane>";
    };
    const std::string left_hand = "<laneSection s=\"0\"><left>" + lane(1, "driving", 3.5) +
                                  "</left><right>" + lane(-1, "driving", 3.5) +
                                  "</right></laneSection>";
    const std::string mixed = "<laneSection s=\"0\"><left>" +
                              lane(1, "driving", 3.5, " direction=\"both\"") + "</left><right>" +
                              lane(-1, "driving", 3.5, " direction=\"reversed\"") +
                              lane(-2, "onRamp", 3) + lane(-3, "driving", 0.4) +
                              lane(-4, "shoulder", 3) + "</right></laneSection>";
    std::string roads = straight_road("l", 0, 50, left_hand) + straight_road("m", 0, 50, mixed) +
                        straight_road("bad", 0, 50, left_hand);
    roads.replace(roads.find("junction=\"-1\""), 0, "rule=\"LHT\" ");
    roads.replace(roads.rfind("<line/>"), 7, "<bezier/>");
    const LaneGraph graph(parsed(roads));
    const auto directions = [&](const char* road, int lane) {
        const std::uint32_t r = graph.road_index(road);
        return std::string(graph.find(r, 0, lane, true) != NO_NODE ? "+" : "") +
               (graph.find(r, 0, lane, false) != NO_NODE ? "-" : "");
    };
    EXPECT_EQ(directions("l", 1), "+");
    EXPECT_EQ(directions("l", -1), "-");
    EXPECT_EQ(directions("m", 1), "+-");
    EXPECT_EQ(directions("m", -1), "-");
    EXPECT_EQ(directions("m", -2), "+");
    EXPECT_EQ(directions("m", -3), "");
    EXPECT_EQ(directions("m", -4), "");
    ASSERT_EQ(graph.warnings().size(), 1u);
    EXPECT_NE(graph.warnings()[0].find("road 'bad': unsupported geometry record 'bezier'"),
              std::string::npos);
    EXPECT_THROW(graph.road_index("bad"), RouteError);
}

TEST(LaneRoute, JoinsAreOnePointBridgedWithAWarningOrRefused) {
    const auto two_roads = [](double width_b) {
        const std::string link =
            "<successor elementType=\"road\" elementId=\"b\" contactPoint=\"start\"/>";
        const std::string lanes_a = "<laneSection s=\"0\"><right><lane id=\"-1\" type=\"driving\">"
                                    "<link><successor id=\"-1\"/></link><width sOffset=\"0\" "
                                    "a=\"3.5\"/></lane></right></laneSection>";
        return parsed(straight_road("a", 0, 50, lanes_a, link) +
                      straight_road("b", 50, 50, two_lanes(0, width_b)));
    };
    const Built met = build(two_roads(3.54), "a:-1", "b:-1");
    EXPECT_TRUE(met.warnings.empty());
    EXPECT_EQ(met.rows.size(), 101u);
    const Built bridged = build(two_roads(3.9), "a:-1", "b:-1");
    ASSERT_EQ(bridged.warnings.size(), 1u);
    EXPECT_NE(bridged.warnings[0].find("roads 'a' (lane -1) and 'b' (lane -1)"), std::string::npos);
    EXPECT_TRUE(mentions(bridged.comments, "warning: roads 'a'"));
    EXPECT_EQ(bridged.rows.size(), 102u);
    EXPECT_LE(largest_gap(bridged.rows), 1.0 + 0.2 + 0.01);
    try {
        build(two_roads(5.0), "a:-1", "b:-1");
        ADD_FAILURE() << "no error";
    } catch (const RouteError& error) {
        EXPECT_STREQ(error.what(), "roads 'a' (lane -1) and 'b' (lane -1) do not meet: their lane "
                                   "centres are 0.75 m apart (more than 0.5 m)");
    }
}

TEST(LaneRoute, TinySectionsAndAnOffsetThatJumpsWhereASectionStartsKeepTheLaneWhole) {
    // At 50 m a section a few hundredths of a micrometre long; at 100 m the lane offset moves
    // the reference line a lane to the right, and lane -2 goes on as lane -1.
    const std::string lanes =
        "<laneOffset s=\"0\" a=\"0\"/><laneOffset s=\"100\" a=\"-3.5\"/>" + two_lanes(0) +
        two_lanes(50) + two_lanes(50.00000002) +
        "<laneSection s=\"100\"><right><lane id=\"-1\" type=\"driving\"><link><predecessor "
        "id=\"-2\"/></link><width sOffset=\"0\" a=\"3.5\"/></lane></right></laneSection>";
    const Built built = build(parsed(straight_road("r", 0, 200, lanes)), "r:-2", "r:-1", 0.5);
    EXPECT_TRUE(built.warnings.empty());
    ASSERT_EQ(built.rows.size(), 401u);
    for (const RouteRow& row : built.rows) {
        EXPECT_NEAR(row.y, -5.25, 1e-9) << row.x;
    }
    // Lane -1 does not run on into the lane -1 that names lane -2 as where it comes from.
    const Built changing = build(parsed(straight_road("r", 0, 200, lanes)), "r:-1@10", "r:-1@150");
    EXPECT_TRUE(mentions(changing.comments, "path: r:-1, r:-2 (lane change), r:-1"));
}

TEST(LaneRoute, ALaneChangeSqueezedIntoLittleRoomKeepsItsRowsAStepApart) {
    // Half a metre to move 3.5 m across: the curve runs up to 13 times faster than s.
    for (const double step : {1.0, 0.2}) {
        const Built built =
            build(parsed(straight_road("r", 0, 50, two_lanes(0))), "r:-1@49.5", "r:-2", step);
        EXPECT_LE(largest_gap(built.rows), step + 0.01) << step;
        EXPECT_GE(built.rows.size(), static_cast<std::size_t>(3.6 / step)) << step;
    }
}

TEST(LaneRoute, APositionStartsOnTheLaneThatHoldsItOrTheNearestCentre) {
    const OpenDriveMap map = junction_map();
    const Built inside = build(map, "50,-5", "350,-1");
    EXPECT_TRUE(mentions(inside.comments, "from: 50,-5 (road '1' lane -2, s = 50)"));
    EXPECT_TRUE(mentions(inside.comments, "to: 350,-1 (road '2' lane -1, s = 30)"));
    EXPECT_NEAR(inside.rows.front().x, 50, 1e-6);
    EXPECT_NEAR(inside.rows.front().y, -5.25, 1e-9);
    EXPECT_NEAR(inside.rows.back().x, 350, 1e-6);
    // Beside the carriageway, 3 m beyond lane -3's outer edge.
    const Built beside = build(map, "20,-13.5", "2:-1");
    EXPECT_TRUE(mentions(beside.comments, "(road '1' lane -3, s = 20)"));
    // Where lane -3 narrows its centre drifts: the start is the nearest point of that centre.
    const Built narrowing = build(map, "250,-8", "3:-1");
    const RouteRow& first = narrowing.rows.front();
    const double u = (first.x - 200) / 100;
    const double centre = -7 - 3.5 * (1 - 3 * u * u + 2 * u * u * u) / 2;
    const double slope = -3.5 * (-6 * u + 6 * u * u) / 100 / 2;
    EXPECT_NEAR(first.y, centre, 1e-9);
    EXPECT_NEAR((first.x - 250) + slope * (first.y + 8), 0, 1e-6); // along the centre's normal
    EXPECT_GT(std::fabs(first.x - 250), 0.003);
    // Two lane changes on the last 50 m of road 1 before the right turn share them.
    EXPECT_TRUE(mentions(narrowing.comments, "path: 1:-3, 1:-2 (lane change), 1:-1 (lane change)"));
    EXPECT_LE(largest_gap(narrowing.rows), 1.01);
    EXPECT_THROW(build(map, "20,-20", "2:-1"), RouteError);
}

TEST(LaneRoute, TheCFunctionReportsMissingArgumentsAndLeavesNoFile) {
    korvale_test::TempDir dir;
    const std::string route = dir.path() + "/route.txt";
    char error[128];
    EXPECT_EQ(korvale_route_through_opendrive(KORVALE_JUNCTION_MAP, nullptr, "2:-1", nullptr, 1.0,
                                              0.0, 100.0, route.c_str(), error, sizeof error),
              KORVALE_ROUTES_FAILED);
    EXPECT_STREQ(error, "no start given");
    EXPECT_EQ(korvale_route_through_opendrive(KORVALE_JUNCTION_MAP, "1:-1", "2:-1", "", 1.0, 0.0,
                                              0.5, route.c_str(), error, sizeof error),
              KORVALE_ROUTES_FAILED);
    EXPECT_STREQ(error, "the lane change length 0.5 m is outside 1 to 10000 m");
    EXPECT_FALSE(std::ifstream(route).good());
}

TEST(LaneRoute, TownRoutesBetweenFarLanesLoadAndTrackTheirOwnPoints) {
    const OpenDriveMap map = OpenDriveMap::read(KORVALE_TOWN01);
    const LaneGraph graph(map);
    std::vector<std::uint32_t> lanes;
    for (std::uint32_t n = 0; n < graph.nodes().size(); ++n) {
        if (graph.roads()[graph.nodes()[n].road].junction == "-1") {
            lanes.push_back(n);
        }
    }
    const auto middle = [&](std::uint32_t n) {
        const Road& road = graph.roads()[graph.nodes()[n].road];
        return reference_pose(road, road.length / 2);
    };
    korvale_test::TempDir dir;
    std::mt19937 random(2024);
    int built = 0;
    while (built < 20) {
        const std::uint32_t a = lanes[random() % lanes.size()], b = lanes[random() % lanes.size()];
        const PlanPose pa = middle(a), pb = middle(b);
        if (std::hypot(pa.x - pb.x, pa.y - pb.y) < 200) {
            continue;
        }
        const auto text = [&](std::uint32_t n) {
            return graph.roads()[graph.nodes()[n].road].id + ":" +
                   std::to_string(graph.nodes()[n].lane);
        };
        const std::string route = dir.path() + "/town" + std::to_string(built) + ".txt";
        char error[512];
        ASSERT_EQ(korvale_route_through_opendrive(KORVALE_TOWN01, text(a).c_str(), text(b).c_str(),
                                                  nullptr, 1.0, 0.0, 100.0, route.c_str(), error,
                                                  sizeof error),
                  KORVALE_ROUTES_OK)
            << text(a) << " to " << text(b) << ": " << error;
        const double* car = korvale_test::DEFAULT_CAR;
        korvale_profile* profile = initialize_korvale(route.c_str(), car[0], car[1], car[2], car[3],
                                                      car[4], car[5], car[6], car[7]);
        ASSERT_NE(profile, nullptr);
        std::ifstream in(route);
        std::string line;
        double along = 0, px = 0, py = 0, pz = 0, worst = 0;
        bool first = true;
        while (std::getline(in, line)) {
            double x = 0, y = 0, z = 0;
            if (line[0] == '#' || std::sscanf(line.c_str(), "%lf %lf %lf", &x, &y, &z) != 3) {
                continue;
            }
            const double step =
                first ? 0.0
                      : std::sqrt((x - px) * (x - px) + (y - py) * (y - py) + (z - pz) * (z - pz));
            along += step;
            // 1 m apart along the centre, joins met within 0.05 m (no warning on Town01)
            EXPECT_LE(step, 1.0 + JOIN_TOLERANCE + 0.01);
            first = false;
            px = x, py = y, pz = z;
            double distance = 0, max_speed = 0, recommended = 0, coasting = 0;
            ASSERT_EQ(get_all_at_position(profile, x, y, z, 0, 100.0, &distance, &max_speed,
                                          &recommended, &coasting),
                      1);
            worst = std::max(worst, std::fabs(distance - along));
        }
        EXPECT_LT(worst, 0.1) << text(a) << " to " << text(b);
        deinitialize_korvale(profile);
        ++built;
    }
}

} // namespace
