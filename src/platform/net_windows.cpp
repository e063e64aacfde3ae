// Windows Sockets 2 and Sleep.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/net.h"

#include <cstring>

namespace korvale::platform {

namespace {

// Windows Sockets version 2.2.
constexpr WORD SOCKET_LAYER_VERSION = MAKEWORD(2, 2);

SOCKET to_socket(socket_handle sock) {
    return sock == invalid_socket ? INVALID_SOCKET : static_cast<SOCKET>(sock);
}

sockaddr_in to_sockaddr(Ipv4Address a) {
    sockaddr_in s;
    std::memset(&s, 0, sizeof s);
    s.sin_family = AF_INET;
    s.sin_port = htons(a.port);
    s.sin_addr.s_addr = htonl(a.address);
    return s;
}

Ipv4Address from_sockaddr(const sockaddr_in& s) {
    return Ipv4Address{ntohl(s.sin_addr.s_addr), ntohs(s.sin_port)};
}

int option_name(SocketOption option) {
    return option == SocketOption::broadcast ? SO_BROADCAST : SO_REUSEADDR;
}

} // namespace

bool socket_layer_startup() {
    WSADATA wsa_data;
    return ::WSAStartup(SOCKET_LAYER_VERSION, &wsa_data) == 0;
}

void socket_layer_cleanup() {
    ::WSACleanup();
}

socket_handle open_udp_socket() {
    const SOCKET sock = ::socket(AF_INET, SOCK_DGRAM, 0);
    return sock == INVALID_SOCKET ? invalid_socket : static_cast<socket_handle>(sock);
}

void close_socket(socket_handle sock) {
    if (sock != invalid_socket) {
        ::closesocket(to_socket(sock));
    }
}

std::uint32_t parse_dotted_address(const char* text) {
    if (text == nullptr) {
        return address_none;
    }
    return ntohl(::inet_addr(text));
}

bool resolve_ipv4(const char* host, std::uint32_t* address, int* error) {
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int result = ::getaddrinfo(host, nullptr, &hints, &found);
    if (result != 0 || found == nullptr || found->ai_addr == nullptr ||
        found->ai_family != AF_INET) {
        if (found != nullptr) {
            ::freeaddrinfo(found);
        }
        *error = result != 0 ? result : WSAHOST_NOT_FOUND;
        return false;
    }
    sockaddr_in first;
    std::memcpy(&first, found->ai_addr, sizeof first);
    ::freeaddrinfo(found);
    *address = ntohl(first.sin_addr.s_addr);
    return true;
}

bool send_to(socket_handle sock, const void* data, int length, Ipv4Address peer) {
    const sockaddr_in to = to_sockaddr(peer);
    return ::sendto(to_socket(sock), static_cast<const char*>(data), length, 0,
                    reinterpret_cast<const sockaddr*>(&to), sizeof to) != SOCKET_ERROR;
}

int receive_from(socket_handle sock, void* buffer, int capacity, Ipv4Address* sender) {
    sockaddr_in from;
    std::memset(&from, 0, sizeof from);
    int from_length = sizeof from;
    const int received = ::recvfrom(to_socket(sock), static_cast<char*>(buffer), capacity, 0,
                                    reinterpret_cast<sockaddr*>(&from), &from_length);
    if (received == SOCKET_ERROR) {
        return -1;
    }
    if (sender != nullptr) {
        *sender = from_sockaddr(from);
    }
    return received;
}

bool bind_socket(socket_handle sock, Ipv4Address local) {
    const sockaddr_in at = to_sockaddr(local);
    return ::bind(to_socket(sock), reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0;
}

bool local_address(socket_handle sock, Ipv4Address* local) {
    sockaddr_in at;
    std::memset(&at, 0, sizeof at);
    int length = sizeof at;
    if (::getsockname(to_socket(sock), reinterpret_cast<sockaddr*>(&at), &length) != 0) {
        return false;
    }
    *local = from_sockaddr(at);
    return true;
}

// Windows Sockets takes these boolean options as a one-byte value.
bool enable_option(socket_handle sock, SocketOption option) {
    const char on = 1;
    return ::setsockopt(to_socket(sock), SOL_SOCKET, option_name(option), &on, 1) == 0;
}

bool option_enabled(socket_handle sock, SocketOption option) {
    BOOL value = FALSE;
    int length = sizeof value;
    if (::getsockopt(to_socket(sock), SOL_SOCKET, option_name(option),
                     reinterpret_cast<char*>(&value), &length) != 0) {
        return false;
    }
    return value != FALSE;
}

bool set_receive_timeout(socket_handle sock, int timeout_ms) {
    const DWORD timeout = timeout_ms > 0 ? static_cast<DWORD>(timeout_ms) : 0;
    return ::setsockopt(to_socket(sock), SOL_SOCKET, SO_RCVTIMEO,
                        reinterpret_cast<const char*>(&timeout), sizeof timeout) == 0;
}

int last_error() {
    return ::WSAGetLastError();
}

int message_too_long_error() {
    return WSAEMSGSIZE;
}

// Sleep takes an unsigned count: a negative pause would be taken as a wait of weeks (or, for -1,
// forever), so it is no pause at all.
void sleep_ms(int ms) {
    if (ms < 0) {
        return;
    }
    ::Sleep(static_cast<DWORD>(ms));
}

} // namespace korvale::platform
