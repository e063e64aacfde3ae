// Shared pieces of the benchmarks: route files on disk, loaded profiles, a drive along a route,
// and the heap use of the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "korvale.h"
#include "profile/vehicle.h"

namespace korvale_bench {

// The built-in car, as the eight arguments of korvale_load.
constexpr korvale::VehicleParameters BUILT_IN = korvale::BUILT_IN_VEHICLE;
constexpr double CAR[8] = {BUILT_IN.drag_coefficient, BUILT_IN.frontal_area,
                           BUILT_IN.air_density,      BUILT_IN.vehicle_mass,
                           BUILT_IN.gravity,          BUILT_IN.rolling_resistance,
                           BUILT_IN.coast_power,      BUILT_IN.model_switch};

// The route file of `rows` generated rows (points `step` m apart where step is above 0), written
// on first use; removed at exit.
const std::string& route_file(std::int32_t rows, double step = 0.0);

// The file's size in bytes.
std::int64_t file_size(const std::string& path);

// A profile loaded from route_file(rows) and its columns, kept for the process's lifetime.
struct LoadedRoute {
    LoadedRoute() = default;
    LoadedRoute(const LoadedRoute&) = delete;
    LoadedRoute& operator=(const LoadedRoute&) = delete;
    ~LoadedRoute() { deinitialize_korvale(profile); }

    korvale_profile* profile = nullptr;
    std::int32_t rows = 0;
    double length = 0.0;
    std::vector<double> x, y, z, distance;
};
const LoadedRoute& loaded_route(std::int32_t rows);

// Positions of a vehicle that drives the route forward from its start in steps of 0.3 m, with
// up to 1.5 m of lateral noise, and back again, so that the last position joins the first.
struct Position {
    double x, y, z;
};
const std::vector<Position>& drive(std::int32_t rows);

// Bytes the process holds on the heap through operator new, now and at its peak since the last
// reset_peak_heap().
std::size_t heap_in_use();
std::size_t heap_peak();
void reset_peak_heap();

} // namespace korvale_bench
