#include "routes/gps/gps_track.h"

#include <cmath>
#include <cstring>
#include <string_view>

#include <pugixml.hpp>

#include "routes/gps/local_frame.h"
#include "routes/route_error.h"
#include "routes/source_text.h"
#include "text/csv.h"
#include "text/iso8601.h"
#include "text/text.h"
#include "text/track_columns.h"

namespace korvale::routes {

using namespace text;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// --- GPX

// The element's name without a namespace prefix.
const char* local_name(const pugi::xml_node& node) {
    const char* name = node.name();
    const char* colon = std::strrchr(name, ':');
    return colon != nullptr ? colon + 1 : name;
}

template <class Visit>
void each_child(const pugi::xml_node& parent, const char* name, Visit&& visit) {
    for (const pugi::xml_node& child : parent.children()) {
        if (child.type() == pugi::node_element && std::strcmp(local_name(child), name) == 0) {
            visit(child);
        }
    }
}

pugi::xml_node first_child(const pugi::xml_node& parent, const char* name) {
    pugi::xml_node found;
    each_child(parent, name, [&](const pugi::xml_node& child) {
        if (!found) {
            found = child;
        }
    });
    return found;
}

class GpxReader {
public:
    GpxReader(const char* data, std::size_t size, GpsTrack& track)
        : data(data), size(size), track(track) {}

    void read() {
        pugi::xml_document document;
        const pugi::xml_parse_result parsed = document.load_buffer(data, size);
        if (!parsed) {
            throw RouteError("the track '" + track.name +
                             "' is not well-formed XML: " + parsed.description() + " at line " +
                             std::to_string(line_of(data, size, parsed.offset)));
        }
        const pugi::xml_node root = document.document_element();
        if (std::strcmp(local_name(root), "gpx") != 0) {
            throw RouteError("the track '" + track.name + "' is XML but not GPX (its root is <" +
                             root.name() + ">)");
        }
        const std::string version = root.attribute("version").value();
        track.format = version.empty() ? "GPX" : "GPX " + version;
        each_child(root, "trk", [&](const pugi::xml_node& trk) {
            each_child(trk, "trkseg", [&](const pugi::xml_node& segment) {
                each_child(segment, "trkpt", [&](const pugi::xml_node& point) { add(point); });
            });
        });
        if (track.fixes.empty()) {
            each_child(root, "rte", [&](const pugi::xml_node& route) {
                each_child(route, "rtept", [&](const pugi::xml_node& point) { add(point); });
            });
        }
    }

private:
    std::string where(const pugi::xml_node& point) const {
        std::string text =
            "the track '" + track.name + "', point " + std::to_string(track.fixes.size() + 1);
        if (point.offset_debug() >= 0) {
            text += " (line " + std::to_string(line_of(data, size, point.offset_debug())) + ")";
        }
        return text;
    }

    double attribute(const pugi::xml_node& point, const char* name) const {
        const pugi::xml_attribute found = point.attribute(name);
        double value = 0.0;
        if (!found) {
            throw RouteError(where(point) + " has no " + name);
        }
        if (!read_number(found.value(), &value)) {
            throw RouteError(where(point) + ": " + name + " " + quoted(found.value()) +
                             " is not a number");
        }
        return value;
    }

    void add(const pugi::xml_node& point) {
        GpsFix fix;
        fix.latitude = attribute(point, "lat");
        fix.longitude = attribute(point, "lon");
        check_geo_point({fix.latitude, fix.longitude, 0.0}, where(point).c_str());
        if (const pugi::xml_node ele = first_child(point, "ele")) {
            if (!read_number(ele.child_value(), &fix.elevation)) {
                throw RouteError(where(point) + ": ele " + quoted(ele.child_value()) +
                                 " is not a number");
            }
        }
        if (const pugi::xml_node time = first_child(point, "time")) {
            fix.time = parse_iso8601(time.child_value());
            if (std::isnan(fix.time)) {
                throw RouteError(where(point) + ": time " + quoted(time.child_value()) +
                                 " is not an ISO 8601 date and time");
            }
        }
        track.fixes.push_back(fix);
    }

    const char* data;
    std::size_t size;
    GpsTrack& track;
};

// --- CSV

double csv_number(const std::string& field, const char* what, const std::string& where) {
    double value = 0.0;
    if (!read_number(field, &value)) {
        throw RouteError(where + ": " + what + " " + quoted(field) + " is not a number");
    }
    return value;
}

// Seconds, or an ISO 8601 date and time.
double csv_time(const std::string& field, const std::string& where) {
    double time = NaN;
    if (!read_number(field, &time)) {
        time = parse_iso8601(field);
    }
    if (std::isnan(time)) {
        throw RouteError(where + ": time " + quoted(field) +
                         " is neither seconds nor an ISO 8601 date and time");
    }
    return time;
}

GpsFix csv_fix(const std::vector<std::string>& fields, const TrackColumns& columns,
               const std::string& where) {
    const auto field = [&](int column) -> const std::string& {
        return fields[static_cast<std::size_t>(column)];
    };
    const auto given = [&](int column) {
        return column != TrackColumns::NONE && !field(column).empty();
    };
    GpsFix fix;
    fix.latitude = csv_number(field(columns.lat), "lat", where);
    fix.longitude = csv_number(field(columns.lon), "lon", where);
    check_geo_point({fix.latitude, fix.longitude, 0.0}, where.c_str());
    if (given(columns.ele)) {
        fix.elevation = csv_number(field(columns.ele), "ele", where);
    }
    if (given(columns.time)) {
        fix.time = csv_time(field(columns.time), where);
    }
    if (columns.maxspeed != TrackColumns::NONE) {
        fix.maxspeed = parse_maxspeed(field(columns.maxspeed));
    }
    return fix;
}

void read_csv(std::string_view text, GpsTrack& track) {
    track.format = "CSV";
    const std::string neither =
        "the track '" + track.name + "' is neither GPX nor CSV with lat and lon columns ";
    ContentLines lines(text);
    std::string_view line;
    if (!lines.next(&line)) {
        throw RouteError(neither + "(it has no lines)");
    }
    const char separator = guess_separator(line);
    const TrackColumns columns = name_track_columns(split_fields(line, separator));
    if (!columns.has_position()) {
        throw RouteError(neither + "(its first line is " + quoted(line) + ")");
    }
    while (lines.next(&line)) {
        const std::string where =
            "the track '" + track.name + "' line " + std::to_string(lines.number());
        const std::vector<std::string> fields = split_fields(line, separator);
        if (static_cast<int>(fields.size()) < columns.needed) {
            throw RouteError(where + " has " + std::to_string(fields.size()) +
                             " fields, fewer than the header names");
        }
        track.fixes.push_back(csv_fix(fields, columns, where));
    }
}

} // namespace

double parse_maxspeed(const std::string& raw) {
    const std::string text = lower(std::string(trimmed(raw)));
    std::size_t digits = 0;
    while (digits < text.size() &&
           ((text[digits] >= '0' && text[digits] <= '9') || text[digits] == '.')) {
        ++digits;
    }
    double value = 0.0;
    if (digits == 0 || !read_number(text.substr(0, digits), &value) || !(value > 0)) {
        return NaN;
    }
    const std::string_view unit = trimmed(std::string_view(text).substr(digits));
    if (unit.empty() || unit == "km/h" || unit == "kmh" || unit == "kph") {
        return value;
    }
    if (unit == "mph") {
        return value * KMH_PER_MPH;
    }
    return NaN;
}

GpsTrack read_gps_track(const std::string& path) {
    const std::string data = read_source_file(path, "track");
    return parse_gps_track(data.data(), data.size(), path);
}

GpsTrack parse_gps_track(const char* data, std::size_t size, const std::string& name) {
    GpsTrack track;
    track.name = name;
    const std::string_view text = without_byte_order_mark(std::string_view(data, size));
    const std::string_view start = trimmed(text);
    if (!start.empty() && start[0] == '<') {
        GpxReader(text.data(), text.size(), track).read();
    } else {
        read_csv(text, track);
    }
    track.has_elevation = !track.fixes.empty();
    track.has_time = !track.fixes.empty();
    for (const GpsFix& fix : track.fixes) {
        track.has_elevation = track.has_elevation && !std::isnan(fix.elevation);
        track.has_time = track.has_time && !std::isnan(fix.time);
    }
    return track;
}

} // namespace korvale::routes
