// The predictive model through the library, on generated roads with rows 1 m apart: building
// its profile (the plan of the whole route) beside the eco model's, the heap each profile keeps,
// and the queries and the advice on each.
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "korvale.h"

namespace korvale_bench {

namespace {

korvale_profile* load(std::int32_t rows, std::int32_t model) {
    korvale_vehicle car;
    korvale_default_vehicle(&car);
    korvale_profile* p = korvale_load_vehicle(route_file(rows, 1.0).c_str(), &car, model);
    if (p == nullptr) {
        throw std::runtime_error("the generated route did not load");
    }
    return p;
}

// Arguments: rows, model.
void BM_load_1m(benchmark::State& state) {
    const auto rows = static_cast<std::int32_t>(state.range(0));
    const auto model = static_cast<std::int32_t>(state.range(1));
    for (auto _ : state) {
        korvale_profile* p = load(rows, model);
        benchmark::DoNotOptimize(p);
        deinitialize_korvale(p);
    }
    state.SetItemsProcessed(state.iterations() * rows);
}

// Heap kept after construction and at the peak during it, per row.
void BM_memory_1m(benchmark::State& state) {
    const auto rows = static_cast<std::int32_t>(state.range(0));
    const auto model = static_cast<std::int32_t>(state.range(1));
    std::size_t kept = 0, peak = 0;
    for (auto _ : state) {
        const std::size_t before = heap_in_use();
        reset_peak_heap();
        korvale_profile* p = load(rows, model);
        kept = heap_in_use() - before;
        peak = heap_peak() - before;
        deinitialize_korvale(p);
    }
    state.counters["peak_B_per_row"] = static_cast<double>(peak) / rows;
    state.counters["kept_B_per_row"] = static_cast<double>(kept) / rows;
}

// A profile per rows and model, kept until the process ends (released then, so that a leak check
// finds nothing), with distances spread over it.
struct Loaded {
    korvale_profile* profile = nullptr;
    std::vector<double> distances;

    Loaded() = default;
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    ~Loaded() { deinitialize_korvale(profile); }
};
const Loaded& loaded(std::int32_t rows, std::int32_t model) {
    static std::map<std::pair<std::int32_t, std::int32_t>, Loaded> profiles;
    Loaded& l = profiles[{rows, model}];
    if (l.profile == nullptr) {
        l.profile = load(rows, model);
        const double length = get_max_distance_korvale(l.profile);
        std::uint64_t state = 777;
        for (int i = 0; i < 4096; ++i) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            l.distances.push_back(length * (static_cast<double>(state >> 11) / 9007199254740992.0));
        }
    }
    return l;
}

void BM_all_at_distance_1m(benchmark::State& state) {
    const Loaded& l = loaded(static_cast<std::int32_t>(state.range(0)),
                             static_cast<std::int32_t>(state.range(1)));
    std::size_t i = 0;
    for (auto _ : state) {
        double m = 0, r = 0, c = 0;
        get_all_at_distance(l.profile, l.distances[i], &m, &r, &c);
        benchmark::DoNotOptimize(m + r + c);
        i = (i + 1) & 4095;
    }
}

// The advice of a vehicle 10 km/h above the recommended speed, looking 1 km ahead.
void BM_advice_1m(benchmark::State& state) {
    const Loaded& l = loaded(static_cast<std::int32_t>(state.range(0)),
                             static_cast<std::int32_t>(state.range(1)));
    std::vector<double> speeds;
    for (double d : l.distances) {
        speeds.push_back(get_recomended_speed_at_distance(l.profile, d) + 10.0);
    }
    std::size_t i = 0;
    for (auto _ : state) {
        std::int32_t action = 0;
        double liftoff = 0, target = 0, target_speed = 0, deceleration = 0;
        benchmark::DoNotOptimize(korvale_advice(l.profile, l.distances[i], speeds[i], 1000.0,
                                                &action, &liftoff, &target, &target_speed,
                                                &deceleration));
        i = (i + 1) & 4095;
    }
}

} // namespace

void register_predictive_benchmarks() {
    // 10 km and 100 km of road; the eco model beside the predictive one.
    const auto each = [](benchmark::internal::Benchmark* b) {
        for (std::int64_t rows : {10000, 100000}) {
            for (std::int64_t model : {KORVALE_MODEL_ECO, KORVALE_MODEL_PREDICTIVE}) {
                b->Args({rows, model});
            }
        }
    };
    benchmark::RegisterBenchmark("BM_load_1m", BM_load_1m)
        ->Apply(each)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_memory_1m", BM_memory_1m)->Apply(each)->Iterations(1);
    benchmark::RegisterBenchmark("BM_all_at_distance_1m", BM_all_at_distance_1m)->Apply(each);
    benchmark::RegisterBenchmark("BM_advice_1m", BM_advice_1m)->Apply(each);
}

} // namespace korvale_bench
