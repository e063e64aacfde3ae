#include "text/csv.h"

#include <algorithm>

#include "text/text.h"

namespace korvale::text {

bool ContentLines::next(std::string_view* line) {
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view found = trimmed(text.substr(at, end - at));
        at = end + 1;
        ++line_number;
        if (!found.empty() && found[0] != '#') {
            *line = found;
            return true;
        }
    }
    return false;
}

char guess_separator(std::string_view header) {
    for (const char separator : {',', ';', '\t'}) {
        if (header.find(separator) != std::string_view::npos) {
            return separator;
        }
    }
    return ',';
}

std::vector<std::string> split_fields(std::string_view line, char separator) {
    std::vector<std::string> fields(1);
    bool in_quotes = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (in_quotes) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                in_quotes = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            in_quotes = true;
        } else if (c == separator) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    for (std::string& field : fields) {
        field = std::string(trimmed(field));
    }
    return fields;
}

} // namespace korvale::text
