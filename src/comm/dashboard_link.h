// The dashboard link: a UDP socket that sends status records and plot datagrams to one
// dashboard. It only sends, never receives, and runs on its caller's thread.
#pragma once

#include <cstdint>

#include "comm/dashboard_record.h"
#include "diag.h"
#include "platform/net.h"

namespace korvale::comm {

class DashboardLink {
public:
    // A link to the dashboard on port (its low 16 bits), not yet open. plot_delay_ms is the pause
    // after every plot that is sent. Its lines (failures, the closing line) go to sink.
    DashboardLink(int port, int plot_delay_ms,
                  const DiagSink& sink = DiagSink::standard()) noexcept;
    // Releases the socket and the socket layer's reference if the link is open.
    ~DashboardLink();

    DashboardLink(const DashboardLink&) = delete;
    DashboardLink& operator=(const DashboardLink&) = delete;

    // Starts the socket layer, creates the socket and sets the peer address from host, a dotted
    // IPv4 address or a name. Prints the reason when one step fails; the link then stays
    // failed and sends nothing. Called once.
    void open(const char* host) noexcept;

    // Fills and sends the status record if time_stamp is newer than the last record or plot
    // accepted; an older, equal or NaN stamp changes nothing.
    void send_status(std::int32_t i1, double r1, double r2, double r3, double r4, double r5,
                     double r6, double r7, double r8, std::int32_t flag, double time_stamp,
                     std::int32_t i2) noexcept;

    // Sends a plot (count_a values of a, then count_b of b) under the same time-stamp gate, then
    // pauses for plot_delay_ms. Returns time_stamp in every case. May throw std::bad_alloc.
    double send_plot(const double* a, const double* b, std::uint64_t count_a, std::uint64_t count_b,
                     double time_stamp);

    // Prints the closing line and releases what the link holds. The link sends nothing after.
    void close() noexcept;

    bool get_is_open() const { return is_open; }
    double get_last_time() const { return last_time; }
    int get_port() const { return port; }
    int get_plot_delay_ms() const { return plot_delay_ms; }
    platform::Ipv4Address peer_address() const { return peer_addr; }
    const DashboardRecord& get_record() const { return record; }

private:
    void release() noexcept;

    DiagSink sink;
    platform::socket_handle sock = platform::invalid_socket;
    platform::Ipv4Address peer_addr;
    // The record in its wire form, sent as it stands: no separate send buffer is needed.
    DashboardRecord record;
    std::int32_t plot_delay_ms;
    // The port as init_com was given it, low 16 bits.
    int port;
    // True once the socket and the peer address are ready; the link then holds one reference on
    // the socket layer.
    bool is_open = false;
    // The time stamp of the last record or plot accepted.
    double last_time = 0.0;
};

} // namespace korvale::comm
