// Little-endian stores and loads of the wire formats, byte by byte, so that a datagram's bytes do
// not depend on the byte order of the machine that builds or reads it.
#pragma once

#include <cstdint>
#include <cstring>

namespace korvale::comm {

inline void store_u32_le(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

inline void store_u64_le(std::uint8_t* at, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

inline std::uint32_t load_u32_le(const std::uint8_t* at) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    }
    return value;
}

inline std::uint64_t load_u64_le(const std::uint8_t* at) {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
        value |= static_cast<std::uint64_t>(at[i]) << (8 * i);
    }
    return value;
}

inline void store_i32_le(std::uint8_t* at, std::int32_t value) {
    store_u32_le(at, static_cast<std::uint32_t>(value));
}

inline std::int32_t load_i32_le(const std::uint8_t* at) {
    return static_cast<std::int32_t>(load_u32_le(at));
}

inline void store_f32_le(std::uint8_t* at, float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    store_u32_le(at, bits);
}

inline float load_f32_le(const std::uint8_t* at) {
    const std::uint32_t bits = load_u32_le(at);
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline void store_f64_le(std::uint8_t* at, double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    store_u64_le(at, bits);
}

inline double load_f64_le(const std::uint8_t* at) {
    const std::uint64_t bits = load_u64_le(at);
    double value = 0.0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace korvale::comm
