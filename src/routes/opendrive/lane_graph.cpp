#include "routes/opendrive/lane_graph.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

#include "routes/opendrive/opendrive_route.h"
#include "routes/route_error.h"
#include "routes/route_file_writer.h"
#include "text/text.h"

namespace korvale::routes {

using text::quoted;

namespace {

// Gauss-Legendre with five points over pieces of at most MAX_PIECE metres that never straddle
// a geometry record's start: lane centres are smooth there, and lengths come out far below a
// millimetre of the exact ones.
constexpr double GAUSS_X[5] = {0.0, 0.5384693101056831, -0.5384693101056831, 0.9061798459386640,
                               -0.9061798459386640};
constexpr double GAUSS_W[5] = {0.5688888888888889, 0.4786286704993665, 0.4786286704993665,
                               0.2369268850561891, 0.2369268850561891};
constexpr double MAX_PIECE = 25.0; // m
// A geometry record longer than MAX_PIECE times this (hundreds of kilometres, no real road) is
// measured in this many pieces, so that an absurd map cannot stall the graph.
constexpr double MAX_PIECES_PER_RECORD = 10000;
// Places where a lane's width is looked at when deciding whether it is wide enough.
constexpr int WIDTH_SAMPLES = 9;

std::string road_text(const Road& road) {
    return "road " + quoted(road.id);
}

// The breaks between pieces of [a, b]: its ends, the geometry records' starts inside it, and
// enough more that no piece is longer than MAX_PIECE.
std::vector<double> piece_breaks(const Road& road, double a, double b) {
    std::vector<double> breaks{a};
    for (const PlanGeometry& g : road.geometry) {
        if (g.s() > a && g.s() < b) {
            breaks.push_back(g.s());
        }
    }
    breaks.push_back(b);
    std::vector<double> out{a};
    for (std::size_t i = 1; i < breaks.size(); ++i) {
        const double from = breaks[i - 1], to = breaks[i];
        const int parts = static_cast<int>(
            std::clamp(std::ceil((to - from) / MAX_PIECE), 1.0, MAX_PIECES_PER_RECORD));
        for (int p = 1; p <= parts; ++p) {
            out.push_back(p == parts ? to : from + (to - from) * p / parts);
        }
    }
    return out;
}

// The lanes of a section on one side (side -1 or 1) by id outwards from the centre, up to the
// first id the section lacks or the first lane given by border records.
std::vector<const Lane*> side_lanes(const LaneSection& sec, int side) {
    std::vector<const Lane*> lanes;
    for (const Lane& lane : sec.lanes) {
        if (lane.id != 0 && (lane.id > 0) == (side > 0)) {
            lanes.push_back(&lane);
        }
    }
    // (the first of lanes with the same id counts, as in LaneSection::lane)
    const auto outwards = [side](const Lane* lane) {
        return static_cast<long long>(lane->id) * side;
    };
    std::stable_sort(lanes.begin(), lanes.end(),
                     [&](const Lane* x, const Lane* y) { return outwards(x) < outwards(y); });
    std::vector<const Lane*> ordered;
    for (const Lane* lane : lanes) {
        const auto count = static_cast<long long>(ordered.size());
        if (outwards(lane) == count) {
            continue; // a repeated id
        }
        if (outwards(lane) != count + 1 || lane->has_border) {
            break;
        }
        ordered.push_back(lane);
    }
    return ordered;
}

// The lengths of several lanes' centres of one section over [a, b], with one evaluation of the
// reference line per quadrature point for all of them.
std::vector<double> centre_lengths(const Road& road, std::size_t section,
                                   const std::vector<int>& lanes, double a, double b) {
    std::vector<double> lengths(lanes.size(), 0.0);
    if (!(b > a)) {
        return lengths;
    }
    SectionCentres centres(road, section, lanes);
    const std::vector<double> breaks = piece_breaks(road, a, b);
    for (std::size_t p = 1; p < breaks.size(); ++p) {
        const double half = (breaks[p] - breaks[p - 1]) / 2, mid = (breaks[p] + breaks[p - 1]) / 2;
        for (int g = 0; g < 5; ++g) {
            const double s = mid + half * GAUSS_X[g];
            const double k = reference_pose(road, s).curvature;
            centres.at(s);
            for (std::size_t l = 0; l < lanes.size(); ++l) {
                const CubicValue& t = centres.centre(lanes[l]);
                const double along = 1 - k * t.value;
                lengths[l] += half * GAUSS_W[g] * std::sqrt(along * along + t.first * t.first);
            }
        }
    }
    return lengths;
}

double widest(const Lane& lane, double length) {
    double most = 0.0;
    for (int i = 0; i < WIDTH_SAMPLES; ++i) {
        most = std::max(most, lane.width.at(length * i / (WIDTH_SAMPLES - 1)).value);
    }
    return most;
}

} // namespace

bool is_drivable_type(const std::string& type) {
    return type == "driving" || type == "entry" || type == "exit" || type == "onRamp" ||
           type == "offRamp";
}

double section_end(const Road& road, std::size_t section) {
    return section + 1 < road.sections.size() ? road.sections[section + 1].s : road.length;
}

CubicValue lane_centre_in(const Road& road, std::size_t section, int lane, double s, bool before) {
    const LaneSection& sec = road.sections.at(section);
    CubicValue t = before ? road.lane_offset.just_before(s) : road.lane_offset.at(s);
    const int side = lane > 0 ? 1 : -1;
    // (counting up to the lane itself, never one beyond, where the lane's id is the largest int)
    for (int id = side; lane != 0; id += side) {
        const Lane* found = sec.lane(id);
        if (found == nullptr) {
            throw RouteError(road_text(road) + ": the lane section at s = " + number_text(sec.s) +
                             " has no lane " + std::to_string(id));
        }
        if (found->has_border) {
            throw RouteError(road_text(road) + ": lane " + std::to_string(id) +
                             " of the lane section at s = " + number_text(sec.s) +
                             " is given by border records, which are not supported");
        }
        const CubicValue w = found->width.at(s - sec.s);
        const double share = id == lane ? 0.5 * side : 1.0 * side;
        t.value += share * w.value;
        t.first += share * w.first;
        t.second += share * w.second;
        if (id == lane) {
            break;
        }
    }
    return t;
}

SectionCentres::SectionCentres(const Road& road, std::size_t section, const std::vector<int>& lanes)
    : road(road), sec(road.sections.at(section)), right(side_lanes(sec, -1)),
      left(side_lanes(sec, 1)) {
    std::size_t right_count = 0, left_count = 0;
    for (const int lane : lanes) {
        const std::size_t count = lane > 0
                                      ? static_cast<std::size_t>(lane)
                                      : static_cast<std::size_t>(-static_cast<long long>(lane));
        if (lane == 0 || count > (lane > 0 ? left : right).size()) {
            lane_centre_in(road, section, lane, sec.s, false); // throws, naming what is wrong
            throw RouteError(road_text(road) + ": lane " + std::to_string(lane) +
                             " cannot be placed");
        }
        std::size_t& most = lane > 0 ? left_count : right_count;
        most = std::max(most, count);
    }
    right_t.resize(right_count);
    left_t.resize(left_count);
    right_w.resize(right_count);
    left_w.resize(left_count);
}

void SectionCentres::at(double s) {
    const CubicValue offset = road.lane_offset.at(s);
    for (const int side : {-1, 1}) {
        const std::vector<const Lane*>& ordered = side > 0 ? left : right;
        std::vector<CubicValue>& centres = side > 0 ? left_t : right_t;
        std::vector<double>& widths = side > 0 ? left_w : right_w;
        CubicValue t = offset;
        for (std::size_t i = 0; i < centres.size(); ++i) {
            const CubicValue w = ordered[i]->width.at(s - sec.s);
            centres[i] = {t.value + 0.5 * side * w.value, t.first + 0.5 * side * w.first,
                          t.second + 0.5 * side * w.second};
            t = {t.value + 1.0 * side * w.value, t.first + 1.0 * side * w.first,
                 t.second + 1.0 * side * w.second};
            widths[i] = w.value;
        }
    }
}

const CubicValue& SectionCentres::centre(int lane) const {
    return lane > 0 ? left_t[static_cast<std::size_t>(lane - 1)]
                    : right_t[static_cast<std::size_t>(-1 - lane)];
}

double SectionCentres::width(int lane) const {
    return lane > 0 ? left_w[static_cast<std::size_t>(lane - 1)]
                    : right_w[static_cast<std::size_t>(-1 - lane)];
}

double centre_length(const Road& road, std::size_t section, int lane, double s_from, double s_to) {
    return centre_lengths(road, section, {lane}, std::min(s_from, s_to), std::max(s_from, s_to))
        .front();
}

LaneGraph::LaneGraph(const OpenDriveMap& map) : source_name(map.name()) {
    road_list.reserve(map.road_count());
    for (std::size_t i = 0; i < map.road_count(); ++i) {
        try {
            Road road = map.road_at(i);
            if (road.geometry.empty()) {
                throw RouteError(road_text(road) + " has no geometry records");
            }
            if (road.sections.empty()) {
                throw RouteError(road_text(road) + " has no lane sections");
            }
            if (!road_index_of.emplace(road.id, static_cast<std::uint32_t>(road_list.size()))
                     .second) {
                warning_list.push_back("the map has more than one road " + quoted(road.id) +
                                       "; the first is used");
                continue;
            }
            road_list.push_back(std::move(road));
        } catch (const RouteError& error) {
            std::string id = map.road_id(i);
            warning_list.push_back(std::string(error.what()) + "; the road is left out");
            unreadable_errors.emplace(std::move(id), error.what());
        }
    }
    for (std::uint32_t r = 0; r < road_list.size(); ++r) {
        add_nodes(r);
    }
    section_nodes.push_back(static_cast<std::uint32_t>(node_list.size()));
    add_edges(map);
}

void LaneGraph::add_nodes(std::uint32_t r) {
    const Road& road = road_list[r];
    road_first.push_back(static_cast<std::uint32_t>(section_nodes.size()));
    const std::size_t first_node = node_list.size();
    try {
        for (std::uint32_t i = 0; i < road.sections.size(); ++i) {
            section_nodes.push_back(static_cast<std::uint32_t>(node_list.size()));
            const LaneSection& sec = road.sections[i];
            const double a = sec.s, b = section_end(road, i);
            std::vector<int> lanes;
            std::vector<LaneNode> added;
            for (const Lane& lane : sec.lanes) {
                if (lane.id == 0 || !is_drivable_type(lane.type) ||
                    !(widest(lane, b - a) >= MIN_DRIVABLE_WIDTH)) {
                    continue;
                }
                const bool standard = (lane.id < 0) != road.left_hand;
                lanes.push_back(lane.id);
                if (lane.direction != LaneDirection::reversed) {
                    added.push_back({r, i, lane.id, standard, 0.0});
                }
                if (lane.direction != LaneDirection::standard) {
                    added.push_back({r, i, lane.id, !standard, 0.0});
                }
            }
            const std::vector<double> lengths = centre_lengths(road, i, lanes, a, b);
            for (LaneNode& node : added) {
                node.length = lengths[static_cast<std::size_t>(
                    std::find(lanes.begin(), lanes.end(), node.lane) - lanes.begin())];
                node_list.push_back(node);
            }
        }
    } catch (const RouteError& error) {
        node_list.resize(first_node);
        section_nodes.resize(road_first[r]);
        for (std::size_t i = 0; i < road.sections.size(); ++i) {
            section_nodes.push_back(static_cast<std::uint32_t>(first_node));
        }
        warning_list.push_back(std::string(error.what()) + "; the road is left out");
        unreadable_errors.emplace(road.id, error.what());
        road_index_of.erase(road.id);
    }
}

std::uint32_t LaneGraph::section_first(std::uint32_t road, std::uint32_t section) const {
    return section_nodes[road_first[road] + section];
}

std::uint32_t LaneGraph::section_last(std::uint32_t road, std::uint32_t section) const {
    return section_nodes[road_first[road] + section + 1];
}

std::uint32_t LaneGraph::find(std::uint32_t road, std::uint32_t section, int lane,
                              bool forward) const {
    for (std::uint32_t n = section_first(road, section); n < section_last(road, section); ++n) {
        if (node_list[n].lane == lane && node_list[n].forward == forward) {
            return n;
        }
    }
    return NO_NODE;
}

// An edge between node n and lane `lane` of a section, which must have that lane: from n to
// it, or (incoming) from it to n; none where that lane is not driven that way.
void LaneGraph::link(EdgeList& list, std::uint32_t n, std::uint32_t road, std::uint32_t section,
                     int lane, bool forward, bool incoming) const {
    const LaneSection& sec = road_list[road].sections[section];
    if (lane == NO_SUCH_LANE || sec.lane(lane) == nullptr) {
        throw RouteError(
            describe(n) + " is linked to lane " +
            (lane == NO_SUCH_LANE ? std::string("(not an integer)") : std::to_string(lane)) +
            " of road " + quoted(road_list[road].id) +
            ", which its lane section at s = " + number_text(sec.s) + " does not have");
    }
    const std::uint32_t other = find(road, section, lane, forward);
    if (other != NO_NODE) {
        list.emplace_back(incoming ? other : n, incoming ? n : other, false);
    }
}

// The links of node n's lane onwards (or, incoming, back) into the next lane section of its
// road. A lane without a link of its own onwards runs on into the same id (unless that lane
// names the lanes it comes from, and not this one).
void LaneGraph::link_within_road(EdgeList& list, std::uint32_t n, bool incoming) const {
    const LaneNode& node = node_list[n];
    const Road& road = road_list[node.road];
    const Lane& lane = *road.sections[node.section].lane(node.lane);
    const bool ahead = node.forward != incoming; // the link's section lies towards +s
    const std::vector<int>& ids = ahead ? lane.successors : lane.predecessors;
    const std::uint32_t next = ahead ? node.section + 1 : node.section - 1;
    const Lane* same = road.sections[next].lane(node.lane);
    const std::vector<int>* back = same == nullptr ? nullptr
                                   : ahead         ? &same->predecessors
                                                   : &same->successors;
    if (!incoming && ids.empty() && same != nullptr &&
        (back->empty() || std::find(back->begin(), back->end(), node.lane) != back->end())) {
        const std::uint32_t to = find(node.road, next, node.lane, node.forward);
        if (to != NO_NODE) {
            list.emplace_back(n, to, false);
        }
    }
    for (const int id : ids) {
        link(list, n, node.road, next, id, node.forward, incoming);
    }
}

// The links of node n's lane onwards (or, incoming, back) into the road that its road's link
// names, at the end of it that meets this one: its start unless the link says otherwise for a
// successor, its end for a predecessor.
void LaneGraph::link_to_road(EdgeList& list, std::uint32_t n, bool incoming) const {
    const LaneNode& node = node_list[n];
    const Road& road = road_list[node.road];
    const Lane& lane = *road.sections[node.section].lane(node.lane);
    const bool ahead = node.forward != incoming;
    const RoadLink& road_link = ahead ? road.successor : road.predecessor;
    const auto other = road_index_of.find(road_link.element_id);
    if (road_link.element_type != "road" || other == road_index_of.end()) {
        return;
    }
    const Road& next = road_list[other->second];
    const bool at_start =
        road_link.contact_point.empty() ? ahead : road_link.contact_point != "end";
    const auto section = at_start ? 0u : static_cast<std::uint32_t>(next.sections.size() - 1);
    for (const int id : ahead ? lane.successors : lane.predecessors) {
        link(list, n, other->second, section, id, at_start != incoming, incoming);
    }
}

// The lane changes from node n to the lanes beside it driven the same way.
void LaneGraph::link_beside(EdgeList& list, std::uint32_t n) const {
    const LaneNode& node = node_list[n];
    for (const int side : {-1, 1}) {
        const long long next = static_cast<long long>(node.lane) + side;
        const long long beside = next == 0 ? next + side : next;
        if (beside < std::numeric_limits<int>::min() || beside > std::numeric_limits<int>::max()) {
            continue;
        }
        const std::uint32_t to =
            find(node.road, node.section, static_cast<int>(beside), node.forward);
        if (to != NO_NODE) {
            list.emplace_back(n, to, true);
        }
    }
}

// The links a junction's connections give, from the incoming roads' lanes into the connecting
// roads'.
void LaneGraph::link_junctions(EdgeList& list, const OpenDriveMap& map) const {
    for (const JunctionConnection& c : map.junction_connections()) {
        const auto incoming = road_index_of.find(c.incoming_road);
        const auto connecting = road_index_of.find(c.connecting_road);
        if (incoming == road_index_of.end() || connecting == road_index_of.end()) {
            continue;
        }
        const Road& in = road_list[incoming->second];
        const Road& con = road_list[connecting->second];
        const bool at_start = c.contact_point != "end";
        const auto con_section =
            at_start ? 0u : static_cast<std::uint32_t>(con.sections.size() - 1);
        // The incoming road meets the junction at its end, its start, or both.
        for (const bool forward : {true, false}) {
            const RoadLink& end = forward ? in.successor : in.predecessor;
            if (end.element_type != "junction" || end.element_id != c.junction) {
                continue;
            }
            const auto in_section =
                forward ? static_cast<std::uint32_t>(in.sections.size() - 1) : 0u;
            for (const auto& [from_lane, to_lane] : c.lane_links) {
                if (in.sections[in_section].lane(from_lane) == nullptr) {
                    throw RouteError("junction " + quoted(c.junction) + " links lane " +
                                     std::to_string(from_lane) + " of road " + quoted(in.id) +
                                     ", which its lane section at s = " +
                                     number_text(in.sections[in_section].s) + " does not have");
                }
                const std::uint32_t from = find(incoming->second, in_section, from_lane, forward);
                if (from != NO_NODE) {
                    link(list, from, connecting->second, con_section, to_lane, at_start, false);
                }
            }
        }
    }
}

void LaneGraph::add_edges(const OpenDriveMap& map) {
    EdgeList list;
    for (std::uint32_t n = 0; n < node_list.size(); ++n) {
        const LaneNode& node = node_list[n];
        const auto last = static_cast<std::uint32_t>(road_list[node.road].sections.size() - 1);
        // A link may be given by the lane left or by the lane entered: both count.
        for (const bool incoming : {false, true}) {
            const bool ahead = node.forward != incoming;
            if (ahead ? node.section < last : node.section > 0) {
                link_within_road(list, n, incoming);
            } else {
                link_to_road(list, n, incoming);
            }
        }
        link_beside(list, n);
    }
    link_junctions(list, map);
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
    edge_start.assign(node_list.size() + 1, 0);
    edge_list.reserve(list.size());
    for (const auto& [from, to, change] : list) {
        ++edge_start[from + 1];
        edge_list.push_back({to, change});
    }
    for (std::size_t n = 0; n < node_list.size(); ++n) {
        edge_start[n + 1] += edge_start[n];
    }
}

std::vector<std::string> LaneGraph::unreadable_roads() const {
    std::vector<std::string> ids;
    for (const auto& entry : unreadable_errors) {
        ids.push_back(entry.first);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::uint32_t LaneGraph::road_index(const std::string& id) const {
    const auto found = road_index_of.find(id);
    if (found != road_index_of.end()) {
        return found->second;
    }
    const auto unreadable = unreadable_errors.find(id);
    if (unreadable != unreadable_errors.end()) {
        throw RouteError(unreadable->second);
    }
    throw RouteError("the map '" + source_name + "' has no road " + quoted(id));
}

double LaneGraph::entry_s(std::uint32_t n) const {
    const LaneNode& node = node_list[n];
    const Road& road = road_list[node.road];
    return node.forward ? road.sections[node.section].s : section_end(road, node.section);
}

double LaneGraph::exit_s(std::uint32_t n) const {
    const LaneNode& node = node_list[n];
    const Road& road = road_list[node.road];
    return node.forward ? section_end(road, node.section) : road.sections[node.section].s;
}

double LaneGraph::length_to(std::uint32_t n, double s) const {
    const LaneNode& node = node_list[n];
    return centre_length(road_list[node.road], node.section, node.lane, entry_s(n), s);
}

std::string LaneGraph::describe(std::uint32_t n) const {
    return "road " + quoted(road_list[node_list[n].road].id) + " lane " +
           std::to_string(node_list[n].lane);
}

} // namespace korvale::routes
