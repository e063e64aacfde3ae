// The dashboard's web page and its HTTP interface: "/" the page, "/assets/..." its scripts and
// styles (built into the tool), "/events" a Server-Sent Events stream with one JSON message per
// datagram, "/api/latest" the latest record and the counters, "/api/config" the field names,
// "/api/route" the route's profile (only with a route). Nothing else is served.
#pragma once

#include <memory>
#include <string>

#include "dashboard_monitor.h"

namespace korvale_tool {

struct HttpSettings {
    std::string bind = "127.0.0.1"; // the address to listen on
    int port = 0;                   // 0: any free port
    std::string route_json;         // the route's profile; empty: no route
};

class HttpDashboard {
public:
    virtual ~HttpDashboard() = default;
    // The port the server listens on.
    virtual int port() const = 0;
    // Sends an event to every open stream; never blocks on a slow one.
    virtual void publish(std::string event) = 0;
};

// Starts serving on its own threads until the object is destroyed. Throws std::runtime_error
// when the address cannot be bound, and in a tool built without an HTTP server.
std::unique_ptr<HttpDashboard> start_http_dashboard(const HttpSettings& settings,
                                                    const DashboardMonitor& monitor);

} // namespace korvale_tool
