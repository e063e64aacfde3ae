// Line-based text tables: their lines, and the fields of a line of comma-separated values.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvale::text {

// The lines of a text that hold something: each without its blanks at the ends; lines that are
// blank or whose first character is '#' (a comment) are passed over. A line ends at a line feed
// (a carriage return before it is a blank); the last line needs none.
class ContentLines {
public:
    explicit ContentLines(std::string_view text) : text(text) {}

    // The next line that holds something, as a view into the text; false at the end.
    bool next(std::string_view* line);
    // The number (from 1) of the line that next gave last.
    std::size_t number() const { return line_number; }

private:
    std::string_view text;
    std::size_t at = 0;
    std::size_t line_number = 0;
};

// The separator of a table whose first line is header: ',' if it holds one, else ';', else a
// tab, else ','.
char guess_separator(std::string_view header);

// The fields of one line, split at separator outside double quotes ("" is a quote inside them),
// each without its blanks at the ends.
std::vector<std::string> split_fields(std::string_view line, char separator);

} // namespace korvale::text
