#include "json_forwarder.h"

#include <stdexcept>

#include "text/text.h"

namespace korvale_tool {

namespace net = korvale::platform;

std::optional<HostPort> read_host_port(const std::string& text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return std::nullopt;
    }
    const std::string port_text = text.substr(colon + 1);
    int port = 0;
    if (!korvale::text::read_integer(port_text, &port) || port < 1 || port > 65535) {
        return std::nullopt;
    }
    return HostPort{text.substr(0, colon), static_cast<std::uint16_t>(port)};
}

HostPort parse_host_port(const std::string& text, const std::string& option) {
    const std::optional<HostPort> read = read_host_port(text);
    if (!read) {
        throw std::runtime_error(option + ": '" + text + "' is not " + HOST_PORT);
    }
    return *read;
}

JsonForwarder::JsonForwarder(const HostPort& target) {
    std::uint32_t address = net::parse_dotted_address(target.host.c_str());
    int error = 0;
    if (address == net::address_none && !net::resolve_ipv4(target.host.c_str(), &address, &error)) {
        throw std::runtime_error("--forward-json: cannot resolve '" + target.host + "' (error " +
                                 std::to_string(error) + ")");
    }
    peer = {address, target.port};
    started = net::socket_layer_startup();
    sock = started ? net::open_udp_socket() : net::invalid_socket;
    if (sock == net::invalid_socket) {
        const int code = net::last_error();
        if (started) {
            net::socket_layer_cleanup();
        }
        throw std::runtime_error("--forward-json: cannot create a socket (error " +
                                 std::to_string(code) + ")");
    }
}

JsonForwarder::~JsonForwarder() {
    net::close_socket(sock);
    net::socket_layer_cleanup();
}

void JsonForwarder::send(const std::string& json) {
    if (!net::send_to(sock, json.data(), static_cast<int>(json.size()), peer)) {
        ++failure_count;
    }
}

} // namespace korvale_tool
