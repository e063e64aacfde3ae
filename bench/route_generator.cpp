#include "route_generator.h"

#include <cmath>
#include <cstdio>
#include <random>

namespace korvale_bench {

namespace {

// A small deterministic generator, so that every standard library writes the same routes.
class Random {
public:
    explicit Random(std::uint64_t seed) : state(seed) {}
    double uniform(double lo, double hi) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const double unit = static_cast<double>(state >> 11) * (1.0 / 9007199254740992.0);
        return lo + (hi - lo) * unit;
    }

private:
    std::uint64_t state;
};

} // namespace

std::string generate_route_text(std::int32_t rows, std::uint64_t seed, double fixed_step) {
    Random random(seed);
    std::string text;
    text.reserve(static_cast<std::size_t>(rows) * 56);
    const double limits[] = {50, 60, 70, 80, 90, 100, 120};

    double x = 512000.0, y = 5412000.0, z = 300.0, heading = 0.3;
    double piece_left = 0.0, radius = 10000.0, superelevation = 0.0, turn = 0.0;
    double grade_left = 0.0, grade = 0.0;
    double limit_left = 0.0, limit = 100.0;
    bool arc = true;
    char line[128];
    for (std::int32_t i = 0; i < rows; ++i) {
        if (piece_left <= 0.0) { // straights and arcs take turns
            arc = !arc;
            if (arc) {
                piece_left = random.uniform(100.0, 600.0);
                radius = std::round(random.uniform(150.0, 1200.0));
                superelevation = std::round(random.uniform(0.02, 0.07) * 1000.0) / 1000.0;
                turn = random.uniform(0.0, 1.0) < 0.5 ? -1.0 : 1.0;
            } else {
                piece_left = random.uniform(200.0, 1500.0);
                radius = 10000.0;
                superelevation = 0.0;
                turn = 0.0;
            }
        }
        if (grade_left <= 0.0) {
            grade_left = random.uniform(200.0, 800.0);
            grade = random.uniform(-0.05, 0.05);
        }
        if (limit_left <= 0.0) {
            limit_left = random.uniform(200.0, 600.0);
            limit = limits[static_cast<int>(random.uniform(0.0, 7.0)) % 7];
        }
        std::snprintf(line, sizeof line, "%.3f %.3f %.3f %.1f %.0f %.3f\n", x, y, z, radius, limit,
                      superelevation);
        text += line;

        const double drawn = random.uniform(1.0, 10.0);
        const double step = fixed_step > 0.0 ? fixed_step : drawn;
        heading += turn * step / radius;
        x += step * std::cos(heading);
        y += step * std::sin(heading);
        z += step * grade;
        piece_left -= step;
        grade_left -= step;
        limit_left -= step;
    }
    return text;
}

} // namespace korvale_bench
