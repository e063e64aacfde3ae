// The one guard every exported function goes through: a null handle gets the export's fixed
// value, and no C++ exception ever reaches the host.
#pragma once

#include <type_traits>
#include <utility>

namespace korvale::api {

// Runs work(object) for a non-null handle, turning any exception into fail_value.
template <class Object, class Handle, class Result, class Work>
Result guarded(Handle* handle, Result fail_value, Work&& work) noexcept {
    if (handle == nullptr) {
        return fail_value;
    }
    try {
        return std::forward<Work>(work)(*reinterpret_cast<Object*>(handle));
    } catch (...) {
        return fail_value;
    }
}

// The same for exports without a result.
template <class Object, class Handle, class Work>
void guarded_void(Handle* handle, Work&& work) noexcept {
    if (handle == nullptr) {
        return;
    }
    try {
        std::forward<Work>(work)(*reinterpret_cast<Object*>(handle));
    } catch (...) {
    }
}

// Writes a result through an output pointer the host may have left null.
inline void store(double* out, double value) noexcept {
    if (out != nullptr) {
        *out = value;
    }
}

} // namespace korvale::api
