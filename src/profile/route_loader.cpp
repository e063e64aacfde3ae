#include "route_loader.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "../diag.h"

namespace korvale {

namespace {

constexpr std::size_t READ_CHUNK_SIZE = 8192; // small enough for the stack of any host thread

std::FILE* open_route_file(const char* path) {
    std::FILE* file = path != nullptr ? std::fopen(path, "r") : nullptr;
    if (file == nullptr) {
        std::fprintf(stderr, "Can't open output file %s!\n", printable_path(path));
        std::fflush(stderr);
        diag_print("[KORVALE_DLL] data parser FAILED reading file %s\n", printable_path(path));
    }
    return file;
}

} // namespace

std::int64_t line_count_for_feeds(std::int64_t line_feeds) {
    const std::int64_t count = line_feeds != 0 ? line_feeds + 1 : 0;
    return count > std::numeric_limits<std::int32_t>::max() ? -1 : count;
}

std::int32_t count_lines(const char* path) {
    std::FILE* file = open_route_file(path);
    if (file == nullptr) {
        return -1;
    }
    // Counting line feeds in blocks reads the same characters as reading them one by one.
    static_assert(READ_CHUNK_SIZE > 0, "read chunk must not be empty");
    char chunk[READ_CHUNK_SIZE];
    std::int64_t line_feeds = 0;
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        const char* p = chunk;
        const char* end = chunk + got;
        while ((p = static_cast<const char*>(std::memchr(p, '\n', end - p))) != nullptr) {
            ++line_feeds;
            ++p;
        }
    }
    std::fclose(file);
    const std::int64_t count = line_count_for_feeds(line_feeds);
    if (count < 0) {
        diag_print("[KORVALE_DLL] '%s' has more lines than a route can hold\n",
                   printable_path(path));
        return 0;
    }
    return static_cast<std::int32_t>(count);
}

std::int32_t parse_rows(std::int32_t capacity, const char* path, double* x, double* y, double* z,
                        double* curve_radius, double* max_speed, double* superelevation) {
    std::FILE* file = open_route_file(path);
    if (file == nullptr) {
        return -1;
    }
    char line[LINE_BUFFER_SIZE];
    std::int32_t rows = 0;
    while (rows < capacity && std::fgets(line, sizeof line, file) != nullptr) {
        double x_i = 0, y_i = 0, z_i = 0, c_i = 0, s_i = 0, e_i = 0;
        if (std::sscanf(line, "%lf %lf %lf %lf %lf %lf", &x_i, &y_i, &z_i, &c_i, &s_i, &e_i) == 6) {
            x[rows] = x_i;
            y[rows] = y_i;
            z[rows] = z_i;
            curve_radius[rows] = c_i;
            max_speed[rows] = s_i;
            superelevation[rows] = e_i;
            ++rows;
        }
    }
    std::fclose(file);
    return rows;
}

} // namespace korvale
