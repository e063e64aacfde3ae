// Sends each status record on as one JSON datagram, for time-series tools with a UDP JSON
// input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/net.h"

namespace korvale_tool {

// "HOST:PORT" as a host and a port from 1 to 65535: none when the text is not that, or (parse)
// std::runtime_error naming the option.
struct HostPort {
    std::string host;
    std::uint16_t port = 0;
};
constexpr const char* HOST_PORT = "HOST:PORT with a port from 1 to 65535";
std::optional<HostPort> read_host_port(const std::string& text);
HostPort parse_host_port(const std::string& text, const std::string& option);

class JsonForwarder {
public:
    // Resolves the host and opens a socket; throws std::runtime_error when either fails.
    explicit JsonForwarder(const HostPort& target);
    ~JsonForwarder();
    JsonForwarder(const JsonForwarder&) = delete;
    JsonForwarder& operator=(const JsonForwarder&) = delete;

    // Sends one datagram; a failure is counted, not thrown.
    void send(const std::string& json);
    std::int64_t failures() const { return failure_count; }

private:
    korvale::platform::socket_handle sock = korvale::platform::invalid_socket;
    korvale::platform::Ipv4Address peer;
    bool started = false;
    std::int64_t failure_count = 0;
};

} // namespace korvale_tool
