// Test helpers for the dashboard link: a UDP receiver on 127.0.0.1 at a port the system picks,
// and a count of the process's open descriptors.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/net.h"

namespace korvale::test {

constexpr std::uint32_t LOOPBACK = 0x7F000001u; // 127.0.0.1
// How long a datagram that should arrive may take before the test fails.
constexpr int ARRIVAL_TIMEOUT_MS = 2000;
// How long a test waits to be sure that nothing arrives.
constexpr int SILENCE_MS = 150;

struct Datagram {
    std::vector<std::uint8_t> bytes;
    platform::Ipv4Address sender;
};

class UdpReceiver {
public:
    UdpReceiver();
    ~UdpReceiver();
    UdpReceiver(const UdpReceiver&) = delete;
    UdpReceiver& operator=(const UdpReceiver&) = delete;

    // True when the socket is bound and port() is known.
    bool ready() const { return bound; }
    std::uint16_t port() const { return bound_port; }

    // The next datagram, or nothing when none arrives within timeout_ms.
    std::optional<Datagram> receive(int timeout_ms = ARRIVAL_TIMEOUT_MS);
    // True when no datagram arrives within wait_ms.
    bool stays_silent(int wait_ms = SILENCE_MS) { return !receive(wait_ms).has_value(); }

private:
    platform::socket_handle sock = platform::invalid_socket;
    bool started = false;
    bool bound = false;
    std::uint16_t bound_port = 0;
};

// The number of descriptors the process has open, or -1 where it cannot be counted (Windows).
int open_descriptor_count();

} // namespace korvale::test
