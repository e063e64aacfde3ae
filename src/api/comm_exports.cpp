// Exported functions of the dashboard link.
#include <new>

#include "api/guard.h"
#include "comm/dashboard_link.h"
#include "diag.h"
#include "korvale.h"

using korvale::api::guarded;
using korvale::api::guarded_void;
using korvale::comm::DashboardLink;

extern "C" {

korvale_link* init_com(int32_t port, const char* host, int32_t /*not read*/,
                       int32_t plot_delay_ms) {
    korvale::FailureNote note;
    korvale::diag_print("Creating new connection for port %d\n", port);
    auto* link = new (std::nothrow) DashboardLink(port, plot_delay_ms);
    if (link == nullptr) {
        korvale::diag_print("Not enough memory!\n");
        note.outcome(false);
        return nullptr;
    }
    link->open(host);
    note.outcome(link->get_is_open());
    return reinterpret_cast<korvale_link*>(link);
}

int32_t korvale_link_is_open(korvale_link* handle) {
    return guarded<DashboardLink>(handle, 0,
                                  [](DashboardLink& link) { return link.get_is_open() ? 1 : 0; });
}

void send_msg(korvale_link* handle, int32_t i1, double r1, double r2, double r3, double r4,
              double r5, double r6, double r7, double r8, int32_t flag, double time_stamp,
              int32_t i2) {
    if (handle == nullptr) {
        korvale::diag_print("Dashboard message -  wrong pointer\n");
        return;
    }
    guarded_void<DashboardLink>(handle, [&](DashboardLink& link) {
        korvale::FailureNote note;
        link.send_status(i1, r1, r2, r3, r4, r5, r6, r7, r8, flag, time_stamp, i2);
        note.outcome_by_lines(); // a link prints only when a send fails
    });
}

double send_msg_plot(korvale_link* handle, const double* a, const double* b, uint64_t count_a,
                     uint64_t count_b, double time_stamp) {
    return guarded<DashboardLink>(handle, time_stamp, [&](DashboardLink& link) {
        korvale::FailureNote note;
        const double stamp = link.send_plot(a, b, count_a, count_b, time_stamp);
        note.outcome_by_lines();
        return stamp;
    });
}

void close_com(korvale_link* handle) {
    guarded_void<DashboardLink>(handle, [](DashboardLink& link) { link.close(); });
    delete reinterpret_cast<DashboardLink*>(handle);
}

} // extern "C"
