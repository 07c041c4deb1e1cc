// The serial port: open at a listed rate, write with RTS raised, read what is waiting.
#include "ktuSSerialPortComm.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ktuClassShape.h"
#include "ktuGuard.h"
#include "ktuPlatform.h"

KTU_DATALESS_CLASS_SHAPE(ktuSSerialPortComm)

namespace {

using ktu::platform::SerialHandle;

constexpr unsigned long kHighestPort = 255;
constexpr std::size_t kDeviceNameSize = 12;
constexpr unsigned long kBaudRates[] = {110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr uint32_t kQueueSize = 1024;
constexpr std::size_t kMessageSize = 256;

constexpr const char* kWriteModule = "ktuSSerialPortComm::writeComPort";
constexpr const char* kInvalidHandle = "Invalid handle";
constexpr const char* kCloseSite = "ktuSSerialPortComm::closeComPort()";
constexpr const char* kWriteSite = "ktuSSerialPortComm::writeComPort()";
constexpr const char* kReadSite = "ktuSSerialPortComm::readComPort()";

// 8 data bits, no parity, one stop bit, DTR on, RTS off, no handshakes.
constexpr ktu::platform::SerialLineSettings lineSettings(uint32_t baudRate)
{
    return ktu::platform::SerialLineSettings{baudRate, 8, 0, 0, true, false, false};
}

// Reads return what is there within a second; writes give up after 100 ms.
constexpr ktu::platform::SerialTimeouts kTimeouts{0, 0, 1000, 0, 100};

bool isListedRate(unsigned long rate)
{
    for (unsigned long listed : kBaudRates) {
        if (listed == rate) {
            return true;
        }
    }
    return false;
}

bool isValid(void* handle)
{
    return handle != nullptr && handle != ktu::platform::invalidSerialHandle();
}

// Lowers RTS when the write ends, whichever way it ends.
struct RtsRaised {
    explicit RtsRaised(SerialHandle h) : handle(h)
    {
        ktu::platform::ops().serial.escape(handle, ktu::platform::SerialEscape::SetRts);
    }
    ~RtsRaised() { ktu::platform::ops().serial.escape(handle, ktu::platform::SerialEscape::ClearRts); }
    RtsRaised(const RtsRaised&) = delete;
    RtsRaised& operator=(const RtsRaised&) = delete;
    SerialHandle handle;
};

void logWriteFailure(const char* text)
{
    ktuLogUtils::writeLog(kWriteModule, text, 1);
}

// The system's text for `code`, on one line.
void systemText(uint32_t code, char (&text)[kMessageSize])
{
    text[0] = '\0';
    ktu::platform::ops().serial.errorText(code, text, sizeof text);
    text[kMessageSize - 1] = '\0';
    std::size_t n = std::strlen(text);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n')) {
        text[--n] = '\0';
    }
}

int writeBlock(void* hComPort, unsigned long noOfBytesToWrite, void* pBuffer)
{
    auto& serial = ktu::platform::ops().serial;
    if (!isValid(hComPort)) {
        ktuLogUtils::writeLog(kWriteModule, kInvalidHandle, 0);
        return 0;
    }
    RtsRaised rts(hComPort);
    const uint32_t asked = noOfBytesToWrite > 0xFFFFFFFFul ? 0xFFFFFFFFu : static_cast<uint32_t>(noOfBytesToWrite);
    uint32_t written = 0;
    if (!serial.write(hComPort, pBuffer, asked, &written)) {
        const uint32_t code = serial.lastError();
        char line[kMessageSize];
        std::snprintf(line, sizeof line, "WriteFile failed (GetLastError = %d)", static_cast<int>(code));
        logWriteFailure(line);
        char text[kMessageSize];
        systemText(code, text);
        logWriteFailure(text);
        serial.cancelIo(hComPort);
        return 0;
    }
    if (written < noOfBytesToWrite) {
        char line[kMessageSize];
        std::snprintf(line, sizeof line, "WriteFile failed. BytesWritten = %d", static_cast<int>(written));
        logWriteFailure(line);
        return 0;
    }
    return 1;
}

int readWaiting(void* hComPort, unsigned long* pNoOfBytesRead, unsigned long bufferSize, void* pBuffer)
{
    auto& serial = ktu::platform::ops().serial;
    if (!isValid(hComPort)) {
        return 0;
    }
    uint32_t waiting = 0;
    serial.clearError(hComPort, &waiting);
    unsigned long* count = ktu::require(pNoOfBytesRead);
    if (waiting == 0) {
        *count = 0;
        return 0;
    }
    const uint32_t wanted = bufferSize < waiting ? static_cast<uint32_t>(bufferSize) : waiting;
    uint32_t got = 0;
    serial.read(hComPort, pBuffer, wanted, &got);
    *count = got;
    return 1;
}

}  // namespace

void* ktuSSerialPortComm::openComPort(unsigned long portNumber, unsigned long baudRate)
{
    if (portNumber > kHighestPort) {
        return ktu::platform::invalidSerialHandle();
    }
    char device[kDeviceNameSize];
    std::snprintf(device, sizeof device, "COM%i", static_cast<int>(portNumber));
    if (!isListedRate(baudRate)) {
        return ktu::platform::invalidSerialHandle();
    }
    auto& serial = ktu::platform::ops().serial;
    SerialHandle handle = serial.open(device);
    if (!isValid(handle)) {
        return ktu::platform::invalidSerialHandle();
    }
    // As with the system's own ports, these results are not examined: a port
    // that refuses a setting stays open with its previous one.
    serial.setupQueues(handle, kQueueSize, kQueueSize);
    serial.applyLineSettings(handle, lineSettings(static_cast<uint32_t>(baudRate)));
    serial.setTimeouts(handle, kTimeouts);
    return handle;
}

int ktuSSerialPortComm::closeComPort(void* hComPort)
{
    return ktu::enter(ktu::site(ktu::kModCommon, kCloseSite), 0, [&] {
        if (!isValid(hComPort)) {
            return 0;
        }
        ktu::platform::ops().serial.close(hComPort);
        return 1;
    });
}

int ktuSSerialPortComm::writeComPort(void* hComPort, unsigned long noOfBytesToWrite, void* pBuffer)
{
    return ktu::enter(ktu::site(ktu::kModCommon, kWriteSite), 0,
                      [&] { return writeBlock(hComPort, noOfBytesToWrite, pBuffer); });
}

int ktuSSerialPortComm::readComPort(void* hComPort, unsigned long* pNoOfBytesRead, unsigned long bufferSize,
                                    void* pBuffer)
{
    return ktu::enter(ktu::site(ktu::kModCommon, kReadSite), 0,
                      [&] { return readWaiting(hComPort, pNoOfBytesRead, bufferSize, pBuffer); });
}
