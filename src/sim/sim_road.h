// A route as the drives see it: distance, height, grade, curve radius and the maximum speed
// (speed limit and curve comfort) of each row, the stops, and the braking envelope that a driver
// who brakes as late as a deceleration allows keeps below.
#pragma once

#include <cstdint>
#include <vector>

#include "dynamics/speed_programme.h"
#include "profile/profile_columns.h"
#include "profile/route_profile.h"

namespace korvale::sim {

// A drive ends once it stands at or past this far before the route's end, m.
constexpr double END_TOLERANCE = 0.5;

struct RoadRows {
    std::vector<double> distance;    // cumulative, m
    std::vector<double> z;           // m
    std::vector<double> max_speed;   // the smaller of limit and curve comfort, km/h
    std::vector<double> grade;       // of the segment from each row to the next
    std::vector<double> radius;      // m
    std::vector<double> recommended; // km/h; empty: the maximum speed
};

class SimRoad {
public:
    // Rows below dynamics::STOP_SPEED (1 km/h) are stops; a run of them up to the last row ends
    // the route at its first. At least two rows and some length.
    explicit SimRoad(RoadRows rows);
    // A profile and the columns its construction worked with (allowed speed, grade, radius).
    SimRoad(const RouteProfile& profile, const ConstructionDetails& details);

    std::int32_t rows() const { return static_cast<std::int32_t>(road.distance.size()); }
    double length() const { return road.distance.back(); }
    const RoadRows& columns() const { return road; }
    const std::vector<std::int32_t>& stops() const { return stop_rows; }

    // The segment (row i to i + 1) that holds s, looked for from hint on (drives go forward).
    std::int32_t segment_at(double s, std::int32_t hint = 0) const;
    // The maximum speed at s in the segment, m/s, linear between rows; a stop is a point, so
    // that the segments on either side of it take their other row's speed.
    double max_speed(double s, std::int32_t segment) const;
    // The recommended speed the same way, m/s.
    double recommended(double s, std::int32_t segment) const;
    double grade(std::int32_t segment) const { return road.grade[segment]; }
    double radius(std::int32_t segment) const { return road.radius[segment]; }
    double z(double s, std::int32_t segment) const;

    // Nodes at most max_step apart (and one at each stop) for the dynamic programme, each
    // allowed the lowest maximum speed of the intervals beside it; the grade of an interval
    // from its rise, so that the programme climbs what the route climbs.
    dynamics::ProgrammeRoad programme_road(double max_step) const;

private:
    void prepare();
    // The programme's fixed nodes, in order: the start, each stop, the end, both rows of each
    // sharp change of the maximum speed and nodes close on either side of each stop.
    std::vector<double> fixed_nodes() const;
    // The fixed nodes and, between them, evenly spaced ones at most max_step apart; none
    // closer than a least gap to the one before.
    std::vector<double> node_distances(double max_step) const;
    // Each node's maximum speed (its own from either side, and that of every row inside the
    // intervals beside it: within an interval without such rows it is linear) and the grade of
    // each interval.
    void node_limits(dynamics::ProgrammeRoad& out) const;

    // A column's speed at each end of each segment, m/s, a stop being a point.
    struct Ends {
        std::vector<double> low;  // at the segment's start
        std::vector<double> high; // at its end
    };
    Ends ends_of(const std::vector<double>& kmh) const;
    double between(const Ends& ends, double s, std::int32_t segment) const;

    RoadRows road;
    Ends max_ends;
    Ends recommended_ends;
    std::vector<std::int32_t> stop_rows;
};

// The highest speed at each point from which braking at a deceleration still keeps below the
// maximum speed everywhere ahead, stands at every stop and at the route's end.
class BrakingEnvelope {
public:
    BrakingEnvelope(const SimRoad& road, double deceleration);
    // At s in the segment; a drive that has stood at a stop row looks on from that row.
    double target(double s, std::int32_t segment) const;
    double deceleration() const { return braking; }
    const SimRoad& road() const { return *route; }

private:
    const SimRoad* route;
    double braking;
    std::vector<double> at_row; // m/s
};

} // namespace korvale::sim
