// Sockets and host queries on POSIX systems: BSD sockets behind the Winsock
// shapes of the seam. A SOCKET is the file descriptor; there is no start-up.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "descriptor.h"
#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

int startup()
{
    return 0;
}

void cleanup() {}

SOCKET openStream()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    return fd < 0 ? INVALID_SOCKET : fd;
}

int bindAnyAddress(SOCKET s, uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    return ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ? 0 : SOCKET_ERROR;
}

int listenOn(SOCKET s, int backlog)
{
    return ::listen(s, backlog) == 0 ? 0 : SOCKET_ERROR;
}

int closeSocket(SOCKET s)
{
    return ::close(s) == 0 ? 0 : SOCKET_ERROR;
}

int receive(SOCKET s, char* buffer, int length, int flags)
{
    if (length < 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    for (;;) {
        ssize_t n = ::recv(s, buffer, static_cast<size_t>(length), flags);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n < 0 ? SOCKET_ERROR : static_cast<int>(n);
    }
}

// As Winsock's blocking send: returns only when every byte is handed over
// or the connection failed. A send that a signal interrupts, before or after
// part of the bytes left, goes on with the rest. On a socket the caller made
// non-blocking (or gave a send time-out) a send that would wait ends the
// call with the count handed over so far, or SOCKET_ERROR when that is none.
int sendBytes(SOCKET s, const char* buffer, int length, int flags)
{
    if (length < 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    int sent = 0;
    do {
        // A peer that has gone away is an error result, not SIGPIPE.
        ssize_t n = ::send(s, buffer + sent, static_cast<size_t>(length - sent), flags | MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<int>(n);
        } else if (n == 0) {
            break;  // nothing taken (an empty send)
        } else if (errno == EINTR) {
            continue;
        } else if ((errno == EAGAIN || errno == EWOULDBLOCK) && sent > 0) {
            return sent;
        } else {
            return SOCKET_ERROR;
        }
    } while (sent < length);
    return sent;
}

int pending(SOCKET s)
{
    int waiting = 0;
    return ::ioctl(s, FIONREAD, &waiting) == 0 ? waiting : SOCKET_ERROR;
}

int hostName(char* buffer, int length)
{
    if (buffer == nullptr || length <= 0) {
        return SOCKET_ERROR;
    }
    if (::gethostname(buffer, static_cast<size_t>(length)) != 0) {
        return SOCKET_ERROR;
    }
    buffer[length - 1] = '\0';
    return 0;
}

// The host entry lookup, as gethostbyname answers it (same order of
// addresses), through the re-entrant form.
bool hostAddress(const char* name, uint8_t address[4])
{
    if (name == nullptr) {
        return false;
    }
    std::vector<char> work(4096);
    for (int attempt = 0; attempt < 6; ++attempt) {
        hostent entry{};
        hostent* result = nullptr;
        int error = 0;
        int rc = ::gethostbyname_r(name, &entry, work.data(), work.size(), &result, &error);
        if (rc == ERANGE) {
            work.resize(work.size() * 2);
            continue;
        }
        if (rc != 0 || result == nullptr || result->h_addrtype != AF_INET || result->h_length != 4 ||
            result->h_addr_list == nullptr || result->h_addr_list[0] == nullptr) {
            return false;
        }
        std::memcpy(address, result->h_addr_list[0], 4);
        return true;
    }
    return false;
}

void addressText(const uint8_t address[4], char* text, std::size_t size)
{
    if (text == nullptr || size == 0) {
        return;
    }
    std::snprintf(text, size, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
}

SOCKET listenLoopback(uint16_t port, int backlog)
{
    Descriptor fd(::socket(AF_INET, SOCK_STREAM, 0));
    if (!fd) {
        return INVALID_SOCKET;
    }
    int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.get(), backlog) != 0) {
        return INVALID_SOCKET;
    }
    return fd.release();
}

uint16_t localPort(SOCKET s)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 || address.sin_family != AF_INET) {
        return 0;
    }
    return ntohs(address.sin_port);
}

SOCKET acceptOn(SOCKET listener)
{
    for (;;) {
        int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0 && errno == EINTR) {
            continue;
        }
        return fd < 0 ? INVALID_SOCKET : fd;
    }
}

// connect, carried to its end when a signal interrupts it: the connection
// goes on being made, so the call waits for it and takes its outcome.
bool connectWhole(int fd, const sockaddr* address, socklen_t length)
{
    if (::connect(fd, address, length) == 0) {
        return true;
    }
    if (errno != EINTR) {
        return false;
    }
    pollfd p{fd, POLLOUT, 0};
    while (::poll(&p, 1, -1) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

SOCKET connectTo(const char* host, uint16_t port)
{
    if (host == nullptr) {
        return INVALID_SOCKET;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    char service[8];
    std::snprintf(service, sizeof service, "%u", static_cast<unsigned>(port));
    if (::getaddrinfo(host, service, &hints, &list) != 0) {
        return INVALID_SOCKET;
    }
    Descriptor fd;
    for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
        fd.reset(::socket(a->ai_family, a->ai_socktype, a->ai_protocol));
        if (fd && connectWhole(fd.get(), a->ai_addr, a->ai_addrlen)) {
            break;
        }
        fd.reset();
    }
    ::freeaddrinfo(list);
    return fd ? fd.release() : INVALID_SOCKET;
}

bool setReceiveTimeout(SOCKET s, uint32_t milliseconds)
{
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(milliseconds / 1000);
    tv.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
    return ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

int shutdownSend(SOCKET s)
{
    return ::shutdown(s, SHUT_WR) == 0 ? 0 : SOCKET_ERROR;
}

}  // namespace

SocketOps makeSocketOps()
{
    SocketOps table{};
    table.startup = startup;
    table.cleanup = cleanup;
    table.openStream = openStream;
    table.bindAnyAddress = bindAnyAddress;
    table.listen = listenOn;
    table.close = closeSocket;
    table.recv = receive;
    table.send = sendBytes;
    table.pending = pending;
    table.hostName = hostName;
    table.hostAddress = hostAddress;
    table.addressText = addressText;
    table.listenLoopback = listenLoopback;
    table.localPort = localPort;
    table.accept = acceptOn;
    table.connectTo = connectTo;
    table.setReceiveTimeout = setReceiveTimeout;
    table.shutdownSend = shutdownSend;
    return table;
}

}  // namespace platform
}  // namespace ktu
