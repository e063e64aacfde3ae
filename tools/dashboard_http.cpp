// The dashboard's HTTP server, on cpp-httplib.
#include "dashboard_http.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <stdexcept>
#include <thread>

#include <httplib.h>

#include "dashboard_page_assets.h"
#include "event_hub.h"

namespace korvale_tool {

namespace {

using namespace std::chrono_literals;

// Each open event stream keeps one thread of the server's pool for as long as it is open; the
// pool has room for this many of them and still serves other requests on its spare threads.
constexpr std::size_t MAX_EVENT_STREAMS = 32;
constexpr std::size_t SPARE_THREADS = 16;
// An idle kept-alive connection also holds a thread while it waits for its next request (a
// browser keeps several): not for long.
constexpr std::time_t KEEP_ALIVE_SECONDS = 1;
// Events queued for a stream that does not keep up, about ten seconds of a busy drive; the
// oldest go first.
constexpr std::size_t STREAM_QUEUE_CAPACITY = 1000;
// How long a stream waits for events before it looks again whether the server stops.
constexpr auto STREAM_POLL = 250ms;
// A comment line on a quiet stream: keeps proxies from closing it and finds vanished clients.
constexpr auto STREAM_KEEP_ALIVE = 5s;
// Requests carry no body.
constexpr std::size_t MAX_REQUEST_BODY = 4096;
constexpr auto SERVER_START_WAIT = 5s;

const char* const NO_STORE = "no-store";

const PageAsset* find_asset(const std::string& name) {
    for (std::size_t i = 0; i < PAGE_ASSET_COUNT; ++i) {
        if (name == PAGE_ASSETS[i].name) {
            return &PAGE_ASSETS[i];
        }
    }
    return nullptr;
}

void serve_asset(const PageAsset& asset, httplib::Response& res) {
    res.set_content(reinterpret_cast<const char*>(asset.data), asset.size, asset.content_type);
}

void serve_json(const std::string& json, httplib::Response& res) {
    res.set_header("Cache-Control", NO_STORE);
    res.set_content(json, "application/json");
}

std::string event_text(const std::string& json) {
    return "data: " + json + "\n\n";
}

class HttplibDashboard : public HttpDashboard {
public:
    HttplibDashboard(const HttpSettings& settings, const DashboardMonitor& source)
        : monitor(source), config(source.config_json(!settings.route_json.empty())),
          route(settings.route_json) {
        server.new_task_queue = [] {
            return new httplib::ThreadPool(MAX_EVENT_STREAMS + SPARE_THREADS);
        };
        server.set_payload_max_length(MAX_REQUEST_BODY);
        server.set_keep_alive_timeout(KEEP_ALIVE_SECONDS);
        server.set_default_headers({{"X-Content-Type-Options", "nosniff"}});
        add_routes();
        bound_port = settings.port == 0
                         ? server.bind_to_any_port(settings.bind)
                         : (server.bind_to_port(settings.bind, settings.port) ? settings.port : -1);
        if (bound_port <= 0) {
            throw std::runtime_error("--http: cannot listen on " + settings.bind + " port " +
                                     std::to_string(settings.port));
        }
        thread = std::thread([this] {
            server.listen_after_bind();
            listening_done = true;
        });
        // stop() only stops a server that runs: wait until it does.
        const auto until = std::chrono::steady_clock::now() + SERVER_START_WAIT;
        while (!server.is_running() && !listening_done &&
               std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(1ms);
        }
    }

    ~HttplibDashboard() override {
        hub.shut_down();
        server.stop();
        thread.join();
    }

    int port() const override { return bound_port; }
    void publish(std::string event) override { hub.publish(std::move(event)); }

private:
    void add_routes() {
        server.Get("/", [](const httplib::Request&, httplib::Response& res) {
            serve_asset(*find_asset("index.html"), res);
        });
        server.Get(R"(/assets/([A-Za-z0-9._-]+))",
                   [](const httplib::Request& req, httplib::Response& res) {
                       const PageAsset* asset = find_asset(req.matches[1]);
                       if (asset == nullptr) {
                           res.status = 404;
                           return;
                       }
                       serve_asset(*asset, res);
                   });
        server.Get("/api/latest", [this](const httplib::Request&, httplib::Response& res) {
            serve_json(monitor.latest_json(), res);
        });
        server.Get("/api/config", [this](const httplib::Request&, httplib::Response& res) {
            serve_json(config, res);
        });
        server.Get("/api/route", [this](const httplib::Request&, httplib::Response& res) {
            if (route.empty()) {
                res.status = 404;
                return;
            }
            serve_json(route, res);
        });
        server.Get("/events",
                   [this](const httplib::Request&, httplib::Response& res) { stream_events(res); });
        server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
            if (res.body.empty()) {
                res.set_content(std::to_string(res.status) + "\n", "text/plain");
            }
        });
    }

    void stream_events(httplib::Response& res) {
        EventHub::StreamHandle stream;
        if (!hub.open(&stream)) {
            res.status = 503;
            res.set_content("too many event streams are open\n", "text/plain");
            return;
        }
        res.set_header("Cache-Control", NO_STORE);
        auto hello = std::make_shared<std::string>(event_text(monitor.hello_json()));
        auto last_write = std::make_shared<std::chrono::steady_clock::time_point>();
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, stream, hello, last_write](std::size_t, httplib::DataSink& sink) {
                std::string text;
                if (!hello->empty()) {
                    text.swap(*hello);
                } else {
                    const EventHub::Batch batch = hub.take(stream, STREAM_POLL);
                    if (batch.closed) {
                        return false;
                    }
                    if (batch.skipped > 0) {
                        text += event_text("{\"type\":\"skipped\",\"count\":" +
                                           std::to_string(batch.skipped) + "}");
                    }
                    for (const EventHub::Message& message : batch.messages) {
                        text += event_text(*message);
                    }
                }
                const auto now = std::chrono::steady_clock::now();
                if (text.empty() && now - *last_write >= STREAM_KEEP_ALIVE) {
                    text = ": keep-alive\n\n";
                }
                if (text.empty()) {
                    return true;
                }
                *last_write = now;
                return sink.write(text.data(), text.size());
            },
            [this, stream](bool) { hub.close(stream); });
    }

    const DashboardMonitor& monitor;
    const std::string config;
    const std::string route;
    EventHub hub{MAX_EVENT_STREAMS, STREAM_QUEUE_CAPACITY};
    httplib::Server server;
    std::thread thread;
    std::atomic<bool> listening_done{false};
    int bound_port = -1;
};

} // namespace

std::unique_ptr<HttpDashboard> start_http_dashboard(const HttpSettings& settings,
                                                    const DashboardMonitor& monitor) {
    return std::make_unique<HttplibDashboard>(settings, monitor);
}

} // namespace korvale_tool
