#include "trace_reader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "tool_output.h"

namespace korvale_tool {

namespace {

constexpr int NO_COLUMN = -1;
constexpr char UTF8_BOM[] = "\xEF\xBB\xBF";

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(
            trimmed(line.substr(start, comma == std::string::npos ? comma : comma - start)));
        if (comma == std::string::npos) {
            return fields;
        }
        start = comma + 1;
    }
}

bool read_double(const std::string& text, double* value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    *value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && errno != ERANGE;
}

std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

} // namespace

void check_time_increases(const std::vector<TraceSample>& samples, const std::string& where) {
    if (samples.size() >= 2 && !(samples.back().t > samples[samples.size() - 2].t)) {
        throw std::runtime_error(where + ": time does not increase");
    }
}

std::vector<TraceSample> read_trace(const std::string& trace_path, const std::string& route_path) {
    require_readable(trace_path, "trace");
    std::ifstream in(trace_path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open trace '" + trace_path + "'");
    }
    std::vector<TraceSample> samples;
    int columns[4] = {0, 1, 2, 3}; // t, x, y, z
    std::size_t needed = 4;
    bool first = true;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string text = trimmed(line);
        if (text.empty()) {
            continue;
        }
        const std::string where = "trace '" + trace_path + "' line " + std::to_string(number);
        if (first) {
            first = false;
            if (text[0] == '<' || text.rfind(std::string(UTF8_BOM) + "<", 0) == 0) {
                return read_geo_trace(trace_path, route_path);
            }
            // (a byte-order mark, as spreadsheets write one, is no part of the first name)
            const std::vector<std::string> names = split(
                lower(text.rfind(UTF8_BOM, 0) == 0 ? text.substr(sizeof UTF8_BOM - 1) : text));
            double probe = 0.0;
            if (!read_double(names[0], &probe)) { // a header
                const auto has = [&](const char* name) {
                    return std::find(names.begin(), names.end(), name) != names.end();
                };
                if ((has("lat") || has("latitude")) && (has("lon") || has("longitude"))) {
                    return read_geo_trace(trace_path, route_path);
                }
                const char* wanted[4][2] = {{"t", "time"}, {"x", "x"}, {"y", "y"}, {"z", "z"}};
                needed = 0;
                for (int c = 0; c < 4; ++c) {
                    columns[c] = NO_COLUMN;
                    for (std::size_t i = 0; i < names.size() && columns[c] == NO_COLUMN; ++i) {
                        if (names[i] == wanted[c][0] || names[i] == wanted[c][1]) {
                            columns[c] = static_cast<int>(i);
                            needed = std::max(needed, i + 1);
                        }
                    }
                    if (columns[c] == NO_COLUMN) {
                        throw std::runtime_error(where + ": the header names no column '" +
                                                 wanted[c][0] +
                                                 "' (t,x,y,z in any order, or lat,lon[,ele],time)");
                    }
                }
                continue;
            }
        }
        const std::vector<std::string> fields = split(text);
        TraceSample s{};
        double* values[4] = {&s.t, &s.x, &s.y, &s.z};
        bool read = fields.size() >= needed;
        for (int c = 0; c < 4 && read; ++c) {
            read = read_double(fields[static_cast<std::size_t>(columns[c])], values[c]);
        }
        if (!read) {
            throw std::runtime_error(where + ": expected t,x,y,z");
        }
        samples.push_back(s);
        check_time_increases(samples, where);
    }
    if (samples.empty()) {
        throw std::runtime_error("trace '" + trace_path + "' holds no sample");
    }
    return samples;
}

} // namespace korvale_tool
