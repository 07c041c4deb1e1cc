// Fault sweeps of the framed socket messages, the host and port queries and
// the serial port.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "../comm/ktuCommPeer.h"
#include "faultSweep.h"

namespace ktu {
namespace test {
namespace {

#if defined(_WIN32)
constexpr Transport kTransport = Transport::Tcp;
#else
constexpr Transport kTransport = Transport::SocketPair;
#endif

using SocketSweep = FaultSweep;

TEST_F(SocketSweep, FramedAndPlainReads)
{
    const std::string frame = buildFrame("payload of the frame");
    sweep("ktuSocketUtils::readMessageFromSocket(framed)", [&] {
        Connection link(kTransport);
        ASSERT_TRUE(link.ok());
        link.send({frame});
        char buffer[256];
        unsigned int count = 7;
        SOCKET s = link.reader;
        const int result =
            injected([&] { return ktuSocketUtils::readMessageFromSocket(&s, 20, 29, buffer, sizeof buffer, &count); });
        ASSERT_TRUE(result == 1 || (result == 0 && fired())) << result;
        if (result == 1) {
            EXPECT_EQ(std::string(buffer, count), frame);
        } else {
            EXPECT_TRUE(count == 7 || count == 0) << count;
        }
    });
    sweep("ktuSocketUtils::readMessageFromSocket(plain)", [&] {
        Connection link(kTransport);
        ASSERT_TRUE(link.ok());
        link.send({"0123456789"});
        char buffer[10];
        unsigned int count = 7;
        SOCKET s = link.reader;
        const int result =
            injected([&] { return ktuSocketUtils::readMessageFromSocket(&s, buffer, sizeof buffer, &count); });
        ASSERT_TRUE(result == 1 || (result == 0 && fired())) << result;
        if (result == 1) {
            EXPECT_EQ(std::string(buffer, count), "0123456789");
        } else {
            EXPECT_EQ(count, 7u);
        }
    });
    sweep("ktuSocketUtils::writeMessageToSocket", [&] {
        Connection link(kTransport);
        ASSERT_TRUE(link.ok());
        SOCKET s = link.reader;
        std::string message = frame;
        const int result = injected([&] {
            return ktuSocketUtils::writeMessageToSocket(&s, 10, message.data(), static_cast<unsigned>(message.size()));
        });
        ASSERT_TRUE(result == 1 || (result == 0 && fired())) << result;
        platform::ops().socket.shutdownSend(link.reader);
        std::string arrived;
        char chunk[256];
        for (int n; (n = platform::ops().socket.recv(link.peer, chunk, sizeof chunk, 0)) > 0;) {
            arrived.append(chunk, static_cast<std::size_t>(n));
        }
        EXPECT_EQ(arrived, result == 1 ? frame : "");
    });
}

// "NA", or four decimal numbers joined by dots.
bool isAddressText(const char* text)
{
    if (std::strcmp(text, "NA") == 0) {
        return true;
    }
    unsigned parts[4];
    char end = 0;
    return std::sscanf(text, "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3], &end) == 4;
}

TEST_F(SocketSweep, HostAndPortQueries)
{
    sweep("ktuSocketUtils::getIPAddress(text)", [&] {
        char text[32] = "NA";
        injected([&] { ktuSocketUtils::getIPAddress(text); });
        EXPECT_TRUE(isAddressText(text)) << text;
    });
    sweep("ktuSocketUtils::getIPAddress(octets)", [&] {
        char text[32] = "NA";
        int octets[4] = {-1, -1, -1, -1};
        injected([&] { ktuSocketUtils::getIPAddress(octets[0], octets[1], octets[2], octets[3], text); });
        EXPECT_TRUE(isAddressText(text)) << text;
        if (std::strcmp(text, "NA") != 0) {
            EXPECT_EQ(text, std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
                                std::to_string(octets[2]) + "." + std::to_string(octets[3]));
        }
    });
    // A port that the system just handed out and took back is free.
    SOCKET probe = platform::ops().socket.listenLoopback(0, 1);
    ASSERT_NE(probe, INVALID_SOCKET);
    const unsigned port = platform::ops().socket.localPort(probe);
    platform::ops().socket.close(probe);
    sweep("ktuSocketUtils::checkSocketOpen", [&] {
        EXPECT_TRUE(injected([&] { return ktuSocketUtils::checkSocketOpen(port); }) || fired());
    });
    sweep("ktuSocketUtils::checkConsecutiveSocketsOpen", [&] {
        injected([&] { return ktuSocketUtils::checkConsecutiveSocketsOpen(port, 2); });
    });
    sweep("ktuSocketUtils::getNextFreeSocketPortNumber", [&] {
        int found = -1;
        const bool done = injected([&] { return ktuSocketUtils::getNextFreeSocketPortNumber(&found, 1); });
        EXPECT_TRUE(done || fired());
        if (done) {
            EXPECT_GE(found, 100);
        }
    });
}

// A serial line standing in for the system's: it counts the ports it opens
// and keeps what is written to them.
struct FakeLine {
    inline static int openPorts = 0;
    inline static std::string written;
    static platform::SerialHandle handle() { return reinterpret_cast<platform::SerialHandle>(uintptr_t{0x5E1A1}); }

    static platform::SerialHandle open(const char*)
    {
        ++openPorts;
        return handle();
    }
    static bool close(platform::SerialHandle)
    {
        --openPorts;
        return true;
    }
    static bool ok(platform::SerialHandle, uint32_t, uint32_t) { return true; }
    static bool settings(platform::SerialHandle, const platform::SerialLineSettings&) { return true; }
    static bool timeouts(platform::SerialHandle, const platform::SerialTimeouts&) { return true; }
    static bool escape(platform::SerialHandle, platform::SerialEscape) { return true; }
    static bool write(platform::SerialHandle, const void* buffer, uint32_t size, uint32_t* done)
    {
        written.append(static_cast<const char*>(buffer), size);
        *done = size;
        return true;
    }
    static bool read(platform::SerialHandle, void* buffer, uint32_t size, uint32_t* done)
    {
        *done = std::min<uint32_t>(size, 5);
        std::memcpy(buffer, "12345", *done);
        return true;
    }
    static bool waiting(platform::SerialHandle, uint32_t* inQueue)
    {
        *inQueue = 5;
        return true;
    }
    static bool cancel(platform::SerialHandle) { return true; }
};

class SerialSweep : public FaultSweep {
protected:
    platform::SerialOps& line = platform::ops().serial;
    ScopedOverride<decltype(line.open)> open{line.open, &FakeLine::open};
    ScopedOverride<decltype(line.close)> close{line.close, &FakeLine::close};
    ScopedOverride<decltype(line.setupQueues)> queues{line.setupQueues, &FakeLine::ok};
    ScopedOverride<decltype(line.applyLineSettings)> settings{line.applyLineSettings, &FakeLine::settings};
    ScopedOverride<decltype(line.setTimeouts)> timeouts{line.setTimeouts, &FakeLine::timeouts};
    ScopedOverride<decltype(line.escape)> escape{line.escape, &FakeLine::escape};
    ScopedOverride<decltype(line.write)> write{line.write, &FakeLine::write};
    ScopedOverride<decltype(line.read)> read{line.read, &FakeLine::read};
    ScopedOverride<decltype(line.clearError)> waiting{line.clearError, &FakeLine::waiting};
    ScopedOverride<decltype(line.cancelIo)> cancel{line.cancelIo, &FakeLine::cancel};
};

TEST_F(SerialSweep, PortOperations)
{
    sweep("ktuSSerialPortComm::openComPort", [&] {
        void* port = injected([] { return ktuSSerialPortComm::openComPort(3, 9600); });
        EXPECT_TRUE(port != platform::invalidSerialHandle() || fired());
        if (port != platform::invalidSerialHandle()) {
            EXPECT_EQ(port, FakeLine::handle());
            EXPECT_EQ(ktuSSerialPortComm::closeComPort(port), 1);
        }
        EXPECT_EQ(FakeLine::openPorts, 0);
    });
    sweep("ktuSSerialPortComm::closeComPort", [&] {
        void* port = ktuSSerialPortComm::openComPort(3, 9600);
        ASSERT_EQ(port, FakeLine::handle());
        // 1 whatever the close reports.
        EXPECT_EQ(injected([&] { return ktuSSerialPortComm::closeComPort(port); }), 1);
        EXPECT_EQ(FakeLine::openPorts, 0);
    });
    sweep("ktuSSerialPortComm::writeComPort", [&] {
        FakeLine::written.clear();
        char bytes[] = "command";
        const int result = injected([&] { return ktuSSerialPortComm::writeComPort(FakeLine::handle(), 7, bytes); });
        ASSERT_TRUE(result == 1 || (result == 0 && fired())) << result;
        if (result == 1) {
            EXPECT_EQ(FakeLine::written, "command");
        }
    });
    sweep("ktuSSerialPortComm::readComPort", [&] {
        char buffer[16] = "";
        unsigned long count = 99;
        const int result =
            injected([&] { return ktuSSerialPortComm::readComPort(FakeLine::handle(), &count, 3, buffer); });
        ASSERT_TRUE(result == 1 || (result == 0 && fired())) << result;
        EXPECT_LE(count, result == 1 ? 3ul : 99ul);
    });
}

}  // namespace
}  // namespace test
}  // namespace ktu
