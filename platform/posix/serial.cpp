// Serial ports on POSIX systems: a terminal device driven through termios.
//
// Port names: "COMn" is looked up in the environment variable
// KTU_SERIAL_PORTS, a list of NAME=DEVICE entries separated by ';'
// ("COM1=/dev/pts/3;COM2=/dev/ttyUSB0", names compared without regard to
// case). A port that is not listed is /dev/ttyS(n-1) (COM1 is /dev/ttyS0);
// COM0 has no default device. Any other name is opened as a device path.
//
// A port is open once at a time: a second open of the same device, by any
// process or user (root included), is refused while the first is open.
//
// The handle is the file descriptor plus one, as a pointer, so that neither
// null nor all bits set can name an open port. Time-outs are kept per
// descriptor: reads of what is waiting return at once, and a write gives up
// when its total time-out has passed, reporting the bytes it got out.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "descriptor.h"
#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

std::mutex g_timeoutsLock;
std::map<int, SerialTimeouts> g_timeouts;

SerialHandle toHandle(int fd)
{
    return reinterpret_cast<SerialHandle>(static_cast<intptr_t>(fd) + 1);
}

int toFd(SerialHandle h)
{
    intptr_t value = reinterpret_cast<intptr_t>(h) - 1;
    return (value < 0 || value > 0x7FFFFFFF) ? -1 : static_cast<int>(value);
}

bool sameNameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// The device path for a port name; empty when there is none.
std::string devicePath(const char* name)
{
    std::string wanted = name;
    if (const char* map = std::getenv("KTU_SERIAL_PORTS")) {
        std::string list = map;
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = list.find(';', start);
            if (end == std::string::npos) {
                end = list.size();
            }
            std::string entry = list.substr(start, end - start);
            std::size_t eq = entry.find('=');
            if (eq != std::string::npos && sameNameIgnoringCase(entry.substr(0, eq), wanted)) {
                return entry.substr(eq + 1);
            }
            start = end + 1;
        }
    }
    if (wanted.size() > 3 && sameNameIgnoringCase(wanted.substr(0, 3), "COM")) {
        char* end = nullptr;
        long number = std::strtol(wanted.c_str() + 3, &end, 10);
        if (end == nullptr || *end != '\0') {
            return std::string();
        }
        if (number < 1) {
            return std::string();
        }
        return "/dev/ttyS" + std::to_string(number - 1);
    }
    return wanted;
}

SerialHandle openPort(const char* deviceName)
{
    if (deviceName == nullptr) {
        errno = EINVAL;
        return invalidSerialHandle();
    }
    std::string path = devicePath(deviceName);
    if (path.empty()) {
        errno = ENOENT;
        return invalidSerialHandle();
    }
    Descriptor fd;
    do {
        fd.reset(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    } while (!fd && errno == EINTR);
    if (!fd) {
        return invalidSerialHandle();
    }
    if (!::isatty(fd.get())) {
        errno = ENOTTY;
        return invalidSerialHandle();
    }
    // No sharing, as the Windows open shares nothing: the terminal's
    // exclusive mode refuses later opens by other users but not by root, so
    // an advisory lock on the device refuses every other open as well.
    ::ioctl(fd.get(), TIOCEXCL);
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        errno = (errno == EWOULDBLOCK) ? EBUSY : errno;
        return invalidSerialHandle();
    }
    {
        std::lock_guard<std::mutex> lock(g_timeoutsLock);
        g_timeouts[fd.get()] = SerialTimeouts{};
    }
    return toHandle(fd.release());
}

bool setupQueues(SerialHandle h, uint32_t, uint32_t)
{
    // The terminal driver's queues have sizes of their own.
    return toFd(h) >= 0;
}

// A call answering 0 or -1, made again while a signal interrupts it.
template <class Call>
bool retried(Call call)
{
    int rc;
    do {
        rc = call();
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

speed_t speedFor(uint32_t rate)
{
    switch (rate) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
    }
}

void setModemLine(int fd, int line, bool on)
{
    int bits = line;
    ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);  // pseudo-terminals have no modem lines
}

bool applyLineSettings(SerialHandle h, const SerialLineSettings& settings)
{
    int fd = toFd(h);
    termios t{};
    if (fd < 0 || !retried([&] { return ::tcgetattr(fd, &t); })) {
        return false;
    }
    speed_t speed = speedFor(settings.baudRate);
    if (speed == B0) {
        return false;
    }
    // Binary transfer: no line editing, echo, translation or signals.
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
    t.c_cflag |= CLOCAL | CREAD;
    switch (settings.byteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    default: t.c_cflag |= CS8; break;
    }
    if (settings.parity != 0) {
        t.c_cflag |= PARENB | (settings.parity == 1 ? PARODD : 0);
    }
    if (settings.stopBits == 2) {
        t.c_cflag |= CSTOPB;
    }
    if (settings.flowControl) {
        t.c_cflag |= CRTSCTS;
        t.c_iflag |= IXON | IXOFF | INPCK;
    } else {
        t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
        t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    }
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    if (!retried([&] { return ::tcsetattr(fd, TCSANOW, &t); })) {
        return false;
    }
    setModemLine(fd, TIOCM_DTR, settings.dtrOn);
    setModemLine(fd, TIOCM_RTS, settings.rtsOn);
    return true;
}

bool setTimeouts(SerialHandle h, const SerialTimeouts& timeouts)
{
    int fd = toFd(h);
    if (fd < 0) {
        return false;
    }
    std::lock_guard<std::mutex> lock(g_timeoutsLock);
    auto it = g_timeouts.find(fd);
    if (it == g_timeouts.end()) {
        return false;
    }
    it->second = timeouts;
    return true;
}

SerialTimeouts timeoutsOf(int fd)
{
    std::lock_guard<std::mutex> lock(g_timeoutsLock);
    auto it = g_timeouts.find(fd);
    return it == g_timeouts.end() ? SerialTimeouts{} : it->second;
}

bool escape(SerialHandle h, SerialEscape function)
{
    int fd = toFd(h);
    if (fd < 0) {
        return false;
    }
    int bits = TIOCM_RTS;
    return ::ioctl(fd, function == SerialEscape::SetRts ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

using Clock = std::chrono::steady_clock;

// Moves `size` bytes with `step` until done or `totalMs` has passed (0: no
// limit); `events` is the poll condition to wait for between steps.
template <class Step>
bool transfer(int fd, uint32_t size, uint32_t* done, uint32_t totalMs, short events, Step step)
{
    uint32_t moved = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
    bool ok = true;
    while (moved < size) {
        ssize_t n = step(moved, size - moved);
        if (n > 0) {
            moved += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            ok = false;
            break;
        }
        int waitMs = -1;
        if (totalMs != 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                break;  // timed out: the count tells how far it got
            }
            waitMs = static_cast<int>(left);
        }
        pollfd p{fd, events, 0};
        ::poll(&p, 1, waitMs);
    }
    if (done != nullptr) {
        *done = moved;
    }
    return ok;
}

// What a read and a write share: the checks of the handle and the buffer, a
// count of 0 until bytes move, and the whole transfer's time-out (multiplier
// x size + constant, held to 32 bits). `io(fd, at, left)` moves bytes.
template <typename Io>
bool transferPort(SerialHandle h, bool hasBuffer, uint32_t size, uint32_t* done, uint32_t multiplier,
                  uint32_t constant, short direction, Io io)
{
    int fd = toFd(h);
    if (done != nullptr) {
        *done = 0;
    }
    if (fd < 0 || (!hasBuffer && size > 0)) {
        errno = fd < 0 ? EBADF : EFAULT;
        return false;
    }
    const uint64_t total = static_cast<uint64_t>(multiplier) * size + constant;
    const uint32_t totalMs = total > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(total);
    return transfer(fd, size, done, totalMs, direction, [&](uint32_t at, uint32_t left) { return io(fd, at, left); });
}

bool writePort(SerialHandle h, const void* buffer, uint32_t size, uint32_t* done)
{
    const SerialTimeouts t = timeoutsOf(toFd(h));
    const char* bytes = static_cast<const char*>(buffer);
    return transferPort(h, buffer != nullptr, size, done, t.writeTotalMultiplier, t.writeTotalConstant, POLLOUT,
                        [&](int fd, uint32_t at, uint32_t left) { return ::write(fd, bytes + at, left); });
}

bool readPort(SerialHandle h, void* buffer, uint32_t size, uint32_t* done)
{
    const SerialTimeouts t = timeoutsOf(toFd(h));
    char* bytes = static_cast<char*>(buffer);
    return transferPort(h, buffer != nullptr, size, done, t.readTotalMultiplier, t.readTotalConstant, POLLIN,
                        [&](int fd, uint32_t at, uint32_t left) { return ::read(fd, bytes + at, left); });
}

bool clearError(SerialHandle h, uint32_t* inQueue)
{
    int fd = toFd(h);
    int waiting = 0;
    if (fd < 0 || ::ioctl(fd, FIONREAD, &waiting) != 0) {
        if (inQueue != nullptr) {
            *inQueue = 0;
        }
        return false;
    }
    if (inQueue != nullptr) {
        *inQueue = waiting < 0 ? 0u : static_cast<uint32_t>(waiting);
    }
    return true;
}

bool cancelIo(SerialHandle h)
{
    // Every transfer ends before its call returns: nothing is pending.
    return toFd(h) >= 0;
}

bool closePort(SerialHandle h)
{
    int fd = toFd(h);
    if (fd < 0) {
        errno = EBADF;
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(g_timeoutsLock);
        g_timeouts.erase(fd);
    }
    return ::close(fd) == 0;
}

uint32_t lastError()
{
    return static_cast<uint32_t>(errno);
}

void errorText(uint32_t code, char* text, std::size_t size)
{
    if (text == nullptr || size == 0) {
        return;
    }
    const char* message = std::strerror(static_cast<int>(code));
    std::strncpy(text, message != nullptr ? message : "", size - 1);
    text[size - 1] = '\0';
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
