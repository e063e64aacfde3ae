// korvale dashboard: receives status records and plots and prints one line per datagram.
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "comm/datagram_decoder.h"
#include "commands.h"
#include "platform/net.h"

namespace korvale_tool {

namespace {

// Large enough for any UDP datagram over IPv4.
constexpr int RECEIVE_BUFFER_SIZE = 65536;
// How often the receive loop looks at the clock when nothing arrives.
constexpr int RECEIVE_POLL_MS = 200;
constexpr std::size_t RECORD_BYTES = 76;

namespace net = korvale::platform;

// Releases the socket and the socket layer however the command ends.
class ReceiveSocket {
public:
    explicit ReceiveSocket(int port) {
        if (!net::socket_layer_startup()) {
            throw std::runtime_error("cannot start the socket layer");
        }
        started = true;
        sock = net::open_udp_socket();
        if (sock == net::invalid_socket) {
            throw std::runtime_error("cannot create a socket (error " +
                                     std::to_string(net::last_error()) + ")");
        }
        if (!net::bind_socket(sock, {net::address_any, static_cast<std::uint16_t>(port)})) {
            throw std::runtime_error("cannot listen on port " + std::to_string(port) + " (error " +
                                     std::to_string(net::last_error()) + ")");
        }
        net::set_receive_timeout(sock, RECEIVE_POLL_MS);
    }
    ~ReceiveSocket() {
        net::close_socket(sock);
        if (started) {
            net::socket_layer_cleanup();
        }
    }
    ReceiveSocket(const ReceiveSocket&) = delete;
    ReceiveSocket& operator=(const ReceiveSocket&) = delete;

    net::socket_handle sock = net::invalid_socket;

private:
    bool started = false;
};

void print_record(const korvale::comm::RecordFields& r, std::ostream& out) {
    char line[320];
    std::snprintf(line, sizeof line,
                  "record i1=%d r1=%.3f r2=%.3f r3=%.3f r4=%.3f r5=%.3f r7=%.3f r8=%.3f flag=%u "
                  "i2=%d\n",
                  r.i1, r.r1, r.r2, r.r3, r.r4, r.r5, r.r7, r.r8, static_cast<unsigned>(r.flag),
                  r.i2);
    out << line << std::flush;
}

void print_array(const char* name, const std::vector<double>& values, std::ostream& out) {
    char text[96];
    if (values.empty()) {
        std::snprintf(text, sizeof text, " %s=[]", name);
    } else {
        std::snprintf(text, sizeof text, " %s=[%.3f .. %.3f]", name, values.front(), values.back());
    }
    out << text;
}

// The values in a plot's two arrays.
struct PlotCounts {
    std::size_t a = 0;
    std::size_t b = 0;
};

PlotCounts parse_plot_counts(const std::string& text) {
    const std::vector<double> counts = parse_number_list(text, 2, "--plot-counts");
    if (counts[0] < 0 || counts[1] < 0 || counts[0] > 8192 || counts[1] > 8192 ||
        counts[0] != static_cast<double>(static_cast<long>(counts[0])) ||
        counts[1] != static_cast<double>(static_cast<long>(counts[1]))) {
        throw std::runtime_error("--plot-counts: '" + text +
                                 "' is not two whole numbers from 0 to 8192");
    }
    return {static_cast<std::size_t>(counts[0]), static_cast<std::size_t>(counts[1])};
}

// One line for a datagram: a record, a plot of the expected counts, or neither.
void print_datagram(const unsigned char* data, std::size_t length, const PlotCounts& counts,
                    std::ostream& out) {
    if (length == RECORD_BYTES) {
        print_record(korvale::comm::decode_record(data, length).value(), out);
        return;
    }
    const auto plot = korvale::comm::decode_plot(data, length, counts.a);
    if (plot && plot.value().b.size() == counts.b) {
        out << "plot " << counts.a << "+" << counts.b;
        print_array("a", plot.value().a, out);
        print_array("b", plot.value().b, out);
        out << "\n" << std::flush;
    } else {
        out << "datagram of " << length << " bytes: neither a record nor a plot of " << counts.a
            << "+" << counts.b << " values\n"
            << std::flush;
    }
}

} // namespace

int run_dashboard(const DashboardArgs& args, std::ostream& out) {
    if (args.port < 0 || args.port > 65535) {
        throw std::runtime_error("--port: " + std::to_string(args.port) + " is not 0 to 65535");
    }
    const PlotCounts counts = parse_plot_counts(args.plot_counts);

    ReceiveSocket receiver(args.port);
    net::Ipv4Address bound;
    net::local_address(receiver.sock, &bound);
    out << "listening on port " << bound.port << "\n" << std::flush;

    std::vector<unsigned char> buffer(RECEIVE_BUFFER_SIZE);
    std::int64_t received = 0;
    auto last_arrival = std::chrono::steady_clock::now();
    while (args.count <= 0 || received < args.count) {
        net::Ipv4Address sender;
        const int size =
            net::receive_from(receiver.sock, buffer.data(), RECEIVE_BUFFER_SIZE, &sender);
        if (size < 0) {
            const std::chrono::duration<double> idle =
                std::chrono::steady_clock::now() - last_arrival;
            if (args.timeout_s > 0 && idle.count() >= args.timeout_s) {
                break;
            }
            continue;
        }
        last_arrival = std::chrono::steady_clock::now();
        ++received;
        print_datagram(buffer.data(), static_cast<std::size_t>(size), counts, out);
    }
    out << "received " << received << " datagrams\n";
    return 0;
}

} // namespace korvale_tool
