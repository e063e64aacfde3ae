// The status record a dashboard receives: one datagram of 76 bytes, little-endian, no header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace korvale::comm {

constexpr std::size_t DASHBOARD_RECORD_SIZE = 76;

// Byte offsets of the fields. The third and fourth reals trade places: offset 8 carries r4 and
// offset 16 carries r3. Bytes 12-15, 20-23 and 41-71 are reserved and always zero; r6 and the
// time stamp are not on the wire.
namespace record_offset {
constexpr std::size_t r1 = 0;
constexpr std::size_t r2 = 4;
constexpr std::size_t r4 = 8;
constexpr std::size_t r3 = 16;
constexpr std::size_t r5 = 24;
constexpr std::size_t r7 = 28;
constexpr std::size_t r8 = 32;
constexpr std::size_t i1 = 36;
constexpr std::size_t flag = 40;
constexpr std::size_t i2 = 72;
} // namespace record_offset

// The record in its wire form. Created zero-filled; fill() writes the fields and never touches
// the reserved bytes, so they keep their zero.
class DashboardRecord {
public:
    // Writes the twelve values of a status message (r6 is accepted and not used). Reals become
    // 32-bit floats rounded to nearest; only the low byte of flag is kept.
    void fill(std::int32_t i1, double r1, double r2, double r3, double r4, double r5, double r6,
              double r7, double r8, std::int32_t flag, std::int32_t i2);

    const std::uint8_t* data() const { return bytes.data(); }
    static constexpr std::size_t size() { return DASHBOARD_RECORD_SIZE; }

private:
    std::array<std::uint8_t, DASHBOARD_RECORD_SIZE> bytes{};
};

} // namespace korvale::comm
