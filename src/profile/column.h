// The array type of a route profile's columns.
#pragma once

#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace korvale {

// An allocator that leaves new elements uninitialised instead of zeroing them. A profile sizes
// its columns from the file's line count, which may be far above its rows (a file padded with
// blank lines); elements that are never written then cost address space, not memory.
template <class T>
struct DefaultInitAllocator : std::allocator<T> {
    using value_type = T;
    template <class U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    DefaultInitAllocator() = default;
    template <class U>
    DefaultInitAllocator(const DefaultInitAllocator<U>& other) noexcept
        : std::allocator<T>(other) {}

    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible<U>::value) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// One value per row; only the first rows of a profile carry meaning.
using Column = std::vector<double, DefaultInitAllocator<double>>;

} // namespace korvale
