// POSIX sockets and sleep (Linux and other Unix systems).
#include "platform/net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <ctime>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>

namespace korvale::platform {

namespace {

int to_descriptor(socket_handle sock) {
    return sock == invalid_socket ? -1 : static_cast<int>(sock);
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

// There is no socket layer to start or stop here.
bool socket_layer_startup() {
    return true;
}
void socket_layer_cleanup() {}

socket_handle open_udp_socket() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    return fd < 0 ? invalid_socket : static_cast<socket_handle>(fd);
}

void close_socket(socket_handle sock) {
    if (sock != invalid_socket) {
        ::close(to_descriptor(sock));
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
        *error = result != 0 ? result : EAI_NONAME;
        return false;
    }
    sockaddr_in first;
    std::memcpy(&first, found->ai_addr, sizeof first);
    ::freeaddrinfo(found);
    *address = ntohl(first.sin_addr.s_addr);
    return true;
}

bool send_to(socket_handle sock, const void* data, int length, Ipv4Address peer) {
    if (length < 0) {
        errno = EINVAL;
        return false;
    }
    const sockaddr_in to = to_sockaddr(peer);
    return ::sendto(to_descriptor(sock), data, static_cast<std::size_t>(length), 0,
                    reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0;
}

int receive_from(socket_handle sock, void* buffer, int capacity, Ipv4Address* sender) {
    if (capacity < 0) {
        errno = EINVAL;
        return -1;
    }
    sockaddr_in from;
    std::memset(&from, 0, sizeof from);
    socklen_t from_length = sizeof from;
    const ssize_t received =
        ::recvfrom(to_descriptor(sock), buffer, static_cast<std::size_t>(capacity), 0,
                   reinterpret_cast<sockaddr*>(&from), &from_length);
    if (received < 0) {
        return -1;
    }
    if (sender != nullptr) {
        *sender = from_sockaddr(from);
    }
    return static_cast<int>(received);
}

bool bind_socket(socket_handle sock, Ipv4Address local) {
    const sockaddr_in at = to_sockaddr(local);
    return ::bind(to_descriptor(sock), reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0;
}

bool local_address(socket_handle sock, Ipv4Address* local) {
    sockaddr_in at;
    std::memset(&at, 0, sizeof at);
    socklen_t length = sizeof at;
    if (::getsockname(to_descriptor(sock), reinterpret_cast<sockaddr*>(&at), &length) != 0) {
        return false;
    }
    *local = from_sockaddr(at);
    return true;
}

// Linux rejects a one-byte value for these options, so the value is an int here.
bool enable_option(socket_handle sock, SocketOption option) {
    const int on = 1;
    return ::setsockopt(to_descriptor(sock), SOL_SOCKET, option_name(option), &on, sizeof on) == 0;
}

bool option_enabled(socket_handle sock, SocketOption option) {
    int value = 0;
    socklen_t length = sizeof value;
    if (::getsockopt(to_descriptor(sock), SOL_SOCKET, option_name(option), &value, &length) != 0) {
        return false;
    }
    return value != 0;
}

bool set_receive_timeout(socket_handle sock, int timeout_ms) {
    timeval timeout;
    timeout.tv_sec = timeout_ms / 1000;
    timeout.tv_usec = (timeout_ms % 1000) * 1000;
    return ::setsockopt(to_descriptor(sock), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) ==
           0;
}

int last_error() {
    return errno;
}

int message_too_long_error() {
    return EMSGSIZE;
}

void sleep_ms(int ms) {
    if (ms <= 0) {
        return;
    }
    timespec remaining;
    remaining.tv_sec = ms / 1000;
    remaining.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

} // namespace korvale::platform
