// Sockets and host queries on Windows: Winsock 1.1 calls.
#include "ktuWinTypes.h"  // winsock2.h before windows.h

#include <cstring>

#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

int startup()
{
    WSADATA data;
    return ::WSAStartup(0x0101, &data);
}

void cleanup()
{
    ::WSACleanup();
}

SOCKET openStream()
{
    return ::socket(AF_INET, SOCK_STREAM, 0);
}

int bindAnyAddress(SOCKET s, uint16_t port)
{
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = ::htons(port);
    address.sin_addr.s_addr = ::htonl(INADDR_ANY);
    return ::bind(s, reinterpret_cast<sockaddr*>(&address), 16);
}

int listenOn(SOCKET s, int backlog)
{
    return ::listen(s, backlog);
}

int closeSocket(SOCKET s)
{
    return ::closesocket(s);
}

int receive(SOCKET s, char* buffer, int length, int flags)
{
    return ::recv(s, buffer, length, flags);
}

int sendBytes(SOCKET s, const char* buffer, int length, int flags)
{
    return ::send(s, buffer, length, flags);
}

int pending(SOCKET s)
{
    u_long waiting = 0;
    if (::ioctlsocket(s, FIONREAD, &waiting) != 0) {
        return SOCKET_ERROR;
    }
    return waiting > 0x7FFFFFFFul ? 0x7FFFFFFF : static_cast<int>(waiting);
}

int hostName(char* buffer, int length)
{
    return ::gethostname(buffer, length);
}

bool hostAddress(const char* name, uint8_t address[4])
{
    hostent* entry = ::gethostbyname(name);
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_length != 4 || entry->h_addr_list == nullptr ||
        entry->h_addr_list[0] == nullptr) {
        return false;
    }
    std::memcpy(address, entry->h_addr_list[0], 4);
    return true;
}

void addressText(const uint8_t address[4], char* text, std::size_t size)
{
    if (text == nullptr || size == 0) {
        return;
    }
    in_addr value;
    std::memcpy(&value, address, 4);
    const char* dotted = ::inet_ntoa(value);
    text[0] = '\0';
    if (dotted != nullptr) {
        std::strncpy(text, dotted, size - 1);
        text[size - 1] = '\0';
    }
}

// The peer side keeps Winsock started for the life of the process.
void ensureStarted()
{
    static const int started = [] {
        WSADATA data;
        return ::WSAStartup(0x0202, &data);
    }();
    (void)started;
}

SOCKET listenLoopback(uint16_t port, int backlog)
{
    ensureStarted();
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        return INVALID_SOCKET;
    }
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = ::htons(port);
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s, backlog) != 0) {
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

uint16_t localPort(SOCKET s)
{
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    int length = sizeof address;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ::ntohs(address.sin_port);
}

SOCKET acceptOn(SOCKET listener)
{
    return ::accept(listener, nullptr, nullptr);
}

SOCKET connectTo(const char* host, uint16_t port)
{
    ensureStarted();
    if (host == nullptr) {
        return INVALID_SOCKET;
    }
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = ::htons(port);
    address.sin_addr.s_addr = ::inet_addr(host);
    if (address.sin_addr.s_addr == INADDR_NONE) {
        hostent* entry = ::gethostbyname(host);
        if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list[0] == nullptr) {
            return INVALID_SOCKET;
        }
        std::memcpy(&address.sin_addr, entry->h_addr_list[0], 4);
    }
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        return INVALID_SOCKET;
    }
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

bool setReceiveTimeout(SOCKET s, uint32_t milliseconds)
{
    DWORD value = milliseconds;
    return ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

int shutdownSend(SOCKET s)
{
    return ::shutdown(s, SD_SEND);
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
