// Before the handshake the communication operations do nothing; the serial
// open and the peer description work regardless.
#include <cstdlib>
#include <cstring>

#include "ktuCommPeer.h"

namespace {

int g_socketCalls = 0;

bool refusedEverywhere()
{
    if (ktuLibVersionManagerUtils::isValidVersion()) {
        return false;
    }
    auto& net = ktu::platform::ops().socket;
    ktu::test::ScopedOverride recvOverride(net.recv, +[](SOCKET, char*, int, int) { return ++g_socketCalls, 0; });
    ktu::test::ScopedOverride startupOverride(net.startup, +[] { return ++g_socketCalls, 0; });
    ktu::test::ScopedOverride sendOverride(net.send, +[](SOCKET, const char*, int, int) { return ++g_socketCalls, 1; });
    SOCKET s = 3;
    char buffer[64];
    std::memset(buffer, 'k', sizeof buffer);
    unsigned count = 42;
    int port = 17, o1 = 5;
    char ip[16] = "keep";
    bool ok = ktuSocketUtils::readMessageFromSocket(&s, 20, 29, buffer, 64, &count) == 0 &&
              ktuSocketUtils::readMessageFromSocket(&s, buffer, 64, &count) == 0 &&
              ktuSocketUtils::writeMessageToSocket(&s, 0, buffer, 10) == 0 && count == 42 &&
              !ktuSocketUtils::checkSocketOpen(100) && !ktuSocketUtils::checkConsecutiveSocketsOpen(100, 2) &&
              !ktuSocketUtils::getNextFreeSocketPortNumber(&port, 1) && port == 17 && buffer[0] == 'k';
    ktuSocketUtils::getIPAddress(o1, o1, o1, o1, ip);
    ktuSocketUtils::getIPAddress(ip);
    ok = ok && std::strcmp(ip, "keep") == 0 && o1 == 5 && g_socketCalls == 0;

    // The records keep every byte.
    static iKSNetworkEventData e, e2, eBefore, e2Before;
    static iKSNetworkObjectData o, o2, oBefore, o2Before;
    std::memset(static_cast<void*>(&e), 1, sizeof e);
    std::memset(static_cast<void*>(&e2), 2, sizeof e2);
    std::memset(static_cast<void*>(&o), 3, sizeof o);
    std::memset(static_cast<void*>(&o2), 4, sizeof o2);
    eBefore = e, e2Before = e2, oBefore = o, o2Before = o2;
    ktuKSNetworkInitInfo::initNetworkEventData(&e);
    ktuKSNetworkInitInfo::initNetworkObjectData(&o);
    ktuKSNetworkInitInfo::copyNetworkEventData(&e2, &e);
    ktuKSNetworkInitInfo::copyNetworkObjectData(&o2, &o);
    ok = ok && std::memcmp(&e, &eBefore, sizeof e) == 0 && std::memcmp(&e2, &e2Before, sizeof e2) == 0 &&
         std::memcmp(&o, &oBefore, sizeof o) == 0 && std::memcmp(&o2, &o2Before, sizeof o2) == 0;

    unsigned long serialCount = 8;
    void* h = reinterpret_cast<void*>(0x40);
    ok = ok && ktuSSerialPortComm::closeComPort(h) == 0 && ktuSSerialPortComm::writeComPort(h, 4, buffer) == 0 &&
         ktuSSerialPortComm::readComPort(h, &serialCount, 4, buffer) == 0 && serialCount == 8;

    ktuKSNetworkInitInfo a, b;
    a.ipAddress[0] = 127;
    a.ipAddress[3] = 1;
    a.portNumber = 2;
    ktuKSNetworkInitInfo c(a);
    b = a;
    ok = ok && a == b && c.portNumber == 2 && b.ipAddress[0] == 127 && c.doubleValue == 9.0;

#if !defined(_WIN32)
    ktu::test::PseudoTerminal pty(7);
    void* port7 = ktuSSerialPortComm::openComPort(7, 9600);  // the open works before the handshake
    ok = ok && pty.ok() && port7 != ktu::platform::invalidSerialHandle() &&
         ktuSSerialPortComm::closeComPort(port7) == 0;  // the close is gated
#endif
    return ok;
}

TEST(CommGate, RefusedBeforeTheHandshake)
{
    EXPECT_EXIT(std::exit(refusedEverywhere() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

}  // namespace
