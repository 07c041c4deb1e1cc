// Framed socket messages and the host and port queries.
#include "ktuSocketUtils.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

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
constexpr const char* kAbnormalReturn2 = "ktuSocketUtils::readMessageFromSocket() - abnormal return 2";
constexpr const char* kAbnormalReturn3 = "ktuSocketUtils::readMessageFromSocket() - abnormal return 3";
constexpr const char* kNoStartMarker = "ktuSocketUtils::readMessageFromSocket() - Start Header un-available";
constexpr const char* kNoEndMarker = "ktuSocketUtils::readMessageFromSocket() - End Header un-available";

constexpr std::size_t kLineSize = 256;
constexpr std::size_t kPieceSize = 64;
constexpr int kRecordedResults = 100;
// Bytes beyond the caller's buffer pass through this much stack, whatever the
// length field claims.
constexpr int kScratchSize = 4096;

constexpr int kFirstCandidatePort = 100;
constexpr int kLastCandidatePort = 64999;
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
    int32_t bodyLength = 0;    // L - fieldEnd - 1, in 32-bit arithmetic
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
        std::snprintf(line, sizeof line, "1 - %d, 2 - %d, 3 - %d, 4 - %d, 5 - %d, 6 - %d", length,
                      static_cast<int>(fieldStart), static_cast<int>(fieldEnd), static_cast<int>(stored),
                      bodyLength, static_cast<int>(bufferSize));
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

// The one recv of `want` bytes that would carry the frame past the end of
// the caller's buffer. It answers what a single recv of `want` bytes into a
// work buffer of that size would answer, and takes as many bytes from the
// socket, without memory proportional to `want`: the bytes that fit go in
// place, and when that request is filled, what the socket already holds (up
// to `want` in all) passes through a small scratch area and is dropped.
// `overflow` tells that bytes beyond the buffer came in.
int receiveBeyondBuffer(SOCKET s, char* message, FrameRead& read, int want, bool& overflow)
{
    auto& net = ktu::platform::ops().socket;
    char scratch[kScratchSize];
    const uint32_t room = read.bufferSize - read.stored;
    const int asked = room > 0 ? static_cast<int>(std::min<uint32_t>(room, static_cast<uint32_t>(want)))
                               : std::min(want, kScratchSize);
    const int got = net.recv(s, room > 0 ? message + read.stored : scratch, asked, 0);
    overflow = false;
    if (got <= 0) {
        read.record(got);
        return got;
    }
    int total = got;
    if (got == asked && asked < want) {
        // What is already waiting, as far as the request reaches.
        int more = std::min(std::max(net.pending(s), 0), want - total);
        while (more > 0) {
            int n = net.recv(s, scratch, std::min(more, kScratchSize), 0);
            if (n <= 0) {
                break;
            }
            total += n;
            more -= n;
        }
    }
    if (room > 0) {
        read.stored += static_cast<uint32_t>(got);
    }
    read.record(total);
    overflow = static_cast<uint32_t>(total) > room;
    return total;
}

int framedRead(SOCKET* pSocket, unsigned int fieldStart, unsigned int fieldEnd, char* message,
               unsigned int bufferSize, unsigned int* pNoOfBytesRead)
{
    *ktu::require(pNoOfBytesRead) = 0;

    // A field that ends before it starts has a negative length.
    if (static_cast<int32_t>(fieldEnd - fieldStart + 1u) < 0 ||
        static_cast<uint64_t>(fieldStart) > static_cast<uint64_t>(fieldEnd) + 1) {
        logLine(kSizeLessThanZero);
        return -2;
    }
    // Counted in 64 bits: a field ending at 0xFFFFFFFF makes a header of 2^32
    // bytes, which no buffer holds.
    const uint64_t headerLength = static_cast<uint64_t>(fieldEnd) + 1;
    if (bufferSize < headerLength) {
        logLine(kInsufficientBuffer);
        return -3;
    }

    const SOCKET s = *ktu::require(pSocket);
    ktu::require(message);
    auto& net = ktu::platform::ops().socket;
    FrameRead read;
    read.fieldStart = fieldStart;
    read.fieldEnd = fieldEnd;
    read.bufferSize = bufferSize;

    // Header: exactly the bytes still missing from it, each time, in place.
    // The buffer holds the whole header (checked above).
    while (read.stored < headerLength) {
        int got = net.recv(s, message + read.stored, clampToInt(headerLength - read.stored), 0);
        read.record(got);
        if (got <= 0) {
            return 0;
        }
        read.stored += static_cast<uint32_t>(got);
    }

    read.length = parseLength(message + fieldStart, static_cast<std::size_t>(fieldEnd - fieldStart + 1u));
    read.bodyLength = static_cast<int32_t>(static_cast<uint32_t>(read.length) - fieldEnd - 1u);

    // Body: the rest of the frame and nothing beyond it, in place while it
    // fits the caller's buffer. The frame ends at byte L; a frame whose L is
    // at most the header's length is the header alone, even when the 32-bit
    // body length wraps to a positive value (L near -2^31).
    if (read.bodyLength > 0 && read.length > 0 && static_cast<uint64_t>(read.length) > headerLength) {
        const uint64_t frameLength = static_cast<uint64_t>(read.length);
        while (read.stored < frameLength) {
            const int want = clampToInt(frameLength - read.stored);
            bool overflow = false;
            int got;
            if (static_cast<uint64_t>(read.stored) + static_cast<uint64_t>(want) <= bufferSize) {
                got = net.recv(s, message + read.stored, want, 0);
                read.record(got);
                if (got > 0) {
                    read.stored += static_cast<uint32_t>(got);
                }
            } else {
                got = receiveBeyondBuffer(s, message, read, want, overflow);
            }
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
    if (noOfPorts == 0) {
        return false;
    }
    // A run longer than the port range wraps and probes ports again.
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
    return ktu::enter(ktu::site(ktu::kModKSUtility, kFramedReadSite), 0, [&] {
        return framedRead(pSocket, sizeFieldStart, sizeFieldEnd, pMessageBuffer, bufferSize, pNoOfBytesRead);
    });
}

int ktuSocketUtils::readMessageFromSocket(SOCKET* pSocket, char* pMessageBuffer, unsigned int bufferSize,
                                          unsigned int* pNoOfBytesRead)
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, kPlainReadSite), 0,
                      [&] { return plainRead(pSocket, pMessageBuffer, bufferSize, pNoOfBytesRead); });
}

int ktuSocketUtils::writeMessageToSocket(SOCKET* pSocket, unsigned int minimumSize, void* pMessage,
                                         unsigned int messageSize)
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, kWriteSite), 0, [&] {
        if (messageSize < minimumSize) {
            return -1;
        }
        // One send, which on a blocking socket returns only when every byte
        // is handed over or the connection failed (the Linux seam carries
        // on after a signal as Winsock's send does).
        int sent = ktu::platform::ops().socket.send(*ktu::require(pSocket), static_cast<const char*>(pMessage),
                                                    static_cast<int>(messageSize), 0);
        return sent == SOCKET_ERROR ? 0 : 1;
    });
}

void ktuSocketUtils::getIPAddress(char* pIPAddress)
{
    ktu::enter(ktu::site(ktu::kModKSUtility, kAddressSite), [&] { updateIPAddress(pIPAddress, nullptr); });
}

void ktuSocketUtils::getIPAddress(int& firstOctet, int& secondOctet, int& thirdOctet, int& fourthOctet,
                                  char* pIPAddress)
{
    ktu::enter(ktu::site(ktu::kModKSUtility, kAddressSite), [&] {
        int* octets[4] = {&firstOctet, &secondOctet, &thirdOctet, &fourthOctet};
        updateIPAddress(pIPAddress, octets);
    });
}

bool ktuSocketUtils::checkSocketOpen(unsigned int portNumber)
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, kPortSite), false, [&] { return probePort(portNumber); });
}

bool ktuSocketUtils::checkConsecutiveSocketsOpen(unsigned int startPortNumber, unsigned int noOfPorts)
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, kPortSite), false,
                      [&] { return probeRun(startPortNumber, noOfPorts); });
}

bool ktuSocketUtils::getNextFreeSocketPortNumber(int* pPortNumber, int noOfPorts)
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, kPortSite), false, [&] {
        for (int p = kFirstCandidatePort; p <= kLastCandidatePort; ++p) {
            if (probeRun(static_cast<unsigned int>(p), static_cast<unsigned int>(noOfPorts))) {
                *ktu::require(pPortNumber) = p;
                return true;
            }
        }
        return false;
    });
}
