// Test helpers for the communication tests: connected socket pairs with a
// scripted peer, and pseudo-terminals standing in for serial lines.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuPlatform.h"
#include "ktuTestSupport.h"

#if !defined(_WIN32)
#  include <sys/socket.h>
#endif

namespace ktu {
namespace test {


// A loopback TCP connection, or (POSIX) a socketpair.
enum class Transport { Tcp, SocketPair };
inline const char* transportName(Transport t) { return t == Transport::Tcp ? "Tcp" : "SocketPair"; }
#if defined(_WIN32)
inline const std::vector<Transport> kTransports = {Transport::Tcp};
#else
inline const std::vector<Transport> kTransports = {Transport::Tcp, Transport::SocketPair};
#endif

inline bool sendAll(SOCKET s, const std::string& bytes)
{
    for (std::size_t sent = 0; sent < bytes.size();) {
        int n = platform::ops().socket.send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Two connected stream sockets, `reader` for the library and `peer` for the
// test; receives are bounded so that a fault cannot hang a test.
class Connection {
public:
    explicit Connection(Transport transport)
    {
        auto& net = platform::ops().socket;
        SOCKET listener = transport == Transport::Tcp ? net.listenLoopback(0, 1) : INVALID_SOCKET;
        if (listener != INVALID_SOCKET) {
            peer = net.connectTo("127.0.0.1", net.localPort(listener));
            reader = peer != INVALID_SOCKET ? net.accept(listener) : INVALID_SOCKET;
            net.close(listener);
        }
#if !defined(_WIN32)
        int fds[2];
        if (transport == Transport::SocketPair && ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0) {
            reader = fds[0];
            peer = fds[1];
        }
#endif
        for (SOCKET s : {reader, peer}) {
            net.setReceiveTimeout(s, 5000);  // fails harmlessly on a missing end
        }
    }
    ~Connection()
    {
        finishSending();
        for (SOCKET s : {reader, peer}) {
            platform::ops().socket.close(s);  // fails harmlessly on a missing end
        }
    }
    bool ok() const { return reader != INVALID_SOCKET && peer != INVALID_SOCKET; }

    // The peer sends each chunk from a thread of its own, pausing before each
    // (with no pause send() waits for the thread), then maybe ends its side.
    void send(const std::vector<std::string>& chunks, bool thenClose = true,
              std::chrono::milliseconds pause = std::chrono::milliseconds(0))
    {
        sender_ = std::thread([s = peer, chunks, thenClose, pause] {
            for (const auto& chunk : chunks) {
                std::this_thread::sleep_for(pause);
                if (!sendAll(s, chunk)) {
                    break;
                }
            }
            if (thenClose) {
                platform::ops().socket.shutdownSend(s);
            }
        });
        if (pause.count() == 0) {
            finishSending();
        }
    }

    // Everything the reader can still receive until the peer's end is closed.
    std::string drainReader()
    {
        finishSending();
        std::string rest;
        char buffer[4096];
        for (int n; (n = platform::ops().socket.recv(reader, buffer, sizeof buffer, 0)) > 0;) {
            rest.append(buffer, static_cast<std::size_t>(n));
        }
        return rest;
    }

    SOCKET reader = INVALID_SOCKET;
    SOCKET peer = INVALID_SOCKET;

private:
    void finishSending()
    {
        if (sender_.joinable()) {
            sender_.join();
        }
    }
    std::thread sender_;
};

// A frame: start marker, a length field of `width` characters (the frame's
// length right-aligned, or `field` padded on the right), payload, end marker.
inline std::string buildFrame(const std::string& payload, const std::optional<std::string>& field = std::nullopt,
                              std::size_t width = 10)
{
    std::string text = field ? *field : std::to_string(40 + width + payload.size());
    text.insert(0, field || text.size() >= width ? 0 : width - text.size(), ' ');
    text.resize(width, ' ');
    return "KS_NET_API_MSG_START" + text + payload + "KS_NET_API_MSG_END00";
}

// A pseudo-terminal standing in for the serial line of COM<comPort>; the test
// reads and writes the other side. POSIX maps the port through
// KTU_SERIAL_PORTS; under Wine a python3 helper makes the pair, points the
// port's device entry at it and relays the other side over loopback. On
// Windows itself ok() is false.
class PseudoTerminal {
public:
    explicit PseudoTerminal(unsigned comPort);
    ~PseudoTerminal();
    bool ok() const { return ok_; }
    const std::string& problem() const { return problem_; }  // why ok() is false
    const std::string& slavePath() const { return slave_; }
    bool write(const std::string& bytes);
    // What arrives on the other side within `wait`, up to `limit` bytes.
    std::string read(std::size_t limit, std::chrono::milliseconds wait = std::chrono::milliseconds(2000));

private:
    bool ok_ = false;
    std::string problem_, slave_, portName_;
#if defined(_WIN32)
    SOCKET link_ = INVALID_SOCKET;
    void* helper_ = nullptr;
    std::string infoFile_, scriptFile_;
#else
    int master_ = -1;
#endif
};

}  // namespace test
}  // namespace ktu
