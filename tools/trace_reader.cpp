#include "trace_reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "tool_output.h"

namespace korvale_tool {

namespace {

constexpr std::array<const char*, 4> COLUMN_NAMES = {"t", "x", "y", "z"};
// The byte-order mark that spreadsheets write at the start of a CSV file.
constexpr char UTF8_BOM[] = "\xEF\xBB\xBF";

std::string trimmed(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t\"");
    if (begin == std::string::npos) {
        return "";
    }
    return text.substr(begin, text.find_last_not_of(" \t\"") - begin + 1);
}

std::vector<std::string> fields_of(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(trimmed(line.substr(start, comma - start)));
        if (comma == std::string::npos) {
            return fields;
        }
        start = comma + 1;
    }
}

bool read_number(const std::string& text, double* value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    *value = std::strtod(text.c_str(), &end);
    return *end == '\0' && errno != ERANGE;
}

class TraceError {
public:
    explicit TraceError(const std::string& path) : prefix("trace '" + path + "' line ") {}
    std::runtime_error operator()(int line, const std::string& message) const {
        return std::runtime_error(prefix + std::to_string(line) + ": " + message);
    }

private:
    std::string prefix;
};

// Where t, x, y and z stand in a line, from the header's names.
std::array<std::size_t, 4> columns_from_header(const std::vector<std::string>& names, int line,
                                               const TraceError& error) {
    std::array<std::size_t, 4> at{};
    for (std::size_t c = 0; c < COLUMN_NAMES.size(); ++c) {
        std::size_t found = names.size();
        for (std::size_t i = 0; i < names.size(); ++i) {
            std::string name = names[i];
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
            if (name != COLUMN_NAMES[c]) {
                continue;
            }
            if (found != names.size()) {
                throw error(line,
                            std::string("the header names column '") + COLUMN_NAMES[c] + "' twice");
            }
            found = i;
        }
        if (found == names.size()) {
            throw error(line, std::string("the header has no column '") + COLUMN_NAMES[c] +
                                  "' (a trace needs t, x, y and z)");
        }
        at[c] = found;
    }
    return at;
}

} // namespace

std::vector<TraceSample> read_trace(const std::string& path) {
    require_readable(path, "trace");
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot read trace '" + path + "'");
    }
    const TraceError error(path);
    std::array<std::size_t, 4> at = {0, 1, 2, 3};
    bool has_header = false;
    std::vector<TraceSample> samples;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (number == 1 && line.rfind(UTF8_BOM, 0) == 0) {
            line.erase(0, sizeof UTF8_BOM - 1);
        }
        if (line.find_first_not_of(" \t") == std::string::npos) {
            continue;
        }
        const std::vector<std::string> fields = fields_of(line);
        double first = 0.0;
        if (samples.empty() && !has_header && !read_number(fields[0], &first)) {
            at = columns_from_header(fields, number, error);
            has_header = true;
            continue;
        }
        const std::size_t needed = *std::max_element(at.begin(), at.end()) + 1;
        if (fields.size() < needed || (!has_header && fields.size() != needed)) {
            throw error(number, "expected " +
                                    std::string(has_header ? "the header's columns"
                                                           : "t,x,y,z (or a header naming them)") +
                                    ", found " + std::to_string(fields.size()) + " fields");
        }
        double v[4];
        for (std::size_t c = 0; c < at.size(); ++c) {
            if (!read_number(fields[at[c]], &v[c])) {
                throw error(number, std::string("column ") + COLUMN_NAMES[c] + ": '" +
                                        fields[at[c]] + "' is not a number");
            }
        }
        const TraceSample s{v[0], v[1], v[2], v[3]};
        if (!std::isfinite(s.t)) {
            throw error(number, "time '" + fields[at[0]] + "' is not finite");
        }
        if (!samples.empty() && !(s.t > samples.back().t)) {
            throw error(number, "time does not increase");
        }
        samples.push_back(s);
    }
    if (samples.empty()) {
        throw std::runtime_error("trace '" + path + "' holds no sample");
    }
    return samples;
}

} // namespace korvale_tool
