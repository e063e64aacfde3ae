// The dashboard of a tool built without cpp-httplib: the text dashboard and the JSON
// forwarding work, the web page does not.
#include <stdexcept>

#include "dashboard_http.h"

namespace korvale_tool {

std::unique_ptr<HttpDashboard> start_http_dashboard(const HttpSettings&, const DashboardMonitor&) {
    throw std::runtime_error("--http: this korvale was built without cpp-httplib, so it has no "
                             "web page (the text dashboard and --forward-json work without it)");
}

} // namespace korvale_tool
