// Serial ports on Windows: the communications functions of kernel32.
#include "ktuWinTypes.h"

#include <cstring>

#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

SerialHandle openPort(const char* deviceName)
{
    HANDLE h = ::CreateFileA(deviceName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    return static_cast<SerialHandle>(h);
}

bool setupQueues(SerialHandle h, uint32_t inQueue, uint32_t outQueue)
{
    return ::SetupComm(static_cast<HANDLE>(h), inQueue, outQueue) != FALSE;
}

bool applyLineSettings(SerialHandle h, const SerialLineSettings& settings)
{
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    ::GetCommState(static_cast<HANDLE>(h), &dcb);
    dcb.BaudRate = settings.baudRate;
    dcb.ByteSize = settings.byteSize;
    dcb.Parity = settings.parity;
    dcb.StopBits = settings.stopBits;
    dcb.fDtrControl = settings.dtrOn ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = settings.rtsOn ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    const DWORD checks = settings.flowControl ? 1 : 0;
    dcb.fParity = checks;
    dcb.fOutxCtsFlow = checks;
    dcb.fOutxDsrFlow = checks;
    dcb.fDsrSensitivity = checks;
    dcb.fTXContinueOnXoff = checks;
    dcb.fOutX = checks;
    dcb.fInX = checks;
    dcb.fErrorChar = checks;
    dcb.fNull = checks;
    dcb.fAbortOnError = checks;
    return ::SetCommState(static_cast<HANDLE>(h), &dcb) != FALSE;
}

bool setTimeouts(SerialHandle h, const SerialTimeouts& timeouts)
{
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = timeouts.readInterval;
    t.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplier;
    t.ReadTotalTimeoutConstant = timeouts.readTotalConstant;
    t.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplier;
    t.WriteTotalTimeoutConstant = timeouts.writeTotalConstant;
    return ::SetCommTimeouts(static_cast<HANDLE>(h), &t) != FALSE;
}

bool escape(SerialHandle h, SerialEscape function)
{
    return ::EscapeCommFunction(static_cast<HANDLE>(h), function == SerialEscape::SetRts ? SETRTS : CLRRTS) != FALSE;
}

bool writePort(SerialHandle h, const void* buffer, uint32_t size, uint32_t* done)
{
    DWORD written = 0;
    BOOL ok = ::WriteFile(static_cast<HANDLE>(h), buffer, size, &written, nullptr);
    if (done != nullptr) {
        *done = written;
    }
    return ok != FALSE;
}

bool readPort(SerialHandle h, void* buffer, uint32_t size, uint32_t* done)
{
    DWORD got = 0;
    BOOL ok = ::ReadFile(static_cast<HANDLE>(h), buffer, size, &got, nullptr);
    if (done != nullptr) {
        *done = got;
    }
    return ok != FALSE;
}

bool clearError(SerialHandle h, uint32_t* inQueue)
{
    DWORD errors = 0;
    COMSTAT status;
    std::memset(&status, 0, sizeof status);
    BOOL ok = ::ClearCommError(static_cast<HANDLE>(h), &errors, &status);
    if (inQueue != nullptr) {
        *inQueue = status.cbInQue;
    }
    return ok != FALSE;
}

bool cancelIo(SerialHandle h)
{
    return ::CancelIo(static_cast<HANDLE>(h)) != FALSE;
}

bool closePort(SerialHandle h)
{
    return ::CloseHandle(static_cast<HANDLE>(h)) != FALSE;
}

uint32_t lastError()
{
    return ::GetLastError();
}

void errorText(uint32_t code, char* text, std::size_t size)
{
    if (text == nullptr || size == 0) {
        return;
    }
    text[0] = '\0';
    char* message = nullptr;
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                                    MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&message), 0,
                                    nullptr);
    if (length != 0 && message != nullptr) {
        std::strncpy(text, message, size - 1);
        text[size - 1] = '\0';
    }
    if (message != nullptr) {
        ::LocalFree(message);
    }
}

}  // namespace

SerialOps makeSerialOps()
{
    SerialOps table{};
    table.open = openPort;
    table.setupQueues = setupQueues;
    table.applyLineSettings = applyLineSettings;
    table.setTimeouts = setTimeouts;
    table.escape = escape;
    table.write = writePort;
    table.read = readPort;
    table.clearError = clearError;
    table.cancelIo = cancelIo;
    table.close = closePort;
    table.lastError = lastError;
    table.errorText = errorText;
    return table;
}

}  // namespace platform
}  // namespace ktu
