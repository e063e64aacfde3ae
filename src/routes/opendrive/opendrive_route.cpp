#include "routes/opendrive/opendrive_route.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "geometry/point3.h"
#include "routes/opendrive/lane_graph.h"
#include "routes/route_error.h"

namespace korvale::routes {

namespace {

std::string road_name(const Road& road) {
    return "road '" + road.id + "'";
}

const PlanGeometry& geometry_at(const Road& road, double s) {
    const PlanGeometry* g = record_in_force(road.geometry, s);
    return g != nullptr ? *g : road.geometry.front();
}

} // namespace

PlanPose reference_pose(const Road& road, double s) {
    const PlanGeometry& g = geometry_at(road, s);
    return g.at(s - g.s());
}

namespace {

// The reference line's point at s, with its elevation.
Point3 reference_point(const Road& road, double s) {
    const PlanGeometry& g = geometry_at(road, s);
    const PlanPose pose = g.at(s - g.s());
    return {pose.x, pose.y, road.elevation.at(s).value};
}

// A place along a road: its driving distance from the entry end, and its s.
struct Station {
    double d;
    double s;
};

// Where the rows of a road lie, in driving order: every step from the entry end, every
// geometry record's start, the far end; a row closer than MIN_ROW_SPACING to the one before it
// is left out (the far end stays, in place of a row just before it).
std::vector<Station> stations(const Road& road, bool backwards, double step) {
    const double length = road.length;
    const std::vector<double> places = step_places(length, step);
    std::vector<Station> all;
    all.reserve(places.size() + road.geometry.size());
    for (std::size_t k = 0; k + 1 < places.size(); ++k) { // the end comes last, below
        all.push_back({places[k], backwards ? length - places[k] : places[k]});
    }
    for (const PlanGeometry& g : road.geometry) {
        if (g.s() > 0 && g.s() < length) {
            all.push_back({backwards ? length - g.s() : g.s(), g.s()});
        }
    }
    std::stable_sort(all.begin(), all.end(),
                     [](const Station& a, const Station& b) { return a.d < b.d; });
    std::vector<Station> kept;
    kept.reserve(all.size() + 1);
    for (const Station& station : all) {
        if (kept.empty() || station.d - kept.back().d >= MIN_ROW_SPACING) {
            kept.push_back(station);
        }
    }
    while (kept.size() > 1 && length - kept.back().d < MIN_ROW_SPACING) {
        kept.pop_back();
    }
    // (A road of length 0 has no row before its far end: that end is its one row.)
    if (kept.empty() || length - kept.back().d >= MIN_ROW_SPACING) {
        kept.push_back({length, backwards ? 0.0 : length});
    }
    return kept;
}

// The lateral position t of the lane's centre (m, positive to the left of the reference line
// in the direction of +s) with its first and second derivative by s.
CubicValue lane_centre(const Road& road, int lane, double s) {
    const LaneSection* section = record_in_force(road.sections, s);
    if (section == nullptr) {
        throw RouteError(road_name(road) + " has no lane section at s = " + number_text(s));
    }
    return lane_centre_in(road, static_cast<std::size_t>(section - road.sections.data()), lane, s,
                          false);
}

// Curvature of the curve at lateral offset t from a reference line of curvature k (rate dk):
// with p' = (1 - k t) T + t' N and p'' = -(dk t + 2 k t') T + (k (1 - k t) + t'') N.
double offset_curvature(double k, double dk, const CubicValue& t) {
    const double along = 1 - k * t.value;
    if (t.first == 0.0 && t.second == 0.0) {
        return k / along;
    }
    const double cross =
        k * along * along + along * t.second + dk * t.value * t.first + 2 * k * t.first * t.first;
    const double speed_squared = along * along + t.first * t.first;
    return cross / (speed_squared * std::sqrt(speed_squared));
}

} // namespace

double speed_limit_at(const Road& road, const LaneSection* section, int lane, double s) {
    if (lane != 0) {
        const Lane* found = section != nullptr ? section->lane(lane) : nullptr;
        if (found != nullptr) {
            if (const SpeedRecord* r = record_in_force(found->speeds, s - section->s)) {
                return r->kmh;
            }
        }
    }
    const SpeedRecord* r = record_in_force(road.speeds, s);
    return r != nullptr ? r->kmh : std::numeric_limits<double>::quiet_NaN();
}

RouteRow offset_row(const Road& road, double s, int lane, const CubicValue& t) {
    const PlanGeometry& g = geometry_at(road, s);
    const PlanPose pose = g.at(s - g.s());
    const double elevation = road.elevation.at(s).value;
    const double roll = road.superelevation.at(s).value;
    const double k = pose.curvature;

    double curvature = k;
    if (lane != 0) {
        if (!(1 - k * t.value > 0)) {
            throw RouteError(road_name(road) + " at s = " + number_text(s) + ": lane " +
                             std::to_string(lane) + " lies " + number_text(t.value) +
                             " m from the reference line, beyond the centre of its curve (radius " +
                             number_text(1 / std::fabs(k)) + " m)");
        }
        curvature = offset_curvature(k, pose.curvature_rate, t);
    }
    RouteRow row;
    const double across = t.value * std::cos(roll);
    row.x = pose.x - across * std::sin(pose.heading);
    row.y = pose.y + across * std::cos(pose.heading);
    row.z = elevation + t.value * std::sin(roll);
    // A bank towards the inside of the curve is positive, whichever way the road is driven:
    // the roll is positive where the road falls to the right, a left curve has k > 0.
    const double inside = k > 0 ? -1.0 : (k < 0 ? 1.0 : 0.0);
    set_curve(row, curvature, std::tan(roll) * inside);
    if (!finite_shape(row)) {
        throw RouteError(road_name(road) + " at s = " + number_text(s) +
                         ": the map gives a point, curvature or speed that is not a finite number");
    }
    return row;
}

namespace {

// The speed limit at s: the lane's own record in force when the lane has one, else the
// road's; NaN when the record in force says there is none, or there is no record.
double limit_at(const Road& road, int lane, double s) {
    return speed_limit_at(road, lane != 0 ? record_in_force(road.sections, s) : nullptr, lane, s);
}

RouteRow make_row(const Road& road, int lane, double s, double default_limit) {
    RouteRow row = offset_row(road, s, lane, lane != 0 ? lane_centre(road, lane, s) : CubicValue{});
    row.speed_limit = limit_or_fallback(limit_at(road, lane, s), default_limit);
    if (std::isnan(row.speed_limit)) {
        throw RouteError(road_name(road) + " has no speed limit at s = " + number_text(s) +
                         "; give a limit for rows without one");
    }
    if (!std::isfinite(row.speed_limit)) {
        throw RouteError(road_name(road) + " at s = " + number_text(s) +
                         ": the map gives a point, curvature or speed that is not a finite number");
    }
    return row;
}

} // namespace

std::vector<std::string> split_road_ids(const std::string& text) {
    std::vector<std::string> ids;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        std::string id = text.substr(start, comma == std::string::npos ? comma : comma - start);
        const auto first = id.find_first_not_of(" \t");
        id = first == std::string::npos ? ""
                                        : id.substr(first, id.find_last_not_of(" \t") - first + 1);
        if (id.empty()) {
            throw RouteError("an empty road id in the list of roads '" + text + "'");
        }
        ids.push_back(id);
        if (comma == std::string::npos) {
            return ids;
        }
        start = comma + 1;
    }
}

namespace {

// The ids of the roads in driving order: the roads named, or the map's only road.
std::vector<std::string> chain_ids(const OpenDriveMap& map, const OpenDriveRouteOptions& options) {
    std::vector<std::string> ids = options.roads;
    if (ids.empty()) {
        if (map.road_count() != 1) {
            throw RouteError("the map '" + map.name() + "' has " +
                             std::to_string(map.road_count()) + " roads; name the roads to drive");
        }
        ids.push_back(map.summaries().front().id);
    }
    if (options.reverse) {
        std::reverse(ids.begin(), ids.end());
    }
    return ids;
}

// Whether the first of two or more roads is driven backwards: towards the end that meets the
// second.
bool first_backwards(const Road& first, const Road& next) {
    const Point3 start = reference_point(first, 0.0);
    const Point3 end = reference_point(first, first.length);
    const Point3 next_start = reference_point(next, 0.0);
    const Point3 next_end = reference_point(next, next.length);
    const double from_start =
        std::fmin(distance_between(start, next_start), distance_between(start, next_end));
    const double from_end =
        std::fmin(distance_between(end, next_start), distance_between(end, next_end));
    return from_start < from_end;
}

} // namespace

OpenDriveRoute::OpenDriveRoute(const OpenDriveMap& map, OpenDriveRouteOptions chosen)
    : map_name(map.name()), options(std::move(chosen)) {
    const double step = options.step;
    check_step(step);
    if (options.lane < -MAX_LANE_ID || options.lane > MAX_LANE_ID) {
        throw RouteError("lane " + std::to_string(options.lane) +
                         " is beyond the lanes of any road (" + std::to_string(-MAX_LANE_ID) +
                         " to " + std::to_string(MAX_LANE_ID) + ")");
    }
    double rows = 0;
    for (const std::string& id : chain_ids(map, options)) {
        Leg leg{map.road(id), false};
        if (leg.road.geometry.empty()) {
            throw RouteError(road_name(leg.road) + " has no geometry records");
        }
        rows += rows_along(leg.road.length, step) + static_cast<double>(leg.road.geometry.size());
        chain.push_back(std::move(leg));
    }
    check_row_count(rows, options.max_rows);
    orient_legs();
}

void OpenDriveRoute::orient_legs() {
    // The first road is driven towards the end that meets the second; each further road is
    // entered at its end nearer to where the road before it left off.
    chain.front().backwards =
        chain.size() > 1 ? first_backwards(chain[0].road, chain[1].road) : options.reverse;
    Point3 leaving;
    for (std::size_t i = 0; i < chain.size(); ++i) {
        Leg& leg = chain[i];
        const Point3 start = reference_point(leg.road, 0.0);
        const Point3 end = reference_point(leg.road, leg.road.length);
        if (i > 0) {
            const double to_start = distance_between(leaving, start);
            const double to_end = distance_between(leaving, end);
            leg.backwards = to_end < to_start;
            const double gap = std::fmin(to_start, to_end);
            if (!(gap <= MAX_ROAD_GAP)) {
                throw RouteError("roads '" + chain[i - 1].road.id + "' and '" + leg.road.id +
                                 "' do not meet: their nearest ends are " + number_text(gap) +
                                 " m apart (more than " + number_text(MAX_ROAD_GAP) + " m)");
            }
        }
        leaving = leg.backwards ? start : end;
    }
}

std::vector<std::string> OpenDriveRoute::comments() const {
    std::string roads = "roads:";
    for (std::size_t i = 0; i < chain.size(); ++i) {
        roads += (i == 0 ? " " : ", ") + chain[i].road.id;
        if (chain[i].backwards) {
            roads += " (driven backwards)";
        }
    }
    const int lane = options.lane;
    const std::string lane_text = lane == 0
                                      ? "lane: the reference line"
                                      : "lane: " + std::to_string(lane) + " (" +
                                            std::to_string(-lane) + " on roads driven backwards)";
    const double limit = options.default_limit_kmh;
    return {"korvale route from the OpenDRIVE map '" + map_name + "'",
            roads,
            lane_text,
            "step: " + number_text(options.step) + " m",
            gives_limit(limit) ? "limit where the map gives none: " + number_text(limit) + " km/h"
                               : "limit where the map gives none: none",
            "x y z curve_radius speed_limit superelevation"};
}

void OpenDriveRoute::sample(const RowSink& sink) const {
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const Leg& leg = chain[i];
        std::vector<Station> rows = stations(leg.road, leg.backwards, options.step);
        // Where two roads meet there is one row, the entered road's first.
        if (i + 1 < chain.size()) {
            rows.pop_back();
        }
        const int lane = leg.backwards ? -options.lane : options.lane;
        for (const Station& station : rows) {
            sink(make_row(leg.road, lane, station.s, options.default_limit_kmh));
        }
    }
}

WrittenRoute write_opendrive_route(const OpenDriveMap& map, const OpenDriveRouteOptions& options,
                                   const std::string& path) {
    return write_route(OpenDriveRoute(map, options), path);
}

} // namespace korvale::routes
