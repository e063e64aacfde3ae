// korvale dashboard: receives status records and plots and prints one line per datagram; with
// --http it serves them to a web page, with --forward-json it sends each record on as JSON.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "comm/datagram_decoder.h"
#include "commands.h"
#include "dashboard_http.h"
#include "dashboard_monitor.h"
#include "json_forwarder.h"
#include "platform/net.h"
#include "route_table.h"

namespace korvale_tool {

namespace {

// Large enough for any UDP datagram over IPv4.
constexpr int RECEIVE_BUFFER_SIZE = 65536;
// How often the receive loop looks at the clock when nothing arrives.
constexpr int RECEIVE_POLL_MS = 200;
constexpr std::size_t RECORD_BYTES = 76;
// The route's profile on the page: enough points for a wide screen.
constexpr std::size_t MAX_ROUTE_POINTS = 4000;

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

// A datagram is a record, a plot of the expected counts, or malformed.
struct Datagram {
    std::optional<korvale::comm::RecordFields> record;
    std::optional<korvale::comm::PlotArrays> plot;
};

Datagram classify(const unsigned char* data, std::size_t length, std::size_t count_a,
                  std::size_t count_b) {
    Datagram datagram;
    if (length == RECORD_BYTES) {
        datagram.record = korvale::comm::decode_record(data, length).value();
        return datagram;
    }
    const auto plot = korvale::comm::decode_plot(data, length, count_a);
    if (plot && plot.value().b.size() == count_b) {
        datagram.plot = plot.value();
    }
    return datagram;
}

void print_datagram(const Datagram& datagram, std::size_t length, std::size_t count_a,
                    std::size_t count_b, std::ostream& out) {
    if (datagram.record) {
        print_record(*datagram.record, out);
    } else if (datagram.plot) {
        out << "plot " << count_a << "+" << count_b;
        print_array("a", datagram.plot->a, out);
        print_array("b", datagram.plot->b, out);
        out << "\n" << std::flush;
    } else {
        out << "datagram of " << length << " bytes: neither a record nor a plot of " << count_a
            << "+" << count_b << " values\n"
            << std::flush;
    }
}

// Where the datagrams go besides the text lines: the page and the JSON forwarding.
struct Outlets {
    std::unique_ptr<DashboardMonitor> monitor;
    std::unique_ptr<JsonForwarder> forwarder;
    std::unique_ptr<HttpDashboard> http;

    void deliver(const Datagram& datagram, std::size_t length) {
        if (!monitor) {
            return;
        }
        const double t = unix_time_now();
        std::string event;
        if (datagram.record) {
            const std::string json = record_json(*datagram.record, monitor->names(), t);
            if (forwarder) {
                forwarder->send(json);
            }
            event = monitor->on_record(*datagram.record, json);
        } else if (datagram.plot) {
            event = monitor->on_plot(*datagram.plot, t);
        } else {
            event = monitor->on_malformed(length, t);
        }
        if (http) {
            http->publish(std::move(event));
        }
    }
};

// The values in a plot's two arrays.
struct PlotCounts {
    std::size_t a = 0;
    std::size_t b = 0;
};

// The plot counts of the command line, checked.
PlotCounts plot_counts(const DashboardArgs& args) {
    const std::vector<double> counts = parse_number_list(args.plot_counts, 2, "--plot-counts");
    if (counts[0] < 0 || counts[1] < 0 || counts[0] > 8192 || counts[1] > 8192 ||
        counts[0] != static_cast<double>(static_cast<long>(counts[0])) ||
        counts[1] != static_cast<double>(static_cast<long>(counts[1]))) {
        throw std::runtime_error("--plot-counts: '" + args.plot_counts +
                                 "' is not two whole numbers from 0 to 8192");
    }
    return {static_cast<std::size_t>(counts[0]), static_cast<std::size_t>(counts[1])};
}

// The monitor and the JSON forwarding that the options ask for, and the page's settings.
Outlets open_outlets(const DashboardArgs& args, const PlotCounts& counts, HttpSettings* http) {
    Outlets outlets;
    if (!args.fields.empty() && !args.http && args.forward_json.empty()) {
        throw std::runtime_error("--fields: names are for --http and --forward-json");
    }
    if (args.http || !args.forward_json.empty()) {
        outlets.monitor = std::make_unique<DashboardMonitor>(
            args.fields.empty() ? default_field_names() : parse_field_names(args.fields), counts.a,
            counts.b);
    }
    if (args.http) {
        http->bind = args.bind;
        http->port = *args.http;
        if (!args.route.empty()) {
            std::cerr << "korvale: the route's profile: " << args.vehicle.summary() << "\n";
            http->route_json = route_json(
                *load_route(args.route, args.vehicle.coast_model(), args.strict), MAX_ROUTE_POINTS);
        }
    }
    if (!args.forward_json.empty()) {
        outlets.forwarder =
            std::make_unique<JsonForwarder>(parse_host_port(args.forward_json, "--forward-json"));
    }
    return outlets;
}

// Receives until the count or the timeout of the options is reached; the datagrams received.
std::int64_t receive(const DashboardArgs& args, const ReceiveSocket& receiver,
                     const PlotCounts& counts, Outlets& outlets, std::ostream& out) {
    const bool text_lines = !args.http || args.print;
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
        const auto length = static_cast<std::size_t>(size);
        const Datagram datagram = classify(buffer.data(), length, counts.a, counts.b);
        if (text_lines) {
            print_datagram(datagram, length, counts.a, counts.b, out);
        }
        outlets.deliver(datagram, length);
    }
    return received;
}

} // namespace

int run_dashboard(const DashboardArgs& args, std::ostream& out) {
    const PlotCounts counts = plot_counts(args);
    HttpSettings http;
    Outlets outlets = open_outlets(args, counts, &http);
    if (args.http) {
        outlets.http = start_http_dashboard(http, *outlets.monitor);
    }
    ReceiveSocket receiver(args.port);
    net::Ipv4Address bound;
    net::local_address(receiver.sock, &bound);
    out << "listening on port " << bound.port << "\n" << std::flush;
    if (outlets.http) {
        out << "dashboard page on http://" << http.bind << ":" << outlets.http->port() << "/\n"
            << std::flush;
    }
    if (outlets.forwarder) {
        out << "forwarding records as JSON to " << args.forward_json << "\n" << std::flush;
    }

    const std::int64_t received = receive(args, receiver, counts, outlets, out);
    out << "received " << received << " datagrams\n";
    if (outlets.monitor) {
        const DashboardCounters c = outlets.monitor->counters();
        out << "records " << c.records << ", plots " << c.plots << ", malformed " << c.malformed
            << ", lost " << c.lost << "\n";
    }
    if (outlets.forwarder && outlets.forwarder->failures() > 0) {
        out << "forwarding failed for " << outlets.forwarder->failures() << " records\n";
    }
    return 0;
}

} // namespace korvale_tool
