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
    /// a byte beyond the frame. Results: 1 frame received (`*pNoOfBytesRead`
    /// bytes; wrong markers are only logged); 0 connection closed, recv failed
    /// or fault; -1 the frame does not fit (`bufferSize` bytes are kept);
    /// -2 sizeFieldStart > sizeFieldEnd + 1; -3 the buffer cannot hold the
    /// header. `*pNoOfBytesRead` is 0 unless the result is 1.
    ///
    /// Choices of this library:
    /// - A length field that overflows a 32-bit signed number reads as the
    ///   nearest limit (2147483647 or -2147483648).
    /// - With fewer than 20 bytes stored, the markers are counted as missing.
    /// - The list of recv results in the diagnostic line stops before the
    ///   first entry that would not fit in the 255 characters of the line.
    /// - Null pointers are refused before the socket is touched (the fault is
    ///   logged and the result is 0).
    static int readMessageFromSocket(SOCKET* pSocket, unsigned int sizeFieldStart, unsigned int sizeFieldEnd,
                                     char* pMessageBuffer, unsigned int bufferSize, unsigned int* pNoOfBytesRead);

    /// Receives exactly `bufferSize` bytes. 1 with `*pNoOfBytesRead` =
    /// `bufferSize`; 0 when the connection closed or recv failed (the count is
    /// left as it was), and for `bufferSize` 0. Null pointers are refused
    /// before the socket is touched.
    static int readMessageFromSocket(SOCKET* pSocket, char* pMessageBuffer, unsigned int bufferSize,
                                     unsigned int* pNoOfBytesRead);

    /// One send of `messageSize` bytes: 1 unless send fails (0); -1 and
    /// nothing sent when `messageSize` < `minimumSize`. A partial send counts
    /// as success.
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
    /// false for a count of 0. A count above 65536 (more ports than there are;
    /// a negative count passed on by getNextFreeSocketPortNumber is one) is
    /// answered false without probing.
    static bool checkConsecutiveSocketsOpen(unsigned int startPortNumber, unsigned int noOfPorts);
    /// The lowest start from 100 to 64999 of a run of `noOfPorts` free ports.
    static bool getNextFreeSocketPortNumber(int* pPortNumber, int noOfPorts);
};
