// The dashboard link through the exported functions, on real UDP sockets over 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "comm/datagram_decoder.h"
#include "korvale.h"
#include "platform/net.h"
#include "udp_receiver.h"

using korvale::comm::decode_plot;
using korvale::comm::decode_record;
using korvale::test::Datagram;
using korvale::test::UdpReceiver;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// A record whose i1 tells which call sent it; the other fields are fixed.
void send_marked(korvale_link* link, int32_t mark, double time_stamp) {
    send_msg(link, mark, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 0, time_stamp, 0);
}

// The i1 of the next datagram, which must be a status record; -1 when none arrives.
int32_t next_mark(UdpReceiver& receiver) {
    const std::optional<Datagram> d = receiver.receive();
    if (!d) {
        ADD_FAILURE() << "no datagram arrived";
        return -1;
    }
    const auto fields = decode_record(d->bytes.data(), d->bytes.size());
    if (!fields) {
        ADD_FAILURE() << fields.error();
        return -1;
    }
    return fields.value().i1;
}

std::string port_line(const char* text, int port) {
    return text + std::to_string(port) + "\n";
}

// A nonzero decimal number, perhaps negative, and the line end.
bool is_error_code_line(const std::string& text) {
    std::size_t at = text.size() > 0 && text[0] == '-' ? 1 : 0;
    if (at >= text.size() || text[at] < '1' || text[at] > '9') {
        return false;
    }
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        ++at;
    }
    return text.substr(at) == "\n";
}

struct Stopwatch {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    long long elapsed_ms() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    }
};

} // namespace

TEST(DashboardLink, SendsTheRecordAsOneDatagramOf76BytesToTheGivenAddress) {
    UdpReceiver receiver;
    ASSERT_TRUE(receiver.ready());
    korvale_link* link = init_com(receiver.port(), "127.0.0.1", 0, 0);
    ASSERT_NE(link, nullptr);
    send_msg(link, 0x01020304, 1.5, -2.0, 0.25, 100.0, 3.0, 999.0, -0.5, 1024.0, 0x1FF, 1.0, -2);
    const std::optional<Datagram> d = receiver.receive();
    ASSERT_TRUE(d);
    ASSERT_EQ(d->bytes.size(), 76u);
    const std::vector<std::uint8_t> expected = {
        0x00, 0x00, 0xC0, 0x3F, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0xC8, 0x42, 0,
        0,    0,    0,    0x00, 0x00, 0x80, 0x3E, 0,    0,    0,    0,    0x00, 0x00,
        0x40, 0x40, 0x00, 0x00, 0x00, 0xBF, 0x00, 0x00, 0x80, 0x44, 0x04, 0x03, 0x02,
        0x01, 0xFF, 0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
        0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
        0,    0,    0,    0,    0,    0,    0,    0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(d->bytes, expected);
    EXPECT_EQ(d->sender.address, korvale::test::LOOPBACK);
    close_com(link);
}

TEST(DashboardLink, TheGateStartsAtZeroAndLetsOnlyNewerStampsThrough) {
    UdpReceiver receiver;
    ASSERT_TRUE(receiver.ready());
    korvale_link* link = init_com(receiver.port(), "127.0.0.1", 0, 0);
    send_marked(link, 1, 0.0);  // not newer than the initial 0.0
    send_marked(link, 2, -5.0); // older
    send_marked(link, 3, NaN);  // no number is newer
    send_marked(link, 4, 1.0);
    EXPECT_EQ(next_mark(receiver), 4);
    send_marked(link, 5, 1.0); // equal
    send_marked(link, 6, 0.5); // older
    send_marked(link, 7, NaN);
    send_marked(link, 8, 1.0 + 1e-9);
    EXPECT_EQ(next_mark(receiver), 8);
    EXPECT_TRUE(receiver.stays_silent());
    close_com(link);
}

TEST(DashboardLink, RecordsAndPlotsShareOneGate) {
    UdpReceiver receiver;
    ASSERT_TRUE(receiver.ready());
    korvale_link* link = init_com(receiver.port(), "127.0.0.1", 0, 0);
    const double values[] = {42.0};
    send_marked(link, 1, 2.0);
    EXPECT_EQ(next_mark(receiver), 1);
    // A plot with the stamp of the record just sent is dropped, and still returns its stamp.
    EXPECT_EQ(send_msg_plot(link, values, nullptr, 1, 0, 2.0), 2.0);
    EXPECT_EQ(send_msg_plot(link, values, nullptr, 1, 0, 3.0), 3.0);
    const std::optional<Datagram> plot = receiver.receive();
    ASSERT_TRUE(plot);
    EXPECT_EQ(plot->bytes.size(), 8u);
    // ... and a record with the stamp of the plot just sent is dropped too.
    send_marked(link, 2, 3.0);
    EXPECT_TRUE(std::isnan(send_msg_plot(link, values, nullptr, 1, 0, NaN)));
    send_marked(link, 3, 4.0);
    EXPECT_EQ(next_mark(receiver), 3);
    close_com(link);
}

TEST(DashboardLink, APlotIsBothArraysInOneDatagramFollowedByThePause) {
    UdpReceiver receiver;
    ASSERT_TRUE(receiver.ready());
    constexpr int delay_ms = 40;
    korvale_link* link = init_com(receiver.port(), "127.0.0.1", 0, delay_ms);
    const double a[] = {1.0, 2.0, 3.0};
    const double b[] = {-4.5, 5.25};
    Stopwatch watch;
    EXPECT_EQ(send_msg_plot(link, a, b, 3, 2, 1.0), 1.0);
    EXPECT_GE(watch.elapsed_ms(), delay_ms);
    const std::optional<Datagram> d = receiver.receive();
    ASSERT_TRUE(d);
    ASSERT_EQ(d->bytes.size(), 40u);
    const auto arrays = decode_plot(d->bytes.data(), d->bytes.size(), 3);
    ASSERT_TRUE(arrays) << arrays.error();
    EXPECT_EQ(arrays.value().a, (std::vector<double>{1.0, 2.0, 3.0}));
    EXPECT_EQ(arrays.value().b, (std::vector<double>{-4.5, 5.25}));

    Stopwatch empty_watch;
    EXPECT_EQ(send_msg_plot(link, nullptr, nullptr, 0, 0, 2.0), 2.0);
    EXPECT_GE(empty_watch.elapsed_ms(), delay_ms);
    const std::optional<Datagram> empty = receiver.receive();
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->bytes.empty());

    // The largest plot that fits one datagram: 8188 values, 65504 bytes.
    std::vector<double> many(8188);
    for (std::size_t i = 0; i < many.size(); ++i) {
        many[i] = static_cast<double>(i) * 0.5;
    }
    send_msg_plot(link, many.data(), many.data() + 8000, 8000, 188, 3.0);
    const std::optional<Datagram> largest = receiver.receive();
    ASSERT_TRUE(largest);
    ASSERT_EQ(largest->bytes.size(), 65504u);
    const auto largest_arrays = decode_plot(largest->bytes.data(), largest->bytes.size(), 8000);
    ASSERT_TRUE(largest_arrays);
    EXPECT_EQ(largest_arrays.value().a.back(), 7999 * 0.5);
    EXPECT_EQ(largest_arrays.value().b.back(), 8187 * 0.5);
    close_com(link);
}

TEST(DashboardLink, APlotTooLargeForOneDatagramFailsLikeTheSocketThenPausesAndUsesItsStamp) {
    UdpReceiver receiver;
    ASSERT_TRUE(receiver.ready());
    constexpr int delay_ms = 30;
    korvale_link* link = init_com(receiver.port(), "127.0.0.1", 0, delay_ms);
    const std::string failure =
        "sendto() failed; " + std::to_string(korvale::platform::message_too_long_error()) + "\n";
    // The arrays are far shorter than the counts: nothing may be read from them.
    const double small[] = {1.0};
    CaptureStdout();
    Stopwatch watch;
    EXPECT_EQ(send_msg_plot(link, small, small, 8189, 0, 1.0), 1.0);
    EXPECT_GE(watch.elapsed_ms(), delay_ms);
    // (2^61 + 2^61) * 8 wraps to 0 bytes: still far too large, not an empty plot.
    const std::uint64_t huge = std::uint64_t{1} << 61;
    EXPECT_EQ(send_msg_plot(link, small, small, huge, huge, 2.0), 2.0);
    EXPECT_EQ(GetCapturedStdout(), failure + failure);
    send_marked(link, 1, 2.0); // the failed plot used the stamp
    send_marked(link, 2, 2.5);
    EXPECT_EQ(next_mark(receiver), 2);
    close_com(link);
}

TEST(DashboardLink, TheHostMayBeADottedAddressOrAName) {
    for (const char* host : {"127.0.0.1", "localhost"}) {
        UdpReceiver receiver;
        ASSERT_TRUE(receiver.ready());
        CaptureStdout();
        korvale_link* link = init_com(receiver.port(), host, 0, 0);
        EXPECT_EQ(GetCapturedStdout(),
                  port_line("Creating new connection for port ", receiver.port()))
            << host;
        send_marked(link, 7, 1.0);
        EXPECT_EQ(next_mark(receiver), 7) << host;
        close_com(link);
    }
}

TEST(DashboardLink, OnlyTheLow16BitsOfThePortAreUsed) {
    UdpReceiver receiver;
    ASSERT_TRUE(receiver.ready());
    const int32_t port = 0x10000 + receiver.port();
    CaptureStdout();
    korvale_link* link = init_com(port, "127.0.0.1", 0, 0);
    send_marked(link, 9, 1.0);
    close_com(link);
    EXPECT_EQ(GetCapturedStdout(), port_line("Creating new connection for port ", port) +
                                       port_line("Closing connection for port ", receiver.port()));
    EXPECT_EQ(next_mark(receiver), 9);
}

TEST(DashboardLink, AnUnresolvableNameGivesAFailedLinkThatSendsNothingAndHoldsNoSocket) {
    UdpReceiver receiver;
    ASSERT_TRUE(receiver.ready());
    const int descriptors_before = korvale::test::open_descriptor_count();
    CaptureStdout();
    korvale_link* link = init_com(receiver.port(), "no-such-host.invalid", 0, 0);
    const std::string opening = GetCapturedStdout();
    ASSERT_NE(link, nullptr);
    const std::string expected_start =
        port_line("Creating new connection for port ", receiver.port()) +
        "gethostbyname() failed: ";
    ASSERT_EQ(opening.substr(0, expected_start.size()), expected_start) << opening;
    const std::string code = opening.substr(expected_start.size());
    EXPECT_TRUE(is_error_code_line(code)) << opening;
    if (descriptors_before >= 0) {
        EXPECT_EQ(korvale::test::open_descriptor_count(), descriptors_before);
    }
    const double values[] = {1.0, 2.0};
    CaptureStdout();
    send_marked(link, 1, 1.0);
    EXPECT_EQ(send_msg_plot(link, values, values, 2, 0, 2.0), 2.0);
    EXPECT_EQ(send_msg_plot(link, values, values, 2, 0, 1.5), 1.5);
    close_com(link);
    EXPECT_EQ(GetCapturedStdout(), port_line("Closing connection for port ", receiver.port()));
    EXPECT_TRUE(receiver.stays_silent());
}

TEST(DashboardLink, ALinkOpensAndClosesWithItsTwoLinesAndReleasesItsSocket) {
    UdpReceiver receiver;
    ASSERT_TRUE(receiver.ready());
    const int descriptors_before = korvale::test::open_descriptor_count();
    CaptureStdout();
    korvale_link* link = init_com(receiver.port(), "127.0.0.1", 12345, 0);
    send_marked(link, 1, 1.0);
    close_com(link);
    EXPECT_EQ(GetCapturedStdout(), port_line("Creating new connection for port ", receiver.port()) +
                                       port_line("Closing connection for port ", receiver.port()));
    if (descriptors_before >= 0) {
        EXPECT_EQ(korvale::test::open_descriptor_count(), descriptors_before);
    }
}

TEST(DashboardLink, LinksOpenedOnTwoThreadsEachReachTheirOwnPeer) {
    constexpr int links_per_thread = 3;
    constexpr int records_per_link = 20;
    std::vector<std::unique_ptr<UdpReceiver>> receivers;
    for (int i = 0; i < 2 * links_per_thread; ++i) {
        receivers.push_back(std::make_unique<UdpReceiver>());
        ASSERT_TRUE(receivers.back()->ready());
    }
    const auto drive = [&](int first) {
        std::vector<korvale_link*> links;
        for (int i = first; i < first + links_per_thread; ++i) {
            // Names and addresses alternate, so that names are resolved on both threads at once.
            links.push_back(
                init_com(receivers[i]->port(), i % 2 == 0 ? "localhost" : "127.0.0.1", 0, 0));
        }
        for (int r = 1; r <= records_per_link; ++r) {
            for (int i = 0; i < links_per_thread; ++i) {
                send_marked(links[i], (first + i) * 1000 + r, r);
            }
        }
        for (korvale_link* link : links) {
            close_com(link);
        }
    };
    CaptureStdout();
    std::thread one(drive, 0);
    std::thread two(drive, links_per_thread);
    one.join();
    two.join();
    GetCapturedStdout();
    for (int i = 0; i < 2 * links_per_thread; ++i) {
        for (int r = 1; r <= records_per_link; ++r) {
            ASSERT_EQ(next_mark(*receivers[i]), i * 1000 + r) << "link " << i;
        }
        EXPECT_TRUE(receivers[i]->stays_silent(20));
    }
}
