// The status record and the plot datagram on the wire, and reading them back.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "comm/dashboard_record.h"
#include "comm/datagram_decoder.h"
#include "comm/plot_datagram.h"

using namespace korvale::comm;

namespace {

std::vector<std::uint8_t> bytes_of(const DashboardRecord& record) {
    return std::vector<std::uint8_t>(record.data(), record.data() + record.size());
}

} // namespace

TEST(DashboardRecord, EveryFieldSitsAtItsOffsetLittleEndian) {
    DashboardRecord record;
    record.fill(/*i1*/ 0x01020304, /*r1*/ 1.5, /*r2*/ -2.0, /*r3*/ 0.25, /*r4*/ 100.0,
                /*r5*/ 3.0, /*r6*/ 999.0, /*r7*/ -0.5, /*r8*/ 1024.0, /*flag*/ 0x1FF,
                /*i2*/ -2);
    std::array<std::uint8_t, 76> expected{};
    const auto put = [&](std::size_t at, std::array<std::uint8_t, 4> b) {
        for (std::size_t i = 0; i < 4; ++i) {
            expected[at + i] = b[i];
        }
    };
    put(0, {0x00, 0x00, 0xC0, 0x3F});  // r1 = 1.5f
    put(4, {0x00, 0x00, 0x00, 0xC0});  // r2 = -2.0f
    put(8, {0x00, 0x00, 0xC8, 0x42});  // r4 = 100.0f
    put(16, {0x00, 0x00, 0x80, 0x3E}); // r3 = 0.25f
    put(24, {0x00, 0x00, 0x40, 0x40}); // r5 = 3.0f
    put(28, {0x00, 0x00, 0x00, 0xBF}); // r7 = -0.5f
    put(32, {0x00, 0x00, 0x80, 0x44}); // r8 = 1024.0f
    put(36, {0x04, 0x03, 0x02, 0x01}); // i1
    expected[40] = 0xFF;               // low byte of flag 0x1FF
    put(72, {0xFE, 0xFF, 0xFF, 0xFF}); // i2 = -2
    const std::vector<std::uint8_t> actual = bytes_of(record);
    ASSERT_EQ(actual.size(), 76u);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i], expected[i]) << "byte " << i;
    }
}

TEST(DashboardRecord, ReservedBytesStayZeroAndR6NeverReachesTheWire) {
    DashboardRecord record;
    record.fill(-1, -1e30, -1e30, -1e30, -1e30, -1e30, 5.0, -1e30, -1e30, -1, -1);
    const std::vector<std::uint8_t> first = bytes_of(record);
    for (std::size_t i : {12, 13, 14, 15, 20, 21, 22, 23}) {
        EXPECT_EQ(first[i], 0) << "byte " << i;
    }
    for (std::size_t i = 41; i < 72; ++i) {
        EXPECT_EQ(first[i], 0) << "byte " << i;
    }
    record.fill(-1, -1e30, -1e30, -1e30, -1e30, -1e30, -12345.0, -1e30, -1e30, -1, -1);
    EXPECT_EQ(bytes_of(record), first);
}

TEST(DashboardRecord, RealsRoundToTheNearestFloat) {
    DashboardRecord record;
    // 1 + 0.75 * 2^-23 lies between the floats 1 and 1 + 2^-23, nearer the second.
    record.fill(0, 0.1, 1.0 + 0.75 * std::ldexp(1.0, -23), 0, 0, 0, 0, 0, 0, 0, 0);
    const Decoded<RecordFields> fields = decode_record(record.data(), record.size());
    ASSERT_TRUE(fields.ok()) << fields.error();
    EXPECT_EQ(fields.value().r1, 0.1f);
    EXPECT_EQ(fields.value().r2, std::nextafter(1.0f, 2.0f));
    const std::vector<std::uint8_t> b = bytes_of(record);
    EXPECT_EQ(b[0], 0xCD);
    EXPECT_EQ(b[1], 0xCC);
    EXPECT_EQ(b[2], 0xCC);
    EXPECT_EQ(b[3], 0x3D);
}

TEST(DatagramDecoder, ReadsBackEveryFieldOfARecord) {
    DashboardRecord record;
    record.fill(-7, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 0x2AB, 123456);
    const Decoded<RecordFields> decoded = decode_record(record.data(), record.size());
    ASSERT_TRUE(decoded) << decoded.error();
    const RecordFields& f = decoded.value();
    EXPECT_EQ(f.i1, -7);
    EXPECT_EQ(f.r1, 1.0f);
    EXPECT_EQ(f.r2, 2.0f);
    EXPECT_EQ(f.r3, 3.0f);
    EXPECT_EQ(f.r4, 4.0f);
    EXPECT_EQ(f.r5, 5.0f);
    EXPECT_EQ(f.r7, 7.0f);
    EXPECT_EQ(f.r8, 8.0f);
    EXPECT_EQ(f.flag, 0xAB);
    EXPECT_EQ(f.i2, 123456);
}

TEST(DatagramDecoder, RejectsARecordOfTheWrongSize) {
    const std::vector<std::uint8_t> bytes(77, 0);
    for (std::size_t size : {0, 1, 75, 77}) {
        const Decoded<RecordFields> decoded = decode_record(bytes.data(), size);
        EXPECT_FALSE(decoded.ok()) << size;
        EXPECT_NE(decoded.error().find("76 bytes"), std::string::npos) << decoded.error();
    }
}

TEST(PlotDatagram, HoldsBothArraysBackToBackAsLittleEndianDoubles) {
    const double a[] = {1.0, -2.5, 3.25};
    const double b[] = {1e300, -0.0};
    const std::vector<std::uint8_t> datagram = encode_plot_datagram(a, b, 3, 2);
    ASSERT_EQ(datagram.size(), 40u);
    // 1.0 is 0x3FF0000000000000: its last byte comes last.
    EXPECT_EQ(datagram[0], 0x00);
    EXPECT_EQ(datagram[6], 0xF0);
    EXPECT_EQ(datagram[7], 0x3F);
    // -0.0 is the sign bit alone.
    EXPECT_EQ(datagram[39], 0x80);
    const Decoded<PlotArrays> decoded = decode_plot(datagram.data(), datagram.size(), 3);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(decoded.value().a, std::vector<double>(a, a + 3));
    EXPECT_EQ(decoded.value().b, std::vector<double>(b, b + 2));
    EXPECT_TRUE(std::signbit(decoded.value().b[1]));

    EXPECT_TRUE(encode_plot_datagram(nullptr, nullptr, 0, 0).empty());
    const double only_b[] = {7.0};
    const std::vector<std::uint8_t> b_alone = encode_plot_datagram(nullptr, only_b, 0, 1);
    ASSERT_EQ(b_alone.size(), 8u);
    EXPECT_EQ(decode_plot(b_alone.data(), b_alone.size(), 0).value().b, std::vector<double>{7.0});
}

TEST(PlotDatagram, ASizeBeyondOneDatagramIsRefusedEvenWhenTheByteCountWouldWrap) {
    std::size_t size = 0;
    EXPECT_TRUE(plot_datagram_size(8188, 0, &size));
    EXPECT_EQ(size, 65504u);
    EXPECT_TRUE(plot_datagram_size(4000, 4188, &size));
    EXPECT_FALSE(plot_datagram_size(8189, 0, &size));
    EXPECT_FALSE(plot_datagram_size(0, 8189, &size));
    EXPECT_FALSE(plot_datagram_size(4094, 4095, &size));
    // (2^61 + 2^61) * 8 wraps to 0 in 64 bits.
    const std::uint64_t huge = std::uint64_t{1} << 61;
    EXPECT_FALSE(plot_datagram_size(huge, huge, &size));
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    EXPECT_FALSE(plot_datagram_size(max, 1, &size));
    EXPECT_FALSE(plot_datagram_size(1, max, &size));
    const double one[] = {1.0};
    EXPECT_TRUE(encode_plot_datagram(one, one, huge, huge).empty());
}

TEST(DatagramDecoder, RejectsAPlotThatIsNoWholeNumberOfValuesOrTooShortForItsFirstArray) {
    const std::vector<std::uint8_t> bytes(24, 0);
    const Decoded<PlotArrays> ragged = decode_plot(bytes.data(), 23, 0);
    EXPECT_FALSE(ragged.ok());
    EXPECT_NE(ragged.error().find("23 bytes"), std::string::npos) << ragged.error();
    const Decoded<PlotArrays> short_a = decode_plot(bytes.data(), 24, 4);
    EXPECT_FALSE(short_a.ok());
    EXPECT_NE(short_a.error().find("fewer than the 4"), std::string::npos) << short_a.error();
    const Decoded<PlotArrays> all_a = decode_plot(bytes.data(), 24, 3);
    ASSERT_TRUE(all_a.ok());
    EXPECT_EQ(all_a.value().a.size(), 3u);
    EXPECT_TRUE(all_a.value().b.empty());
    const Decoded<PlotArrays> empty = decode_plot(nullptr, 0, 0);
    ASSERT_TRUE(empty.ok());
    EXPECT_TRUE(empty.value().a.empty() && empty.value().b.empty());
}
