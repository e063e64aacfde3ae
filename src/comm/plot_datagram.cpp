#include "comm/plot_datagram.h"

#include "comm/little_endian.h"

namespace korvale::comm {

namespace {

constexpr std::uint64_t MAX_PLOT_VALUES = MAX_DATAGRAM_SIZE / PLOT_VALUE_SIZE;

void append_values(std::uint8_t* out, const double* values, std::uint64_t count) {
    for (std::uint64_t i = 0; i < count; ++i) {
        store_f64_le(out + i * PLOT_VALUE_SIZE, values[i]);
    }
}

} // namespace

bool plot_datagram_size(std::uint64_t count_a, std::uint64_t count_b, std::size_t* size) {
    // Compared value by value first, so that no sum or product can wrap around.
    if (count_a > MAX_PLOT_VALUES || count_b > MAX_PLOT_VALUES - count_a) {
        return false;
    }
    *size = static_cast<std::size_t>((count_a + count_b) * PLOT_VALUE_SIZE);
    return true;
}

std::vector<std::uint8_t> encode_plot_datagram(const double* a, const double* b,
                                               std::uint64_t count_a, std::uint64_t count_b) {
    std::size_t size = 0;
    if (!plot_datagram_size(count_a, count_b, &size)) {
        return {};
    }
    std::vector<std::uint8_t> datagram(size);
    if (count_a > 0) {
        append_values(datagram.data(), a, count_a);
    }
    if (count_b > 0) {
        append_values(datagram.data() + count_a * PLOT_VALUE_SIZE, b, count_b);
    }
    return datagram;
}

} // namespace korvale::comm
