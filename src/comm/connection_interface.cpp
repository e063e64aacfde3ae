#include "comm/connection_interface.h"

#include <vector>

#include "comm/plot_datagram.h"

namespace korvale::comm {

ConnectionInterface::ConnectionInterface(int local_port, int remote_port, const char* host)
    : udp_interface(local_port, remote_port, host, static_cast<int>(DASHBOARD_RECORD_SIZE),
                    MODE_PLAIN) {
    start();
}

void ConnectionInterface::on_receive(const char* /*data*/, int /*len*/) {}

bool ConnectionInterface::send_status_record(std::int32_t i1, double r1, double r2, double r3,
                                             double r4, double r5, double r6, double r7, double r8,
                                             std::int32_t flag, double time_stamp,
                                             std::int32_t i2) {
    if (!(time_stamp > last_time)) {
        return false;
    }
    record.fill(i1, r1, r2, r3, r4, r5, r6, r7, r8, flag, i2);
    last_time = time_stamp;
    return send_datagram(reinterpret_cast<const char*>(record.data()),
                         static_cast<int>(record.size()));
}

double ConnectionInterface::send_plot_arrays(const double* a, const double* b,
                                             std::uint64_t count_a, std::uint64_t count_b,
                                             double time_stamp) {
    std::size_t size = 0;
    if (!plot_datagram_size(count_a, count_b, &size)) {
        on_error(platform::message_too_long_error());
        return time_stamp;
    }
    const std::vector<std::uint8_t> datagram = encode_plot_datagram(a, b, count_a, count_b);
    send_datagram(reinterpret_cast<const char*>(datagram.data()), static_cast<int>(size));
    return time_stamp;
}

int ConnectionInterface::add_to_counter(int n) {
    counter = static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) +
                                        static_cast<std::uint32_t>(n));
    return counter;
}

} // namespace korvale::comm
