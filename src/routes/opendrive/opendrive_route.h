// A route through an OpenDRIVE map: a chain of roads the user names, joined end to end, sampled
// every step metres (and at every geometry record's start and each road's far end) along the
// reference line or the centre of one lane, and written as a route file.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "routes/opendrive/opendrive_map.h"
#include "routes/row_rules.h"

namespace korvale::routes {

constexpr double DEFAULT_STEP = 1.0; // m
// Road ends farther apart than this do not meet.
constexpr double MAX_ROAD_GAP = 0.5; // m
// Lane ids a route may name.
constexpr int MAX_LANE_ID = 1000;

struct OpenDriveRouteOptions {
    std::vector<std::string> roads; // ids in driving order; empty: the map's only road
    int lane = 0;                   // 0: the reference line
    double step = DEFAULT_STEP;
    // The limit (km/h) of rows where the map gives none; none when not above 0 (or NaN).
    double default_limit_kmh = std::numeric_limits<double>::quiet_NaN();
    bool reverse = false; // the chain the other way: roads in the opposite order
    double max_rows = static_cast<double>(MAX_ROUTE_ROWS);
};

// "12, 3,7" as ids; throws RouteError for an empty id.
std::vector<std::string> split_road_ids(const std::string& text);

// The chain of roads, read from the map and joined: the options checked, each road's direction
// found, the ends checked to meet, and the number of rows checked against the cap. Throws
// RouteError for any of it.
class OpenDriveRoute {
public:
    struct Leg {
        Road road;
        bool backwards = false; // driven from s = length to s = 0
    };

    OpenDriveRoute(const OpenDriveMap& map, OpenDriveRouteOptions options);

    const std::vector<Leg>& legs() const { return chain; }
    // Lines for the head of the route file: the map, the roads, the lane, the step.
    std::vector<std::string> comments() const;
    // Makes every row in driving order and hands it to sink; throws RouteError for a row
    // without a speed limit, a lane the map lacks or a point that is not a finite number.
    void sample(const RowSink& sink) const;

private:
    // Which way each road is driven; throws RouteError where two roads do not meet.
    void orient_legs();

    std::string map_name;
    OpenDriveRouteOptions options;
    std::vector<Leg> chain;
};

// The reference line's pose at s (the first geometry record's before it begins); the road must
// have geometry records.
PlanPose reference_pose(const Road& road, double s);

// The speed limit at s of the lane (0: none, the road's) in the lane section given (null: the
// road's only): the lane's own record in force when it has one, else the road's; NaN when the
// record in force says there is none, or there is no record.
double speed_limit_at(const Road& road, const LaneSection* section, int lane, double s);

// A row (speed limit left at 0) at s on the curve t (with its derivatives by s) to the left of
// the reference line: position rolled by the superelevation, radius of the offset curve,
// superelevation towards the inside of the curve. lane names the lane in messages (0: the
// reference line, where t is ignored). Throws RouteError for a curve beyond the centre of the
// reference line's or a value that is not a finite number.
RouteRow offset_row(const Road& road, double s, int lane, const CubicValue& t);

// Builds the route and writes it to path (replacing a file there only when complete).
WrittenRoute write_opendrive_route(const OpenDriveMap& map, const OpenDriveRouteOptions& options,
                                   const std::string& path);

} // namespace korvale::routes
