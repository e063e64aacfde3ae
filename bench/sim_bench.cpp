// The simulated drives on a generated road at 1 m rows: the limit-following and the advice
// following drives, one pass of the dynamic programme, and the optimum at the baseline's trip
// time (docs/performance.md).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "route_generator.h"
#include "sim/drivers.h"
#include "sim/simulation.h"

namespace {

using namespace korvale;

struct Road {
    std::unique_ptr<RouteProfile> profile;
    ConstructionDetails details;
    std::unique_ptr<sim::SimRoad> road;
    dynamics::DriveVehicle car = sim::drive_vehicle_of(BUILT_IN_VEHICLE, find_preset("car")->drive,
                                                       dynamics::PowertrainKind::ev);
};

// The road of `rows` rows 1 m apart, loaded once.
const Road& road_of(std::int64_t rows) {
    static std::map<std::int64_t, std::unique_ptr<Road>> roads;
    auto& road = roads[rows];
    if (!road) {
        const std::string path = (std::filesystem::temp_directory_path() /
                                  ("korvale_sim_bench_" + std::to_string(rows) + ".txt"))
                                     .string();
        std::ofstream(path) << korvale_bench::generate_route_text(static_cast<std::int32_t>(rows),
                                                                  20240611, 1.0);
        road = std::make_unique<Road>();
        road->profile = std::make_unique<RouteProfile>(
            path.c_str(), CoastModel(CoastModelKind::eco, BUILT_IN_VEHICLE), &road->details,
            DiagSink::dropped());
        std::remove(path.c_str());
        road->road = std::make_unique<sim::SimRoad>(*road->profile, road->details);
    }
    return *road;
}

void BM_drive_limit(benchmark::State& state) {
    const Road& r = road_of(state.range(0));
    const sim::BrakingEnvelope envelope(*r.road, 2.0);
    for (auto _ : state) {
        sim::LimitDriver driver(envelope, r.car.limits.max_acceleration);
        benchmark::DoNotOptimize(sim::run_drive(envelope, r.car, driver, sim::RunSettings{}));
    }
}

void BM_drive_advice(benchmark::State& state) {
    const Road& r = road_of(state.range(0));
    const sim::BrakingEnvelope envelope(*r.road, 2.0);
    for (auto _ : state) {
        sim::AdviceDriver driver(*r.profile, *r.road, 1000.0, 1.0, 0.1, r.car.body.mass,
                                 r.car.limits.max_acceleration);
        benchmark::DoNotOptimize(sim::run_drive(envelope, r.car, driver, sim::RunSettings{}));
    }
}

void BM_programme_pass(benchmark::State& state) {
    const Road& r = road_of(state.range(0));
    const dynamics::SpeedProgramme programme(r.car, r.road->programme_road(5.0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(programme.solve(2000.0));
    }
}

void BM_optimal_at_trip_time(benchmark::State& state) {
    const Road& r = road_of(state.range(0));
    const dynamics::SpeedProgramme programme(r.car, r.road->programme_road(5.0));
    const double fastest = programme.solve(1e7).time;
    for (auto _ : state) {
        benchmark::DoNotOptimize(programme.solve_for_time(fastest * 1.1));
    }
}

// 100 km, and 1 km for the smoke run of the test suite.
void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(1001)->Arg(100001)->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_drive_limit)->Apply(sizes);
BENCHMARK(BM_drive_advice)->Apply(sizes);
BENCHMARK(BM_programme_pass)->Apply(sizes);
BENCHMARK(BM_optimal_at_trip_time)->Apply(sizes);

BENCHMARK_MAIN();
