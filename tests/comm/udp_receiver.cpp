#include "udp_receiver.h"

#include <filesystem>
#include <system_error>

namespace korvale::test {

namespace {

// Large enough for any UDP datagram.
constexpr int RECEIVE_CAPACITY = 65536;

} // namespace

UdpReceiver::UdpReceiver() {
    started = platform::socket_layer_startup();
    if (!started) {
        return;
    }
    sock = platform::open_udp_socket();
    if (sock == platform::invalid_socket) {
        return;
    }
    platform::Ipv4Address local;
    bound = platform::bind_socket(sock, platform::Ipv4Address{LOOPBACK, 0}) &&
            platform::local_address(sock, &local);
    bound_port = local.port;
}

UdpReceiver::~UdpReceiver() {
    platform::close_socket(sock);
    if (started) {
        platform::socket_layer_cleanup();
    }
}

std::optional<Datagram> UdpReceiver::receive(int timeout_ms) {
    if (!bound || !platform::set_receive_timeout(sock, timeout_ms)) {
        return std::nullopt;
    }
    Datagram d;
    d.bytes.resize(RECEIVE_CAPACITY);
    const int length = platform::receive_from(sock, d.bytes.data(), RECEIVE_CAPACITY, &d.sender);
    if (length < 0) {
        return std::nullopt;
    }
    d.bytes.resize(static_cast<std::size_t>(length));
    return d;
}

int open_descriptor_count() {
#ifdef _WIN32
    // Sockets are handles there, and nothing counts them reliably (under Wine, /proc/self/fd
    // would list Wine's own descriptors, which come and go).
    return -1;
#else
    std::error_code error;
    std::filesystem::directory_iterator it("/proc/self/fd", error);
    if (error) {
        return -1;
    }
    int count = 0;
    for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
        if (error) {
            return -1;
        }
        ++count;
    }
    return count;
#endif
}

} // namespace korvale::test
