// Test helpers for the socket tests: a loopback connection with a scripted
// peer, and the frames it sends.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ktuTestSupport.h"

namespace ktu {
namespace test {

// A loopback TCP connection (a test fails when none can be made): `reader` for
// the library, `peer` for the test. Receives time out so that a fault cannot
// hang a test.
class Connection {
public:
    Connection()
    {
        auto& net = platform::ops().socket;
        SOCKET listener = net.listenLoopback(0, 1);
        peer = net.connectTo("127.0.0.1", net.localPort(listener));
        reader = peer != INVALID_SOCKET ? net.accept(listener) : INVALID_SOCKET;
        net.close(listener);
        net.setReceiveTimeout(reader, 5000);
        EXPECT_TRUE(reader != INVALID_SOCKET && peer != INVALID_SOCKET) << "no loopback connection";
    }
    ~Connection()
    {
        if (sender_.joinable()) {
            sender_.join();
        }
        platform::ops().socket.close(reader);
        platform::ops().socket.close(peer);
    }

    // The peer sends the chunks from a thread of its own, `pause` before each,
    // and ends its side; with no pause this waits until all is sent.
    void send(const std::vector<std::string>& chunks, std::chrono::milliseconds pause = {})
    {
        sender_ = std::thread([s = peer, chunks, pause] {
            for (const auto& chunk : chunks) {
                std::this_thread::sleep_for(pause);
                platform::ops().socket.send(s, chunk.data(), static_cast<int>(chunk.size()), 0);
            }
            platform::ops().socket.shutdownSend(s);
        });
        if (pause.count() == 0) {
            sender_.join();
        }
    }

    // Everything the reader can still receive until the peer's end is closed.
    std::string drainReader()
    {
        if (sender_.joinable()) {
            sender_.join();
        }
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

}  // namespace test
}  // namespace ktu
