#include "routes/opendrive/opendrive_map.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <unordered_map>

#include <pugixml.hpp>

#include "routes/route_error.h"
#include "routes/route_file_writer.h"
#include "routes/source_text.h"
#include "text/text.h"

namespace korvale::routes {

using text::line_of;
using text::quoted;
using text::read_integer;
using text::read_number;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double NO_LIMIT = NaN;
constexpr double MS_IN_KMH = 3.6;
constexpr std::size_t REPEATED_ID = static_cast<std::size_t>(-1);

double number(const pugi::xml_node& node, const char* attribute) {
    const pugi::xml_attribute found = node.attribute(attribute);
    if (!found) {
        throw RouteError(std::string("<") + node.name() + "> lacks the attribute '" + attribute +
                         "'");
    }
    double value = 0.0;
    if (!read_number(found.value(), &value)) {
        throw RouteError(std::string("<") + node.name() + "> " + attribute + "=" +
                         quoted(found.value()) + " is not a finite number");
    }
    return value;
}

double number_or(const pugi::xml_node& node, const char* attribute, double fallback) {
    return node.attribute(attribute) ? number(node, attribute) : fallback;
}

int integer(const pugi::xml_node& node, const char* attribute) {
    const char* text = node.attribute(attribute).value();
    int value = 0;
    if (!read_integer(text, &value)) {
        throw RouteError(std::string("<") + node.name() + "> " + attribute + "=" + quoted(text) +
                         " is not an integer");
    }
    return value;
}

Cubic cubic_record(const pugi::xml_node& node, const char* start) {
    return {number(node, start), number_or(node, "a", 0.0), number_or(node, "b", 0.0),
            number_or(node, "c", 0.0), number_or(node, "d", 0.0)};
}

CubicRecords cubic_records(const pugi::xml_node& parent, const char* element, const char* start) {
    std::vector<Cubic> records;
    for (const pugi::xml_node& node : parent.children(element)) {
        records.push_back(cubic_record(node, start));
    }
    return CubicRecords(std::move(records));
}

SpeedRecord speed_record(const pugi::xml_node& node, double s) {
    if (!node.attribute("max")) {
        throw RouteError(std::string("<") + node.name() + "> lacks the attribute 'max'");
    }
    return {s, speed_in_kmh(node.attribute("max").value(), node.attribute("unit").value())};
}

pugi::xml_node shape_of(const pugi::xml_node& geometry) {
    for (const pugi::xml_node& child : geometry.children()) {
        if (child.type() == pugi::node_element) {
            return child;
        }
    }
    return {};
}

PlanGeometry read_geometry(const pugi::xml_node& node) {
    const RecordStart start{number(node, "s"), number(node, "x"), number(node, "y"),
                            number(node, "hdg"), number(node, "length")};
    if (start.length < 0) {
        throw RouteError("the geometry record at s = " + number_text(start.s) +
                         " has a negative length");
    }
    const pugi::xml_node shape = shape_of(node);
    const std::string kind = shape.name();
    try {
        if (kind == "line") {
            return PlanGeometry::line(start);
        }
        if (kind == "arc") {
            return PlanGeometry::arc(start, number(shape, "curvature"));
        }
        if (kind == "spiral") {
            return PlanGeometry::spiral(start, number(shape, "curvStart"),
                                        number(shape, "curvEnd"));
        }
        if (kind == "poly3") {
            return PlanGeometry::poly3(start, number(shape, "a"), number(shape, "b"),
                                       number(shape, "c"), number(shape, "d"));
        }
        if (kind == "paramPoly3") {
            const double u[4] = {number(shape, "aU"), number(shape, "bU"), number(shape, "cU"),
                                 number(shape, "dU")};
            const double v[4] = {number(shape, "aV"), number(shape, "bV"), number(shape, "cV"),
                                 number(shape, "dV")};
            const std::string range = shape.attribute("pRange").value();
            if (!range.empty() && range != "arcLength" && range != "normalized") {
                throw RouteError("pRange=" + quoted(range.c_str()) +
                                 " is neither arcLength nor normalized");
            }
            return PlanGeometry::param_poly3(start, u, v, range != "arcLength");
        }
    } catch (const RouteError& error) {
        throw RouteError("the " + kind + " record at s = " + number_text(start.s) + ": " +
                         error.what());
    }
    throw RouteError("unsupported geometry record " +
                     quoted(kind.empty() ? "(none)" : kind.c_str()) +
                     " at s = " + number_text(start.s));
}

// A link whose id is not an integer is kept as NO_SUCH_LANE, so that the road stays readable
// for routes that do not follow the link.
std::vector<int> lane_links(const pugi::xml_node& link, const char* which) {
    std::vector<int> ids;
    for (const pugi::xml_node& other : link.children(which)) {
        try {
            ids.push_back(integer(other, "id"));
        } catch (const RouteError&) {
            ids.push_back(NO_SUCH_LANE);
        }
    }
    return ids;
}

Lane read_lane(const pugi::xml_node& node) {
    Lane lane;
    lane.id = integer(node, "id");
    lane.width = cubic_records(node, "width", "sOffset");
    lane.has_border = static_cast<bool>(node.child("border"));
    lane.type = node.attribute("type").value();
    const std::string direction = node.attribute("direction").value();
    lane.direction = direction == "reversed" ? LaneDirection::reversed
                     : direction == "both"   ? LaneDirection::both
                                             : LaneDirection::standard;
    lane.predecessors = lane_links(node.child("link"), "predecessor");
    lane.successors = lane_links(node.child("link"), "successor");
    for (const pugi::xml_node& speed : node.children("speed")) {
        lane.speeds.push_back(speed_record(speed, number(speed, "sOffset")));
    }
    sort_by_start(lane.speeds);
    return lane;
}

LaneSection read_lane_section(const pugi::xml_node& node) {
    LaneSection section;
    section.s = number(node, "s");
    for (const char* side : {"left", "center", "right"}) {
        for (const pugi::xml_node& lane : node.child(side).children("lane")) {
            section.lanes.push_back(read_lane(lane));
        }
    }
    section.index();
    return section;
}

RoadLink read_link(const pugi::xml_node& node) {
    return {node.attribute("elementType").value(), node.attribute("elementId").value(),
            node.attribute("contactPoint").value()};
}

Road read_road(const pugi::xml_node& node) {
    Road road;
    road.id = node.attribute("id").value();
    road.name = node.attribute("name").value();
    road.junction = node.attribute("junction") ? node.attribute("junction").value() : "-1";
    road.left_hand = std::strcmp(node.attribute("rule").value(), "LHT") == 0;
    road.predecessor = read_link(node.child("link").child("predecessor"));
    road.successor = read_link(node.child("link").child("successor"));
    try {
        road.length = number(node, "length");
        if (road.length < 0) {
            throw RouteError("negative length " + number_text(road.length));
        }
        for (const pugi::xml_node& geometry : node.child("planView").children("geometry")) {
            road.geometry.push_back(read_geometry(geometry));
        }
        sort_by_start(road.geometry);
        road.elevation = cubic_records(node.child("elevationProfile"), "elevation", "s");
        road.superelevation = cubic_records(node.child("lateralProfile"), "superelevation", "s");
        const pugi::xml_node lanes = node.child("lanes");
        road.lane_offset = cubic_records(lanes, "laneOffset", "s");
        for (const pugi::xml_node& section : lanes.children("laneSection")) {
            road.sections.push_back(read_lane_section(section));
        }
        sort_by_start(road.sections);
        for (const pugi::xml_node& type : node.children("type")) {
            const double s = number(type, "s");
            const pugi::xml_node speed = type.child("speed");
            road.speeds.push_back(speed ? speed_record(speed, s) : SpeedRecord{s, NO_LIMIT});
        }
        sort_by_start(road.speeds);
    } catch (const RouteError& error) {
        throw RouteError("road " + quoted(road.id.c_str()) + ": " + error.what());
    }
    return road;
}

// The limit of the road's first type record (the one with the smallest s), as text.
std::string first_limit(const pugi::xml_node& road) {
    pugi::xml_node first;
    double first_s = 0.0;
    for (const pugi::xml_node& type : road.children("type")) {
        double s = 0.0;
        if (read_number(type.attribute("s").value(), &s) && (!first || s < first_s)) {
            first = type;
            first_s = s;
        }
    }
    const pugi::xml_node speed = first.child("speed");
    if (!speed) {
        return "";
    }
    try {
        const double kmh = speed_record(speed, first_s).kmh;
        if (std::isnan(kmh)) {
            return "no limit";
        }
        char text[64];
        std::snprintf(text, sizeof text, "%.1f km/h", kmh);
        return text;
    } catch (const RouteError&) {
        return "?";
    }
}

} // namespace

double speed_in_kmh(const char* max, const char* unit) {
    const std::string limit = max;
    if (limit == "no limit" || limit == "undefined") {
        return NO_LIMIT;
    }
    double value = 0.0;
    if (!read_number(max, &value) || value < 0) {
        throw RouteError("speed max=" + quoted(max) +
                         " is neither a speed nor 'no limit' or 'undefined'");
    }
    const std::string u = unit;
    if (u.empty() || u == "m/s") {
        return value * MS_IN_KMH;
    }
    if (u == "km/h") {
        return value;
    }
    if (u == "mph") {
        return value * KMH_PER_MPH;
    }
    throw RouteError("speed unit " + quoted(unit) + " is not m/s, km/h or mph");
}

struct OpenDriveMap::Impl {
    std::string name;
    pugi::xml_document document;
    std::vector<pugi::xml_node> roads;
    std::unordered_map<std::string, std::size_t> index; // REPEATED_ID for ids used twice
};

OpenDriveMap::OpenDriveMap(std::unique_ptr<Impl> impl) : impl(std::move(impl)) {}
OpenDriveMap::OpenDriveMap(OpenDriveMap&&) noexcept = default;
OpenDriveMap& OpenDriveMap::operator=(OpenDriveMap&&) noexcept = default;
OpenDriveMap::~OpenDriveMap() = default;

OpenDriveMap OpenDriveMap::read(const std::string& path) {
    const std::string data = read_source_file(path, "map");
    return parse(data.data(), data.size(), path);
}

OpenDriveMap OpenDriveMap::parse(const char* data, std::size_t size, const std::string& name) {
    auto impl = std::make_unique<Impl>();
    impl->name = name;
    const pugi::xml_parse_result parsed = impl->document.load_buffer(data, size);
    if (!parsed) {
        throw RouteError("the map '" + name + "' is not well-formed XML: " + parsed.description() +
                         " at line " + std::to_string(line_of(data, size, parsed.offset)));
    }
    const pugi::xml_node root = impl->document.document_element();
    if (std::strcmp(root.name(), "OpenDRIVE") != 0) {
        throw RouteError("the map '" + name + "' has no OpenDRIVE root element");
    }
    for (const pugi::xml_node& road : root.children("road")) {
        const auto [at, added] =
            impl->index.emplace(road.attribute("id").value(), impl->roads.size());
        if (!added) {
            at->second = REPEATED_ID;
        }
        impl->roads.push_back(road);
    }
    return OpenDriveMap(std::move(impl));
}

const std::string& OpenDriveMap::name() const {
    return impl->name;
}

std::size_t OpenDriveMap::road_count() const {
    return impl->roads.size();
}

std::vector<RoadSummary> OpenDriveMap::summaries() const {
    std::vector<RoadSummary> summaries;
    summaries.reserve(impl->roads.size());
    for (const pugi::xml_node& road : impl->roads) {
        RoadSummary summary;
        summary.id = road.attribute("id").value();
        summary.name = road.attribute("name").value();
        if (!read_number(road.attribute("length").value(), &summary.length)) {
            summary.length = NaN;
        }
        summary.junction = road.attribute("junction") ? road.attribute("junction").value() : "-1";
        summary.predecessor = read_link(road.child("link").child("predecessor"));
        summary.successor = read_link(road.child("link").child("successor"));
        summary.first_limit = first_limit(road);
        for (const pugi::xml_node& geometry : road.child("planView").children("geometry")) {
            const std::string kind = shape_of(geometry).name();
            auto& kinds = summary.geometry_kinds;
            if (!kind.empty() && std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) {
                kinds.push_back(kind);
            }
        }
        summaries.push_back(std::move(summary));
    }
    return summaries;
}

Road OpenDriveMap::road(const std::string& id) const {
    const auto found = impl->index.find(id);
    if (found == impl->index.end()) {
        throw RouteError("the map '" + impl->name + "' has no road " + quoted(id.c_str()));
    }
    if (found->second == REPEATED_ID) {
        throw RouteError("the map '" + impl->name + "' has more than one road " +
                         quoted(id.c_str()));
    }
    return read_road(impl->roads[found->second]);
}

Road OpenDriveMap::road_at(std::size_t index) const {
    return read_road(impl->roads.at(index));
}

std::string OpenDriveMap::road_id(std::size_t index) const {
    return impl->roads.at(index).attribute("id").value();
}

std::vector<JunctionConnection> OpenDriveMap::junction_connections() const {
    std::vector<JunctionConnection> connections;
    const pugi::xml_node root = impl->document.document_element();
    for (const pugi::xml_node& junction : root.children("junction")) {
        const std::string id = junction.attribute("id").value();
        for (const pugi::xml_node& node : junction.children("connection")) {
            JunctionConnection c;
            c.junction = id;
            c.incoming_road = node.attribute("incomingRoad").value();
            c.connecting_road = node.attribute("connectingRoad").value();
            c.contact_point = node.attribute("contactPoint").value();
            try {
                for (const pugi::xml_node& link : node.children("laneLink")) {
                    c.lane_links.emplace_back(integer(link, "from"), integer(link, "to"));
                }
            } catch (const RouteError& error) {
                throw RouteError("junction " + quoted(id.c_str()) + ": " + error.what());
            }
            connections.push_back(std::move(c));
        }
    }
    return connections;
}

} // namespace korvale::routes
