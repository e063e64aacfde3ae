// Where a lane route starts and ends (a lane of a road, or a position), and the shortest path
// between them through the lane graph, by length along lane centres, passing given roads in
// order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "routes/opendrive/lane_graph.h"

namespace korvale::routes {

// A position farther than this from every lane centre is off the map.
constexpr double MAX_PLACE_DISTANCE = 5.0; // m

// A start or end as the user gives it: "ROAD:LANE", "ROAD:LANE@S" or "X,Y".
struct LanePlace {
    std::string text;
    bool is_position = false;
    std::string road;
    int lane = 0;
    bool has_s = false;
    double s = 0.0;
    double x = 0.0;
    double y = 0.0;
};

// Throws RouteError for text of neither form; what names the option in the message.
LanePlace parse_lane_place(const std::string& text, const char* what);

// A place on a node of the graph: the node and s along its road.
struct GraphPlace {
    std::uint32_t node = NO_NODE;
    double s = 0.0;
};

// The node and s of a place: a lane at S, or at its start (end) in its driving direction in the
// lane section where the road is entered (left); a position in the drivable lane whose area
// holds it, else at the nearest lane centre within MAX_PLACE_DISTANCE, projected onto that
// centre. Throws RouteError for an unknown road or lane, a lane that is not drivable, S
// outside the road, a position off the map.
GraphPlace resolve_place(const LaneGraph& graph, const LanePlace& place, bool is_end);

// The nodes of a path in driving order, from the start's node to the end's; changed[i] is
// true where nodes[i] is entered by a lane change from nodes[i - 1]. A lane change is made as
// late along the road as the lanes beside each other allow.
struct LanePath {
    GraphPlace start;
    GraphPlace end;
    std::vector<std::uint32_t> nodes;
    std::vector<bool> changed;
};

// The shortest path (lane changes counted as LANE_CHANGE_COST each) from start to end that
// passes the roads of `via` in order. Throws RouteError when there is none, naming the roads
// reachable from the start, or the first road of `via` that cannot be reached in order.
LanePath find_lane_path(const LaneGraph& graph, const GraphPlace& start, const GraphPlace& end,
                        const std::vector<std::string>& via, const std::string& from_text,
                        const std::string& to_text);

} // namespace korvale::routes
