#include "comm/datagram_decoder.h"

#include "comm/dashboard_record.h"
#include "comm/little_endian.h"
#include "comm/plot_datagram.h"

namespace korvale::comm {

namespace {

std::vector<double> load_values(const std::uint8_t* from, std::size_t count) {
    std::vector<double> values(count);
    for (std::size_t i = 0; i < count; ++i) {
        values[i] = load_f64_le(from + i * PLOT_VALUE_SIZE);
    }
    return values;
}

} // namespace

Decoded<RecordFields> decode_record(const void* data, std::size_t size) {
    if (size != DASHBOARD_RECORD_SIZE) {
        return Decoded<RecordFields>::failure("a status record is " +
                                              std::to_string(DASHBOARD_RECORD_SIZE) +
                                              " bytes, this datagram has " + std::to_string(size));
    }
    if (data == nullptr) {
        return Decoded<RecordFields>::failure("no datagram to decode");
    }
    const auto* b = static_cast<const std::uint8_t*>(data);
    RecordFields f;
    f.r1 = load_f32_le(b + record_offset::r1);
    f.r2 = load_f32_le(b + record_offset::r2);
    f.r3 = load_f32_le(b + record_offset::r3);
    f.r4 = load_f32_le(b + record_offset::r4);
    f.r5 = load_f32_le(b + record_offset::r5);
    f.r7 = load_f32_le(b + record_offset::r7);
    f.r8 = load_f32_le(b + record_offset::r8);
    f.i1 = load_i32_le(b + record_offset::i1);
    f.flag = b[record_offset::flag];
    f.i2 = load_i32_le(b + record_offset::i2);
    return Decoded<RecordFields>::success(f);
}

Decoded<PlotArrays> decode_plot(const void* data, std::size_t size, std::size_t count_a) {
    if (size % PLOT_VALUE_SIZE != 0) {
        return Decoded<PlotArrays>::failure(
            "a plot datagram is a whole number of " + std::to_string(PLOT_VALUE_SIZE) +
            "-byte values, this one has " + std::to_string(size) + " bytes");
    }
    const std::size_t values = size / PLOT_VALUE_SIZE;
    if (count_a > values) {
        return Decoded<PlotArrays>::failure("the plot datagram holds " + std::to_string(values) +
                                            " values, fewer than the " + std::to_string(count_a) +
                                            " of its first array");
    }
    PlotArrays arrays;
    if (size == 0) {
        return Decoded<PlotArrays>::success(std::move(arrays));
    }
    if (data == nullptr) {
        return Decoded<PlotArrays>::failure("no datagram to decode");
    }
    const auto* b = static_cast<const std::uint8_t*>(data);
    arrays.a = load_values(b, count_a);
    arrays.b = load_values(b + count_a * PLOT_VALUE_SIZE, values - count_a);
    return Decoded<PlotArrays>::success(std::move(arrays));
}

} // namespace korvale::comm
