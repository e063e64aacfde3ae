// Exported functions of the dashboard link.
#include <new>

#include "../comm/dashboard_link.h"
#include "../diag.h"
#include "guard.h"
#include "korvale.h"

using korvale::api::guarded;
using korvale::api::guarded_void;
using korvale::comm::DashboardLink;

extern "C" {

korvale_link* init_com(int32_t port, const char* host, int32_t /*not read*/,
                       int32_t plot_delay_ms) {
    korvale::diag_print("Creating new connection for port %d\n", port);
    auto* link = new (std::nothrow) DashboardLink(port, plot_delay_ms);
    if (link == nullptr) {
        korvale::diag_print("Not enough memory!\n");
        return nullptr;
    }
    link->open(host);
    return reinterpret_cast<korvale_link*>(link);
}

void send_msg(korvale_link* handle, int32_t i1, double r1, double r2, double r3, double r4,
              double r5, double r6, double r7, double r8, int32_t flag, double time_stamp,
              int32_t i2) {
    if (handle == nullptr) {
        korvale::diag_print("Dashboard message -  wrong pointer\n");
        return;
    }
    guarded_void<DashboardLink>(handle, [&](DashboardLink& link) {
        link.send_status(i1, r1, r2, r3, r4, r5, r6, r7, r8, flag, time_stamp, i2);
    });
}

double send_msg_plot(korvale_link* handle, const double* a, const double* b, uint64_t count_a,
                     uint64_t count_b, double time_stamp) {
    return guarded<DashboardLink>(handle, time_stamp, [&](DashboardLink& link) {
        return link.send_plot(a, b, count_a, count_b, time_stamp);
    });
}

void close_com(korvale_link* handle) {
    guarded_void<DashboardLink>(handle, [](DashboardLink& link) { link.close(); });
    delete reinterpret_cast<DashboardLink*>(handle);
}

} // extern "C"
