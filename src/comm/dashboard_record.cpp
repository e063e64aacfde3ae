#include "comm/dashboard_record.h"

#include "comm/little_endian.h"

namespace korvale::comm {

void DashboardRecord::fill(std::int32_t i1, double r1, double r2, double r3, double r4, double r5,
                           double /*r6*/, double r7, double r8, std::int32_t flag,
                           std::int32_t i2) {
    std::uint8_t* b = bytes.data();
    store_f32_le(b + record_offset::r1, static_cast<float>(r1));
    store_f32_le(b + record_offset::r2, static_cast<float>(r2));
    store_f32_le(b + record_offset::r4, static_cast<float>(r4));
    store_f32_le(b + record_offset::r3, static_cast<float>(r3));
    store_f32_le(b + record_offset::r5, static_cast<float>(r5));
    store_f32_le(b + record_offset::r7, static_cast<float>(r7));
    store_f32_le(b + record_offset::r8, static_cast<float>(r8));
    store_i32_le(b + record_offset::i1, i1);
    b[record_offset::flag] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(flag) & 0xFFu);
    store_i32_le(b + record_offset::i2, i2);
}

} // namespace korvale::comm
