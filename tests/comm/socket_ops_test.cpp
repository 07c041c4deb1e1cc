// The plain read, the write, and the host and port queries.
#include <cstring>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuCommPeer.h"
#include "ktuTestSupport.h"

namespace {

using ktu::test::Connection;
using ktu::test::ScopedOverride;
using ktu::test::Transport;
using namespace std::chrono_literals;

using SocketOps = ktu::test::LoggedTest;

TEST_F(SocketOps, PlainReadTakesExactlyTheBytesAskedFor)
{
    for (Transport transport : ktu::test::transports()) {
        SCOPED_TRACE(ktu::test::transportName(transport));
        Connection link(transport);
        ASSERT_TRUE(link.ok());
        link.send({"abc", "defg", "hij", "klmnop"}, true, 2ms);
        char buffer[8];
        unsigned count = 0;
        EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(&link.reader, buffer, 8, &count), 1);
        EXPECT_EQ(count, 8u);
        EXPECT_EQ(std::string(buffer, 8), "abcdefgh");
        EXPECT_EQ(link.drainReader(), "ijklmnop");
    }
    EXPECT_TRUE(logs().empty());
}

TEST_F(SocketOps, PlainReadFailsQuietlyWhenThePeerStopsShort)
{
    for (Transport transport : ktu::test::transports()) {
        SCOPED_TRACE(ktu::test::transportName(transport));
        Connection link(transport);
        ASSERT_TRUE(link.ok());
        link.send({"abc"});
        char buffer[8] = {};
        unsigned count = 77;
        EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(&link.reader, buffer, 8, &count), 0);
        EXPECT_EQ(count, 77u);
        EXPECT_EQ(std::string(buffer, 3), "abc");
        // A read of no bytes makes one recv of 0 bytes, which answers 0.
        EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(&link.reader, buffer, 0, &count), 0);
        EXPECT_EQ(count, 77u);
    }
    EXPECT_TRUE(logs().empty());
}

TEST_F(SocketOps, WriteSendsOnceOrRefusesShortMessages)
{
    Connection link(Transport::Tcp);
    ASSERT_TRUE(link.ok());
    char message[] = "0123456789";
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(&link.peer, 11, message, 10), -1);
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(&link.peer, 10, message, 10), 1);
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(&link.peer, 0, message, 0), 1);
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(&link.peer, 0, message + 4, 3), 1);
    ktu::platform::ops().socket.shutdownSend(link.peer);
    EXPECT_EQ(link.drainReader(), "0123456789456");

    SOCKET closed = INVALID_SOCKET;
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(&closed, 0, message, 10), 0);
    EXPECT_TRUE(logs().empty());
}

// Faults inside the operations (a null socket pointer here) cost one line
// naming the operation and answer 0; the socket is never touched.
TEST_F(SocketOps, FaultsAreLoggedWithTheOperationsName)
{
    char buffer[64];
    unsigned count = 5;
    EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(nullptr, 20, 29, buffer, 64, &count), 0);
    EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(nullptr, buffer, 64, &count), 0);
    EXPECT_EQ(ktuSocketUtils::writeMessageToSocket(nullptr, 0, buffer, 1), 0);
    Connection link(Transport::Tcp);
    ASSERT_TRUE(link.ok());
    EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(&link.reader, 20, 29, buffer, 64, nullptr), 0);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(logs(), (std::vector<std::string>{
                          "KSUtilityClasses-ktuSocketUtils::readMessageFromSocket()",
                          "KSUtilityClasses-ktuSocketUtils::readMessageFromSocket(SOCKET * pSocket,char * "
                          "pMessageBuffer, unsigned int bufferSize, unsigned int * pNoOfBytesRead)",
                          "KSUtilityClasses-ktuSocketUtils::writeMessageToSocket()",
                          "KSUtilityClasses-ktuSocketUtils::readMessageFromSocket()",
                      }));
}

TEST_F(SocketOps, IpAddressTextAndOctetsAgree)
{
    char text[16];
    std::memset(text, 'x', sizeof text);
    int a = -1, b = -1, c = -1, d = -1;
    ktuSocketUtils::getIPAddress(a, b, c, d, text);
    ASSERT_TRUE(std::memchr(text, '\0', sizeof text) != nullptr);
    if (std::string(text) == "NA") {
        GTEST_SKIP() << "this host's name does not resolve";
    }
    EXPECT_EQ(std::string(text), std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c) + "." +
                                     std::to_string(d));
    char again[16] = "";
    ktuSocketUtils::getIPAddress(again);
    EXPECT_STREQ(again, text);
    EXPECT_TRUE(logs().empty());
}

bool noAddress(const char*, uint8_t*)
{
    return false;
}

TEST_F(SocketOps, IpAddressStaysNAWhenTheNameDoesNotResolve)
{
    ScopedOverride o(ktu::platform::ops().socket.hostAddress, &noAddress);
    char text[16] = "old text";
    int a = 1, b = 2, c = 3, d = 4;
    ktuSocketUtils::getIPAddress(a, b, c, d, text);
    EXPECT_STREQ(text, "NA");
    EXPECT_EQ(std::vector<int>({a, b, c, d}), std::vector<int>({1, 2, 3, 4}));
    ktuSocketUtils::getIPAddress(a, b, c, d, nullptr);
    EXPECT_EQ(logs(), std::vector<std::string>{"KSUtilityClasses-ktuSocketUtils::updateIPAddress()"});
}

TEST_F(SocketOps, PortTakenByAListenerIsNotFreeAndIsFreeAgainAfterwards)
{
    auto& net = ktu::platform::ops().socket;
    SOCKET listener = net.listenLoopback(0, 1);
    ASSERT_NE(listener, INVALID_SOCKET);
    const unsigned port = net.localPort(listener);
    EXPECT_FALSE(ktuSocketUtils::checkSocketOpen(port));
    EXPECT_FALSE(ktuSocketUtils::checkConsecutiveSocketsOpen(port, 1));
    net.close(listener);
    EXPECT_TRUE(ktuSocketUtils::checkSocketOpen(port));
    EXPECT_TRUE(ktuSocketUtils::checkSocketOpen(port));  // the probe held nothing
    EXPECT_TRUE(ktuSocketUtils::checkSocketOpen(port + 65536u));  // the low 16 bits name the port
}

// A fake Winsock in which only listed ports are taken: it counts start-ups,
// clean-ups and open probe sockets so that the bracketing shows.
struct FakeNet {
    static inline std::vector<unsigned> taken;
    static inline int startups = 0, cleanups = 0, probes = 0, open = 0;
    static inline bool refuseStartup = false;
    static int startup() { ++startups; return refuseStartup ? 10091 : 0; }
    static void cleanup() { ++cleanups; }
    static SOCKET openStream() { ++open; ++probes; return 7; }
    static int bind(SOCKET, uint16_t port)
    {
        for (unsigned t : taken) {
            if (t == port) {
                return SOCKET_ERROR;
            }
        }
        return 0;
    }
    static int listen(SOCKET, int backlog) { return backlog == 2 ? 0 : SOCKET_ERROR; }
    static int close(SOCKET) { --open; return 0; }
};

class PortSearch : public ktu::test::LoggedTest {
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        FakeNet::taken = {103};
        FakeNet::startups = FakeNet::cleanups = FakeNet::probes = FakeNet::open = 0;
        FakeNet::refuseStartup = false;
    }
    ktu::platform::SocketOps& net = ktu::platform::ops().socket;
    ScopedOverride<int (*)()> a{net.startup, &FakeNet::startup};
    ScopedOverride<void (*)()> b{net.cleanup, &FakeNet::cleanup};
    ScopedOverride<SOCKET (*)()> c{net.openStream, &FakeNet::openStream};
    ScopedOverride<int (*)(SOCKET, uint16_t)> d{net.bindAnyAddress, &FakeNet::bind};
    ScopedOverride<int (*)(SOCKET, int)> e{net.listen, &FakeNet::listen};
    ScopedOverride<int (*)(SOCKET)> f{net.close, &FakeNet::close};
};

TEST_F(PortSearch, FindsTheLowestFreeRunFromPort100)
{
    struct Row {
        int count;
        bool found;
        int port;
    } rows[] = {{1, true, 100}, {3, true, 100}, {4, true, 104}, {10, true, 104}, {0, false, -5}, {-1, false, -5}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.count);
        int port = -5;
        EXPECT_EQ(ktuSocketUtils::getNextFreeSocketPortNumber(&port, row.count), row.found);
        EXPECT_EQ(port, row.port);
    }
    EXPECT_EQ(FakeNet::startups, FakeNet::cleanups);
    EXPECT_EQ(FakeNet::open, 0);
}

TEST_F(PortSearch, RunsStopAtTheFirstTakenPortAndEmptyRunsProbeNothing)
{
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
