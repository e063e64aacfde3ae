// The operating system's sockets and sleep, behind one small interface: Windows Sockets on
// Windows, POSIX sockets elsewhere. Nothing outside this directory knows which one it runs on.
// Every function is safe to call with any argument and never throws.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvale::platform {

// A socket of the platform, wide enough for both kinds (a descriptor or a SOCKET).
using socket_handle = std::uintptr_t;
constexpr socket_handle invalid_socket = ~socket_handle{0};

// "No address": what a text that is no dotted IPv4 address parses to. Also the limited
// broadcast address 255.255.255.255.
constexpr std::uint32_t address_none = 0xFFFFFFFFu;
constexpr std::uint32_t address_any = 0u;
constexpr std::uint32_t address_broadcast = 0xFFFFFFFFu;

// An IPv4 address and UDP port, both in host byte order (127.0.0.1 is 0x7F000001).
struct Ipv4Address {
    std::uint32_t address = address_any;
    std::uint16_t port = 0;
};

inline bool operator==(const Ipv4Address& a, const Ipv4Address& b) {
    return a.address == b.address && a.port == b.port;
}

// Boolean socket options at the socket level.
enum class SocketOption { broadcast, reuse_address };

// Takes one reference on the socket layer (version 2.2 on Windows); true on success. Every
// successful call is balanced by one socket_layer_cleanup(). Always succeeds elsewhere.
bool socket_layer_startup();
void socket_layer_cleanup();

// A new UDP socket on IPv4, or invalid_socket (the reason in last_error()).
socket_handle open_udp_socket();
// Closes a socket; invalid_socket is ignored.
void close_socket(socket_handle sock);

// The address of a dotted IPv4 text ("a.b.c.d" and the shorter forms inet_addr accepts), or
// address_none when the text is not one (also for a null text).
std::uint32_t parse_dotted_address(const char* text);
// The first IPv4 address of a host name. On failure returns false and sets error to the
// resolver's own error code.
bool resolve_ipv4(const char* host, std::uint32_t* address, int* error);

// Sends one datagram of length bytes to peer; false on failure (the reason in last_error()).
bool send_to(socket_handle sock, const void* data, int length, Ipv4Address peer);
// Receives one datagram of at most capacity bytes and its sender; the datagram's length, or -1
// on failure or when the receive timeout passes.
int receive_from(socket_handle sock, void* buffer, int capacity, Ipv4Address* sender);
// Binds the socket to a local address; false on failure.
bool bind_socket(socket_handle sock, Ipv4Address local);
// The local address a socket is bound to; false on failure.
bool local_address(socket_handle sock, Ipv4Address* local);
// Turns a boolean option on; false on failure.
bool enable_option(socket_handle sock, SocketOption option);
// Whether a boolean option is on (false also when it cannot be read).
bool option_enabled(socket_handle sock, SocketOption option);
// Makes receive_from give up after timeout_ms milliseconds; false on failure.
bool set_receive_timeout(socket_handle sock, int timeout_ms);

// The error code of the last failed socket call on this thread, in the platform's own numbers.
int last_error();
// The platform's code for a datagram too long to send.
int message_too_long_error();

// Pauses the calling thread for ms milliseconds; a negative pause is no pause.
void sleep_ms(int ms);

} // namespace korvale::platform
