// The UDP endpoint classes on real sockets over 127.0.0.1.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "comm/connection_interface.h"
#include "comm/dashboard_record.h"
#include "comm/datagram_decoder.h"
#include "comm/udp_interface.h"
#include "platform/net.h"
#include "udp_receiver.h"

using korvale::comm::ConnectionInterface;
using korvale::comm::DashboardRecord;
using korvale::comm::udp_interface;
using korvale::platform::Ipv4Address;
using korvale::platform::SocketOption;
using korvale::test::Datagram;
using korvale::test::LOOPBACK;
using korvale::test::UdpReceiver;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

constexpr int ANY_PORT = 0;

// An endpoint that remembers the errors it hears of.
template <class Endpoint>
class Listening : public Endpoint {
public:
    using Endpoint::Endpoint;
    void on_error(int error) override { errors.push_back(error); }
    std::vector<int> errors;
};

std::uint16_t bound_port(const udp_interface& endpoint) {
    Ipv4Address local;
    if (!korvale::platform::local_address(endpoint.socket(), &local)) {
        return 0;
    }
    return local.port;
}

bool sends_to(udp_interface& endpoint, UdpReceiver& receiver) {
    const char payload[] = "ping";
    if (!endpoint.send_datagram(payload, 4)) {
        return false;
    }
    const std::optional<Datagram> d = receiver.receive();
    return d && d->bytes == std::vector<std::uint8_t>{'p', 'i', 'n', 'g'} &&
           d->sender.port == bound_port(endpoint);
}

} // namespace

TEST(UdpInterface, EachModeSetsItsOptionsAndModeZeroSendsToTheBroadcastAddress) {
    UdpReceiver receiver;
    ASSERT_TRUE(receiver.ready());
    CaptureStdout();
    udp_interface broadcast(ANY_PORT, receiver.port(), "127.0.0.1", 16, 0);
    udp_interface shared(ANY_PORT, receiver.port(), "127.0.0.1", 16, 1);
    udp_interface plain(ANY_PORT, receiver.port(), "127.0.0.1", 16, 2);
    EXPECT_EQ(GetCapturedStdout(), "Starting ar 0 " + std::to_string(receiver.port()) + "\n" +
                                       "Starting ar 0 " + std::to_string(receiver.port()) + "\n" +
                                       "Starting ar 0 " + std::to_string(receiver.port()) + "\n");

    EXPECT_EQ(broadcast.peer_address(), (Ipv4Address{0xFFFFFFFFu, receiver.port()}));
    EXPECT_EQ(shared.peer_address(), (Ipv4Address{LOOPBACK, receiver.port()}));
    EXPECT_EQ(plain.peer_address(), (Ipv4Address{LOOPBACK, receiver.port()}));

    ASSERT_TRUE(broadcast.start());
    ASSERT_TRUE(shared.start());
    ASSERT_TRUE(plain.start());
    using korvale::platform::option_enabled;
    EXPECT_TRUE(option_enabled(broadcast.socket(), SocketOption::broadcast));
    EXPECT_TRUE(option_enabled(broadcast.socket(), SocketOption::reuse_address));
    EXPECT_FALSE(option_enabled(shared.socket(), SocketOption::broadcast));
    EXPECT_TRUE(option_enabled(shared.socket(), SocketOption::reuse_address));
    EXPECT_FALSE(option_enabled(plain.socket(), SocketOption::broadcast));
    EXPECT_FALSE(option_enabled(plain.socket(), SocketOption::reuse_address));

    EXPECT_TRUE(sends_to(shared, receiver));
    EXPECT_TRUE(sends_to(plain, receiver));
}

TEST(UdpInterface, SharedEndpointsBindOnePortAndAPlainOneCannotButHoldsNothingAfter) {
    udp_interface first(ANY_PORT, 9, "127.0.0.1", 16, 1);
    ASSERT_TRUE(first.start());
    const std::uint16_t port = bound_port(first);
    ASSERT_NE(port, 0);
    udp_interface second(port, 9, "127.0.0.1", 16, 1);
    EXPECT_TRUE(second.start());

    const int descriptors_before = korvale::test::open_descriptor_count();
    udp_interface plain(port, 9, "127.0.0.1", 16, 2);
    EXPECT_FALSE(plain.start());
    EXPECT_EQ(plain.socket(), korvale::platform::invalid_socket);
    if (descriptors_before >= 0) {
        EXPECT_EQ(korvale::test::open_descriptor_count(), descriptors_before);
    }
    EXPECT_FALSE(plain.stop());
}

TEST(UdpInterface, ReconfigureSetsANewPeerInEveryModeAndANewReceiveBuffer) {
    UdpReceiver receiver;
    ASSERT_TRUE(receiver.ready());
    udp_interface endpoint(ANY_PORT, 9, "10.1.2.3", 16, 0);
    ASSERT_TRUE(endpoint.start());
    endpoint.reconfigure(ANY_PORT, receiver.port(), "127.0.0.1", 128);
    EXPECT_EQ(endpoint.peer_address(), (Ipv4Address{LOOPBACK, receiver.port()}));
    EXPECT_EQ(endpoint.get_remote_port(), receiver.port());
    EXPECT_EQ(endpoint.receive_buffer_size(), 128);
    EXPECT_TRUE(sends_to(endpoint, receiver));

    udp_interface plain(ANY_PORT, 9, "10.1.2.3", 16, 2);
    EXPECT_EQ(plain.peer_address(), (Ipv4Address{0x0A010203u, 9}));
    plain.reconfigure(ANY_PORT, 70000, "127.0.0.2", 0);
    EXPECT_EQ(plain.peer_address(), (Ipv4Address{0x7F000002u, 70000 - 0x10000}));
    EXPECT_EQ(plain.get_remote_port(), 70000);
    EXPECT_EQ(plain.receive_buffer_size(), 0);
}

TEST(UdpInterface, StartAgainRebindsAndStopReleasesWhatStartTook) {
    const int descriptors_before = korvale::test::open_descriptor_count();
    {
        udp_interface endpoint(ANY_PORT, 9, "127.0.0.1", 16, 2);
        EXPECT_FALSE(endpoint.stop());
        ASSERT_TRUE(endpoint.start());
        Ipv4Address first;
        ASSERT_TRUE(korvale::platform::local_address(endpoint.socket(), &first));

        // A second start binds afresh, on the port of the last reconfigure, and the socket it
        // replaces is released.
        int new_port = 0;
        {
            UdpReceiver spare; // a port that is free for the endpoint to take
            ASSERT_TRUE(spare.ready());
            new_port = spare.port();
        }
        endpoint.reconfigure(new_port, 9, "127.0.0.1", 16);
        ASSERT_TRUE(endpoint.start());
        Ipv4Address second;
        ASSERT_TRUE(korvale::platform::local_address(endpoint.socket(), &second));
        EXPECT_EQ(second.port, new_port);
        EXPECT_NE(second.port, first.port);

        EXPECT_TRUE(endpoint.stop());
        EXPECT_EQ(endpoint.socket(), korvale::platform::invalid_socket);
        EXPECT_FALSE(endpoint.stop());
        if (descriptors_before >= 0) {
            EXPECT_EQ(korvale::test::open_descriptor_count(), descriptors_before);
        }
        EXPECT_TRUE(endpoint.start()); // a stopped endpoint starts again...
    }
    // ... and its destruction releases the socket.
    if (descriptors_before >= 0) {
        EXPECT_EQ(korvale::test::open_descriptor_count(), descriptors_before);
    }
}

TEST(UdpInterface, AFailedSendIsReportedToOnErrorWithThePlatformsCode) {
    Listening<udp_interface> endpoint(ANY_PORT, 9, "127.0.0.1", 16, 2);
    // Never started: there is no socket to send on.
    EXPECT_FALSE(endpoint.send_datagram("x", 1));
    ASSERT_EQ(endpoint.errors.size(), 1u);
    EXPECT_NE(endpoint.errors[0], 0);
}

TEST(ConnectionInterface, StartsItselfAndItsGateAcceptsAFirstRecordAtZero) {
    UdpReceiver receiver;
    ASSERT_TRUE(receiver.ready());
    ConnectionInterface connection(ANY_PORT, receiver.port(), "127.0.0.1");
    ASSERT_NE(connection.socket(), korvale::platform::invalid_socket);
    EXPECT_EQ(connection.receive_buffer_size(), 76);
    EXPECT_EQ(connection.get_mode(), 2);
    EXPECT_EQ(connection.get_last_time(), -1.0);

    EXPECT_TRUE(connection.send_status_record(1, 1.5, -2.0, 0.25, 100.0, 3.0, 999.0, -0.5, 1024.0,
                                              0x1FF, 0.0, -2));
    const std::optional<Datagram> d = receiver.receive();
    ASSERT_TRUE(d);
    DashboardRecord expected;
    expected.fill(1, 1.5, -2.0, 0.25, 100.0, 3.0, -7.0, -0.5, 1024.0, 0x1FF, -2);
    EXPECT_EQ(d->bytes, std::vector<std::uint8_t>(expected.data(), expected.data() + 76));
    EXPECT_EQ(d->sender.port, bound_port(connection));

    const double NaN = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(connection.send_status_record(2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.0, 0));  // equal
    EXPECT_FALSE(connection.send_status_record(3, 0, 0, 0, 0, 0, 0, 0, 0, 0, -0.5, 0)); // older
    EXPECT_FALSE(connection.send_status_record(4, 0, 0, 0, 0, 0, 0, 0, 0, 0, NaN, 0));
    EXPECT_TRUE(connection.send_status_record(5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.5, 0));
    const std::optional<Datagram> next = receiver.receive();
    ASSERT_TRUE(next);
    const auto fields = korvale::comm::decode_record(next->bytes.data(), next->bytes.size());
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields.value().i1, 5);
}

TEST(ConnectionInterface, SendsEveryPlotWithoutGateOrPauseButRefusesAnOversizeOne) {
    UdpReceiver receiver;
    ASSERT_TRUE(receiver.ready());
    Listening<ConnectionInterface> connection(ANY_PORT, receiver.port(), "127.0.0.1");
    EXPECT_TRUE(connection.send_status_record(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10.0, 0));
    ASSERT_TRUE(receiver.receive());
    const double a[] = {1.0, 2.0, 3.0};
    const double b[] = {4.0, 5.0};
    EXPECT_EQ(connection.send_plot_arrays(a, b, 3, 2, 1.0), 1.0); // older than the record
    EXPECT_EQ(connection.send_plot_arrays(a, b, 3, 2, 1.0), 1.0); // same stamp again
    for (int i = 0; i < 2; ++i) {
        const std::optional<Datagram> d = receiver.receive();
        ASSERT_TRUE(d);
        const auto arrays = korvale::comm::decode_plot(d->bytes.data(), d->bytes.size(), 3);
        ASSERT_TRUE(arrays);
        EXPECT_EQ(arrays.value().a, (std::vector<double>{1.0, 2.0, 3.0}));
        EXPECT_EQ(arrays.value().b, (std::vector<double>{4.0, 5.0}));
    }
    EXPECT_EQ(connection.get_last_time(), 10.0);
    EXPECT_TRUE(connection.errors.empty());

    EXPECT_EQ(connection.send_plot_arrays(a, b, 8189, 0, 2.0), 2.0);
    EXPECT_EQ(connection.errors, std::vector<int>{korvale::platform::message_too_long_error()});
    EXPECT_TRUE(receiver.stays_silent());
}

TEST(ConnectionInterface, CountsUpAndDown) {
    ConnectionInterface connection(ANY_PORT, 9, "127.0.0.1");
    EXPECT_FALSE(connection.counter_is_positive());
    EXPECT_EQ(connection.add_to_counter(3), 3);
    EXPECT_TRUE(connection.counter_is_positive());
    EXPECT_EQ(connection.add_to_counter(-3), 0);
    EXPECT_FALSE(connection.counter_is_positive());
    EXPECT_EQ(connection.add_to_counter(-1), -1);
    EXPECT_FALSE(connection.counter_is_positive());
}

TEST(ConnectionInterface, AFailedStartLeavesAnObjectWhoseSendsFail) {
    udp_interface holder(ANY_PORT, 9, "127.0.0.1", 16, 2);
    ASSERT_TRUE(holder.start());
    Listening<ConnectionInterface> connection(bound_port(holder), 9, "127.0.0.1");
    EXPECT_EQ(connection.socket(), korvale::platform::invalid_socket);
    EXPECT_FALSE(connection.send_status_record(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1.0, 0));
    EXPECT_EQ(connection.errors.size(), 1u);
}
