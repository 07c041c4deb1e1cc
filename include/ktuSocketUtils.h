/// Framed messages on a caller-owned stream socket, and host and port queries.
///
/// A frame is: the 20 characters "KS_NET_API_MSG_START", header bytes of the
/// sender's own, a decimal length field at byte positions the reader is told
/// (the length of the whole frame), the payload, and the 20 characters
/// "KS_NET_API_MSG_END00". The library never opens, configures or closes the
/// caller's sockets; it reads the handle through the pointer at each call.
///
/// Before the version handshake the socket members answer 0 without calling
/// any socket function (`*pNoOfBytesRead` unchanged), getIPAddress writes
/// nothing and the port members answer false. Diagnostic lines (wrong markers,
/// failed receives, faults) are logged at level 0 with module
/// "KSUtilityClasses". On Linux a SOCKET is a file descriptor; on Windows the
/// caller has started Winsock.
#pragma once
#include "ktuExport.h"
#include "ktuWinTypes.h"

class KTU_API ktuSocketUtils {
public:
    /// The class holds no data and its members are static; objects exist only
    /// because every exported class can be made, copied, assigned and destroyed.
    /// None of these four asks for the version handshake or does anything.
    /// @{
    ktuSocketUtils();
    ktuSocketUtils(const ktuSocketUtils&);
    ktuSocketUtils& operator=(const ktuSocketUtils&);
    virtual ~ktuSocketUtils();
    /// @}

    /// Receives one frame into `pMessageBuffer` (`bufferSize` bytes): first
    /// the header (bytes 0 to sizeFieldEnd), then the rest of the length read
    /// from bytes sizeFieldStart to sizeFieldEnd. It never asks the socket for
    /// a byte beyond the frame.
    ///
    /// `*pNoOfBytesRead` is set to 0 first and stays 0 unless the result is 1.
    /// The field positions (-2) and the buffer size (-3) are checked before
    /// the socket is used.
    ///
    /// Results: 1 frame received (`*pNoOfBytesRead` bytes; wrong markers are
    /// only logged); 0 handshake not made, connection closed, recv failed or
    /// a fault caught; -1 the frame does not fit (`bufferSize` bytes are
    /// kept); -2 the field ends before it starts (sizeFieldStart >
    /// sizeFieldEnd + 1, or a field length negative in 32 bits); -3 the buffer
    /// cannot hold the header.
    ///
    /// Logs (module "KSUtilityClasses", level 0): "... - Size less than 0",
    /// "... - Insufficient buffer size", "... - abnormal return 2" (closed or
    /// failed during the body), "... - Out Of Memory" and "... - abnormal
    /// return 3" around two diagnostic lines (frame too long), "... - Start
    /// Header un-available" and "... - End Header un-available" each followed
    /// by the diagnostic lines. The diagnostic lines are "1 - L, 2 -
    /// sizeFieldStart, 3 - sizeFieldEnd, 4 - bytes stored, 5 - body length,
    /// 6 - bufferSize" and "7 - count, result, ..." with the results of the
    /// first 100 recv calls.
    ///
    /// Memory: a read allocates nothing on the free store. Bytes of a frame
    /// beyond the caller's buffer pass through a fixed 4 KiB scratch area on
    /// the stack and are dropped, whatever the length field claims.
    ///
    /// Choices of this library:
    /// - A length field that overflows a 32-bit signed number reads as the
    ///   nearest limit (2147483647 or -2147483648).
    /// - The body length L - sizeFieldEnd - 1 is a 32-bit signed value that
    ///   wraps, as is the "5 -" field. The frame ends at byte L: a frame whose
    ///   L is at most sizeFieldEnd + 1 is the header alone, even when its
    ///   body length wraps to a positive value (L near -2147483648).
    /// - sizeFieldEnd = 0xFFFFFFFF describes a header of 2^32 bytes, which no
    ///   buffer holds: -3 (unless the field length is negative: -2). The
    ///   32-bit sum sizeFieldEnd + 1 would wrap to 0, a header of no bytes
    ///   whose length field lies outside it.
    /// - With fewer than 20 bytes stored, the markers are counted as missing.
    /// - The list of recv results in the diagnostic line stops before the
    ///   first entry that would not fit in the 255 characters of the line.
    /// - Null pointers are refused before the socket is touched (the fault is
    ///   logged, "ktuSocketUtils::readMessageFromSocket()", and the result is
    ///   0); a null `pNoOfBytesRead` is refused first.
    static int readMessageFromSocket(SOCKET* pSocket, unsigned int sizeFieldStart, unsigned int sizeFieldEnd,
                                     char* pMessageBuffer, unsigned int bufferSize, unsigned int* pNoOfBytesRead);

    /// Receives exactly `bufferSize` bytes. 1 with `*pNoOfBytesRead` =
    /// `bufferSize`; 0 when the connection closed or recv failed (the count is
    /// left as it was, nothing logged), and for `bufferSize` 0. Null pointers
    /// are refused before the socket is touched (one fault line, 0).
    static int readMessageFromSocket(SOCKET* pSocket, char* pMessageBuffer, unsigned int bufferSize,
                                     unsigned int* pNoOfBytesRead);

    /// One send of `messageSize` bytes: 1 unless send fails (0); -1 and
    /// nothing sent when `messageSize` < `minimumSize`, checked before the
    /// socket is needed. A partial send counts as success. A null socket
    /// pointer costs one fault line, "ktuSocketUtils::writeMessageToSocket()",
    /// and answers 0.
    static int writeMessageToSocket(SOCKET* pSocket, unsigned int minimumSize, void* pMessage,
                                    unsigned int messageSize);

    /// The host's IPv4 address in dotted form (at least 16 bytes). "NA" stays
    /// when the host name does not resolve.
    static void getIPAddress(char* pIPAddress);
    /// The same, plus its four octets, first octet first (written only when
    /// the address is found).
    static void getIPAddress(int& firstOctet, int& secondOctet, int& thirdOctet, int& fourthOctet,
                             char* pIPAddress);

    /// True when a stream socket can be bound to `portNumber` (low 16 bits) on
    /// all interfaces and made to listen; the probe is closed at once.
    static bool checkSocketOpen(unsigned int portNumber);
    /// True when `noOfPorts` ports from `startPortNumber` upward are all free;
    /// false for a count of 0 (nothing probed). The probe stops at the first
    /// port that is not free. A run longer than 65536 ports wraps (ports are
    /// taken modulo 65536) and probes ports again.
    static bool checkConsecutiveSocketsOpen(unsigned int startPortNumber, unsigned int noOfPorts);
    /// The lowest start from 100 to 64999 of a run of `noOfPorts` free ports
    /// (the count taken as unsigned, so a negative count asks for a run that
    /// wraps); false and `*pPortNumber` unchanged when there is none. A null
    /// `pPortNumber` is a fault only when a run is found (logged as
    /// "ktuSocketUtils::checkSocketOpen()", false).
    static bool getNextFreeSocketPortNumber(int* pPortNumber, int noOfPorts);
};
