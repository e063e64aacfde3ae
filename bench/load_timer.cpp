// Times korvale_load of one route file, for comparing the same load on two platforms (Linux
// against korvale.dll under Wine: scripts/bench-windows.sh). Needs nothing but the library, so
// that it builds wherever the library does.
//
//   korvale_load_timer --write ROWS FILE   writes the generated route of ROWS rows to FILE
//   korvale_load_timer FILE [RUNS]          loads FILE RUNS times (default 5), prints the median
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "korvale.h"
#include "route_generator.h"

namespace {

constexpr double CAR[8] = {0.3, 2.3, 1.293, 1644, 9.81, 0.015, 0, 0};

int write_route(const char* rows_text, const char* path) {
    const long rows = std::strtol(rows_text, nullptr, 10);
    if (rows <= 0 || rows > 100000000) {
        std::fprintf(stderr, "korvale_load_timer: rows must be 1 to 100000000\n");
        return 2;
    }
    const std::string text = korvale_bench::generate_route_text(static_cast<std::int32_t>(rows));
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size() ||
        std::fclose(file) != 0) {
        std::fprintf(stderr, "korvale_load_timer: cannot write %s\n", path);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--write") {
        return write_route(argv[2], argv[3]);
    }
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: korvale_load_timer --write ROWS FILE | FILE [RUNS]\n");
        return 2;
    }
    const int runs = argc == 3 ? std::max(1, std::atoi(argv[2])) : 5;
    std::vector<double> seconds;
    std::int32_t rows = 0;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        korvale_profile* profile =
            korvale_load(argv[1], CAR[0], CAR[1], CAR[2], CAR[3], CAR[4], CAR[5], CAR[6], CAR[7]);
        rows = get_korvale_rows(profile);
        deinitialize_korvale(profile);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (profile == nullptr) {
            std::fprintf(stderr, "korvale_load_timer: %s has no rows\n", argv[1]);
            return 1;
        }
        seconds.push_back(took.count());
    }
    std::sort(seconds.begin(), seconds.end());
    std::fflush(stdout);
    std::fprintf(stderr, "load %d rows: median %.3f s, fastest %.3f s, slowest %.3f s (%d runs)\n",
                 rows, seconds[seconds.size() / 2], seconds.front(), seconds.back(), runs);
    return 0;
}
