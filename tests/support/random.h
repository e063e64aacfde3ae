// A small seeded generator for tests: the same numbers on every platform and run.
#pragma once

#include <cstdint>

namespace korvale_test {

class Random {
public:
    explicit Random(std::uint64_t seed) : state(seed) {}
    std::uint64_t next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return state >> 17;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() & ((1ULL << 40) - 1)) / (1ULL << 40); }
    double uniform(double lo, double hi) { return lo + (hi - lo) * unit(); }

private:
    std::uint64_t state;
};

} // namespace korvale_test
