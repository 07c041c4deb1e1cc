// Fault sweeps of the framed socket messages, the host and port queries and
// the serial port.
#include <cstdio>
#include <cstring>

#include "../comm/ktuCommPeer.h"
#include "faultSweep.h"

namespace ktu {
namespace test {
namespace {

using CommSweep = FaultSweep;

TEST_F(CommSweep, MessagesAndHostAndPortQueries)
{
    const std::string frame = buildFrame("payload of the frame");
    sweep("ktuSocketUtils::readMessageFromSocket(framed)", [&] {
        Connection link;
        link.send({frame});
        char buffer[256];
        unsigned int count = 7;
        if (succeeds(
                [&] { return ktuSocketUtils::readMessageFromSocket(&link.reader, 20, 29, buffer, 256, &count); })) {
            EXPECT_EQ(std::string(buffer, count), frame);
        } else {
            EXPECT_TRUE(count == 7 || count == 0) << count;
        }
    });
    sweep("ktuSocketUtils::readMessageFromSocket(plain)", [&] {
        Connection link;
        link.send({"0123456789"});
        char buffer[10];
        unsigned int count = 7;
        if (succeeds([&] { return ktuSocketUtils::readMessageFromSocket(&link.reader, buffer, 10, &count); })) {
            EXPECT_EQ(std::string(buffer, count), "0123456789");
        } else {
            EXPECT_EQ(count, 7u);
        }
    });
    sweep("ktuSocketUtils::writeMessageToSocket", [&] {
        Connection link;
        char message[] = "message";
        const bool sent = succeeds([&] { return ktuSocketUtils::writeMessageToSocket(&link.peer, 7, message, 7); });
        platform::ops().socket.shutdownSend(link.peer);
        EXPECT_EQ(link.drainReader(), sent ? "message" : "");
    });
    // The address text is "NA", or the four octets' numbers joined by dots.
    sweep("ktuSocketUtils::getIPAddress(text)", [&] {
        char text[32] = "NA";
        unsigned parts[4];
        char end = 0;
        injected([&] { ktuSocketUtils::getIPAddress(text); });
        EXPECT_TRUE(std::strcmp(text, "NA") == 0 ||
                    std::sscanf(text, "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3], &end) == 4)
            << text;
    });
    sweep("ktuSocketUtils::getIPAddress(octets)", [&] {
        char text[32] = "NA";
        int octets[4] = {-1, -1, -1, -1};
        injected([&] { ktuSocketUtils::getIPAddress(octets[0], octets[1], octets[2], octets[3], text); });
        char joined[64];
        std::snprintf(joined, sizeof joined, "%d.%d.%d.%d", octets[0], octets[1], octets[2], octets[3]);
        EXPECT_TRUE(std::strcmp(text, "NA") == 0 || std::strcmp(text, joined) == 0) << text;
    });
    // A port that the system just handed out and took back is free.
    SOCKET probe = platform::ops().socket.listenLoopback(0, 1);
    ASSERT_NE(probe, INVALID_SOCKET);
    const unsigned port = platform::ops().socket.localPort(probe);
    platform::ops().socket.close(probe);
    sweep("ktuSocketUtils::checkSocketOpen", [&] { succeeds([&] { return ktuSocketUtils::checkSocketOpen(port); }); });
    sweep("ktuSocketUtils::checkConsecutiveSocketsOpen",
          [&] { injected([&] { return ktuSocketUtils::checkConsecutiveSocketsOpen(port, 2); }); });
    sweep("ktuSocketUtils::getNextFreeSocketPortNumber", [&] {
        int found = -1;
        if (succeeds([&] { return ktuSocketUtils::getNextFreeSocketPortNumber(&found, 1); })) {
            EXPECT_GE(found, 100);
        }
    });
}

TEST_F(CommSweep, SerialPort)
{
    FakeSerialLine line;
    sweep("ktuSSerialPortComm::openComPort", [&] {
        void* port = injected([] { return ktuSSerialPortComm::openComPort(3, 9600); });
        EXPECT_TRUE(port != platform::invalidSerialHandle() || fired());
        if (port != platform::invalidSerialHandle()) {
            EXPECT_EQ(port, FakeSerialLine::handle());
            EXPECT_EQ(ktuSSerialPortComm::closeComPort(port), 1);
        }
        EXPECT_EQ(FakeSerialLine::openPorts, 0);
    });
    sweep("ktuSSerialPortComm::closeComPort", [&] {
        void* port = ktuSSerialPortComm::openComPort(3, 9600);
        ASSERT_EQ(port, FakeSerialLine::handle());
        // 1 whatever the close reports.
        EXPECT_EQ(injected([&] { return ktuSSerialPortComm::closeComPort(port); }), 1);
        EXPECT_EQ(FakeSerialLine::openPorts, 0);
    });
    sweep("ktuSSerialPortComm::writeComPort", [&] {
        FakeSerialLine::written.clear();
        char bytes[] = "command";
        if (succeeds([&] { return ktuSSerialPortComm::writeComPort(FakeSerialLine::handle(), 7, bytes); })) {
            EXPECT_EQ(FakeSerialLine::written, "command");
        }
    });
    sweep("ktuSSerialPortComm::readComPort", [&] {
        char buffer[16] = "";
        unsigned long count = 99;
        const bool read =
            succeeds([&] { return ktuSSerialPortComm::readComPort(FakeSerialLine::handle(), &count, 3, buffer); });
        EXPECT_LE(count, read ? 3ul : 99ul);
    });
}

}  // namespace
}  // namespace test
}  // namespace ktu
