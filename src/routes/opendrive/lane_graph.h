// The lane graph of an OpenDRIVE map: one node per drivable lane of each lane section and
// direction of travel, with its length along the lane centre; edges to the lanes a lane runs
// into (lane links within and between roads, junction connections) and to the neighbouring
// lanes of the same direction (lane changes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "routes/opendrive/cubic_records.h"
#include "routes/opendrive/opendrive_map.h"

namespace korvale::routes {

// A lane narrower than this over its whole section is not driven.
constexpr double MIN_DRIVABLE_WIDTH = 0.5; // m
// What a lane change adds to the length of a path when paths are compared.
constexpr double LANE_CHANGE_COST = 50.0; // m

// Whether lanes of this type are driven: driving, entry, exit, onRamp, offRamp.
bool is_drivable_type(const std::string& type);

// Where lane section `section` of the road ends (the next one's start, or the road's length).
double section_end(const Road& road, std::size_t section);

// The lateral position of a lane's centre in the lane section given, at s: t in m to the left
// of the reference line (towards +s), with its derivatives by s. With `before`, the lane offset
// is the record in force just before s (where a section ends and the offset jumps). Throws
// RouteError for a lane the section lacks or one given by border records.
CubicValue lane_centre_in(const Road& road, std::size_t section, int lane, double s, bool before);

// The centres of several lanes of one lane section, placed at any s in one sweep outwards on
// each side (the sums lane_centre_in makes, in the same order), in time that grows with the
// number of lanes, not with its square.
class SectionCentres {
public:
    // Throws RouteError, as lane_centre_in does, for a lane it cannot place.
    SectionCentres(const Road& road, std::size_t section, const std::vector<int>& lanes);
    // Places the lanes at s, with the lane offset in force there.
    void at(double s);
    // A lane's centre where the lanes were last placed, and its width there.
    const CubicValue& centre(int lane) const;
    double width(int lane) const;

private:
    const Road& road;
    const LaneSection& sec;
    std::vector<const Lane*> right, left; // by id outwards from the centre
    std::vector<CubicValue> right_t, left_t;
    std::vector<double> right_w, left_w;
};

// The length of the lane's centre from s_from to s_to (either order), in the plane.
double centre_length(const Road& road, std::size_t section, int lane, double s_from, double s_to);

struct LaneNode {
    std::uint32_t road = 0; // index into LaneGraph::roads()
    std::uint32_t section = 0;
    int lane = 0;
    bool forward = true; // driven towards +s
    double length = 0.0; // along the lane centre over the whole section, m
};

struct LaneEdge {
    std::uint32_t to = 0;
    bool lane_change = false;
};

constexpr std::uint32_t NO_NODE = 0xffffffffu;

class LaneGraph {
public:
    // Reads every road of the map; a road that cannot be read is left out with a warning (and
    // its error kept for a route that names it). Throws RouteError for a drivable lane linked
    // to a lane that does not exist.
    explicit LaneGraph(const OpenDriveMap& map);

    const std::string& map_name() const { return source_name; }
    const std::vector<Road>& roads() const { return road_list; }
    const std::vector<LaneNode>& nodes() const { return node_list; }
    // The edges that leave node n.
    const LaneEdge* edges_begin(std::uint32_t n) const { return edge_list.data() + edge_start[n]; }
    const LaneEdge* edges_end(std::uint32_t n) const {
        return edge_list.data() + edge_start[n + 1];
    }
    const std::vector<std::string>& warnings() const { return warning_list; }
    // The ids of the roads left out because they could not be read, sorted.
    std::vector<std::string> unreadable_roads() const;

    // The road's index; throws RouteError for a road the map lacks, or the road's own error
    // for one that could not be read.
    std::uint32_t road_index(const std::string& id) const;
    // The node of that lane and direction in the section; NO_NODE where there is none.
    std::uint32_t find(std::uint32_t road, std::uint32_t section, int lane, bool forward) const;
    // The nodes of a lane section.
    std::uint32_t section_first(std::uint32_t road, std::uint32_t section) const;
    std::uint32_t section_last(std::uint32_t road, std::uint32_t section) const;

    // Where a node's lane is entered and left along s.
    double entry_s(std::uint32_t n) const;
    double exit_s(std::uint32_t n) const;
    // The length along the node's lane centre from where it is entered to s.
    double length_to(std::uint32_t n, double s) const;
    // "road '1' lane -2"
    std::string describe(std::uint32_t n) const;

private:
    void add_nodes(std::uint32_t road);
    // The edges: from, to, lane change.
    using EdgeList = std::vector<std::tuple<std::uint32_t, std::uint32_t, bool>>;
    void add_edges(const OpenDriveMap& map);
    void link(EdgeList& list, std::uint32_t n, std::uint32_t road, std::uint32_t section, int lane,
              bool forward, bool incoming) const;
    void link_within_road(EdgeList& list, std::uint32_t n, bool incoming) const;
    void link_to_road(EdgeList& list, std::uint32_t n, bool incoming) const;
    void link_beside(EdgeList& list, std::uint32_t n) const;
    void link_junctions(EdgeList& list, const OpenDriveMap& map) const;

    std::string source_name;
    std::vector<Road> road_list;
    std::unordered_map<std::string, std::uint32_t> road_index_of;
    std::unordered_map<std::string, std::string> unreadable_errors; // id -> its error
    std::vector<LaneNode> node_list;
    // first node of every section of every road: section_nodes[road_first[r] + i]
    std::vector<std::uint32_t> road_first;
    std::vector<std::uint32_t> section_nodes;
    std::vector<std::uint32_t> edge_start;
    std::vector<LaneEdge> edge_list;
    std::vector<std::string> warning_list;
};

} // namespace korvale::routes
