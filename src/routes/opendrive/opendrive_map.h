// An OpenDRIVE map (1.4 to 1.8), read with pugixml: the list of its roads, and one road at a
// time in full (reference line, elevation, superelevation, lane offset, lane sections with
// widths and speed records, the road's speed records). Roads are read only when asked for, so
// that a record the route does not use cannot stop it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "routes/opendrive/cubic_records.h"
#include "routes/opendrive/plan_geometry.h"

namespace korvale::routes {

// A speed limit from s onwards, km/h; NaN where the record says there is none.
struct SpeedRecord {
    double s = 0.0;
    double kmh = 0.0;
};

// A lane link whose id does not read as an integer.
constexpr int NO_SUCH_LANE = -2147483647 - 1;

// Which way a lane is driven, relative to the one its side and the road's traffic rule give.
enum class LaneDirection { standard, reversed, both };

struct Lane {
    int id = 0;
    CubicRecords width; // in ds from the lane section's start
    bool has_border = false;
    std::vector<SpeedRecord> speeds; // s from the lane section's start, sorted
    std::string type;                // "driving", "sidewalk", ...; empty where the map gives none
    LaneDirection direction = LaneDirection::standard;
    std::vector<int> predecessors; // lane ids of the section (or road) before, towards -s
    std::vector<int> successors;   // the same towards +s
};

struct LaneSection {
    double s = 0.0;
    std::vector<Lane> lanes;
    // The ids of the lanes with their places, sorted by id, the first place of a repeated id
    // only; made by index(), so that a section of many lanes is searched in log time.
    std::vector<std::pair<int, std::size_t>> by_id;

    void index() {
        by_id.clear();
        for (std::size_t i = 0; i < lanes.size(); ++i) {
            by_id.emplace_back(lanes[i].id, i);
        }
        std::stable_sort(by_id.begin(), by_id.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        by_id.erase(std::unique(by_id.begin(), by_id.end(),
                                [](const auto& a, const auto& b) { return a.first == b.first; }),
                    by_id.end());
    }

    // The first lane with this id; nullptr where there is none.
    const Lane* lane(int id) const {
        if (by_id.empty()) {
            for (const Lane& lane : lanes) {
                if (lane.id == id) {
                    return &lane;
                }
            }
            return nullptr;
        }
        const auto found = std::lower_bound(
            by_id.begin(), by_id.end(), id,
            [](const std::pair<int, std::size_t>& entry, int key) { return entry.first < key; });
        return found != by_id.end() && found->first == id ? &lanes[found->second] : nullptr;
    }
};

// A road's predecessor or successor: element type ("road", "junction"), id and contact point
// ("start", "end"); empty strings where the map gives none.
struct RoadLink {
    std::string element_type;
    std::string element_id;
    std::string contact_point;
};

struct Road {
    std::string id;
    std::string name;
    double length = 0.0;
    std::string junction;   // "-1" outside junctions
    bool left_hand = false; // rule="LHT": lanes with positive ids are driven towards +s
    RoadLink predecessor;
    RoadLink successor;
    std::vector<PlanGeometry> geometry; // sorted by s
    CubicRecords elevation;
    CubicRecords superelevation; // roll angle, rad, positive where the road falls to the right
    CubicRecords lane_offset;
    std::vector<LaneSection> sections; // sorted by s
    std::vector<SpeedRecord> speeds;   // from the road's type records, sorted by s
};

struct RoadSummary {
    std::string id;
    std::string name;
    double length = 0.0;
    std::string junction; // "-1" outside junctions
    RoadLink predecessor;
    RoadLink successor;
    std::string first_limit;                 // "40.2 km/h", "no limit", or empty
    std::vector<std::string> geometry_kinds; // element names in order of first use
};

// A connection of a junction: the incoming road, the connecting road and the end of it that
// meets the incoming road ("start", "end"), and which lane of the one runs into which of the
// other.
struct JunctionConnection {
    std::string junction;
    std::string incoming_road;
    std::string connecting_road;
    std::string contact_point;
    std::vector<std::pair<int, int>> lane_links; // from (incoming), to (connecting)
};

// km/h from a speed record's max and unit attributes: unit m/s when absent, km/h or mph; NaN
// for "no limit" and "undefined". Throws RouteError for anything else.
double speed_in_kmh(const char* max, const char* unit);

class OpenDriveMap {
public:
    // Reads the map file; throws RouteError when it cannot be read, is not well-formed XML
    // (naming the line) or has no OpenDRIVE root.
    static OpenDriveMap read(const std::string& path);
    // The same from bytes in memory; name stands for the file in messages.
    static OpenDriveMap parse(const char* data, std::size_t size, const std::string& name);

    OpenDriveMap(OpenDriveMap&&) noexcept;
    OpenDriveMap& operator=(OpenDriveMap&&) noexcept;
    ~OpenDriveMap();

    const std::string& name() const;
    std::size_t road_count() const;
    // Every road's summary, in the map's order. Never throws for the content of a road.
    std::vector<RoadSummary> summaries() const;
    // The road with this id, read in full; throws RouteError for an unknown or repeated id, an
    // unsupported geometry record, a number that does not read, and the like, naming the road.
    Road road(const std::string& id) const;
    // The road at this place in the map's order (0 to road_count() - 1), read in full; throws
    // as road() does.
    Road road_at(std::size_t index) const;
    // The id of the road at this place in the map's order.
    std::string road_id(std::size_t index) const;
    // Every connection of every junction, in the map's order; throws RouteError for a lane link
    // whose ids are not integers, naming the junction.
    std::vector<JunctionConnection> junction_connections() const;

private:
    struct Impl;
    explicit OpenDriveMap(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl;
};

} // namespace korvale::routes
