// Reading a route file: six numbers per line (x, y, z, curve radius, speed limit,
// superelevation), in two passes over the file.
#pragma once

#include <cstdint>

namespace korvale {

// Size of the line buffer: a line is examined in pieces of at most LINE_BUFFER_SIZE - 1
// characters, each piece as a line of its own.
constexpr int LINE_BUFFER_SIZE = 1024;

// Number of line feeds in the file plus one, or 0 for a file without any line feed. It bounds
// the rows that parse_rows() can store. Returns -1 (with both open-failure lines) when the file
// cannot be opened, and 0 (with a message) when the count does not fit a 32-bit row count.
std::int32_t count_lines(const char* path);

// Stores at most capacity rows, in file order, of the lines that start with six numbers read
// as by "%lf" under the current locale; other lines are skipped silently. Each array holds at
// least capacity doubles. Returns the rows stored, or -1 when the file cannot be opened.
std::int32_t parse_rows(std::int32_t capacity, const char* path, double* x, double* y, double* z,
                        double* curve_radius, double* max_speed, double* superelevation);

// The path as messages show it: "(null)" for a path that was not given.
inline const char* printable_path(const char* path) {
    return path != nullptr ? path : "(null)";
}

// The line count for a number of line feeds, or -1 when it would not fit a 32-bit count.
std::int64_t line_count_for_feeds(std::int64_t line_feeds);

} // namespace korvale
