#include "routes/gps/gps_track.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include <pugixml.hpp>

#include "routes/gps/local_frame.h"
#include "routes/route_error.h"
#include "routes/source_text.h"

namespace korvale::routes {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double SECONDS_PER_DAY = 86400.0;
constexpr const char* BYTE_ORDER_MARK = "\xEF\xBB\xBF";

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string trimmed(const std::string& text) {
    std::size_t first = 0, last = text.size();
    while (first < last && is_blank(text[first])) {
        ++first;
    }
    while (last > first && is_blank(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// Reads `digits` decimal digits at text[at] into value.
bool read_digits(const std::string& text, std::size_t at, int digits, int* value) {
    if (at + static_cast<std::size_t>(digits) > text.size()) {
        return false;
    }
    *value = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = text[at + static_cast<std::size_t>(i)];
        if (c < '0' || c > '9') {
            return false;
        }
        *value = *value * 10 + (c - '0');
    }
    return true;
}

// Days from 1970-01-01 to the date in the proleptic Gregorian calendar.
double days_from_civil(int year, int month, int day) {
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int year_of_era = y - era * 400;
    const int day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return static_cast<double>(era) * 146097.0 + day_of_era - 719468.0;
}

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
        : data_(data), size_(size), track_(track) {}

    void read() {
        pugi::xml_document document;
        const pugi::xml_parse_result parsed = document.load_buffer(data_, size_);
        if (!parsed) {
            throw RouteError("the track '" + track_.name +
                             "' is not well-formed XML: " + parsed.description() + " at line " +
                             std::to_string(line_of(data_, size_, parsed.offset)));
        }
        const pugi::xml_node root = document.document_element();
        if (std::strcmp(local_name(root), "gpx") != 0) {
            throw RouteError("the track '" + track_.name + "' is XML but not GPX (its root is <" +
                             root.name() + ">)");
        }
        const std::string version = root.attribute("version").value();
        track_.format = version.empty() ? "GPX" : "GPX " + version;
        each_child(root, "trk", [&](const pugi::xml_node& trk) {
            each_child(trk, "trkseg", [&](const pugi::xml_node& segment) {
                each_child(segment, "trkpt", [&](const pugi::xml_node& point) { add(point); });
            });
        });
        if (track_.fixes.empty()) {
            each_child(root, "rte", [&](const pugi::xml_node& route) {
                each_child(route, "rtept", [&](const pugi::xml_node& point) { add(point); });
            });
        }
    }

private:
    std::string where(const pugi::xml_node& point) const {
        std::string text =
            "the track '" + track_.name + "', point " + std::to_string(track_.fixes.size() + 1);
        if (point.offset_debug() >= 0) {
            text += " (line " + std::to_string(line_of(data_, size_, point.offset_debug())) + ")";
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
        track_.fixes.push_back(fix);
    }

    const char* data_;
    std::size_t size_;
    GpsTrack& track_;
};

// --- CSV

// The fields of one line, split at sep outside double quotes ("" is a quote inside them).
std::vector<std::string> split_fields(const std::string& line, char sep) {
    std::vector<std::string> fields(1);
    bool quoted_field = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted_field) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted_field = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted_field = true;
        } else if (c == sep) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    for (std::string& field : fields) {
        field = trimmed(field);
    }
    return fields;
}

struct CsvColumns {
    int lat = -1, lon = -1, ele = -1, time = -1, maxspeed = -1;
    int needed = 0; // fields a row must have
};

CsvColumns name_columns(const std::vector<std::string>& header) {
    CsvColumns columns;
    for (std::size_t i = 0; i < header.size(); ++i) {
        const std::string name = lower(header[i]);
        const int index = static_cast<int>(i);
        int* column = nullptr;
        if (name == "lat" || name == "latitude") {
            column = &columns.lat;
        } else if (name == "lon" || name == "lng" || name == "longitude") {
            column = &columns.lon;
        } else if (name == "ele" || name == "alt" || name == "elevation" || name == "altitude") {
            column = &columns.ele;
        } else if (name == "time") {
            column = &columns.time;
        } else if (name == "maxspeed") {
            column = &columns.maxspeed;
        }
        if (column != nullptr && *column < 0) {
            *column = index;
            columns.needed = std::max(columns.needed, index + 1);
        }
    }
    return columns;
}

void read_csv(const char* data, std::size_t size, GpsTrack& track) {
    track.format = "CSV";
    std::size_t at = 0, line_number = 0;
    CsvColumns columns;
    char sep = ',';
    bool header_read = false;
    while (at < size) {
        const char* end = static_cast<const char*>(std::memchr(data + at, '\n', size - at));
        const std::size_t stop = end != nullptr ? static_cast<std::size_t>(end - data) : size;
        std::string line(data + at, stop - at);
        at = stop + 1;
        ++line_number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::string text = trimmed(line);
        if (text.empty() || text[0] == '#') {
            continue;
        }
        const std::string where =
            "the track '" + track.name + "' line " + std::to_string(line_number);
        if (!header_read) {
            sep = text.find(',') != std::string::npos    ? ','
                  : text.find(';') != std::string::npos  ? ';'
                  : text.find('\t') != std::string::npos ? '\t'
                                                         : ',';
            columns = name_columns(split_fields(text, sep));
            if (columns.lat < 0 || columns.lon < 0) {
                throw RouteError("the track '" + track.name +
                                 "' is neither GPX nor CSV with lat and lon columns (its first "
                                 "line is " +
                                 quoted(text) + ")");
            }
            header_read = true;
            continue;
        }
        const std::vector<std::string> fields = split_fields(text, sep);
        if (static_cast<int>(fields.size()) < columns.needed) {
            throw RouteError(where + " has " + std::to_string(fields.size()) +
                             " fields, fewer than the header names");
        }
        const auto field = [&](int column) { return fields[static_cast<std::size_t>(column)]; };
        const auto number = [&](int column, const char* what) {
            double value = 0.0;
            if (!read_number(field(column), &value)) {
                throw RouteError(where + ": " + what + " " + quoted(field(column)) +
                                 " is not a number");
            }
            return value;
        };
        GpsFix fix;
        fix.latitude = number(columns.lat, "lat");
        fix.longitude = number(columns.lon, "lon");
        check_geo_point({fix.latitude, fix.longitude, 0.0}, where.c_str());
        if (columns.ele >= 0 && !field(columns.ele).empty()) {
            fix.elevation = number(columns.ele, "ele");
        }
        if (columns.time >= 0 && !field(columns.time).empty()) {
            const std::string time = field(columns.time);
            if (!read_number(time, &fix.time)) {
                fix.time = parse_iso8601(time);
            }
            if (std::isnan(fix.time)) {
                throw RouteError(where + ": time " + quoted(time) +
                                 " is neither seconds nor an ISO 8601 date and time");
            }
        }
        if (columns.maxspeed >= 0) {
            fix.maxspeed = parse_maxspeed(field(columns.maxspeed));
        }
        track.fixes.push_back(fix);
    }
    if (!header_read) {
        throw RouteError("the track '" + track.name +
                         "' is neither GPX nor CSV with lat and lon columns (it has no lines)");
    }
}

} // namespace

double parse_iso8601(const std::string& raw) {
    const std::string text = trimmed(raw);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!read_digits(text, 0, 4, &year) || text.size() < 16 || text[4] != '-' ||
        !read_digits(text, 5, 2, &month) || text[7] != '-' || !read_digits(text, 8, 2, &day) ||
        (text[10] != 'T' && text[10] != 't' && text[10] != ' ') ||
        !read_digits(text, 11, 2, &hour) || text[13] != ':' || !read_digits(text, 14, 2, &minute)) {
        return NaN;
    }
    std::size_t at = 16;
    double fraction = 0.0;
    if (at < text.size() && text[at] == ':') {
        if (!read_digits(text, at + 1, 2, &second)) {
            return NaN;
        }
        at += 3;
        if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
            double scale = 0.1;
            ++at;
            const std::size_t digits = at;
            while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
                fraction += (text[at] - '0') * scale;
                scale /= 10;
                ++at;
            }
            if (at == digits) {
                return NaN;
            }
        }
    }
    double offset_minutes = 0.0;
    if (at < text.size()) {
        const char zone = text[at];
        if ((zone == 'Z' || zone == 'z') && at + 1 == text.size()) {
            at = text.size();
        } else if (zone == '+' || zone == '-') {
            int zone_hours = 0, zone_minutes = 0;
            const std::string rest = text.substr(at + 1);
            const bool read = (rest.size() == 2 && read_digits(rest, 0, 2, &zone_hours)) ||
                              (rest.size() == 4 && read_digits(rest, 0, 2, &zone_hours) &&
                               read_digits(rest, 2, 2, &zone_minutes)) ||
                              (rest.size() == 5 && read_digits(rest, 0, 2, &zone_hours) &&
                               rest[2] == ':' && read_digits(rest, 3, 2, &zone_minutes));
            if (!read || zone_hours > 23 || zone_minutes > 59) {
                return NaN;
            }
            offset_minutes = (zone == '+' ? 1 : -1) * (zone_hours * 60.0 + zone_minutes);
        } else {
            return NaN;
        }
    }
    // 60 seconds is a leap second; 24:00:00 is the end of the day.
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 24 || minute > 59 || second > 60) {
        return NaN;
    }
    return days_from_civil(year, month, day) * SECONDS_PER_DAY + hour * 3600.0 + minute * 60.0 +
           second + fraction - offset_minutes * 60.0;
}

double parse_maxspeed(const std::string& raw) {
    const std::string text = lower(trimmed(raw));
    std::size_t digits = 0;
    while (digits < text.size() &&
           ((text[digits] >= '0' && text[digits] <= '9') || text[digits] == '.')) {
        ++digits;
    }
    double value = 0.0;
    if (digits == 0 || !read_number(text.substr(0, digits), &value) || !(value > 0)) {
        return NaN;
    }
    const std::string unit = trimmed(text.substr(digits));
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
    if (size >= 3 && std::memcmp(data, BYTE_ORDER_MARK, 3) == 0) {
        data += 3;
        size -= 3;
    }
    std::size_t first = 0;
    while (first < size && is_blank(data[first])) {
        ++first;
    }
    if (first < size && data[first] == '<') {
        GpxReader(data, size, track).read();
    } else {
        read_csv(data, size, track);
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
