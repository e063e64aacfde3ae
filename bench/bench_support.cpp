#include "bench_support.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

#include <unistd.h>

#include "route_generator.h"

namespace korvale_bench {

namespace {

class RouteFiles {
public:
    ~RouteFiles() {
        for (const auto& entry : files) {
            std::remove(entry.second.c_str());
        }
    }
    const std::string& get(std::int32_t rows, double step) {
        const auto key = std::make_pair(rows, step);
        auto found = files.find(key);
        if (found != files.end()) {
            return found->second;
        }
        const char* dir = std::getenv("TMPDIR");
        const std::string path = std::string(dir != nullptr ? dir : "/tmp") + "/korvale_bench_" +
                                 std::to_string(getpid()) + "_" + std::to_string(rows) +
                                 (step > 0.0 ? "_" + std::to_string(step) + "m" : "") + ".txt";
        std::ofstream out(path, std::ios::binary);
        out << generate_route_text(rows, 20240611, step);
        if (!out) {
            throw std::runtime_error("cannot write " + path);
        }
        return files.emplace(key, path).first->second;
    }

private:
    std::map<std::pair<std::int32_t, double>, std::string> files;
};

RouteFiles& route_files() {
    static RouteFiles files;
    return files;
}

std::atomic<std::size_t> in_use{0};
std::atomic<std::size_t> peak{0};

// Every block carries its size in front of it, so that a release knows what it gives back.
constexpr std::size_t HEADER = alignof(std::max_align_t);

void* counted_new(std::size_t size) {
    void* block = std::malloc(size + HEADER);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    *static_cast<std::size_t*>(block) = size;
    const std::size_t now = in_use.fetch_add(size) + size;
    std::size_t seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
    return static_cast<char*>(block) + HEADER;
}

void counted_delete(void* p) {
    if (p == nullptr) {
        return;
    }
    void* block = static_cast<char*>(p) - HEADER;
    in_use.fetch_sub(*static_cast<std::size_t*>(block));
    std::free(block);
}

} // namespace

const std::string& route_file(std::int32_t rows, double step) {
    return route_files().get(rows, step);
}

std::int64_t file_size(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return static_cast<std::int64_t>(in.tellg());
}

const LoadedRoute& loaded_route(std::int32_t rows) {
    static std::map<std::int32_t, std::unique_ptr<LoadedRoute>> routes;
    auto& route = routes[rows];
    if (!route) {
        route = std::make_unique<LoadedRoute>();
        const double* c = CAR;
        route->profile =
            korvale_load(route_file(rows).c_str(), c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
        if (route->profile == nullptr) {
            throw std::runtime_error("the generated route did not load");
        }
        route->rows = get_korvale_rows(route->profile);
        route->length = get_max_distance_korvale(route->profile);
        for (auto* column : {&route->x, &route->y, &route->z, &route->distance}) {
            column->resize(static_cast<std::size_t>(route->rows));
        }
        get_korvale_x_vec(route->profile, route->x.data(), route->rows);
        get_korvale_y_vec(route->profile, route->y.data(), route->rows);
        get_korvale_z_vec(route->profile, route->z.data(), route->rows);
        get_korvale_dist_vec(route->profile, route->distance.data(), route->rows);
    }
    return *route;
}

const std::vector<Position>& drive(std::int32_t rows) {
    static std::map<std::int32_t, std::vector<Position>> drives;
    auto& positions = drives[rows];
    if (positions.empty()) {
        const LoadedRoute& route = loaded_route(rows);
        const double end = std::min(route.length - 1.0, 30000.0);
        std::uint64_t state = 12345;
        std::vector<Position> forward;
        for (double d = 0.0; d < end; d += 0.3) {
            Position here{}, ahead{};
            get_pos_at_distance(route.profile, d, &here.x, &here.y, &here.z);
            get_pos_at_distance(route.profile, d + 0.5, &ahead.x, &ahead.y, &ahead.z);
            const double dx = ahead.x - here.x, dy = ahead.y - here.y;
            const double norm = std::sqrt(dx * dx + dy * dy);
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            const double noise = static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
            const double lateral = 1.0 * std::sin(d / 37.0) + 0.5 * noise;
            if (norm > 0.0) {
                here.x += -dy / norm * lateral;
                here.y += dx / norm * lateral;
            }
            forward.push_back(here);
        }
        positions = forward;
        positions.insert(positions.end(), forward.rbegin(), forward.rend());
    }
    return positions;
}

std::size_t heap_in_use() {
    return in_use.load();
}
std::size_t heap_peak() {
    return peak.load();
}
void reset_peak_heap() {
    peak.store(in_use.load());
}

} // namespace korvale_bench

// The heap use of the whole process, the shared library's included, goes through these.
void* operator new(std::size_t size) {
    return korvale_bench::counted_new(size);
}
void* operator new[](std::size_t size) {
    return korvale_bench::counted_new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return korvale_bench::counted_new(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return korvale_bench::counted_new(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept {
    korvale_bench::counted_delete(p);
}
void operator delete[](void* p) noexcept {
    korvale_bench::counted_delete(p);
}
void operator delete(void* p, std::size_t) noexcept {
    korvale_bench::counted_delete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    korvale_bench::counted_delete(p);
}
