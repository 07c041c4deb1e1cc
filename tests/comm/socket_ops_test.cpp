// The plain read, the write, and the host and port queries.
#include <cstring>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuCommPeer.h"

namespace {

using ktu::test::Connection;
using ktu::test::ScopedOverride;
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
    for (const Row& row : rows) {
        SCOPED_TRACE(row.size);
        Connection link;
        link.send(row.chunks, 2ms);
        char buffer[8] = {};
        unsigned count = 77;
        EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(&link.reader, buffer, row.size, &count), row.result);
        EXPECT_EQ(count, row.count);
        EXPECT_EQ(std::string(buffer, row.stored.size()), row.stored);
        EXPECT_EQ(link.drainReader(), row.left);
    }
    EXPECT_TRUE(logs().empty());
}

// The write sends once or refuses messages shorter than asked for.
TEST_F(SocketOps, WriteSendsOnceOrRefusesShortMessages)
{
    Connection link;
    char message[64] = "0123456789";
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(&link.peer, 11, message, 10), -1);
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(&link.peer, 10, message, 10), 1);
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(&link.peer, 0, message, 0), 1);
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(&link.peer, 0, message + 4, 3), 1);
    SOCKET closed = INVALID_SOCKET;
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(&closed, 0, message, 10), 0);
    ktu::platform::ops().socket.shutdownSend(link.peer);
    EXPECT_EQ(link.drainReader(), "0123456789456");
    EXPECT_TRUE(logs().empty());
}

// A null pointer that is needed costs one line naming the operation and
// answers 0; the framed read clears the count first. No read touches the socket.
TEST_F(SocketOps, NullPointersCostALineNamingTheOperation)
{
    Connection link;
    link.send({"waiting"});
    char buffer[64];
    unsigned count = 5, untouched = 5;
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(nullptr, 0, buffer, 1), 0);
    EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(nullptr, buffer, 64, &untouched), 0);
    EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(&link.reader, 20, 29, buffer, 64, nullptr), 0);
    EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(&link.reader, 20, 29, nullptr, 64, &count), 0);
    EXPECT_EQ(count, 0u);
    count = 5;
    EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(nullptr, 20, 29, buffer, 64, &count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(untouched, 5u);
    const std::string framed = "KSUtilityClasses-ktuSocketUtils::readMessageFromSocket()";
    const std::string plain = "KSUtilityClasses-ktuSocketUtils::readMessageFromSocket(SOCKET * pSocket,char * "
                              "pMessageBuffer, unsigned int bufferSize, unsigned int * pNoOfBytesRead)";
    EXPECT_EQ(logs(), (std::vector<std::string>{"KSUtilityClasses-ktuSocketUtils::writeMessageToSocket()", plain,
                                                framed, framed, framed}));
    EXPECT_EQ(link.drainReader(), "waiting");
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
    // This host: both queries agree; a name that does not resolve costs a line each.
    std::memset(text, 'x', sizeof text);
    ktuSocketUtils::getIPAddress(a, b, c, d, text);
    ktuSocketUtils::getIPAddress(again);
    ASSERT_TRUE(std::memchr(text, '\0', sizeof text) != nullptr);
    EXPECT_STREQ(again, text);
    EXPECT_EQ(logs().size(), std::string(text) == "NA" ? 3u : 1u);
}

// A fake Winsock with taken ports of the test's choice, counting probes,
// start-ups, clean-ups and open probe sockets.
struct FakeNet {
    static inline int startups = 0, cleanups = 0, open = 0, probes = 0;
    static inline bool refuseStartup = false;
    static inline bool (*taken)(uint16_t) = nullptr;
    static int startup() { ++startups; return refuseStartup ? 10091 : 0; }
    static void cleanup() { ++cleanups; }
    static SOCKET openStream() { ++open; ++probes; return 7; }
    static int bind(SOCKET, uint16_t port) { return taken(port) ? SOCKET_ERROR : 0; }
    static int listen(SOCKET, int backlog) { return backlog == 2 ? 0 : SOCKET_ERROR; }
    static int close(SOCKET) { --open; return 0; }
};

bool only103(uint16_t port) { return port == 103; }
bool only999(uint16_t port) { return port == 999; }
bool every16th(uint16_t port) { return port % 16 == 15; }

// A port a listener holds is not free, and free again afterwards. Over a fake
// Winsock: runs stop at the first taken port; empty runs probe nothing; a run
// longer than the port range wraps and probes ports again. The search finds
// the lowest free run from port 100; a negative count is a very long run.
TEST_F(SocketOps, PortProbesRunsAndSearch)
{
    auto& net = ktu::platform::ops().socket;
    SOCKET listener = net.listenLoopback(0, 1);
    ASSERT_NE(listener, INVALID_SOCKET);
    const unsigned held = net.localPort(listener);
    EXPECT_FALSE(ktuSocketUtils::checkSocketOpen(held));
    net.close(listener);
    EXPECT_TRUE(ktuSocketUtils::checkSocketOpen(held));
    EXPECT_TRUE(ktuSocketUtils::checkSocketOpen(held));  // the probe held nothing

    ScopedOverride a(net.startup, &FakeNet::startup);
    ScopedOverride b(net.cleanup, &FakeNet::cleanup);
    ScopedOverride c(net.openStream, &FakeNet::openStream);
    ScopedOverride d(net.bindAnyAddress, &FakeNet::bind);
    ScopedOverride e(net.listen, &FakeNet::listen);
    ScopedOverride f(net.close, &FakeNet::close);
    FakeNet::startups = FakeNet::cleanups = 0;  // as an earlier repetition left them
    FakeNet::refuseStartup = false;

    struct RunRow {
        bool (*taken)(uint16_t);
        unsigned start, count;
        bool free;
        int probes;
    } runs[] = {
        {only103, 100, 3, true, 3},
        {only103, 101, 5, false, 3},  // 101, 102, 103
        {only103, 100, 0, false, 0},
        {only103, 65536u + 103u, 1, false, 1},
        {only999, 1000, 65535, true, 65535},
        {only999, 1000, 65536, false, 65536},  // 999 comes last
    };
    for (const RunRow& row : runs) {
        SCOPED_TRACE(std::to_string(row.start) + "+" + std::to_string(row.count));
        FakeNet::taken = row.taken;
        FakeNet::probes = 0;
        EXPECT_EQ(ktuSocketUtils::checkConsecutiveSocketsOpen(row.start, row.count), row.free);
        EXPECT_EQ(FakeNet::probes, row.probes);
    }

    FakeNet::taken = only103;
    int port = -5;
    EXPECT_FALSE(ktuSocketUtils::getNextFreeSocketPortNumber(&port, 0));
    EXPECT_EQ(port, -5);
    EXPECT_TRUE(ktuSocketUtils::getNextFreeSocketPortNumber(&port, 3));
    EXPECT_EQ(port, 100);
    EXPECT_TRUE(ktuSocketUtils::getNextFreeSocketPortNumber(&port, 4));
    EXPECT_EQ(port, 104);
    FakeNet::taken = every16th;
    EXPECT_FALSE(ktuSocketUtils::getNextFreeSocketPortNumber(&port, -1));
    EXPECT_EQ(port, 104);
    EXPECT_FALSE(ktuSocketUtils::getNextFreeSocketPortNumber(nullptr, 0));  // no run found, nothing written
    EXPECT_TRUE(logs().empty());
    EXPECT_FALSE(ktuSocketUtils::getNextFreeSocketPortNumber(nullptr, 1));
    EXPECT_EQ(logs(), std::vector<std::string>{"KSUtilityClasses-ktuSocketUtils::checkSocketOpen()"});
    EXPECT_EQ(FakeNet::startups, FakeNet::cleanups);
    EXPECT_EQ(FakeNet::open, 0);

    FakeNet::refuseStartup = true;
    EXPECT_FALSE(ktuSocketUtils::checkSocketOpen(100));
    EXPECT_EQ(FakeNet::startups, FakeNet::cleanups + 1);  // no clean-up after a failed start-up
}

}  // namespace
