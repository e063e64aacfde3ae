#include "trace_reader.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string_view>

#include "text/csv.h"
#include "text/text.h"
#include "text/track_columns.h"
#include "tool_output.h"

namespace korvale_tool {

using namespace korvale::text;

namespace {

constexpr int T = 0, X = 1, Y = 2, Z = 3;

// Where t, x, y and z stand in a trace's rows.
struct TraceColumns {
    std::size_t at[4] = {T, X, Y, Z};
};

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open trace '" + path + "'");
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A GPX file: its first character that is not blank opens an XML element.
bool is_xml(std::string_view text) {
    const std::string_view start = trimmed(text);
    return !start.empty() && start[0] == '<';
}

// The columns of t, x, y and z that a header names ("time" may stand for t); throws where it
// misses one.
TraceColumns name_trace_columns(const std::vector<std::string>& header, const std::string& where) {
    static const char* const wanted[4][2] = {{"t", "time"}, {"x", "x"}, {"y", "y"}, {"z", "z"}};
    TraceColumns columns;
    for (int c = T; c <= Z; ++c) {
        const auto found = std::find_if(header.begin(), header.end(), [&](const std::string& name) {
            const std::string text = lower(name);
            return text == wanted[c][0] || text == wanted[c][1];
        });
        if (found == header.end()) {
            throw std::runtime_error(where + ": the header names no column '" + wanted[c][0] +
                                     "' (t,x,y,z in any order, or lat,lon[,ele],time)");
        }
        columns.at[c] = static_cast<std::size_t>(found - header.begin());
    }
    return columns;
}

bool read_sample(const std::vector<std::string>& fields, const TraceColumns& columns,
                 TraceSample* sample) {
    double* values[4] = {&sample->t, &sample->x, &sample->y, &sample->z};
    for (int c = T; c <= Z; ++c) {
        if (columns.at[c] >= fields.size() || !read_number(fields[columns.at[c]], values[c])) {
            return false;
        }
    }
    return true;
}

} // namespace

void check_time_increases(const std::vector<TraceSample>& samples, const std::string& where) {
    if (samples.size() >= 2 && !(samples.back().t > samples[samples.size() - 2].t)) {
        throw std::runtime_error(where + ": time does not increase");
    }
}

std::vector<TraceSample> read_trace(const std::string& trace_path, const std::string& route_path) {
    require_readable(trace_path, "trace");
    const std::string data = file_text(trace_path);
    const std::string_view text = without_byte_order_mark(data);
    if (is_xml(text)) {
        return read_geo_trace(trace_path, data, route_path);
    }
    ContentLines lines(text);
    std::string_view line;
    std::vector<TraceSample> samples;
    TraceColumns columns;
    char separator = ',';
    for (bool first = true; lines.next(&line); first = false) {
        const std::string where =
            "trace '" + trace_path + "' line " + std::to_string(lines.number());
        separator = first ? guess_separator(line) : separator;
        const std::vector<std::string> fields = split_fields(line, separator);
        double number = 0.0;
        if (first && !read_number(fields[0], &number)) { // a header
            if (name_track_columns(fields).has_position()) {
                return read_geo_trace(trace_path, data, route_path);
            }
            columns = name_trace_columns(fields, where);
            continue;
        }
        TraceSample sample{};
        if (!read_sample(fields, columns, &sample)) {
            throw std::runtime_error(where + ": expected t,x,y,z");
        }
        samples.push_back(sample);
        check_time_increases(samples, where);
    }
    if (samples.empty()) {
        throw std::runtime_error("trace '" + trace_path + "' holds no sample");
    }
    return samples;
}

} // namespace korvale_tool
