// Queries never touch the heap: every form of operator new is replaced here by one that counts,
// and a long run of queries of every kind must leave the count unchanged. The same replacement
// can refuse every allocation, for the functions that must survive running out of memory.
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "korvale.h"
#include "support/refused_allocations.h"
#include "support/temp_dir.h"
#include "support/vehicles.h"

namespace korvale_test {
// While true, every operator new fails (declared in support/refused_allocations.h).
std::atomic<bool> refuse_allocations{false};
std::atomic<std::int64_t> allocations_still_granted{0};
} // namespace korvale_test

namespace {

std::atomic<std::size_t> allocations{0};

// Every delete frees through this pointer, which the compiler cannot see through: it would
// otherwise pair the inlined free() with the operator new of the caller and warn.
void (*volatile release)(void*) = std::free;

// Whether this allocation fails: while refusing, once the granted ones are used up.
bool refused() {
    return korvale_test::refuse_allocations.load() &&
           korvale_test::allocations_still_granted.fetch_sub(1) <= 0;
}

void* counted(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (refused()) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

void* counted_aligned(std::size_t size, std::align_val_t align) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (refused()) {
        return nullptr;
    }
    const auto alignment = static_cast<std::size_t>(align);
    const std::size_t rounded = (size + alignment - 1) / alignment * alignment;
    return std::aligned_alloc(alignment, rounded == 0 ? alignment : rounded);
}

} // namespace

void* operator new(std::size_t size) {
    if (void* p = counted(size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return counted(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return counted(size);
}
void* operator new(std::size_t size, std::align_val_t align) {
    if (void* p = counted_aligned(size, align)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return operator new(size, align);
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    return counted_aligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    return counted_aligned(size, align);
}

void operator delete(void* p) noexcept {
    release(p);
}
void operator delete[](void* p) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    release(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    release(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    release(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    release(p);
}

namespace {

// A winding route of a few thousand rows.
std::string winding_route() {
    std::vector<korvale_test::Row> rows;
    for (int i = 0; i < 3000; ++i) {
        const double s = 3.0 * i;
        rows.push_back({s, 40.0 * std::sin(s / 150.0), 5.0 * std::sin(s / 400.0),
                        i % 50 < 20 ? 120.0 : 10000.0, i % 700 < 600 ? 90.0 : 50.0, 0.04});
    }
    return korvale_test::route_text(rows);
}

} // namespace

TEST(NoAllocation, QueriesOfEveryKindLeaveTheHeapAlone) {
    korvale_test::TempDir dir;
    const std::string file = dir.write("route.txt", winding_route());
    const double* c = korvale_test::DEFAULT_CAR;

    // Building a profile allocates, and the library's allocations are counted here.
    const std::size_t before_build = allocations.load();
    korvale_profile* p =
        initialize_korvale(file.c_str(), c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
    ASSERT_GT(allocations.load(), before_build);
    const int32_t rows = get_korvale_rows(p);
    ASSERT_EQ(rows, 3000);
    const double length = get_max_distance_korvale(p);
    std::vector<double> column(static_cast<std::size_t>(rows));

    const std::size_t before = allocations.load();
    double sum = 0.0;
    for (int i = 0; i < 20000; ++i) {
        const double d = std::fmod(i * 0.37, length + 20.0) - 10.0;
        double x = 0, y = 0, z = 0, m = 0, r = 0, k = 0, xyz[3] = {0, 0, 0};
        sum += get_max_speed_at_distance(p, d) + get_recomended_speed_at_distance(p, d) +
               get_coasting_speed_at_distance(p, d);
        sum += get_all_at_distance(p, d, &m, &r, &k) + m + r + k;
        sum += get_pos_at_distance(p, d, &x, &y, &z) + get_pos_at_polyline_location(p, d, xyz, 0);
        const double px = x + 1.5, py = y - 1.0, pz = z;
        sum += get_distance_at_position(p, px, py, pz, i % 100 == 0 ? 1 : 0, 30.0);
        sum += get_distance_at_position(p, px, py, pz, 1, 30.0); // the cache answers
        sum += get_max_speed_at_position(p, px + 0.5, py, pz) +
               get_recomended_speed_at_position(p, px, py + 0.5, pz) +
               get_coasting_speed_at_position(p, px, py, pz + 0.5);
        double at = 0;
        sum +=
            get_all_at_position(p, px - 0.5, py, pz, i % 97 == 0 ? 2 : 0, 100.0, &at, &m, &r, &k) +
            at + m + r + k;
        sum += korvale_offset_from_route(p);
        double slowdown = 0, target = 0, liftoff = 0;
        if (korvale_next_slowdown(p, at, 120.0, 1000.0, &slowdown, &target, &liftoff) == 1) {
            sum += slowdown + target + liftoff;
        }
        int32_t action = 0;
        double deceleration = 0;
        if (korvale_advice(p, at, 120.0, 1000.0, &action, &liftoff, &slowdown, &target,
                           &deceleration) == 1) {
            sum += action + liftoff + slowdown + target + deceleration;
        }
        if (i % 1000 == 0) {
            get_korvale_x_vec(p, column.data(), rows);
            get_korvale_y_vec(p, column.data(), rows);
            get_korvale_z_vec(p, column.data(), rows);
            get_korvale_dist_vec(p, column.data(), rows);
            sum += column.back() + get_korvale_rows(p) + get_max_distance_korvale(p);
            char error[64];
            sum += static_cast<double>(korvale_last_error(error, sizeof error));
        }
    }
    const std::size_t during = allocations.load() - before;

    EXPECT_EQ(during, 0u);
    EXPECT_TRUE(std::isfinite(sum));
    deinitialize_korvale(p);
}
