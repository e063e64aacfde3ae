// The simulated drives on a generated road at 1 m rows: the limit-following and the advice
// following drives, one pass of the dynamic programme, the optimum at the baseline's trip time
// (docs/performance.md), and the predictive model's speeds on a rural road of its own.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include "route_generator.h"
#include "sim/drivers.h"
#include "sim/predictive.h"
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

// A rural road of `rows` rows 1 m apart: hills of up to about 7 %, 100 km/h with 70 in a curve
// of 250 m every 2 km, a village at 50 every 15 km, and a stop at the end.
sim::RoadRows rural_rows(std::int64_t rows) {
    constexpr double TAU = 6.283185307179586;
    sim::RoadRows road;
    for (std::int64_t i = 0; i < rows; ++i) {
        const double s = static_cast<double>(i);
        road.distance.push_back(s);
        road.z.push_back(25.0 * std::sin(TAU * s / 4000.0) +
                         8.0 * std::sin(TAU * s / 1300.0 + 1.0));
        const bool curve = std::fmod(s, 2000.0) >= 1400.0;
        const bool village = std::fmod(s, 15000.0) >= 13000.0 && std::fmod(s, 15000.0) < 14200.0;
        road.max_speed.push_back(village ? 50.0 : curve ? 70.0 : 100.0);
        road.radius.push_back(curve ? 250.0 : 10000.0);
    }
    road.max_speed.back() = 0.0;
    for (std::int64_t i = 0; i + 1 < rows; ++i) {
        road.grade.push_back(road.z[i + 1] - road.z[i]);
    }
    road.grade.push_back(0.0);
    return road;
}

long peak_kb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The predictive speeds of the car (ev). peak_MB: how far the process's peak resident memory
// rose while planning (run this benchmark alone for the figure: --benchmark_filter=predictive).
void BM_predictive_speeds(benchmark::State& state) {
    const sim::RoadRows rows = rural_rows(state.range(0));
    const dynamics::DriveVehicle car = sim::drive_vehicle_of(
        BUILT_IN_VEHICLE, find_preset("car")->drive, dynamics::PowertrainKind::ev);
    const long before = peak_kb();
    for (auto _ : state) {
        const sim::PredictiveSpeeds speeds = sim::predictive_speeds(rows, car, {});
        if (!speeds.error.empty()) {
            state.SkipWithError(speeds.error.c_str());
        }
        state.counters["extra_time_%"] = 100.0 * (speeds.cruise_time / speeds.baseline_time - 1.0);
    }
    state.counters["peak_MB"] = static_cast<double>(peak_kb() - before) / 1024.0;
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
BENCHMARK(BM_predictive_speeds)->Apply(sizes);

BENCHMARK_MAIN();
