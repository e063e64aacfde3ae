// An endpoint that sends the dashboard's status records and plot datagrams: the same formats as
// the dashboard link, as an object with its own socket bound to a local port.
#pragma once

#include <cstdint>

#include "comm/dashboard_record.h"
#include "comm/udp_interface.h"

namespace korvale::comm {

class ConnectionInterface : public udp_interface {
public:
    // A plain endpoint with a 76-byte receive buffer that starts itself; when the start fails
    // the object still exists and its sends fail.
    ConnectionInterface(int local_port, int remote_port, const char* host);

    void on_receive(const char* data, int len) override;

    // Fills and sends the status record if time_stamp is newer than the last record sent (the
    // first record may carry 0.0: the gate starts at -1.0). False when the record is dropped
    // or the send fails.
    bool send_status_record(std::int32_t i1, double r1, double r2, double r3, double r4, double r5,
                            double r6, double r7, double r8, std::int32_t flag, double time_stamp,
                            std::int32_t i2);

    // Sends a plot datagram on every call: no time-stamp gate, no pause. A plot too large for
    // one datagram is not sent; on_error() hears the platform's message-too-long code. Returns
    // time_stamp.
    double send_plot_arrays(const double* a, const double* b, std::uint64_t count_a,
                            std::uint64_t count_b, double time_stamp);

    // Adds n to the counter (wrapping around at the int range) and returns the new total.
    int add_to_counter(int n);
    bool counter_is_positive() const { return counter > 0; }

    double get_last_time() const { return last_time; }
    const DashboardRecord& get_record() const { return record; }

private:
    static constexpr double INITIAL_LAST_TIME = -1.0;

    DashboardRecord record;
    std::int32_t counter = 0;
    double last_time = INITIAL_LAST_TIME;
};

} // namespace korvale::comm
