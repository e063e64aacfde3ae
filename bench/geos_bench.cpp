// What a user would otherwise reach for: GEOS's linear referencing on the same route. Project
// is a search of the whole line (in the plane, z ignored), Interpolate a walk along it; every
// question needs a point geometry, created and released per call as a user would.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include <benchmark/benchmark.h>
#include <geos_c.h>

#include "bench_support.h"

using namespace korvale_bench;

namespace {

struct GeosRoute {
    GEOSContextHandle_t context = nullptr;
    GEOSGeometry* line = nullptr;
    std::vector<Position> positions;
    std::vector<double> distances;

    explicit GeosRoute(const LoadedRoute& route) {
        context = GEOS_init_r();
        GEOSCoordSequence* sequence =
            GEOSCoordSeq_copyFromArrays_r(context, route.x.data(), route.y.data(), route.z.data(),
                                          nullptr, static_cast<unsigned>(route.rows));
        line = GEOSGeom_createLineString_r(context, sequence);
        if (line == nullptr) {
            throw std::runtime_error("GEOS did not build the line");
        }
        std::uint64_t state = 777;
        for (int i = 0; i < 4096; ++i) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            distances.push_back(-10.0 + (route.length + 20.0) * (static_cast<double>(state >> 11) /
                                                                 9007199254740992.0));
        }
        for (int i = 0; i < 256; ++i) {
            Position p{};
            get_pos_at_distance(route.profile, distances[static_cast<std::size_t>(i)], &p.x, &p.y,
                                &p.z);
            positions.push_back({p.x + 1.25, p.y - 0.75, p.z});
        }
    }
    GeosRoute(const GeosRoute&) = delete;
    GeosRoute& operator=(const GeosRoute&) = delete;
    ~GeosRoute() {
        GEOSGeom_destroy_r(context, line);
        GEOS_finish_r(context);
    }
};

GeosRoute& geos_route(std::int32_t rows) {
    static std::vector<std::pair<std::int32_t, std::unique_ptr<GeosRoute>>> routes;
    for (auto& entry : routes) {
        if (entry.first == rows) {
            return *entry.second;
        }
    }
    routes.emplace_back(rows, std::make_unique<GeosRoute>(loaded_route(rows)));
    return *routes.back().second;
}

void BM_geos_project(benchmark::State& state) {
    GeosRoute& route = geos_route(static_cast<std::int32_t>(state.range(0)));
    std::size_t i = 0;
    for (auto _ : state) {
        const Position& q = route.positions[i];
        GEOSGeometry* point = GEOSGeom_createPointFromXY_r(route.context, q.x, q.y);
        benchmark::DoNotOptimize(GEOSProject_r(route.context, route.line, point));
        GEOSGeom_destroy_r(route.context, point);
        i = (i + 1) % route.positions.size();
    }
}

void BM_geos_interpolate(benchmark::State& state) {
    GeosRoute& route = geos_route(static_cast<std::int32_t>(state.range(0)));
    std::size_t i = 0;
    for (auto _ : state) {
        GEOSGeometry* point = GEOSInterpolate_r(route.context, route.line, route.distances[i]);
        double x = 0, y = 0;
        GEOSGeomGetX_r(route.context, point, &x);
        GEOSGeomGetY_r(route.context, point, &y);
        benchmark::DoNotOptimize(x + y);
        GEOSGeom_destroy_r(route.context, point);
        i = (i + 1) & (route.distances.size() - 1);
    }
}

} // namespace

void register_geos_benchmarks(const std::vector<std::int64_t>& sizes) {
    auto* project = benchmark::RegisterBenchmark("BM_geos_project", BM_geos_project);
    auto* interpolate = benchmark::RegisterBenchmark("BM_geos_interpolate", BM_geos_interpolate);
    for (std::int64_t rows : sizes) {
        project->Arg(rows);
        interpolate->Arg(rows);
    }
    project->Unit(benchmark::kMicrosecond);
}
