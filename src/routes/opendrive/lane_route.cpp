#include "routes/opendrive/lane_route.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "geometry/point3.h"
#include "routes/route_error.h"
#include "routes/route_file_writer.h"
#include "text/text.h"

namespace korvale::routes {

using text::quoted;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// Rows along a stretch are placed by its length over pieces of at most this many metres (and
// half a step), each measured by three-point Gauss-Legendre.
constexpr double MAX_LENGTH_PIECE = 5.0; // m
constexpr double GAUSS3_X = 0.7745966692414834;
constexpr double GAUSS3_W[2] = {0.8888888888888888, 0.5555555555555556};
// A piece whose curve runs faster along s at one of its points than at another by more than
// this ratio is halved, at most MAX_PIECE_SPLITS times over.
constexpr double UNEVEN = 1.01;
constexpr int MAX_PIECE_SPLITS = 8;

// Lanes of one lane section in the order driven: the first, then each taken by a lane change;
// d is the distance along the road in the driving direction (s, or -s on a road driven
// towards -s).
struct Group {
    std::uint32_t section = 0;
    std::vector<int> lanes;
    double d_in = 0.0;
    double d_out = 0.0;
    std::vector<double> switches; // where each lane change ends, d
};

struct Run {
    std::uint32_t road = 0;
    bool forward = true;
    std::vector<Group> groups;
};

// A lane change's blend over [d_from, d_to]; the lane taken, per group of the run.
struct PlannedBlend {
    double d_from = 0.0;
    double d_to = 0.0;
    std::vector<std::pair<std::size_t, int>> to_lanes; // group, lane
};

Point3 point_of(const RouteRow& row) {
    return {row.x, row.y, row.z};
}

std::string place_text(const LaneGraph& graph, const GraphPlace& place) {
    return graph.describe(place.node) + ", s = " + number_text(std::round(place.s * 1000) / 1000);
}

// Hands rows on to a sink, leaving out a row closer than MIN_ROW_SPACING to the row after it
// (JOIN_TOLERANCE where that row starts a stretch): the later row stands for both.
class SpacedRows {
public:
    explicit SpacedRows(const RowSink& sink) : sink(sink) {}

    void push(const RouteRow& row, bool first_of_stretch) {
        if (has_pending) {
            const double gap = distance_between(point_of(pending), point_of(row));
            if (!(gap <= (first_of_stretch ? JOIN_TOLERANCE : MIN_ROW_SPACING))) {
                sink(pending);
            }
        }
        pending = row;
        has_pending = true;
    }
    void finish() {
        if (has_pending) {
            sink(pending);
        }
    }

private:
    const RowSink& sink;
    bool has_pending = false;
    RouteRow pending;
};

// Rows every step along a stretch's curve: piece by piece, each piece's length by
// Gauss-Legendre, a row's s within its piece in proportion to the length. A piece where the
// curve runs unevenly along s (a lane change squeezed into little room) is halved until it runs
// evenly, so that rows a step apart in length are a step apart on the curve too.
template <class Pace, class Emit>
class StepWalk {
public:
    StepWalk(double step, const std::string& road, const Pace& pace, const Emit& emit)
        : step(step), target(step), road(road), pace(pace), emit(emit) {}

    // The piece from s = a to b (the stretch's last when last).
    void place(double a, double b, bool last, int splits) {
        const double half = (b - a) / 2, mid = (a + b) / 2;
        const double v0 = pace(mid), v1 = pace(mid - half * GAUSS3_X),
                     v2 = pace(mid + half * GAUSS3_X);
        const double length = std::fabs(half) * (GAUSS3_W[0] * v0 + GAUSS3_W[1] * (v1 + v2));
        if (!std::isfinite(length)) {
            throw RouteError("road " + quoted(road) + " at s = " + number_text(mid) +
                             ": the lane's length is not a finite number");
        }
        if (splits < MAX_PIECE_SPLITS &&
            std::fmax(v0, std::fmax(v1, v2)) > UNEVEN * std::fmin(v0, std::fmin(v1, v2))) {
            place(a, mid, false, splits + 1);
            place(mid, b, last, splits + 1);
            return;
        }
        // (the last row of a stretch is its end, not one just before it)
        while (target <= reached + length &&
               !(last && target >= reached + length - MIN_ROW_SPACING)) {
            emit(a + (target - reached) / length * (b - a));
            target += step;
        }
        reached += length;
    }

private:
    double step;
    double reached = 0.0, target;
    const std::string& road;
    const Pace& pace;
    const Emit& emit;
};

} // namespace

CubicValue quintic_blend(double u) {
    u = std::clamp(u, 0.0, 1.0);
    const double v = 1 - u;
    return {u * u * u * (10 - 15 * u + 6 * u * u), 30 * u * u * v * v, 60 * u * v * (1 - 2 * u)};
}

LaneRoute::LaneRoute(const LaneGraph& lanes, LaneRouteOptions chosen)
    : graph(lanes), options(std::move(chosen)) {
    check_step(options.step);
    const double change = options.lane_change;
    if (!(change >= MIN_LANE_CHANGE && change <= MAX_LANE_CHANGE)) {
        throw RouteError("the lane change length " + number_text(change) + " m is outside " +
                         number_text(MIN_LANE_CHANGE) + " to " + number_text(MAX_LANE_CHANGE) +
                         " m");
    }
    const LanePlace from = parse_lane_place(options.from, "--from");
    const LanePlace to = parse_lane_place(options.to, "--to");
    const GraphPlace start = resolve_place(graph, from, false);
    const GraphPlace end = resolve_place(graph, to, true);
    found_path = find_lane_path(graph, start, end, options.via, options.from, options.to);
    warning_list = graph.warnings();
    plan_stretches();
    plan_joins();
    plan_limits();

    double rows = 0;
    for (const LaneStretch& st : planned) {
        const Road& road = graph.roads()[st.road];
        const double span = section_end(road, st.section) - road.sections[st.section].s;
        const std::uint32_t n = graph.find(st.road, st.section, st.lane, st.forward);
        const double length = n == NO_NODE || !(span > 0)
                                  ? 0.0
                                  : graph.nodes()[n].length * std::fabs(st.s_to - st.s_from) / span;
        rows += std::ceil(length / options.step) + 2;
    }
    check_row_count(rows, options.max_rows);
}

namespace {

// The path's nodes as runs along one road each, in groups of one lane section each; d_in and
// d_out of the first and last group are where the route starts and ends.
std::vector<Run> runs_of(const LaneGraph& graph, const LanePath& path) {
    const std::vector<LaneNode>& nodes = graph.nodes();
    std::vector<Run> runs;
    for (std::size_t i = 0; i < path.nodes.size(); ++i) {
        const std::uint32_t n = path.nodes[i];
        const LaneNode& node = nodes[n];
        const double dir = node.forward ? 1.0 : -1.0;
        if (path.changed[i]) {
            runs.back().groups.back().lanes.push_back(node.lane);
            continue;
        }
        const LaneNode* before = i > 0 ? &nodes[path.nodes[i - 1]] : nullptr;
        const bool same_road =
            before != nullptr && before->road == node.road &&
            node.section == (node.forward ? before->section + 1 : before->section - 1);
        if (!same_road) {
            runs.push_back({node.road, node.forward, {}});
        }
        runs.back().groups.push_back(
            {node.section, {node.lane}, dir * graph.entry_s(n), dir * graph.exit_s(n), {}});
    }
    const double dir = nodes[path.start.node].forward ? 1.0 : -1.0;
    runs.front().groups.front().d_in = dir * path.start.s;
    const double end_dir = nodes[path.end.node].forward ? 1.0 : -1.0;
    runs.back().groups.back().d_out = end_dir * path.end.s;
    return runs;
}

// Each lane change ends where the lane left ends (or the route does); one before it in the
// same section ends where the next begins. Changes that do not fit share the room there is
// since the route's start or the change before. Returns each group's length of lane change.
std::vector<double> place_switches(Run& run, double change) {
    double since = run.groups.front().d_in;
    std::vector<double> lengths;
    for (Group& g : run.groups) {
        const auto changes = static_cast<double>(g.lanes.size() - 1);
        const double length = changes > 0 ? std::min(change, (g.d_out - since) / changes) : change;
        lengths.push_back(length);
        g.switches.assign(g.lanes.size() - 1, 0.0);
        for (std::size_t j = g.switches.size(); j-- > 0;) {
            g.switches[j] = j + 1 == g.switches.size() ? g.d_out : g.switches[j + 1] - length;
        }
        if (!g.switches.empty()) {
            since = g.switches.back();
        }
    }
    return lengths;
}

// The lane of the section of group `earlier` (of one lane) that runs into `lane` of the next
// group's section beside the lane driven; 0 where none does.
int lane_into(const LaneGraph& graph, const Run& run, std::size_t earlier, int lane) {
    const Group& g = run.groups[earlier];
    if (g.lanes.size() != 1) {
        return 0;
    }
    const std::vector<LaneNode>& nodes = graph.nodes();
    const std::uint32_t later_node =
        graph.find(run.road, run.groups[earlier + 1].section, lane, run.forward);
    int found = 0;
    for (std::uint32_t n = graph.section_first(run.road, g.section);
         n < graph.section_last(run.road, g.section) && found == 0; ++n) {
        for (const LaneEdge* e = graph.edges_begin(n); e != graph.edges_end(n); ++e) {
            if (!e->lane_change && e->to == later_node && nodes[n].forward == run.forward &&
                nodes[n].lane != g.lanes[0]) {
                found = nodes[n].lane;
            }
        }
    }
    return found;
}

// The blend of lane change j of group gi, which may start no earlier than lower: the lane
// taken, traced back through the sections before while both lanes run there and the blend
// reaches that far.
PlannedBlend plan_blend(const LaneGraph& graph, const Run& run, std::size_t gi, std::size_t j,
                        double length, double lower) {
    const Group& g = run.groups[gi];
    PlannedBlend blend;
    blend.d_to = g.switches[j];
    blend.to_lanes.emplace_back(gi, g.lanes[j + 1]);
    for (std::size_t back = gi; j == 0 && back > 0 && run.groups[back].d_in > blend.d_to - length;
         --back) {
        const int found = lane_into(graph, run, back - 1, blend.to_lanes.back().second);
        if (found == 0) {
            lower = std::max(lower, run.groups[back].d_in);
            break;
        }
        blend.to_lanes.emplace_back(back - 1, found);
    }
    blend.d_from = std::max(blend.d_to - length, lower);
    return blend;
}

std::vector<PlannedBlend> plan_blends(const LaneGraph& graph, const Run& run,
                                      const std::vector<double>& lengths) {
    std::vector<PlannedBlend> blends;
    const double d_in = run.groups.front().d_in;
    double last_switch = d_in;
    for (std::size_t gi = 0; gi < run.groups.size(); ++gi) {
        const Group& g = run.groups[gi];
        for (std::size_t j = 0; j < g.switches.size(); ++j) {
            const double lower = j > 0 ? g.switches[j - 1] : std::max(last_switch, d_in);
            blends.push_back(plan_blend(graph, run, gi, j, lengths[gi], lower));
        }
        if (!g.switches.empty()) {
            last_switch = g.switches.back();
        }
    }
    return blends;
}

// The stretch of the run from d = a to b, of the group whose section holds it.
std::optional<LaneStretch> stretch_between(const Run& run, const std::vector<PlannedBlend>& blends,
                                           double a, double b) {
    const double dir = run.forward ? 1.0 : -1.0, mid = (a + b) / 2;
    const auto group = static_cast<std::size_t>(
        std::find_if(run.groups.begin(), run.groups.end(),
                     [&](const Group& g) { return g.d_in <= mid && mid <= g.d_out; }) -
        run.groups.begin());
    if (group == run.groups.size()) {
        return std::nullopt;
    }
    const Group& g = run.groups[group];
    std::size_t occupied = 0;
    while (occupied < g.switches.size() && g.switches[occupied] <= mid) {
        ++occupied;
    }
    LaneStretch st;
    st.road = run.road;
    st.section = g.section;
    st.forward = run.forward;
    st.s_from = dir * a;
    st.s_to = dir * b;
    st.lane = g.lanes[occupied];
    for (const PlannedBlend& blend : blends) {
        if (blend.d_from <= mid && mid < blend.d_to) {
            for (const auto& [gi, lane] : blend.to_lanes) {
                if (gi == group) {
                    st.to_lane = lane;
                }
            }
            st.blend_from = dir * blend.d_from;
            st.blend_to = dir * blend.d_to;
        }
    }
    return st;
}

// Stretches between every group boundary, lane change end and blend start.
void cut_stretches(const Run& run, const std::vector<PlannedBlend>& blends, bool joins_road,
                   std::vector<LaneStretch>& stretches) {
    std::vector<double> cuts;
    for (const Group& g : run.groups) {
        cuts.push_back(g.d_in);
        cuts.push_back(g.d_out);
        cuts.insert(cuts.end(), g.switches.begin(), g.switches.end());
    }
    for (const PlannedBlend& b : blends) {
        cuts.push_back(b.d_from);
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    bool first = joins_road;
    for (std::size_t c = 0; c + 1 < cuts.size(); ++c) {
        if (std::optional<LaneStretch> st = stretch_between(run, blends, cuts[c], cuts[c + 1])) {
            st->joins_road = first;
            first = false;
            stretches.push_back(*st);
        }
    }
}

} // namespace

void LaneRoute::plan_stretches() {
    std::vector<Run> runs = runs_of(graph, found_path);
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const std::vector<double> lengths = place_switches(runs[r], options.lane_change);
        const std::vector<PlannedBlend> blends = plan_blends(graph, runs[r], lengths);
        cut_stretches(runs[r], blends, r > 0, planned);
    }
    if (planned.empty()) {
        throw RouteError("the route from " + quoted(options.from) + " to " + quoted(options.to) +
                         " has no length");
    }
}

CubicValue LaneRoute::lateral(const LaneStretch& st, double s) const {
    const Road& road = graph.roads()[st.road];
    const bool before = s >= section_end(road, st.section);
    const CubicValue from = lane_centre_in(road, st.section, st.lane, s, before);
    if (st.to_lane == 0) {
        return from;
    }
    const CubicValue to = lane_centre_in(road, st.section, st.to_lane, s, before);
    const double span = st.blend_to - st.blend_from;
    const double u = span != 0.0 ? (s - st.blend_from) / span : 1.0;
    const double du = span != 0.0 ? 1 / span : 0.0;
    const CubicValue q = quintic_blend(u);
    const CubicValue delta{to.value - from.value, to.first - from.first, to.second - from.second};
    return {from.value + delta.value * q.value,
            from.first + delta.first * q.value + delta.value * q.first * du,
            from.second + delta.second * q.value + 2 * delta.first * q.first * du +
                delta.value * q.second * du * du};
}

double LaneRoute::limit_at(const LaneStretch& st, double s) const {
    const Road& road = graph.roads()[st.road];
    const LaneSection* section = &road.sections[st.section];
    const double limit = speed_limit_at(road, section, st.lane, s);
    // Over a lane change, the lower of the two lanes' limits.
    return st.to_lane == 0 ? limit : std::fmin(limit, speed_limit_at(road, section, st.to_lane, s));
}

RouteRow LaneRoute::row_at(const LaneStretch& st, double s) const {
    return offset_row(graph.roads()[st.road], s, st.lane, lateral(st, s));
}

void LaneRoute::plan_joins() {
    for (std::size_t i = 1; i < planned.size(); ++i) {
        const LaneStretch& a = planned[i - 1];
        const LaneStretch& b = planned[i];
        const double gap =
            distance_between(point_of(row_at(a, a.s_to)), point_of(row_at(b, b.s_from)));
        if (gap <= JOIN_TOLERANCE) {
            continue;
        }
        const Road& ra = graph.roads()[a.road];
        const Road& rb = graph.roads()[b.road];
        const std::string gap_text = number_text(std::round(gap * 1000) / 1000) + " m";
        const std::string where =
            b.joins_road ? "roads " + quoted(ra.id) + " (lane " + std::to_string(a.lane) +
                               ") and " + quoted(rb.id) + " (lane " + std::to_string(b.lane) + ")"
                         : "road " + quoted(ra.id) + ": lanes " + std::to_string(a.lane) + " and " +
                               std::to_string(b.lane) +
                               " at s = " + number_text(std::round(b.s_from * 1000) / 1000);
        if (!(gap <= MAX_ROAD_GAP)) {
            throw RouteError(where + " do not meet: their lane centres are " + gap_text +
                             " apart (more than " + number_text(MAX_ROAD_GAP) + " m)");
        }
        warning_list.push_back(where + ": the lane centres are " + gap_text +
                               " apart where they meet; the route bridges the gap");
    }
}

namespace {

// The stretch's ends and the starts of the speed records within it, in driving order: the
// limit is the same between them.
std::vector<double> limit_cuts(const Road& road, const LaneStretch& st) {
    const LaneSection& sec = road.sections[st.section];
    std::vector<double> cuts{st.s_from, st.s_to};
    for (const SpeedRecord& r : road.speeds) {
        cuts.push_back(r.s);
    }
    for (const int lane : {st.lane, st.to_lane}) {
        if (const Lane* found = lane != 0 ? sec.lane(lane) : nullptr) {
            for (const SpeedRecord& r : found->speeds) {
                cuts.push_back(sec.s + r.s);
            }
        }
    }
    const double lo = std::min(st.s_from, st.s_to), hi = std::max(st.s_from, st.s_to);
    cuts.erase(std::remove_if(cuts.begin(), cuts.end(), [&](double s) { return s < lo || s > hi; }),
               cuts.end());
    std::sort(cuts.begin(), cuts.end());
    if (!st.forward) {
        std::reverse(cuts.begin(), cuts.end());
    }
    return cuts;
}

} // namespace

void LaneRoute::plan_limits() {
    double carried = NaN;
    std::string carried_from;
    std::string last_note;
    for (const LaneStretch& st : planned) {
        const Road& road = graph.roads()[st.road];
        // Looked at in the middle of each piece between cuts.
        const std::vector<double> cuts = limit_cuts(road, st);
        for (std::size_t i = 0; i + 1 < cuts.size() || i == 0; ++i) {
            const double s = i + 1 < cuts.size() ? (cuts[i] + cuts[i + 1]) / 2 : cuts[i];
            const double limit = limit_at(st, s);
            if (!std::isnan(limit)) {
                carried = limit;
                carried_from = road.id;
                continue;
            }
            const std::string where = "road " + quoted(road.id) + " lane " +
                                      std::to_string(st.lane) +
                                      " from s = " + number_text(std::round(cuts[i] * 1000) / 1000);
            std::string note;
            if (!std::isnan(carried)) {
                note = "limit carried over: " + where + " takes " + number_text(carried) +
                       " km/h from road " + quoted(carried_from);
            } else if (gives_limit(options.default_limit_kmh)) {
                note = "limit given for the start: " + where + " takes " +
                       number_text(options.default_limit_kmh) + " km/h";
            } else {
                throw RouteError("road " + quoted(road.id) + " (lane " + std::to_string(st.lane) +
                                 ") has no speed limit at s = " + number_text(s) +
                                 ", where the route starts; give a limit for the start of the "
                                 "route");
            }
            const std::string key = road.id + ":" + std::to_string(st.lane);
            if (key != last_note) {
                limit_notes.push_back(note);
                last_note = key;
            }
        }
    }
}

std::vector<std::string> LaneRoute::comments() const {
    const std::vector<LaneNode>& nodes = graph.nodes();
    std::string path = "path:";
    for (std::size_t i = 0; i < found_path.nodes.size(); ++i) {
        const LaneNode& node = nodes[found_path.nodes[i]];
        const LaneNode* before = i > 0 ? &nodes[found_path.nodes[i - 1]] : nullptr;
        if (before != nullptr && before->road == node.road && before->lane == node.lane) {
            continue;
        }
        path += (i == 0 ? " " : ", ") + graph.roads()[node.road].id + ":" +
                std::to_string(node.lane) + (found_path.changed[i] ? " (lane change)" : "");
    }
    std::string via = "via:";
    for (const std::string& id : options.via) {
        via += " " + id;
    }
    const double limit = options.default_limit_kmh;
    std::vector<std::string> lines{
        "korvale route from the OpenDRIVE map '" + graph.map_name() + "'",
        "from: " + options.from + " (" + place_text(graph, found_path.start) + ")",
        "to: " + options.to + " (" + place_text(graph, found_path.end) + ")"};
    if (!options.via.empty()) {
        lines.push_back(via);
    }
    lines.push_back(path);
    lines.push_back("step: " + number_text(options.step) + " m along the lane centre");
    lines.push_back("lane change: " + number_text(options.lane_change) + " m");
    lines.push_back(gives_limit(limit) ? "limit where the map gives none at the start: " +
                                             number_text(limit) + " km/h"
                                       : "limit where the map gives none at the start: none");
    lines.insert(lines.end(), limit_notes.begin(), limit_notes.end());
    for (const std::string& warning : warning_list) {
        lines.push_back("warning: " + warning);
    }
    lines.push_back("x y z curve_radius speed_limit superelevation");
    return lines;
}

// How fast the stretch's curve runs in 3-D along s (its length per metre of s).
double LaneRoute::pace(const LaneStretch& st, double s) const {
    const Road& road = graph.roads()[st.road];
    const PlanPose pose = reference_pose(road, s);
    const CubicValue t = lateral(st, s);
    const CubicValue roll = road.superelevation.at(s);
    const double c = std::cos(roll.value), sn = std::sin(roll.value);
    const double across = t.value * c;
    const double across_rate = t.first * c - t.value * sn * roll.first;
    const double climb = road.elevation.at(s).first + t.first * sn + t.value * c * roll.first;
    const double along = 1 - pose.curvature * across;
    return std::sqrt(along * along + across_rate * across_rate + climb * climb);
}

void LaneRoute::sample(const RowSink& sink) const {
    SpacedRows rows(sink);
    double carried = NaN; // the last limit the map gave
    for (const LaneStretch& st : planned) {
        const Road& road = graph.roads()[st.road];
        const auto emit = [&](double s, bool first_of_stretch) {
            RouteRow row = row_at(st, s);
            const double limit = limit_at(st, s);
            carried = std::isnan(limit) ? carried : limit;
            row.speed_limit = limit_or_fallback(carried, options.default_limit_kmh);
            if (!std::isfinite(row.speed_limit)) {
                throw RouteError("road " + quoted(road.id) + " at s = " + number_text(s) +
                                 ": the map gives a speed that is not a finite number");
            }
            rows.push(row, first_of_stretch);
        };
        const auto pace_at = [&](double s) { return pace(st, s); };
        const auto emit_within = [&](double s) { emit(s, false); };
        StepWalk walk(options.step, road.id, pace_at, emit_within);
        const double span = st.s_to - st.s_from;
        const double piece = std::min(MAX_LENGTH_PIECE, options.step / 2);
        const double pieces = std::max(1.0, std::ceil(std::fabs(span) / piece));
        emit(st.s_from, true);
        double a = st.s_from;
        for (double i = 1; i <= pieces; ++i) {
            const double b = i == pieces ? st.s_to : st.s_from + span * i / pieces;
            walk.place(a, b, i == pieces, 0);
            a = b;
        }
        emit(st.s_to, false);
    }
    rows.finish();
}

WrittenRoute write_lane_route(const OpenDriveMap& map, const LaneRouteOptions& options,
                              const std::string& path, std::vector<std::string>* warnings) {
    const LaneGraph graph(map);
    const LaneRoute route(graph, options);
    if (warnings != nullptr) {
        *warnings = route.warnings();
    }
    return write_route(route, path);
}

} // namespace korvale::routes
