// The plot datagram: count_a doubles of a, then count_b doubles of b, each 8 bytes little-endian.
// No header, no counts, no time stamp: the receiver has to know count_a.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvale::comm {

// The largest UDP payload over IPv4: 65535 less the IPv4 and UDP headers (20 + 8 bytes).
constexpr std::size_t MAX_DATAGRAM_SIZE = 65507;
constexpr std::size_t PLOT_VALUE_SIZE = 8;

// The size in bytes of a plot of count_a + count_b values, when it fits one datagram. False
// when it does not, also when the counts are so large that their byte count would overflow.
bool plot_datagram_size(std::uint64_t count_a, std::uint64_t count_b, std::size_t* size);

// The datagram of a plot that fits (plot_datagram_size() is true). a and b are read only when
// their count is not 0.
std::vector<std::uint8_t> encode_plot_datagram(const double* a, const double* b,
                                               std::uint64_t count_a, std::uint64_t count_b);

} // namespace korvale::comm
