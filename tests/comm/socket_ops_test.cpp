// The plain read, the write, and the host and port queries.
#include <cstring>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuCommPeer.h"

namespace {

using ktu::test::Connection;
using ktu::test::ScopedOverride;
using ktu::test::Transport;
using namespace std::chrono_literals;

using SocketOps = ktu::test::LoggedTest;

// The plain read takes exactly the bytes asked for, however they arrive, and
// fails quietly (count untouched) when the peer stops short. A read of no
// bytes makes one recv of 0 bytes, which answers 0.
TEST_F(SocketOps, PlainReadTakesExactlyTheBytesAskedFor)
{
    struct Row {
        std::vector<std::string> chunks;
        unsigned size;
        int result;
        unsigned count;
        std::string stored, left;
    } rows[] = {
        {{"abc", "defg", "hij", "klmnop"}, 8, 1, 8, "abcdefgh", "ijklmnop"},
        {{"abc"}, 8, 0, 77, "abc", ""},
        {{"abc"}, 0, 0, 77, "", "abc"},
    };
    for (Transport transport : ktu::test::kTransports) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(ktu::test::transportName(transport)) + " " + row.chunks[0]);
            Connection link(transport);
            ASSERT_TRUE(link.ok());
            link.send(row.chunks, true, 2ms);
            char buffer[8] = {};
            unsigned count = 77;
            EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(&link.reader, buffer, row.size, &count), row.result);
            EXPECT_EQ(count, row.count);
            EXPECT_EQ(std::string(buffer, row.stored.size()), row.stored);
            EXPECT_EQ(link.drainReader(), row.left);
        }
    }
    EXPECT_TRUE(logs().empty());
}

// The write sends once or refuses messages shorter than asked for. Faults
// inside the operations (a null socket pointer here) cost one line naming
// the operation and answer 0; the socket is never touched.
TEST_F(SocketOps, WriteAndFaults)
{
    Connection link(Transport::Tcp);
    ASSERT_TRUE(link.ok());
    char message[64] = "0123456789";
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(&link.peer, 11, message, 10), -1);
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(&link.peer, 10, message, 10), 1);
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(&link.peer, 0, message, 0), 1);
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(&link.peer, 0, message + 4, 3), 1);
    SOCKET closed = INVALID_SOCKET;
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(&closed, 0, message, 10), 0);
    EXPECT_TRUE(logs().empty());

    unsigned count = 5;
    EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(nullptr, 20, 29, message, 64, &count), 0);
    EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(nullptr, message, 64, &count), 0);
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(nullptr, 0, message, 1), 0);
    EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(&link.reader, 20, 29, message, 64, nullptr), 0);
    EXPECT_EQ(count, 5u);
    ktu::platform::ops().socket.shutdownSend(link.peer);
    EXPECT_EQ(link.drainReader(), "0123456789456");
    EXPECT_EQ(logs(), (std::vector<std::string>{
                          "KSUtilityClasses-ktuSocketUtils::readMessageFromSocket()",
                          "KSUtilityClasses-ktuSocketUtils::readMessageFromSocket(SOCKET * pSocket,char * "
                          "pMessageBuffer, unsigned int bufferSize, unsigned int * pNoOfBytesRead)",
                          "KSUtilityClasses-ktuSocketUtils::writeMessageToSocket()",
                          "KSUtilityClasses-ktuSocketUtils::readMessageFromSocket()",
                      }));
}

// The text and the octets agree; when the name does not resolve the text is
// "NA", the octets are untouched and a missing text costs one line.
TEST_F(SocketOps, IpAddressTextAndOctets)
{
    char text[16] = "old text", again[16] = "";
    int a = 1, b = 2, c = 3, d = 4;
    {
        ScopedOverride o(ktu::platform::ops().socket.hostAddress, +[](const char*, uint8_t*) { return false; });
        ktuSocketUtils::getIPAddress(a, b, c, d, text);
        EXPECT_STREQ(text, "NA");
        EXPECT_EQ(std::vector<int>({a, b, c, d}), std::vector<int>({1, 2, 3, 4}));
        ktuSocketUtils::getIPAddress(a, b, c, d, nullptr);
        EXPECT_EQ(logs(), std::vector<std::string>{"KSUtilityClasses-ktuSocketUtils::updateIPAddress()"});
    }
    std::memset(text, 'x', sizeof text);
    ktuSocketUtils::getIPAddress(a, b, c, d, text);
    ktuSocketUtils::getIPAddress(again);
    ASSERT_TRUE(std::memchr(text, '\0', sizeof text) != nullptr);
    EXPECT_STREQ(again, text);
    if (std::string(text) != "NA") {  // else this host's name does not resolve
        EXPECT_EQ(text, std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c) + "." + std::to_string(d));
    }
    EXPECT_EQ(logs().size(), 1u);
}

// A fake Winsock in which only port 103 is taken: it counts start-ups,
// clean-ups and open probe sockets so that the bracketing shows.
struct FakeNet {
    static inline int startups = 0, cleanups = 0, probes = 0, open = 0;
    static inline bool refuseStartup = false;
    static int startup() { ++startups; return refuseStartup ? 10091 : 0; }
    static void cleanup() { ++cleanups; }
    static SOCKET openStream() { ++open; ++probes; return 7; }
    static int bind(SOCKET, uint16_t port) { return port == 103 ? SOCKET_ERROR : 0; }
    static int listen(SOCKET, int backlog) { return backlog == 2 ? 0 : SOCKET_ERROR; }
    static int close(SOCKET) { --open; return 0; }
};

// A port a listener holds is not free and is free again afterwards. With the
// fake, the search finds the lowest free run from port 100; runs stop at the
// first taken port and empty runs probe nothing.
TEST_F(SocketOps, PortSearch)
{
    auto& net = ktu::platform::ops().socket;
    SOCKET listener = net.listenLoopback(0, 1);
    ASSERT_NE(listener, INVALID_SOCKET);
    const unsigned taken = net.localPort(listener);
    EXPECT_FALSE(ktuSocketUtils::checkSocketOpen(taken));
    EXPECT_FALSE(ktuSocketUtils::checkConsecutiveSocketsOpen(taken, 1));
    net.close(listener);
    EXPECT_TRUE(ktuSocketUtils::checkSocketOpen(taken));
    EXPECT_TRUE(ktuSocketUtils::checkSocketOpen(taken));  // the probe held nothing
    EXPECT_TRUE(ktuSocketUtils::checkSocketOpen(taken + 65536u));  // the low 16 bits name the port

    ScopedOverride a(net.startup, &FakeNet::startup);
    ScopedOverride b(net.cleanup, &FakeNet::cleanup);
    ScopedOverride c(net.openStream, &FakeNet::openStream);
    ScopedOverride d(net.bindAnyAddress, &FakeNet::bind);
    ScopedOverride e(net.listen, &FakeNet::listen);
    ScopedOverride f(net.close, &FakeNet::close);
    for (auto [count, found, expected] : {std::tuple<int, bool, int>{1, true, 100}, {3, true, 100}, {4, true, 104},
                                          {10, true, 104}, {0, false, -5}, {-1, false, -5}}) {
        SCOPED_TRACE(count);
        int port = -5;
        EXPECT_EQ(ktuSocketUtils::getNextFreeSocketPortNumber(&port, count), found);
        EXPECT_EQ(port, expected);
    }
    FakeNet::probes = 0;
    EXPECT_TRUE(ktuSocketUtils::checkConsecutiveSocketsOpen(100, 3));
    EXPECT_EQ(FakeNet::probes, 3);
    EXPECT_FALSE(ktuSocketUtils::checkConsecutiveSocketsOpen(101, 5));
    EXPECT_EQ(FakeNet::probes, 6);  // 101, 102, 103
    EXPECT_FALSE(ktuSocketUtils::checkConsecutiveSocketsOpen(100, 0));
    EXPECT_EQ(FakeNet::probes, 6);
    EXPECT_FALSE(ktuSocketUtils::checkSocketOpen(65536u + 103u));
    EXPECT_EQ(FakeNet::startups, FakeNet::cleanups);
    EXPECT_EQ(FakeNet::open, 0);

    FakeNet::refuseStartup = true;
    EXPECT_FALSE(ktuSocketUtils::checkSocketOpen(100));
    EXPECT_EQ(FakeNet::startups, FakeNet::cleanups + 1);  // no clean-up after a failed start-up
    EXPECT_TRUE(logs().empty());
}

}  // namespace
