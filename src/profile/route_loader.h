// Reading a route file: six numbers per line (x, y, z, curve radius, speed limit,
// superelevation), in two passes over the file.
#pragma once

#include <array>
#include <cstdint>

#include "diag.h"

namespace korvale {

// Size of the line buffer: a line is examined in pieces of at most LINE_BUFFER_SIZE - 1
// characters, each piece as a line of its own.
constexpr int LINE_BUFFER_SIZE = 1024;

// The lines of a route file that parse_rows() skipped although they hold something: neither
// blank (white space only) nor a comment (first non-blank character '#'), and no row read from
// any piece of them. Lines are numbered from 1, as line feeds count them.
struct SkippedLines {
    static constexpr std::size_t KEPT = 5;
    std::int64_t count = 0;
    std::array<std::int64_t, KEPT> first{}; // the first min(count, KEPT) line numbers

    std::size_t kept() const { return count < static_cast<std::int64_t>(KEPT) ? count : KEPT; }
};

// Number of line feeds in the file plus one, or 0 for a file without any line feed. It bounds
// the rows that parse_rows() can store. Returns -1 (with both open-failure lines) when the file
// cannot be opened, and 0 (with a message) when the count does not fit a 32-bit row count.
std::int32_t count_lines(const char* path, const DiagSink& sink = DiagSink::standard());

// Stores at most capacity rows, in file order, of the lines that start with six numbers read
// as by "%lf" under the current locale; other lines are skipped without a message. Each array
// holds at least capacity doubles. Returns the rows stored, or -1 when the file cannot be
// opened. With skipped, the same pass also counts the lines it skipped (SkippedLines).
std::int32_t parse_rows(std::int32_t capacity, const char* path, double* x, double* y, double* z,
                        double* curve_radius, double* max_speed, double* superelevation,
                        const DiagSink& sink = DiagSink::standard(),
                        SkippedLines* skipped = nullptr);

// The path as messages show it: "(null)" for a path that was not given.
inline const char* printable_path(const char* path) {
    return path != nullptr ? path : "(null)";
}

// The line count for a number of line feeds, or -1 when it would not fit a 32-bit count.
std::int64_t line_count_for_feeds(std::int64_t line_feeds);

} // namespace korvale
