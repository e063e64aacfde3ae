// The benchmarks of korvale: loading against a plain read-and-convert of the same file, the
// queries by distance and by position against a bare loop, and, where GEOS is there, its linear
// referencing on the same route. After the runs, a table of the ratios that count.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include "bench_support.h"
#include "korvale.h"

#if defined(KORVALE_BENCH_HAS_FAST_FLOAT)
#include <fast_float/fast_float.h>
#endif

using namespace korvale_bench;

namespace {

constexpr double WINDOW = 100.0; // the default window of the speed queries

// ------------------------------------------------------------------------- loading

void BM_load(benchmark::State& state) {
    const auto rows = static_cast<std::int32_t>(state.range(0));
    const std::string& path = route_file(rows);
    for (auto _ : state) {
        korvale_profile* p = korvale_load(path.c_str(), CAR[0], CAR[1], CAR[2], CAR[3], CAR[4],
                                          CAR[5], CAR[6], CAR[7]);
        benchmark::DoNotOptimize(p);
        deinitialize_korvale(p);
    }
    state.SetItemsProcessed(state.iterations() * rows);
    state.SetBytesProcessed(state.iterations() * file_size(path));
}

// The same with the eco model (korvale_load_vehicle): its backward pass beside the coasting
// model's.
void BM_load_eco(benchmark::State& state) {
    const auto rows = static_cast<std::int32_t>(state.range(0));
    const std::string& path = route_file(rows);
    korvale_vehicle car;
    korvale_default_vehicle(&car);
    for (auto _ : state) {
        korvale_profile* p = korvale_load_vehicle(path.c_str(), &car, KORVALE_MODEL_ECO);
        benchmark::DoNotOptimize(p);
        deinitialize_korvale(p);
    }
    state.SetItemsProcessed(state.iterations() * rows);
    state.SetBytesProcessed(state.iterations() * file_size(path));
}

struct FromChars {
    static const char* convert(const char* first, const char* last, double* value) {
        const auto result = std::from_chars(first, last, *value);
        return result.ec == std::errc() ? result.ptr : nullptr;
    }
};

#if defined(KORVALE_BENCH_HAS_FAST_FLOAT)
struct FastFloat {
    static const char* convert(const char* first, const char* last, double* value) {
        const auto result = fast_float::from_chars(first, last, *value);
        return result.ec == std::errc() ? result.ptr : nullptr;
    }
};
#endif

// What a program that only wants the numbers would do: read the file in large blocks and
// convert the six numbers of every line into six columns; lines that do not hold six numbers
// are skipped.
template <class Converter>
std::size_t read_and_convert(const std::string& path, std::vector<double> (&columns)[6]) {
    for (auto& column : columns) {
        column.clear();
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return 0;
    }
    std::vector<char> block(1 << 20);
    std::size_t kept = 0; // bytes of an unfinished line at the front of the block
    std::size_t got = 0;
    while ((got = std::fread(block.data() + kept, 1, block.size() - kept, file)) > 0 || kept > 0) {
        const char* p = block.data();
        const char* end = block.data() + kept + got;
        const bool last = got == 0;
        for (;;) {
            const char* feed = static_cast<const char*>(std::memchr(p, '\n', end - p));
            if (feed == nullptr && !last) {
                break;
            }
            const char* line_end = feed != nullptr ? feed : end;
            double values[6];
            const char* q = p;
            int n = 0;
            for (; n < 6; ++n) {
                while (q < line_end && (*q == ' ' || *q == '\t')) {
                    ++q;
                }
                q = Converter::convert(q, line_end, &values[n]);
                if (q == nullptr) {
                    break;
                }
            }
            if (n == 6) {
                for (int k = 0; k < 6; ++k) {
                    columns[k].push_back(values[k]);
                }
            }
            if (feed == nullptr) {
                p = end;
                break;
            }
            p = feed + 1;
        }
        kept = static_cast<std::size_t>(end - p);
        std::memmove(block.data(), p, kept);
        if (last) {
            break;
        }
    }
    std::fclose(file);
    return columns[0].size();
}

template <class Converter>
void BM_read_and_convert(benchmark::State& state) {
    const auto rows = static_cast<std::int32_t>(state.range(0));
    const std::string& path = route_file(rows);
    for (auto _ : state) {
        std::vector<double> columns[6];
        if (read_and_convert<Converter>(path, columns) != static_cast<std::size_t>(rows)) {
            state.SkipWithError("the baseline did not read every row");
            break;
        }
        benchmark::DoNotOptimize(columns[0].data());
    }
    state.SetItemsProcessed(state.iterations() * rows);
    state.SetBytesProcessed(state.iterations() * file_size(path));
}

// Heap held by a profile after construction and at the peak during it, per row.
void BM_memory(benchmark::State& state) {
    const auto rows = static_cast<std::int32_t>(state.range(0));
    const std::string& path = route_file(rows);
    std::size_t kept = 0, peak = 0;
    for (auto _ : state) {
        const std::size_t before = heap_in_use();
        reset_peak_heap();
        korvale_profile* p = korvale_load(path.c_str(), CAR[0], CAR[1], CAR[2], CAR[3], CAR[4],
                                          CAR[5], CAR[6], CAR[7]);
        kept = heap_in_use() - before;
        peak = heap_peak() - before;
        deinitialize_korvale(p);
    }
    state.counters["peak_B_per_row"] = static_cast<double>(peak) / rows;
    state.counters["kept_B_per_row"] = static_cast<double>(kept) / rows;
}

// ------------------------------------------------------------------------- queries by distance

// Distances spread over the whole route and a little beyond both ends, in random order.
std::vector<double> random_distances(double length) {
    std::vector<double> d(4096);
    std::uint64_t state = 777;
    for (double& v : d) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        v = -10.0 + (length + 20.0) * (static_cast<double>(state >> 11) / 9007199254740992.0);
    }
    return d;
}

template <class Query>
void at_distance(benchmark::State& state, Query query) {
    const LoadedRoute& route = loaded_route(static_cast<std::int32_t>(state.range(0)));
    const std::vector<double> distances = random_distances(route.length);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(query(route.profile, distances[i]));
        i = (i + 1) & (distances.size() - 1);
    }
}

void BM_max_speed_at_distance(benchmark::State& state) {
    at_distance(state, get_max_speed_at_distance);
}
void BM_recommended_speed_at_distance(benchmark::State& state) {
    at_distance(state, get_recomended_speed_at_distance);
}
void BM_coasting_speed_at_distance(benchmark::State& state) {
    at_distance(state, get_coasting_speed_at_distance);
}
void BM_all_at_distance(benchmark::State& state) {
    at_distance(state, [](korvale_profile* p, double d) {
        double m = 0, r = 0, c = 0;
        get_all_at_distance(p, d, &m, &r, &c);
        return m + r + c;
    });
}
void BM_pos_at_distance(benchmark::State& state) {
    at_distance(state, [](korvale_profile* p, double d) {
        double x = 0, y = 0, z = 0;
        get_pos_at_distance(p, d, &x, &y, &z);
        return x + y + z;
    });
}
void BM_pos_at_polyline_location(benchmark::State& state) {
    at_distance(state, [](korvale_profile* p, double d) {
        double xyz[3] = {0, 0, 0};
        get_pos_at_polyline_location(p, d, xyz, 0);
        return xyz[0] + xyz[1] + xyz[2];
    });
}

// ------------------------------------------------------------------------- queries by position

// One query per step of the drive; the tracking starts with a full search at the first step.
template <class Query>
void along_drive(benchmark::State& state, Query query) {
    const auto rows = static_cast<std::int32_t>(state.range(0));
    const LoadedRoute& route = loaded_route(rows);
    const std::vector<Position>& positions = drive(rows);
    get_distance_at_position(route.profile, positions[0].x, positions[0].y, positions[0].z, 1,
                             WINDOW);
    std::size_t i = 1;
    for (auto _ : state) {
        const Position& q = positions[i];
        benchmark::DoNotOptimize(query(route.profile, q));
        if (++i == positions.size()) {
            i = 0;
        }
    }
}

void BM_track_distance_at_position(benchmark::State& state) {
    along_drive(state, [](korvale_profile* p, const Position& q) {
        return get_distance_at_position(p, q.x, q.y, q.z, 0, WINDOW);
    });
}
void BM_track_all_at_position(benchmark::State& state) {
    along_drive(state, [](korvale_profile* p, const Position& q) {
        double d = 0, m = 0, r = 0, c = 0;
        get_all_at_position(p, q.x, q.y, q.z, 0, WINDOW, &d, &m, &r, &c);
        return d + m + r + c;
    });
}
void BM_track_max_speed_at_position(benchmark::State& state) {
    along_drive(state, [](korvale_profile* p, const Position& q) {
        return get_max_speed_at_position(p, q.x, q.y, q.z);
    });
}
void BM_track_recommended_speed_at_position(benchmark::State& state) {
    along_drive(state, [](korvale_profile* p, const Position& q) {
        return get_recomended_speed_at_position(p, q.x, q.y, q.z);
    });
}
void BM_track_coasting_speed_at_position(benchmark::State& state) {
    along_drive(state, [](korvale_profile* p, const Position& q) {
        return get_coasting_speed_at_position(p, q.x, q.y, q.z);
    });
}

// The segment index that holds distance d, found as a hand-written tracker would.
std::int32_t segment_holding(const std::vector<double>& distance, double d) {
    const auto it = std::upper_bound(distance.begin(), distance.end(), d);
    const auto n = static_cast<std::int32_t>(distance.size());
    const auto i = static_cast<std::int32_t>(it - distance.begin()) - 1;
    return std::max(0, std::min(n - 2, i));
}

// The same window of segments as the tracking query, searched by a bare loop: the nearest
// point of each segment by a clamped projection, compared by squared distance, no cache, no
// bounds checks, no tie rule.
void BM_bare_window_loop(benchmark::State& state) {
    const auto rows = static_cast<std::int32_t>(state.range(0));
    const LoadedRoute& route = loaded_route(rows);
    const std::vector<Position>& positions = drive(rows);
    const double* x = route.x.data();
    const double* y = route.y.data();
    const double* z = route.z.data();
    const std::int32_t n = route.rows;
    double L = get_distance_at_position(route.profile, positions[0].x, positions[0].y,
                                        positions[0].z, 1, WINDOW);
    std::size_t i = 1;
    for (auto _ : state) {
        const Position& q = positions[i];
        const std::int32_t lo = segment_holding(route.distance, L - WINDOW);
        const std::int32_t hi = std::min(n - 1, segment_holding(route.distance, L + WINDOW) + 1);
        double best = INFINITY, best_t = 0.0;
        std::int32_t best_segment = lo;
        for (std::int32_t k = lo; k < hi; ++k) {
            const double vx = x[k + 1] - x[k], vy = y[k + 1] - y[k], vz = z[k + 1] - z[k];
            const double wx = q.x - x[k], wy = q.y - y[k], wz = q.z - z[k];
            const double vv = vx * vx + vy * vy + vz * vz;
            double t = vv > 0.0 ? (vx * wx + vy * wy + vz * wz) / vv : 0.0;
            t = std::min(1.0, std::max(0.0, t));
            const double dx = wx - vx * t, dy = wy - vy * t, dz = wz - vz * t;
            const double dd = dx * dx + dy * dy + dz * dz;
            if (dd < best) {
                best = dd;
                best_t = t;
                best_segment = k;
            }
        }
        const double step = route.distance[best_segment + 1] - route.distance[best_segment];
        L = route.distance[best_segment] + best_t * step;
        benchmark::DoNotOptimize(L);
        if (++i == positions.size()) {
            i = 0;
        }
    }
}

// Positions near points spread over the whole route, each asked with a full search.
std::vector<Position> scattered_positions(const LoadedRoute& route) {
    std::vector<Position> positions;
    for (double d : random_distances(route.length)) {
        Position p{};
        get_pos_at_distance(route.profile, d, &p.x, &p.y, &p.z);
        p.x += 1.25;
        p.y -= 0.75;
        positions.push_back(p);
        if (positions.size() == 256) {
            break;
        }
    }
    return positions;
}

void BM_full_search(benchmark::State& state) {
    const LoadedRoute& route = loaded_route(static_cast<std::int32_t>(state.range(0)));
    const std::vector<Position> positions = scattered_positions(route);
    std::size_t i = 0;
    for (auto _ : state) {
        const Position& q = positions[i];
        benchmark::DoNotOptimize(get_distance_at_position(route.profile, q.x, q.y, q.z, 1, WINDOW));
        i = (i + 1) % positions.size();
    }
}

} // namespace

#if defined(KORVALE_BENCH_HAS_GEOS)
void register_geos_benchmarks(const std::vector<std::int64_t>& sizes);
#endif
namespace korvale_bench {
void register_predictive_benchmarks();
}

namespace {

// After the runs: the medians of the figures that count, side by side. CPU time, since other
// work on the machine stretches real time but not the time the benchmark itself runs.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {} // no colours: the report goes to files too

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            const double seconds =
                run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                seconds_by_name[run.run_name.str()].push_back(seconds);
            } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians[run.run_name.str()] = seconds;
            }
        }
    }

    void Finalize() override {
        std::ostream& out = GetOutputStream();
        out << "\nMedians of CPU time per call and the ratios that count:\n";
        for (const std::string size : {"10000", "100000", "1000000"}) {
            auto ratio = [&](const std::string& a, const std::string& b, const char* what) {
                const double x = median(a + "/" + size), y = median(b + "/" + size);
                if (x > 0 && y > 0) {
                    char line[200];
                    std::snprintf(line, sizeof line, "  %8s rows  %-58s %10.3f\n", size.c_str(),
                                  what, x / y);
                    out << line;
                }
            };
            ratio("BM_load", "BM_read_and_convert<FromChars>",
                  "load and build / read and convert (std::from_chars)");
            ratio("BM_load_eco", "BM_load", "load with the eco model / with the coasting model");
            ratio("BM_load", "BM_read_and_convert<FastFloat>",
                  "load and build / read and convert (fast_float)");
            ratio("BM_track_all_at_position", "BM_bare_window_loop",
                  "tracking get_all_at_position / bare window loop");
            ratio("BM_track_distance_at_position", "BM_bare_window_loop",
                  "tracking get_distance_at_position / bare window loop");
            ratio("BM_geos_project", "BM_full_search", "GEOSProject_r / full search");
            ratio("BM_geos_project", "BM_track_distance_at_position",
                  "GEOSProject_r / tracking get_distance_at_position");
            ratio("BM_geos_interpolate", "BM_pos_at_distance",
                  "GEOSInterpolate_r / get_pos_at_distance");
        }
        ConsoleReporter::Finalize();
    }

private:
    double median(const std::string& name) const {
        const auto given = medians.find(name);
        if (given != medians.end()) {
            return given->second;
        }
        const auto found = seconds_by_name.find(name);
        if (found == seconds_by_name.end() || found->second.empty()) {
            return 0.0;
        }
        std::vector<double> v = found->second;
        std::sort(v.begin(), v.end());
        const std::size_t m = v.size() / 2;
        return v.size() % 2 == 1 ? v[m] : (v[m - 1] + v[m]) / 2.0;
    }

    std::map<std::string, std::vector<double>> seconds_by_name;
    std::map<std::string, double> medians;
};

} // namespace

namespace {

// The route sizes every benchmark runs on.
const std::vector<std::int64_t> sizes = {10000, 100000, 1000000};

void each_size(benchmark::internal::Benchmark* b) {
    for (std::int64_t rows : sizes) {
        b->Arg(rows);
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("BM_load", BM_load)
        ->Apply(each_size)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_load_eco", BM_load_eco)
        ->Apply(each_size)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_read_and_convert<FromChars>", BM_read_and_convert<FromChars>)
        ->Apply(each_size)
        ->Unit(benchmark::kMillisecond);
#if defined(KORVALE_BENCH_HAS_FAST_FLOAT)
    benchmark::RegisterBenchmark("BM_read_and_convert<FastFloat>", BM_read_and_convert<FastFloat>)
        ->Apply(each_size)
        ->Unit(benchmark::kMillisecond);
#endif
    benchmark::RegisterBenchmark("BM_memory", BM_memory)->Apply(each_size)->Iterations(1);
    for (auto [name, function] :
         std::initializer_list<std::pair<const char*, void (*)(benchmark::State&)>>{
             {"BM_max_speed_at_distance", BM_max_speed_at_distance},
             {"BM_recommended_speed_at_distance", BM_recommended_speed_at_distance},
             {"BM_coasting_speed_at_distance", BM_coasting_speed_at_distance},
             {"BM_all_at_distance", BM_all_at_distance},
             {"BM_pos_at_distance", BM_pos_at_distance},
             {"BM_pos_at_polyline_location", BM_pos_at_polyline_location},
             {"BM_track_distance_at_position", BM_track_distance_at_position},
             {"BM_track_all_at_position", BM_track_all_at_position},
             {"BM_track_max_speed_at_position", BM_track_max_speed_at_position},
             {"BM_track_recommended_speed_at_position", BM_track_recommended_speed_at_position},
             {"BM_track_coasting_speed_at_position", BM_track_coasting_speed_at_position},
             {"BM_bare_window_loop", BM_bare_window_loop},
         }) {
        benchmark::RegisterBenchmark(name, function)->Apply(each_size);
    }
    benchmark::RegisterBenchmark("BM_full_search", BM_full_search)
        ->Apply(each_size)
        ->Unit(benchmark::kMicrosecond);
#if defined(KORVALE_BENCH_HAS_GEOS)
    register_geos_benchmarks(sizes);
#endif
    register_predictive_benchmarks();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    // The library's diagnostic lines go to standard output; the report goes where standard
    // output went, and the diagnostic lines to /dev/null.
    std::fflush(stdout);
    const int report_fd = dup(1);
    const int null_fd = open("/dev/null", O_WRONLY);
    if (report_fd < 0 || null_fd < 0 || dup2(null_fd, 1) < 0) {
        return 1;
    }
    close(null_fd);
    std::ofstream report("/proc/self/fd/" + std::to_string(report_fd), std::ios::app);
    RatioReporter reporter;
    reporter.SetOutputStream(&report);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
