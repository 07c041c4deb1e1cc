/// A serial (COM) port: open, close, write with RTS raised, read what is waiting.
///
/// The port is the system's file handle, returned as void*; INVALID_HANDLE_VALUE
/// (all bits set) means no port. Framing is 8 data bits, no parity, one stop
/// bit, no flow control, DTR on; RTS is raised only for the duration of a write.
///
/// On Linux and other POSIX systems "COMn" names the device given for it in
/// the environment variable KTU_SERIAL_PORTS ("COM1=/dev/pts/3;COM2=/dev/ttyUSB0"),
/// else /dev/ttyS(n-1); COM0 then has no device.
///
/// openComPort works before the version handshake; the other members then
/// answer 0 and touch nothing. On Linux "COMn" is the device that
/// KTU_SERIAL_PORTS names ("COM1=/dev/pts/3"), else /dev/ttyS(n-1).
#pragma once
#include "ktuExport.h"

class KTU_API ktuSSerialPortComm {
public:
    /// The class holds no data and its members are static; objects exist only
    /// because every exported class can be made, copied, assigned and destroyed.
    /// None of these four asks for the version handshake or does anything.
    /// @{
    ktuSSerialPortComm();
    ktuSSerialPortComm(const ktuSSerialPortComm&);
    ktuSSerialPortComm& operator=(const ktuSSerialPortComm&);
    virtual ~ktuSSerialPortComm();
    /// @}

    /// Opens COM<portNumber> (0 to 255) at one of 110, 300, 600, 1200, 2400,
    /// 4800, 9600, 19200, 38400, 57600 and 115200 baud, with driver queues of
    /// 1024 bytes, a 1000 ms read time-out and a 100 ms write time-out.
    /// INVALID_HANDLE_VALUE for another number or rate (no device is touched)
    /// or when the device cannot be opened. Works before the handshake.
    static void* openComPort(unsigned long portNumber, unsigned long baudRate);

    /// 1 after closing a valid handle; 0 for a null or invalid one.
    static int closeComPort(void* hComPort);

    /// Writes the block with RTS raised and lowers RTS afterwards on every
    /// path. 1 when all bytes went out; 0 otherwise, with the log lines
    /// "Invalid handle" (level 0), "WriteFile failed (GetLastError = %d)" and
    /// the system's text (level 1), or "WriteFile failed. BytesWritten = %d"
    /// (level 1, the write timed out part way).
    static int writeComPort(void* hComPort, unsigned long noOfBytesToWrite, void* pBuffer);

    /// Reads at most `bufferSize` of the bytes already received, never
    /// waiting for more. 1 when a read was made (`*pNoOfBytesRead` bytes);
    /// 0 with `*pNoOfBytesRead` = 0 when nothing was waiting; 0 for an invalid
    /// handle (the count is not touched).
    static int readComPort(void* hComPort, unsigned long* pNoOfBytesRead, unsigned long bufferSize, void* pBuffer);
};
