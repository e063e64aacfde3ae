// Route files that look like surveyed roads, for the benchmarks and the loader's tests of speed.
#pragma once

#include <cstdint>
#include <string>

namespace korvale_bench {

// The text of a route of `rows` rows: points 1 to 10 m apart in projected coordinates (metres,
// three decimals), straights with a 10 000 m radius and no superelevation alternating with
// arcs of 150 to 1 200 m with 2 to 7 % superelevation, grades that change every few hundred
// metres, and speed limits that change every 200 to 600 m. The same seed gives the same text.
// A step above 0 puts the points that far apart instead.
std::string generate_route_text(std::int32_t rows, std::uint64_t seed = 20240611,
                                double step = 0.0);

} // namespace korvale_bench
