// The route file writer that every route builder uses: comment lines, then one row per line,
// numbers written the same under every locale; rows go to a temporary file beside the route,
// which takes the route's name only when every row is written.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "korvale_routes.h"

namespace korvale::routes {

// One row of a route file.
struct RouteRow {
    double x = 0.0; // m
    double y = 0.0;
    double z = 0.0;
    double radius = 0.0;         // m, 10000 on straights
    double speed_limit = 0.0;    // km/h
    double superelevation = 0.0; // fraction
};

constexpr std::size_t MAX_ROUTE_ROWS = KORVALE_ROUTES_MAX_ROWS;

// The distance between rows that builders take, m.
constexpr double MIN_STEP = 0.01;
constexpr double MAX_STEP = 1000.0;
// Throws RouteError for a step outside MIN_STEP to MAX_STEP (or NaN).
void check_step(double step);

// Throws RouteError when a route of `rows` rows (a count that may be huge or not even finite)
// exceeds `max_rows`; builders call it with their estimate before making any row.
void check_row_count(double rows, double max_rows = static_cast<double>(MAX_ROUTE_ROWS));

// Longest text format_number() writes, without a terminating zero.
constexpr std::size_t MAX_NUMBER_CHARS = 32;

// Writes value into out (at least MAX_NUMBER_CHARS bytes) and returns the characters written:
// six decimals with trailing zeros dropped ("12.5", "10000", "-0.000123") below 1e15 in
// magnitude, else the shortest text that reads back exactly ("1.5e+300", "inf", "nan"). Never
// depends on the locale. -0 is written as 0.
std::size_t format_number(double value, char* out);
// The same as a string, for messages.
std::string number_text(double value);

// Appends the row as one line "x y z radius limit superelevation\n".
void append_row(const RouteRow& row, std::string& out);

class RouteFileWriter {
public:
    // Opens a temporary file beside path and writes the comment lines, each prefixed with "# "
    // (a comment longer than a route line may be is split over several lines; control
    // characters become '?'). Throws RouteError when the file cannot be made.
    RouteFileWriter(std::string path, const std::vector<std::string>& comments);
    // Without commit(): closes and removes the temporary file; the route path is untouched.
    ~RouteFileWriter();
    RouteFileWriter(const RouteFileWriter&) = delete;
    RouteFileWriter& operator=(const RouteFileWriter&) = delete;

    void add(const RouteRow& row);
    // Writes what is buffered, closes the file and renames it to the route path, replacing a
    // file there. Throws RouteError (and removes the temporary file) when any of it fails.
    void commit();

    std::size_t rows() const { return written; }

private:
    void flush();
    void fail(const std::string& what);

    std::string path;
    std::string temporary;
    std::FILE* file = nullptr;
    std::string buffer;
    std::size_t written = 0;
    bool committed = false;
};

} // namespace korvale::routes
