// A route along lanes from a start to an end of an OpenDRIVE map: the shortest path through the
// lane graph, driven along the centre of each lane, with lane changes blended over a distance,
// speed limits carried over roads without any, and rows at most a step apart along the centre.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "routes/opendrive/lane_graph.h"
#include "routes/opendrive/lane_router.h"
#include "routes/opendrive/opendrive_route.h"

namespace korvale::routes {

constexpr double DEFAULT_LANE_CHANGE = 100.0; // m
constexpr double MIN_LANE_CHANGE = 1.0;
constexpr double MAX_LANE_CHANGE = 10000.0;
// Lane centres that meet closer than this at a join are one point; up to MAX_ROAD_GAP apart
// the route bridges the gap with a warning; farther apart is an error.
constexpr double JOIN_TOLERANCE = 0.05; // m

struct LaneRouteOptions {
    std::string from; // "ROAD:LANE[@S]" or "X,Y"
    std::string to;
    std::vector<std::string> via; // road ids to pass in order
    double step = DEFAULT_STEP;
    // The limit (km/h) where the map gives none at the route's start, before any limit is in
    // force; none when not above 0 (or NaN).
    double default_limit_kmh = std::numeric_limits<double>::quiet_NaN();
    double lane_change = DEFAULT_LANE_CHANGE; // m over which a lane change is blended
    double max_rows = static_cast<double>(MAX_ROUTE_ROWS);
};

// The share of a lane change made at u (0 to 1 along it): 10u^3 - 15u^4 + 6u^5, which starts
// and ends with no slope and no bend; with its first and second derivative by u.
CubicValue quintic_blend(double u);

// A stretch of the route within one lane section: s from s_from to s_to in driving order, on
// the centre of `lane`, or, where to_lane is not 0, on the blend from lane to to_lane that
// runs from blend_from to blend_to (s, driving order).
struct LaneStretch {
    std::uint32_t road = 0;
    std::uint32_t section = 0;
    bool forward = true;
    double s_from = 0.0;
    double s_to = 0.0;
    int lane = 0;
    int to_lane = 0;
    double blend_from = 0.0;
    double blend_to = 0.0;
    bool joins_road = false; // the first stretch on a road entered from another
};

class LaneRoute {
public:
    // Finds the path and plans the route: its stretches, its joins (warned or refused), its
    // limits and its row count. Throws RouteError for any of it.
    LaneRoute(const LaneGraph& graph, LaneRouteOptions options);

    const LanePath& path() const { return found_path; }
    const std::vector<LaneStretch>& stretches() const { return planned; }
    // The graph's warnings, then those of the joins.
    const std::vector<std::string>& warnings() const { return warning_list; }
    // Lines for the head of the route file.
    std::vector<std::string> comments() const;
    // The lateral position of the stretch's curve at s, with its derivatives by s.
    CubicValue lateral(const LaneStretch& stretch, double s) const;
    // Makes every row in driving order and hands it to sink.
    void sample(const RowSink& sink) const;

private:
    void plan_stretches();
    void plan_joins();
    void plan_limits();
    RouteRow row_at(const LaneStretch& stretch, double s) const;
    // How fast the stretch's curve runs in 3-D along s (its length per metre of s).
    double pace(const LaneStretch& stretch, double s) const;
    double limit_at(const LaneStretch& stretch, double s) const;

    const LaneGraph& graph;
    LaneRouteOptions options;
    LanePath found_path;
    std::vector<LaneStretch> planned;
    std::vector<std::string> warning_list;
    std::vector<std::string> limit_notes;
};

// Builds the lane graph of the map, the route, and writes it to path (replacing a file there
// only when complete); the route's warnings go to *warnings when given.
WrittenRoute write_lane_route(const OpenDriveMap& map, const LaneRouteOptions& options,
                              const std::string& path,
                              std::vector<std::string>* warnings = nullptr);

} // namespace korvale::routes
