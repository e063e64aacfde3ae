#include "comm/dashboard_link.h"

#include "comm/plot_datagram.h"
#include "diag.h"

#include <vector>

namespace korvale::comm {

namespace {

constexpr int PORT_MASK = 0xFFFF;

} // namespace

DashboardLink::DashboardLink(int port_number, int delay_ms, const DiagSink& lines) noexcept
    : sink(lines), plot_delay_ms(delay_ms), port(port_number & PORT_MASK) {}

DashboardLink::~DashboardLink() {
    release();
}

void DashboardLink::open(const char* host) noexcept {
    if (is_open || sock != platform::invalid_socket) {
        return;
    }
    if (!platform::socket_layer_startup()) {
        diag_print(sink, "WSAStartup failed!\n");
        return;
    }
    sock = platform::open_udp_socket();
    if (sock == platform::invalid_socket) {
        diag_print(sink, "socket() failed; %d\n", platform::last_error());
        platform::socket_layer_cleanup();
        return;
    }
    peer_addr.port = static_cast<std::uint16_t>(port);
    peer_addr.address = platform::parse_dotted_address(host);
    if (peer_addr.address == platform::address_none) {
        int error = 0;
        if (!platform::resolve_ipv4(host, &peer_addr.address, &error)) {
            diag_print(sink, "gethostbyname() failed: %d\n", error);
            platform::close_socket(sock);
            sock = platform::invalid_socket;
            platform::socket_layer_cleanup();
            return;
        }
    }
    is_open = true;
    last_time = 0.0;
}

void DashboardLink::send_status(std::int32_t i1, double r1, double r2, double r3, double r4,
                                double r5, double r6, double r7, double r8, std::int32_t flag,
                                double time_stamp, std::int32_t i2) noexcept {
    if (!(time_stamp > last_time)) {
        return;
    }
    last_time = time_stamp;
    record.fill(i1, r1, r2, r3, r4, r5, r6, r7, r8, flag, i2);
    if (!is_open) {
        return;
    }
    if (!platform::send_to(sock, record.data(), static_cast<int>(record.size()), peer_addr)) {
        diag_print(sink, "sendto() failed; %d\n", platform::last_error());
    }
}

double DashboardLink::send_plot(const double* a, const double* b, std::uint64_t count_a,
                                std::uint64_t count_b, double time_stamp) {
    if (!(time_stamp > last_time)) {
        return time_stamp;
    }
    last_time = time_stamp;
    if (!is_open) {
        return time_stamp;
    }
    std::size_t size = 0;
    if (plot_datagram_size(count_a, count_b, &size)) {
        const std::vector<std::uint8_t> datagram = encode_plot_datagram(a, b, count_a, count_b);
        if (!platform::send_to(sock, datagram.data(), static_cast<int>(size), peer_addr)) {
            diag_print(sink, "sendto() failed; %d\n", platform::last_error());
        }
    } else {
        // Too large for one datagram: nothing is built, the send fails as the socket would.
        diag_print(sink, "sendto() failed; %d\n", platform::message_too_long_error());
    }
    platform::sleep_ms(plot_delay_ms);
    return time_stamp;
}

void DashboardLink::close() noexcept {
    diag_print(sink, "Closing connection for port %d\n", port);
    release();
}

void DashboardLink::release() noexcept {
    if (!is_open) {
        return;
    }
    platform::close_socket(sock);
    sock = platform::invalid_socket;
    platform::socket_layer_cleanup();
    is_open = false;
}

} // namespace korvale::comm
