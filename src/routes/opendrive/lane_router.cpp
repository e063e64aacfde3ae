#include "routes/opendrive/lane_router.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <queue>
#include <set>
#include <utility>

#include "routes/opendrive/opendrive_route.h"
#include "routes/route_error.h"
#include "routes/route_file_writer.h"
#include "text/text.h"

namespace korvale::routes {

using text::quoted;
using text::read_integer;
using text::read_number;

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();
// A point whose foot on a road's reference line lies farther than this beyond the road's end
// is not beside the road.
constexpr double END_TOLERANCE = 0.01; // m
// The reference line is searched every SEARCH_STEP metres, then the nearest place refined.
constexpr double SEARCH_STEP = 1.0;         // m
constexpr double MAX_SEARCH_STEPS = 100000; // per road, longer roads are searched more coarsely
constexpr int REFINE_STEPS = 60;
// Roads listed in a "no path" message at most.
constexpr std::size_t MAX_LISTED_ROADS = 30;

bool standard_forward(const Road& road, int lane) {
    return (lane < 0) != road.left_hand;
}

std::string lane_text(const Road& road, int lane) {
    return "lane " + std::to_string(lane) + " of road " + quoted(road.id);
}

// Why a lane the section has is no node: its type, or its width.
[[noreturn]] void not_drivable(const Road& road, const LaneSection& section, int lane) {
    const Lane& found = *section.lane(lane);
    const std::string why =
        is_drivable_type(found.type)
            ? "narrower than " + number_text(MIN_DRIVABLE_WIDTH) + " m"
            : "of type " + quoted(found.type.empty() ? std::string("(none)") : found.type);
    throw RouteError(lane_text(road, lane) + " (lane section at s = " + number_text(section.s) +
                     ") is not drivable: it is " + why);
}

// The node of a lane given by road (index r), id and s.
GraphPlace lane_place_at(const LaneGraph& graph, std::uint32_t r, const LanePlace& place) {
    const Road& road = graph.roads()[r];
    if (!(place.s >= 0 && place.s <= road.length)) {
        throw RouteError("s = " + number_text(place.s) + " lies outside road " + quoted(road.id) +
                         " (0 to " + number_text(road.length) + " m)");
    }
    const LaneSection* found = record_in_force(road.sections, place.s);
    const auto section =
        static_cast<std::uint32_t>(found == nullptr ? 0 : found - road.sections.data());
    const LaneSection& sec = road.sections[section];
    if (place.lane == 0 || sec.lane(place.lane) == nullptr) {
        throw RouteError("road " + quoted(road.id) + " has no lane " + std::to_string(place.lane) +
                         " at s = " + number_text(place.s));
    }
    for (const bool forward :
         {standard_forward(road, place.lane), !standard_forward(road, place.lane)}) {
        const std::uint32_t n = graph.find(r, section, place.lane, forward);
        if (n != NO_NODE) {
            return {n, place.s};
        }
    }
    not_drivable(road, sec, place.lane);
}

// The node of a lane given by road and id (and s): without s, where the lane is entered for a
// start, where it is left for an end.
GraphPlace lane_place(const LaneGraph& graph, const LanePlace& place, bool is_end) {
    const std::uint32_t r = graph.road_index(place.road);
    if (place.has_s) {
        return lane_place_at(graph, r, place);
    }
    const Road& road = graph.roads()[r];
    const auto last = static_cast<std::uint32_t>(road.sections.size() - 1);
    const LaneSection* missing = nullptr;
    for (const bool forward :
         {standard_forward(road, place.lane), !standard_forward(road, place.lane)}) {
        // A start lies where the lane is entered, an end where it is left.
        const std::uint32_t section = forward != is_end ? 0 : last;
        const LaneSection& sec = road.sections[section];
        if (place.lane == 0 || sec.lane(place.lane) == nullptr) {
            missing = missing == nullptr ? &sec : missing;
            continue;
        }
        const std::uint32_t n = graph.find(r, section, place.lane, forward);
        if (n != NO_NODE) {
            return {n, is_end ? graph.exit_s(n) : graph.entry_s(n)};
        }
    }
    for (const bool forward :
         {standard_forward(road, place.lane), !standard_forward(road, place.lane)}) {
        const LaneSection& sec = road.sections[forward != is_end ? 0 : last];
        if (place.lane != 0 && sec.lane(place.lane) != nullptr) {
            not_drivable(road, sec, place.lane);
        }
    }
    throw RouteError("road " + quoted(road.id) + " has no lane " + std::to_string(place.lane) +
                     " in its lane section at s = " + number_text(missing->s));
}

// The s in [a, b] where distance(s) is least, around a local minimum near `around` (within h).
template <class Distance>
double refined(const Distance& distance, double around, double h, double a, double b) {
    double lo = std::max(a, around - h), hi = std::min(b, around + h);
    const double ratio = (std::sqrt(5.0) - 1) / 2;
    for (int i = 0; i < REFINE_STEPS; ++i) {
        const double c = hi - ratio * (hi - lo), d = lo + ratio * (hi - lo);
        if (distance(c) < distance(d)) {
            hi = d;
        } else {
            lo = c;
        }
    }
    return (lo + hi) / 2;
}

// The s of the reference line's point nearest to (x, y).
double nearest_s(const Road& road, double x, double y) {
    const auto distance = [&](double s) {
        const PlanPose p = reference_pose(road, s);
        return std::hypot(p.x - x, p.y - y);
    };
    const int steps =
        static_cast<int>(std::clamp(std::ceil(road.length / SEARCH_STEP), 2.0, MAX_SEARCH_STEPS));
    double best = INF, best_s = 0.0;
    for (int i = 0; i <= steps; ++i) {
        const double s = road.length * i / steps;
        const double d = distance(s);
        if (d < best) {
            best = d;
            best_s = s;
        }
    }
    return refined(distance, best_s, road.length / steps, 0.0, road.length);
}

// The place of the lane's centre nearest to (x, y), near s: where a lane's width or the lane
// offset changes, its normal is not the reference line's.
GraphPlace onto_centre(const LaneGraph& graph, std::uint32_t n, double s, double x, double y) {
    const LaneNode& node = graph.nodes()[n];
    const Road& road = graph.roads()[node.road];
    const auto distance = [&](double at) {
        const RouteRow p = offset_row(road, at, node.lane,
                                      lane_centre_in(road, node.section, node.lane, at, false));
        return std::hypot(p.x - x, p.y - y);
    };
    try {
        return {n, refined(distance, s, SEARCH_STEP, std::min(graph.entry_s(n), graph.exit_s(n)),
                           std::max(graph.entry_s(n), graph.exit_s(n)))};
    } catch (const RouteError&) {
        return {n, s}; // a centre beyond its curve's centre: the reference line's foot
    }
}

// A lane near a position: its node, the s of the position's foot, the distance to its centre.
struct Candidate {
    std::uint32_t node = NO_NODE;
    double s = 0.0;
    double distance = INF; // to the lane centre
};

// The lanes of road r beside the position: the one that holds it nearest its centre (inside),
// and the one whose centre is nearest (nearest), where nearer than those found before.
void look_beside(const LaneGraph& graph, std::uint32_t r, const LanePlace& place, Candidate& inside,
                 Candidate& nearest) {
    const Road& road = graph.roads()[r];
    const double s = nearest_s(road, place.x, place.y);
    const PlanPose foot = reference_pose(road, s);
    const double dx = place.x - foot.x, dy = place.y - foot.y;
    const double along = dx * std::cos(foot.heading) + dy * std::sin(foot.heading);
    const double across = -dx * std::sin(foot.heading) + dy * std::cos(foot.heading);
    const LaneSection* found = record_in_force(road.sections, s);
    const auto section =
        static_cast<std::uint32_t>(found == nullptr ? 0 : found - road.sections.data());
    std::vector<int> lanes;
    for (std::uint32_t n = graph.section_first(r, section); n < graph.section_last(r, section);
         ++n) {
        lanes.push_back(graph.nodes()[n].lane);
    }
    SectionCentres centres(road, section, lanes);
    centres.at(s);
    for (std::uint32_t n = graph.section_first(r, section); n < graph.section_last(r, section);
         ++n) {
        const int lane = graph.nodes()[n].lane;
        const double centre = centres.centre(lane).value;
        const double half = centres.width(lane) / 2;
        const double off = std::fabs(across - centre);
        const double distance = std::hypot(along, off);
        if (std::fabs(along) <= END_TOLERANCE && off <= half && off < inside.distance) {
            inside = {n, s, off};
        }
        if (distance < nearest.distance) {
            nearest = {n, s, distance};
        }
    }
}

GraphPlace position_place(const LaneGraph& graph, const LanePlace& place) {
    Candidate inside, nearest;
    for (std::uint32_t r = 0; r < graph.roads().size(); ++r) {
        look_beside(graph, r, place, inside, nearest);
    }
    if (inside.node != NO_NODE) {
        return onto_centre(graph, inside.node, inside.s, place.x, place.y);
    }
    if (nearest.distance <= MAX_PLACE_DISTANCE) {
        return onto_centre(graph, nearest.node, nearest.s, place.x, place.y);
    }
    throw RouteError("the position " + place.text + " is off the map: " +
                     (nearest.node == NO_NODE
                          ? std::string("the map has no drivable lane")
                          : "the nearest drivable lane centre is " +
                                number_text(std::round(nearest.distance * 10) / 10) +
                                " m away (more than " + number_text(MAX_PLACE_DISTANCE) + " m)"));
}

} // namespace

LanePlace parse_lane_place(const std::string& text, const char* what) {
    LanePlace place;
    place.text = text;
    const std::size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        place.road = text.substr(0, colon);
        std::string lane = text.substr(colon + 1);
        const std::size_t at = lane.find('@');
        if (at != std::string::npos) {
            place.has_s = read_number(lane.substr(at + 1), &place.s);
            lane = lane.substr(0, at);
            if (!place.has_s) {
                throw RouteError(std::string(what) + " " + quoted(text) +
                                 ": the distance after '@' is not a number");
            }
        }
        if (place.road.empty() || !read_integer(lane, &place.lane)) {
            throw RouteError(std::string(what) + " " + quoted(text) +
                             " is not ROAD:LANE (a road id and a lane number)");
        }
        return place;
    }
    const std::size_t comma = text.find(',');
    if (comma != std::string::npos && read_number(text.substr(0, comma), &place.x) &&
        read_number(text.substr(comma + 1), &place.y)) {
        place.is_position = true;
        return place;
    }
    throw RouteError(std::string(what) + " " + quoted(text) +
                     " is neither ROAD:LANE[@S] nor a position X,Y");
}

GraphPlace resolve_place(const LaneGraph& graph, const LanePlace& place, bool is_end) {
    return place.is_position ? position_place(graph, place) : lane_place(graph, place, is_end);
}

namespace {

// The shortest path search over states (node, how many via roads passed), seeded with the lanes
// of the start's section that lane changes reach before anything else.
class PathSearch {
public:
    PathSearch(const LaneGraph& graph, const GraphPlace& start, const GraphPlace& end,
               const std::vector<std::string>& via)
        : graph(graph), nodes(graph.nodes()), start(start), end(end) {
        for (const std::string& id : via) {
            via_roads.push_back(graph.road_index(id));
        }
        layers = static_cast<std::uint32_t>(via_roads.size() + 1);
        done = layers - 1;
        k0 = passed(0, start.node);
        const std::size_t states = nodes.size() * layers;
        dist.assign(states, INF);
        before.assign(states, NO_NODE);
        by_change.assign(states, 0);
        from_mid.assign(states, 0);
    }

    void seed();
    void search();
    bool found() const { return best < INF; }
    // Why there is no path: a via road not reached, or the roads that are.
    [[noreturn]] void fail(const std::vector<std::string>& via, const std::string& from_text,
                           const std::string& to_text) const;
    LanePath path() const;

private:
    // The count of via roads passed after entering node n with k passed before.
    std::uint32_t passed(std::uint32_t k, std::uint32_t n) const {
        return k < done && via_roads[k] == nodes[n].road ? k + 1 : k;
    }
    void relax(std::uint32_t state, double d, std::uint32_t prev, bool change, bool seeded) {
        if (d < dist[state]) {
            dist[state] = d;
            before[state] = prev;
            by_change[state] = change ? 1 : 0;
            from_mid[state] = seeded ? 1 : 0;
            queue.emplace(d, state);
        }
    }

    const LaneGraph& graph;
    const std::vector<LaneNode>& nodes;
    const GraphPlace start, end;
    std::vector<std::uint32_t> via_roads;
    std::uint32_t layers = 1, done = 0, k0 = 0;
    // The lanes of the start's section reached by lane changes, with their cost and the lane
    // before them.
    std::vector<std::pair<std::uint32_t, double>> mid;
    std::vector<std::size_t> mid_parent;
    std::vector<double> dist;
    std::vector<std::uint32_t> before; // a state, or a mid lane's index
    std::vector<char> by_change, from_mid;
    using Entry = std::pair<double, std::uint32_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
    double best = INF;
    std::size_t best_mid = 0;        // the end reached within the start's section
    std::uint32_t reached = NO_NODE; // the end's state, when the search reaches it
};

void PathSearch::seed() {
    mid = {{start.node, 0.0}};
    mid_parent = {0};
    for (std::size_t i = 0; i < mid.size(); ++i) {
        for (const LaneEdge* e = graph.edges_begin(mid[i].first);
             e != graph.edges_end(mid[i].first); ++e) {
            const bool seen = std::any_of(mid.begin(), mid.end(),
                                          [&](const auto& m) { return m.first == e->to; });
            if (e->lane_change && !seen) {
                mid.emplace_back(e->to, mid[i].second + LANE_CHANGE_COST);
                mid_parent.push_back(i);
            }
        }
    }
    const bool forward = nodes[start.node].forward;
    best_mid = mid.size();
    for (std::size_t i = 0; i < mid.size(); ++i) {
        const std::uint32_t m = mid[i].first;
        const double here = graph.length_to(m, start.s);
        if (m == end.node && k0 == done && (forward ? end.s >= start.s : end.s <= start.s)) {
            const double d = mid[i].second + graph.length_to(m, end.s) - here;
            if (d < best) {
                best = d;
                best_mid = i;
            }
        }
        for (const LaneEdge* e = graph.edges_begin(m); e != graph.edges_end(m); ++e) {
            if (!e->lane_change) {
                relax(e->to * layers + passed(k0, e->to), mid[i].second + nodes[m].length - here,
                      static_cast<std::uint32_t>(i), false, true);
            }
        }
    }
}

void PathSearch::search() {
    while (!queue.empty()) {
        const auto [d, state] = queue.top();
        queue.pop();
        if (d > dist[state]) {
            continue;
        }
        if (d >= best) {
            break;
        }
        const std::uint32_t n = state / layers, k = state % layers;
        if (n == end.node && k == done) {
            const double total = d + graph.length_to(n, end.s);
            if (total < best) {
                best = total;
                reached = state;
            }
            break;
        }
        for (const LaneEdge* e = graph.edges_begin(n); e != graph.edges_end(n); ++e) {
            const double cost = e->lane_change ? LANE_CHANGE_COST : nodes[n].length;
            relax(e->to * layers + passed(k, e->to), d + cost, state, e->lane_change, false);
        }
    }
}

void PathSearch::fail(const std::vector<std::string>& via, const std::string& from_text,
                      const std::string& to_text) const {
    std::set<std::uint32_t> roads;
    std::uint32_t most = k0;
    for (const auto& m : mid) {
        roads.insert(nodes[m.first].road);
    }
    for (std::size_t state = 0; state < dist.size(); ++state) {
        if (dist[state] < INF) {
            roads.insert(nodes[state / layers].road);
            most = std::max(most, static_cast<std::uint32_t>(state % layers));
        }
    }
    if (most < done) {
        throw RouteError("the --via road " + quoted(via[most]) + " cannot be reached from " +
                         quoted(from_text) + (most > 0 ? " after the --via roads before it" : ""));
    }
    std::string list;
    std::size_t listed = 0;
    for (const std::uint32_t r : roads) {
        if (listed++ < MAX_LISTED_ROADS) {
            list += (list.empty() ? "" : ", ") + graph.roads()[r].id;
        }
    }
    if (roads.size() > MAX_LISTED_ROADS) {
        list += " and " + std::to_string(roads.size() - MAX_LISTED_ROADS) + " more";
    }
    std::string left_out;
    for (const std::string& id : graph.unreadable_roads()) {
        left_out += (left_out.empty() ? "; left out as unreadable: " : ", ") + id;
    }
    throw RouteError("no path from " + quoted(from_text) + " to " + quoted(to_text) +
                     (via.empty() ? "" : " through the --via roads") +
                     ": the roads reachable from " + quoted(from_text) + " are " + list + left_out);
}

LanePath PathSearch::path() const {
    LanePath path;
    path.start = start;
    path.end = end;
    std::size_t mid_index = best_mid;
    if (reached != NO_NODE) {
        std::uint32_t state = reached;
        while (true) {
            path.nodes.push_back(state / layers);
            path.changed.push_back(by_change[state] != 0);
            if (from_mid[state] != 0) {
                mid_index = before[state];
                break;
            }
            state = before[state];
        }
    }
    for (std::size_t i = mid_index; i != 0; i = mid_parent[i]) {
        path.nodes.push_back(mid[i].first);
        path.changed.push_back(true);
    }
    path.nodes.push_back(start.node);
    path.changed.push_back(false);
    std::reverse(path.nodes.begin(), path.nodes.end());
    std::reverse(path.changed.begin(), path.changed.end());
    return path;
}

bool has_edge(const LaneGraph& graph, std::uint32_t from, std::uint32_t to, bool change) {
    for (const LaneEdge* e = graph.edges_begin(from); e != graph.edges_end(from); ++e) {
        if (e->to == to && e->lane_change == change) {
            return true;
        }
    }
    return false;
}

// Lane changes as late along the road as the lane left and the lane taken run beside each
// other: A then B (a change) then B' becomes A, A', B' (a change) where A runs into A' beside B'.
void delay_lane_changes(const LaneGraph& graph, LanePath& path) {
    const std::vector<LaneNode>& nodes = graph.nodes();
    for (bool moved = true; moved;) {
        moved = false;
        for (std::size_t i = 1; i + 1 < path.nodes.size(); ++i) {
            const std::uint32_t from = path.nodes[i - 1], next = path.nodes[i + 1];
            if (!path.changed[i] || path.changed[i + 1] ||
                !has_edge(graph, path.nodes[i], next, false) ||
                nodes[next].road != nodes[from].road) {
                continue;
            }
            for (const LaneEdge* e = graph.edges_begin(from); e != graph.edges_end(from); ++e) {
                if (!e->lane_change && nodes[e->to].road == nodes[next].road &&
                    nodes[e->to].section == nodes[next].section &&
                    has_edge(graph, e->to, next, true)) {
                    path.nodes[i] = e->to;
                    path.changed[i] = false;
                    path.changed[i + 1] = true;
                    moved = true;
                    break;
                }
            }
        }
    }
}

} // namespace

LanePath find_lane_path(const LaneGraph& graph, const GraphPlace& start, const GraphPlace& end,
                        const std::vector<std::string>& via, const std::string& from_text,
                        const std::string& to_text) {
    PathSearch search(graph, start, end, via);
    search.seed();
    search.search();
    if (!search.found()) {
        search.fail(via, from_text, to_text);
    }
    LanePath path = search.path();
    delay_lane_changes(graph, path);
    return path;
}

} // namespace korvale::routes
