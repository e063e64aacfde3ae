#include "comm/udp_interface.h"

#include "diag.h"

namespace korvale::comm {

namespace {

std::uint16_t low_16_bits(int port) {
    return static_cast<std::uint16_t>(port & 0xFFFF);
}

} // namespace

udp_interface::udp_interface(int local_port, int remote_port, const char* host,
                             int recv_buffer_size, int mode)
    : mode(mode), local_port(local_port), remote_port(remote_port) {
    diag_print("Starting ar %i %i\n", local_port, remote_port);
    peer_addr.port = low_16_bits(remote_port);
    peer_addr.address =
        mode == MODE_BROADCAST ? platform::address_broadcast : platform::parse_dotted_address(host);
    set_receive_buffer(recv_buffer_size);
}

udp_interface::~udp_interface() {
    stop();
}

bool udp_interface::start() {
    // A second start opens and binds a new socket, as the first did; the socket it replaces is
    // released first instead of being lost.
    stop();
    if (!platform::socket_layer_startup()) {
        return false;
    }
    sock = platform::open_udp_socket();
    if (sock == platform::invalid_socket) {
        platform::socket_layer_cleanup();
        return false;
    }
    // The options' results are ignored: an endpoint that lacks one still binds and sends.
    if (mode == MODE_BROADCAST) {
        platform::enable_option(sock, platform::SocketOption::broadcast);
        platform::enable_option(sock, platform::SocketOption::reuse_address);
    } else if (mode == MODE_SHARED) {
        platform::enable_option(sock, platform::SocketOption::reuse_address);
    }
    if (!platform::bind_socket(
            sock, platform::Ipv4Address{platform::address_any, low_16_bits(local_port)})) {
        platform::close_socket(sock);
        sock = platform::invalid_socket;
        platform::socket_layer_cleanup();
        return false;
    }
    holds_socket_layer = true;
    return true;
}

bool udp_interface::stop() {
    if (!holds_socket_layer) {
        return false;
    }
    platform::close_socket(sock);
    sock = platform::invalid_socket;
    platform::socket_layer_cleanup();
    holds_socket_layer = false;
    return true;
}

bool udp_interface::send_datagram(const char* data, int len) {
    if (!platform::send_to(sock, data, len, peer_addr)) {
        on_error(platform::last_error());
        return false;
    }
    return true;
}

void udp_interface::on_receive(const char* /*data*/, int /*len*/) {}

void udp_interface::on_error(int /*error*/) {}

void udp_interface::reconfigure(int local_port, int remote_port, const char* host,
                                int recv_buffer_size) {
    this->local_port = local_port;
    this->remote_port = remote_port;
    peer_addr.port = low_16_bits(remote_port);
    peer_addr.address = platform::parse_dotted_address(host);
    set_receive_buffer(recv_buffer_size);
}

void udp_interface::set_receive_buffer(int size) {
    recv_buffer_size = size > 0 ? size : 0;
    std::vector<char>(static_cast<std::size_t>(recv_buffer_size)).swap(recv_buffer);
}

} // namespace korvale::comm
