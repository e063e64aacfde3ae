#include "dashboard_monitor.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace korvale_tool {

namespace {

constexpr std::size_t MAX_NAME_LENGTH = 32;
// The reserved name of the arrival time in a record's JSON.
constexpr const char* TIME_KEY = "t";

// Shortest text that reads back as the same value; null for NaN and infinities.
template <class Real>
void append_number(std::string& out, Real value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[40];
    const auto done = std::to_chars(text, text + sizeof text, value);
    out.append(text, done.ptr);
}

void append_integer(std::string& out, std::int64_t value) {
    out += std::to_string(value);
}

void append_key(std::string& out, const std::string& key) {
    out += '"';
    out += key; // names are checked to need no escapes
    out += "\":";
}

void append_array(std::string& out, const std::vector<double>& values) {
    out += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        append_number(out, values[i]);
    }
    out += ']';
}

bool is_name_character(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.' || c == '-' || c == '/';
}

std::string known_keys() {
    std::string keys;
    for (const char* key : RECORD_FIELD_KEYS) {
        keys += keys.empty() ? "" : ", ";
        keys += key;
    }
    return keys;
}

} // namespace

FieldNames default_field_names() {
    return {"sample",        "distance", "maximum",      "recommended", "coasting",
            "vehicle_speed", "lift_off", "target_speed", "flag",        "rows"};
}

FieldNames parse_field_names(const std::string& spec) {
    FieldNames names = default_field_names();
    std::size_t start = 0;
    while (start <= spec.size()) {
        const std::size_t comma = std::min(spec.find(',', start), spec.size());
        const std::string item = spec.substr(start, comma - start);
        start = comma + 1;
        const std::size_t equals = item.find('=');
        if (equals == std::string::npos) {
            throw std::runtime_error("--fields: '" + item + "' is not KEY=NAME");
        }
        const std::string key = item.substr(0, equals);
        const std::string name = item.substr(equals + 1);
        const auto* found = std::find(RECORD_FIELD_KEYS.begin(), RECORD_FIELD_KEYS.end(), key);
        if (found == RECORD_FIELD_KEYS.end()) {
            throw std::runtime_error("--fields: '" + key + "' is not one of " + known_keys());
        }
        if (name.empty() || name.size() > MAX_NAME_LENGTH ||
            !std::all_of(name.begin(), name.end(), is_name_character)) {
            throw std::runtime_error("--fields: name '" + name +
                                     "' is not 1 to 32 letters, digits and _ . - /");
        }
        names[static_cast<std::size_t>(found - RECORD_FIELD_KEYS.begin())] = name;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == TIME_KEY || std::find(names.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                              names.end(), names[i]) != names.end()) {
            throw std::runtime_error("--fields: the name '" + names[i] +
                                     "' is taken (by another field or by the time, t)");
        }
    }
    return names;
}

std::string record_json(const korvale::comm::RecordFields& r, const FieldNames& names, double t) {
    const auto name = [&names](RecordField field) {
        return names[static_cast<std::size_t>(field)];
    };
    std::string out = "{";
    append_key(out, TIME_KEY);
    append_number(out, t);
    const std::pair<RecordField, float> reals[] = {{RecordField::r1, r.r1}, {RecordField::r2, r.r2},
                                                   {RecordField::r3, r.r3}, {RecordField::r4, r.r4},
                                                   {RecordField::r5, r.r5}, {RecordField::r7, r.r7},
                                                   {RecordField::r8, r.r8}};
    out += ',';
    append_key(out, name(RecordField::i1));
    append_integer(out, r.i1);
    for (const auto& [field, value] : reals) {
        out += ',';
        append_key(out, name(field));
        append_number(out, value);
    }
    out += ',';
    append_key(out, name(RecordField::flag));
    append_integer(out, r.flag);
    out += ',';
    append_key(out, name(RecordField::i2));
    append_integer(out, r.i2);
    out += '}';
    return out;
}

std::string route_json(const korvale::RouteProfile& profile, std::size_t max_points) {
    const auto rows = static_cast<std::size_t>(std::max(profile.row_count(), 0));
    const std::size_t per_point = std::max<std::size_t>(1, (rows + max_points - 1) / max_points);
    std::vector<double> distance, maximum, recommended, coasting, elevation;
    const auto lowest = [](const korvale::Column& column, std::size_t from, std::size_t to) {
        double low = std::numeric_limits<double>::infinity();
        for (std::size_t i = from; i < to; ++i) {
            low = std::fmin(low, column[i]); // a NaN row does not hide the others
        }
        return low;
    };
    for (std::size_t from = 0; from < rows; from += per_point) {
        const std::size_t to = std::min(rows, from + per_point);
        distance.push_back(profile.distance_column()[from]);
        maximum.push_back(lowest(profile.max_speed_column(), from, to));
        recommended.push_back(lowest(profile.recommended_speed_column(), from, to));
        coasting.push_back(lowest(profile.coasting_speed_column(), from, to));
        elevation.push_back(profile.z_column()[from]);
    }
    std::string out = "{";
    append_key(out, "model");
    out += '"';
    out += korvale::model_name(profile.coast_model().kind()); // a name that needs no escapes
    out += "\",";
    append_key(out, "distance");
    append_array(out, distance);
    out += ",\"maximum\":";
    append_array(out, maximum);
    out += ",\"recommended\":";
    append_array(out, recommended);
    out += ",\"coasting\":";
    append_array(out, coasting);
    out += ",\"elevation\":";
    append_array(out, elevation);
    out += '}';
    return out;
}

DashboardMonitor::DashboardMonitor(FieldNames names, std::size_t values_a, std::size_t values_b)
    : field_names(std::move(names)), count_a(values_a), count_b(values_b) {}

void DashboardMonitor::arrived() {
    ++totals.received;
    last_arrival = std::chrono::steady_clock::now();
}

std::string DashboardMonitor::on_record(const korvale::comm::RecordFields& record,
                                        const std::string& json) {
    const std::lock_guard<std::mutex> lock(mutex);
    arrived();
    ++totals.records;
    if (last_i1 && record.i1 > *last_i1) {
        totals.lost += static_cast<std::int64_t>(record.i1) - *last_i1 - 1;
    }
    last_i1 = record.i1;
    latest_record = json;
    return "{\"type\":\"record\",\"record\":" + json + ",\"counters\":" + counters_json() + "}";
}

std::string DashboardMonitor::on_plot(const korvale::comm::PlotArrays& plot, double t) {
    std::string body = "\"t\":";
    append_number(body, t);
    body += ",\"a\":";
    append_array(body, plot.a);
    body += ",\"b\":";
    append_array(body, plot.b);
    const std::lock_guard<std::mutex> lock(mutex);
    arrived();
    ++totals.plots;
    latest_plot = "{" + body + "}";
    return "{\"type\":\"plot\"," + body + ",\"counters\":" + counters_json() + "}";
}

std::string DashboardMonitor::on_malformed(std::size_t bytes, double t) {
    std::string json = "{\"type\":\"malformed\",\"t\":";
    append_number(json, t);
    json += ",\"bytes\":" + std::to_string(bytes);
    const std::lock_guard<std::mutex> lock(mutex);
    arrived();
    ++totals.malformed;
    return json + ",\"counters\":" + counters_json() + "}";
}

std::string DashboardMonitor::counters_json() const {
    const DashboardCounters& c = totals;
    return "{\"received\":" + std::to_string(c.received) +
           ",\"records\":" + std::to_string(c.records) + ",\"plots\":" + std::to_string(c.plots) +
           ",\"malformed\":" + std::to_string(c.malformed) + ",\"lost\":" + std::to_string(c.lost) +
           "}";
}

std::string DashboardMonitor::latest_body() const {
    std::string out = "\"record\":" + (latest_record.empty() ? "null" : latest_record);
    out += ",\"age_s\":";
    if (last_arrival) {
        const std::chrono::duration<double> age = std::chrono::steady_clock::now() - *last_arrival;
        append_number(out, age.count());
    } else {
        out += "null";
    }
    return out + ",\"counters\":" + counters_json();
}

std::string DashboardMonitor::latest_json() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return "{" + latest_body() + "}";
}

std::string DashboardMonitor::hello_json() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return "{\"type\":\"hello\"," + latest_body() +
           ",\"plot\":" + (latest_plot.empty() ? "null" : latest_plot) + "}";
}

std::string DashboardMonitor::config_json(bool has_route) const {
    std::string out = "{\"fields\":{";
    for (std::size_t i = 0; i < RECORD_FIELD_COUNT; ++i) {
        out += i > 0 ? "," : "";
        append_key(out, RECORD_FIELD_KEYS[i]);
        out += '"' + field_names[i] + '"';
    }
    out += "},\"plot_counts\":[" + std::to_string(count_a) + "," + std::to_string(count_b) +
           "],\"route\":" + (has_route ? "true" : "false") + "}";
    return out;
}

DashboardCounters DashboardMonitor::counters() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return totals;
}

double unix_time_now() {
    const std::chrono::duration<double> since_epoch =
        std::chrono::system_clock::now().time_since_epoch();
    return since_epoch.count();
}

} // namespace korvale_tool
