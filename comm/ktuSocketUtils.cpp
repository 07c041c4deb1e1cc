// Framed socket messages and the host and port queries.
#include "ktuSocketUtils.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "ktuClassShape.h"
#include "ktuGuard.h"
#include "ktuPlatform.h"
#include "ktuText.h"

KTU_DATALESS_CLASS_SHAPE(ktuSocketUtils)

namespace {

constexpr std::size_t kMarkerLength = 20;
constexpr char kStartMarker[] = "KS_NET_API_MSG_START";
constexpr char kEndMarker[] = "KS_NET_API_MSG_END00";
static_assert(sizeof kStartMarker == kMarkerLength + 1 && sizeof kEndMarker == kMarkerLength + 1,
              "markers are 20 characters");

constexpr const char* kFramedReadSite = "ktuSocketUtils::readMessageFromSocket()";
constexpr const char* kPlainReadSite =
    "ktuSocketUtils::readMessageFromSocket(SOCKET * pSocket,char * pMessageBuffer, unsigned int bufferSize, "
    "unsigned int * pNoOfBytesRead)";
constexpr const char* kWriteSite = "ktuSocketUtils::writeMessageToSocket()";
constexpr const char* kAddressSite = "ktuSocketUtils::updateIPAddress()";
constexpr const char* kPortSite = "ktuSocketUtils::checkSocketOpen()";

constexpr const char* kSizeLessThanZero = "ktuSocketUtils::readMessageFromSocket() - Size less than 0";
constexpr const char* kInsufficientBuffer = "ktuSocketUtils::readMessageFromSocket() - Insufficient buffer size";
constexpr const char* kOutOfMemory = "ktuSocketUtils::readMessageFromSocket() - Out Of Memory";
constexpr const char* kAbnormalReturn1 = "ktuSocketUtils::readMessageFromSocket() - abnormal return 1";
constexpr const char* kAbnormalReturn2 = "ktuSocketUtils::readMessageFromSocket() - abnormal return 2";
constexpr const char* kAbnormalReturn3 = "ktuSocketUtils::readMessageFromSocket() - abnormal return 3";
constexpr const char* kNoStartMarker = "ktuSocketUtils::readMessageFromSocket() - Start Header un-available";
constexpr const char* kNoEndMarker = "ktuSocketUtils::readMessageFromSocket() - End Header un-available";

constexpr std::size_t kLineSize = 256;
constexpr std::size_t kPieceSize = 64;
constexpr int kRecordedResults = 100;

constexpr int kFirstCandidatePort = 100;
constexpr int kLastCandidatePort = 64999;
constexpr unsigned int kPortRange = 65536;  // a longer run would probe ports twice
constexpr int kListenBacklog = 2;
constexpr int kHostNameSize = 128;
constexpr int kHostNameOffered = 126;
constexpr std::size_t kAddressTextSize = 16;

void logLine(const char* text)
{
    ktuLogUtils::writeLog(ktu::kModKSUtility, text, 0);
}

int clampToInt(uint64_t value)
{
    return value > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

// Reads the length field as a signed decimal number: leading white space, one
// optional sign, digits up to the first other byte (a NUL included). A value
// beyond 32 bits reads as the nearest limit.
int32_t parseLength(const char* field, std::size_t length)
{
    std::size_t i = 0;
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; };
    while (i < length && isSpace(field[i])) {
        ++i;
    }
    bool negative = false;
    if (i < length && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    int64_t value = 0;
    for (; i < length && field[i] >= '0' && field[i] <= '9'; ++i) {
        value = value * 10 + (field[i] - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1) {
            value = static_cast<int64_t>(INT32_MAX) + 1;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT32_MAX) {
        value = INT32_MAX;
    }
    return static_cast<int32_t>(value);
}

// The state of one framed read, for its diagnostic lines.
struct FrameRead {
    int32_t length = 0;        // L, from the length field
    unsigned int fieldStart = 0;
    unsigned int fieldEnd = 0;
    uint32_t stored = 0;       // bytes stored in the caller's buffer
    int64_t bodyLength = 0;    // L - fieldEnd - 1
    unsigned int bufferSize = 0;
    int32_t results[kRecordedResults];
    int recorded = 0;

    void record(int result)
    {
        if (recorded < kRecordedResults) {
            results[recorded++] = result;
        }
    }

    void logDiagnostics() const
    {
        char line[kLineSize];
        std::snprintf(line, sizeof line, "1 - %d, 2 - %d, 3 - %d, 4 - %d, 5 - %lld, 6 - %d", length,
                      static_cast<int>(fieldStart), static_cast<int>(fieldEnd), static_cast<int>(stored),
                      static_cast<long long>(bodyLength), static_cast<int>(bufferSize));
        logLine(line);

        std::snprintf(line, sizeof line, "7 - %d", recorded);
        for (int i = 0; i < recorded; ++i) {
            char piece[kPieceSize];
            std::snprintf(piece, sizeof piece, ", %d", results[i]);
            if (!ktu::appendIfFits(line, sizeof line, piece)) {
                break;
            }
        }
        logLine(line);
    }
};

// One recv of `want` bytes for the frame. When they fit behind the bytes
// stored, recv writes them in place; otherwise they arrive in `work` and only
// those that fit are kept (`overflow` tells that some did not).
int receiveInto(SOCKET s, char* message, FrameRead& read, int want, char* work, bool& overflow)
{
    auto& net = ktu::platform::ops().socket;
    overflow = false;
    if (static_cast<uint64_t>(read.stored) + static_cast<uint64_t>(want) <= read.bufferSize) {
        int got = net.recv(s, message + read.stored, want, 0);
        read.record(got);
        if (got > 0) {
            read.stored += static_cast<uint32_t>(got);
        }
        return got;
    }
    if (work == nullptr) {
        ktu::raiseFault("no work buffer for bytes beyond the caller's buffer");
    }
    int got = net.recv(s, work, want, 0);
    read.record(got);
    if (got > 0) {
        uint32_t room = read.bufferSize - read.stored;
        uint32_t keep = static_cast<uint32_t>(got) < room ? static_cast<uint32_t>(got) : room;
        std::memcpy(message + read.stored, work, keep);
        read.stored += keep;
        overflow = static_cast<uint32_t>(got) > room;
    }
    return got;
}

int framedRead(SOCKET* pSocket, unsigned int fieldStart, unsigned int fieldEnd, char* message,
               unsigned int bufferSize, unsigned int* pNoOfBytesRead)
{
    const SOCKET s = *ktu::require(pSocket);
    ktu::require(message);
    *ktu::require(pNoOfBytesRead) = 0;

    // A field that ends before it starts has a negative length.
    if (static_cast<int32_t>(fieldEnd - fieldStart + 1u) < 0 ||
        static_cast<uint64_t>(fieldStart) > static_cast<uint64_t>(fieldEnd) + 1) {
        logLine(kSizeLessThanZero);
        return -2;
    }
    const uint64_t headerLength = static_cast<uint64_t>(fieldEnd) + 1;
    if (bufferSize < headerLength) {
        logLine(kInsufficientBuffer);
        return -3;
    }

    FrameRead read;
    read.fieldStart = fieldStart;
    read.fieldEnd = fieldEnd;
    read.bufferSize = bufferSize;

    // Header: exactly the bytes still missing from it, each time. The buffer
    // holds the whole header, so every byte has its place.
    bool overflow = false;
    while (read.stored < headerLength) {
        int want = clampToInt(headerLength - read.stored);
        int got = receiveInto(s, message, read, want, nullptr, overflow);
        if (got <= 0) {
            return 0;
        }
        if (overflow) {
            logLine(kOutOfMemory);
            logLine(kAbnormalReturn1);
            return -1;
        }
    }

    read.length = parseLength(message + fieldStart, static_cast<std::size_t>(fieldEnd - fieldStart + 1u));
    read.bodyLength = static_cast<int64_t>(read.length) - static_cast<int64_t>(fieldEnd) - 1;

    // Body: the rest of the frame and nothing beyond it. A frame that fits is
    // received in place; one that does not goes through a work buffer so
    // that the caller's buffer is never overrun.
    if (read.bodyLength > 0) {
        const int64_t frameLength = read.length;
        std::unique_ptr<char[]> work;
        if (frameLength > static_cast<int64_t>(bufferSize)) {
            work.reset(new char[static_cast<std::size_t>(read.bodyLength)]);
        }
        while (static_cast<int64_t>(read.stored) < frameLength) {
            int want = static_cast<int>(frameLength - read.stored);
            int got = receiveInto(s, message, read, want, work.get(), overflow);
            if (got <= 0) {
                logLine(kAbnormalReturn2);
                return 0;
            }
            if (overflow) {
                logLine(kOutOfMemory);
                read.logDiagnostics();
                logLine(kAbnormalReturn3);
                return -1;
            }
        }
    }

    // Markers: a frame too short to hold one lacks it.
    const bool haveMarkers = read.stored >= kMarkerLength;
    if (!haveMarkers || std::memcmp(message, kStartMarker, kMarkerLength) != 0) {
        logLine(kNoStartMarker);
        read.logDiagnostics();
    }
    if (!haveMarkers || std::memcmp(message + read.stored - kMarkerLength, kEndMarker, kMarkerLength) != 0) {
        logLine(kNoEndMarker);
        read.logDiagnostics();
    }

    *pNoOfBytesRead = read.stored;
    return 1;
}

int plainRead(SOCKET* pSocket, char* message, unsigned int bufferSize, unsigned int* pNoOfBytesRead)
{
    const SOCKET s = *ktu::require(pSocket);
    ktu::require(message);
    ktu::require(pNoOfBytesRead);
    auto& net = ktu::platform::ops().socket;
    unsigned int received = 0;
    do {
        int got = net.recv(s, message + received, clampToInt(bufferSize - received), 0);
        if (got <= 0) {
            return 0;
        }
        received += static_cast<unsigned int>(got);
    } while (received < bufferSize);
    *pNoOfBytesRead = received;
    return 1;
}

// Calls WSACleanup when it leaves scope, once WSAStartup has succeeded.
struct WinsockSession {
    bool started = ktu::platform::ops().socket.startup() == 0;
    ~WinsockSession()
    {
        if (started) {
            ktu::platform::ops().socket.cleanup();
        }
    }
};

// The host's first IPv4 address and its text; false when any step fails.
bool lookUpHostAddress(uint8_t address[4], char (&text)[kAddressTextSize])
{
    auto& net = ktu::platform::ops().socket;
    WinsockSession session;
    if (!session.started) {
        return false;
    }
    char host[kHostNameSize] = "";
    if (net.hostName(host, kHostNameOffered) != 0) {
        return false;
    }
    host[kHostNameSize - 1] = '\0';
    if (!net.hostAddress(host, address)) {
        return false;
    }
    text[0] = '\0';
    net.addressText(address, text, sizeof text);
    text[kAddressTextSize - 1] = '\0';
    return true;
}

// Writes the address text (and the octets when asked) into the caller's
// places; "NA" stays when the address cannot be found.
void updateIPAddress(char* pIPAddress, int* octets[4])
{
    if (pIPAddress == nullptr) {
        return;
    }
    std::memcpy(pIPAddress, "NA", 3);
    uint8_t address[4] = {0, 0, 0, 0};
    char text[kAddressTextSize];
    if (!lookUpHostAddress(address, text)) {
        logLine(kAddressSite);
        return;
    }
    if (octets != nullptr) {
        for (int i = 0; i < 4; ++i) {
            *octets[i] = address[i];
        }
    }
    std::memcpy(pIPAddress, text, std::strlen(text) + 1);
}

bool probePort(unsigned int portNumber)
{
    auto& net = ktu::platform::ops().socket;
    WinsockSession session;
    if (!session.started) {
        return false;
    }
    SOCKET s = net.openStream();
    if (s == INVALID_SOCKET) {
        return false;
    }
    if (net.bindAnyAddress(s, static_cast<uint16_t>(portNumber)) == SOCKET_ERROR ||
        net.listen(s, kListenBacklog) == SOCKET_ERROR) {
        net.close(s);
        return false;
    }
    net.close(s);
    return true;
}

bool probeRun(unsigned int startPortNumber, unsigned int noOfPorts)
{
    if (noOfPorts == 0 || noOfPorts > kPortRange) {
        return false;
    }
    for (unsigned int i = 0; i < noOfPorts; ++i) {
        if (!probePort(startPortNumber + i)) {
            return false;
        }
    }
    return true;
}

}  // namespace

int ktuSocketUtils::readMessageFromSocket(SOCKET* pSocket, unsigned int sizeFieldStart, unsigned int sizeFieldEnd,
                                          char* pMessageBuffer, unsigned int bufferSize,
                                          unsigned int* pNoOfBytesRead)
{
    if (!ktu::gateOpen()) {
        return 0;
    }
    return ktu::guarded(
        ktu::site(ktu::kModKSUtility, kFramedReadSite),
        [&] { return framedRead(pSocket, sizeFieldStart, sizeFieldEnd, pMessageBuffer, bufferSize, pNoOfBytesRead); },
        0);
}

int ktuSocketUtils::readMessageFromSocket(SOCKET* pSocket, char* pMessageBuffer, unsigned int bufferSize,
                                          unsigned int* pNoOfBytesRead)
{
    if (!ktu::gateOpen()) {
        return 0;
    }
    return ktu::guarded(
        ktu::site(ktu::kModKSUtility, kPlainReadSite),
        [&] { return plainRead(pSocket, pMessageBuffer, bufferSize, pNoOfBytesRead); }, 0);
}

int ktuSocketUtils::writeMessageToSocket(SOCKET* pSocket, unsigned int minimumSize, void* pMessage,
                                         unsigned int messageSize)
{
    if (!ktu::gateOpen()) {
        return 0;
    }
    return ktu::guarded(
        ktu::site(ktu::kModKSUtility, kWriteSite),
        [&] {
            const SOCKET s = *ktu::require(pSocket);
            if (messageSize < minimumSize) {
                return -1;
            }
            int sent = ktu::platform::ops().socket.send(s, static_cast<const char*>(pMessage),
                                                        static_cast<int>(messageSize), 0);
            return sent == SOCKET_ERROR ? 0 : 1;
        },
        0);
}

void ktuSocketUtils::getIPAddress(char* pIPAddress)
{
    if (!ktu::gateOpen()) {
        return;
    }
    ktu::guarded(ktu::site(ktu::kModKSUtility, kAddressSite), [&] { updateIPAddress(pIPAddress, nullptr); });
}

void ktuSocketUtils::getIPAddress(int& firstOctet, int& secondOctet, int& thirdOctet, int& fourthOctet,
                                  char* pIPAddress)
{
    if (!ktu::gateOpen()) {
        return;
    }
    ktu::guarded(ktu::site(ktu::kModKSUtility, kAddressSite), [&] {
        int* octets[4] = {&firstOctet, &secondOctet, &thirdOctet, &fourthOctet};
        updateIPAddress(pIPAddress, octets);
    });
}

bool ktuSocketUtils::checkSocketOpen(unsigned int portNumber)
{
    if (!ktu::gateOpen()) {
        return false;
    }
    return ktu::guarded(ktu::site(ktu::kModKSUtility, kPortSite), [&] { return probePort(portNumber); }, false);
}

bool ktuSocketUtils::checkConsecutiveSocketsOpen(unsigned int startPortNumber, unsigned int noOfPorts)
{
    if (!ktu::gateOpen()) {
        return false;
    }
    return ktu::guarded(
        ktu::site(ktu::kModKSUtility, kPortSite), [&] { return probeRun(startPortNumber, noOfPorts); }, false);
}

bool ktuSocketUtils::getNextFreeSocketPortNumber(int* pPortNumber, int noOfPorts)
{
    if (!ktu::gateOpen()) {
        return false;
    }
    return ktu::guarded(
        ktu::site(ktu::kModKSUtility, kPortSite),
        [&] {
            ktu::require(pPortNumber);
            for (int p = kFirstCandidatePort; p <= kLastCandidatePort; ++p) {
                if (probeRun(static_cast<unsigned int>(p), static_cast<unsigned int>(noOfPorts))) {
                    *pPortNumber = p;
                    return true;
                }
            }
            return false;
        },
        false);
}
