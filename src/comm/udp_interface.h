// A UDP endpoint on IPv4: binds a local port on all interfaces and sends datagrams to one peer.
// Derived classes hear of received datagrams and of errors through two callbacks. No receive
// thread is started, so on_receive is never called.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/net.h"

namespace korvale::comm {

class udp_interface {
public:
    // Endpoint kinds, with the socket options start() sets.
    static constexpr int MODE_BROADCAST = 0; // sends to 255.255.255.255; broadcast and reuse
    static constexpr int MODE_SHARED = 1;    // a local port several endpoints may bind; reuse
    static constexpr int MODE_PLAIN = 2;     // no option

    // Prints "Starting ar <local> <remote>". host must be a dotted IPv4 address (no name is
    // resolved); a broadcast endpoint ignores it and sends to 255.255.255.255.
    udp_interface(int local_port, int remote_port, const char* host, int recv_buffer_size,
                  int mode);
    // Releases what the endpoint holds, as stop().
    virtual ~udp_interface();

    udp_interface(const udp_interface&) = delete;
    udp_interface& operator=(const udp_interface&) = delete;

    // Creates the socket, sets the mode's options and binds local_port on all interfaces.
    // Opens the socket, sets the mode's options and binds the local port; false when a step
    // fails, and a failed start holds nothing. Starting a started endpoint releases its socket
    // first and then starts afresh (with the ports of the last reconfigure()).
    bool start();
    // Closes the socket and releases the socket layer's reference that start() took. False when
    // the endpoint holds nothing.
    bool stop();

    // Sends one datagram to the peer. On failure on_error() hears the platform's error code and
    // the result is false.
    virtual bool send_datagram(const char* data, int len);
    virtual void on_receive(const char* data, int len);
    virtual void on_error(int error);

    // New ports, new peer (host as a dotted address, whatever the mode) and a new receive
    // buffer. The socket is not touched: a new local port takes effect at the next start().
    void reconfigure(int local_port, int remote_port, const char* host, int recv_buffer_size);

    int get_remote_port() const { return remote_port; }
    int get_local_port() const { return local_port; }
    int get_mode() const { return mode; }
    platform::Ipv4Address peer_address() const { return peer_addr; }
    // The endpoint's socket, invalid_socket while it is not started.
    platform::socket_handle socket() const { return sock; }
    int receive_buffer_size() const { return recv_buffer_size; }

private:
    void set_receive_buffer(int size);

    int mode;
    platform::socket_handle sock = platform::invalid_socket;
    platform::Ipv4Address peer_addr;
    std::vector<char> recv_buffer;
    int recv_buffer_size = 0;
    int local_port;
    int remote_port;
    // Whether start() holds a reference on the socket layer (released by stop()).
    bool holds_socket_layer = false;
};

} // namespace korvale::comm
