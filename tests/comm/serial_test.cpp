// The serial port: refusals and the write's RTS bracket through a scripted
// seam, real transfers over a pseudo-terminal.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

#if !defined(_WIN32)
#  include <fcntl.h>
#  include <poll.h>
#  include <termios.h>
#  include <unistd.h>
#endif

namespace {

using namespace std::chrono_literals;

void* const kInvalid = ktu::platform::invalidSerialHandle();
constexpr unsigned long kPort = 7;

class SerialPort : public ktu::test::LoggedTest {
protected:
    ktu::test::MessageBoxRecorder boxes;
};

using Line = ktu::test::FakeSerialLine;

// Refused numbers and rates touch no device; invalid handles answer 0 and
// only the write logs. A whole write answers 1; a short one or a failure logs
// at level 1 (one box per line); RTS is up only for the write's duration.
TEST_F(SerialPort, RefusalsAndWritesOverAScriptedLine)
{
    Line line;
    for (auto [port, rate] : {std::pair<unsigned long, unsigned long>{256, 9600}, {100000, 9600}, {kPort, 14400},
                              {kPort, 0}, {kPort, 9601}, {kPort, 230400}}) {
        EXPECT_EQ(ktuSSerialPortComm::openComPort(port, rate), kInvalid) << port << " " << rate;
    }
    char block[10] = {1, 2, 3, 4};
    for (void* h : {static_cast<void*>(nullptr), kInvalid}) {
        unsigned long count = 99;
        EXPECT_EQ(ktuSSerialPortComm::closeComPort(h), 0);
        EXPECT_EQ(ktuSSerialPortComm::writeComPort(h, 4, block), 0);
        EXPECT_EQ(ktuSSerialPortComm::readComPort(h, &count, 4, block), 0);
        EXPECT_EQ(count, 99ul);
    }
    EXPECT_TRUE(Line::events.empty());
    EXPECT_EQ(logs(), std::vector<std::string>(2, "ktuSSerialPortComm::writeComPort-Invalid handle"));
    EXPECT_TRUE(boxes.calls().empty());

    struct Row {
        bool ok;
        long written;
        int result;
        std::vector<std::string> events, lines;
    } rows[] = {
        {true, 10, 1, {"rts up", "write", "rts down"}, {}},
        {true, 6, 0, {"rts up", "write", "rts down"},
         {"ktuSSerialPortComm::writeComPort-WriteFile failed. BytesWritten = 6"}},
        {false, 0, 0, {"rts up", "write", "cancel", "rts down"},
         {"ktuSSerialPortComm::writeComPort-WriteFile failed (GetLastError = 5)",
          "ktuSSerialPortComm::writeComPort-Access is denied."}},
    };
    std::size_t linesBefore = 2;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.result);
        Line::events.clear();
        Line::writeOk = row.ok;
        Line::writeCount = row.written;
        const std::size_t boxesBefore = boxes.calls().size();
        EXPECT_EQ(ktuSSerialPortComm::writeComPort(Line::handle(), 10, block), row.result);
        EXPECT_EQ(Line::events, row.events);
        auto all = logs();
        EXPECT_EQ(std::vector<std::string>(all.begin() + linesBefore, all.end()), row.lines);
        EXPECT_EQ(boxes.calls().size() - boxesBefore, row.lines.size());
        linesBefore = all.size();
    }
}

#if !defined(_WIN32)

// The line of COM7 is a pseudo-terminal (mapped through KTU_SERIAL_PORTS)
// whose other side the test reads and writes.
TEST_F(SerialPort, OverAPseudoTerminal)
{
    struct Master {
        int fd = ::posix_openpt(O_RDWR | O_NOCTTY);
        ~Master() { ::close(fd); }
    } master;
    char slavePath[128];
    if (master.fd < 0 || ::grantpt(master.fd) != 0 || ::unlockpt(master.fd) != 0 ||
        ::ptsname_r(master.fd, slavePath, sizeof slavePath) != 0) {
        GTEST_SKIP() << "no pseudo-terminal could be made";
    }
    ::setenv("KTU_SERIAL_PORTS", (std::string("COM7=") + slavePath).c_str(), 1);
    for (unsigned long rate : {110ul, 300ul, 600ul, 1200ul, 2400ul, 4800ul, 9600ul, 19200ul, 38400ul, 57600ul}) {
        EXPECT_EQ(ktuSSerialPortComm::closeComPort(ktuSSerialPortComm::openComPort(kPort, rate)), 1) << rate;
    }
    // A line left at 7 bits, odd parity and two stop bits is opened as 8N1.
    const int slave = ::open(slavePath, O_RDWR | O_NOCTTY);
    termios line{};
    ASSERT_EQ(::tcgetattr(slave, &line), 0);
    line.c_cflag = (line.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS7 | PARENB | PARODD | CSTOPB;
    ASSERT_EQ(::tcsetattr(slave, TCSANOW, &line), 0);
    void* port = ktuSSerialPortComm::openComPort(kPort, 115200);
    ASSERT_NE(port, kInvalid);
    ASSERT_EQ(::tcgetattr(slave, &line), 0);
    ::close(slave);
    EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(ktuSSerialPortComm::openComPort(kPort, 115200), kInvalid);  // shared with nobody, root included

    char hello[] = "hello\nline\r\n\x03\x00\xff";  // raw bytes, no translation
    ASSERT_EQ(ktuSSerialPortComm::writeComPort(port, sizeof hello - 1, hello), 1);
    std::string got;
    char piece[64];
    pollfd ready{master.fd, POLLIN, 0};
    for (long n = 0; got.size() < sizeof hello - 1 && ::poll(&ready, 1, 2000) > 0 &&
                 (n = ::read(master.fd, piece, sizeof piece)) > 0;) {
        got.append(piece, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(got, std::string(hello, sizeof hello - 1));

    unsigned long count = 99;
    char buffer[16];
    EXPECT_EQ(ktuSSerialPortComm::readComPort(port, &count, sizeof buffer, buffer), 0);
    EXPECT_EQ(count, 0ul);
    ASSERT_EQ(::write(master.fd, "0123456789", 10), 10);
    uint32_t waiting = 0;
    for (int i = 0; i < 200 && waiting < 10; ++i) {
        std::this_thread::sleep_for(10ms);
        ktu::platform::ops().serial.clearError(port, &waiting);
    }
    ASSERT_EQ(waiting, 10u);
    EXPECT_EQ(ktuSSerialPortComm::readComPort(port, &count, 4, buffer), 1);
    EXPECT_EQ(std::string(buffer, count), "0123");
    EXPECT_EQ(ktuSSerialPortComm::readComPort(port, &count, sizeof buffer, buffer), 1);
    EXPECT_EQ(std::string(buffer, count), "456789");
    EXPECT_EQ(ktuSSerialPortComm::readComPort(port, &count, sizeof buffer, buffer), 0);
    EXPECT_EQ(count, 0ul);
    EXPECT_EQ(ktuSSerialPortComm::closeComPort(port), 1);
    EXPECT_TRUE(logs().empty());

    // Ports map to devices by name without regard to case; missing devices are
    // refused. Nobody drains the line: the write stops at its 100 ms time-out
    // with part of the block out, reports the count at level 1 and answers 0.
    ::setenv("KTU_SERIAL_PORTS", (std::string("COM3=/nonexistent/tty;com7=") + slavePath).c_str(), 1);
    EXPECT_EQ(ktuSSerialPortComm::openComPort(3, 9600), kInvalid);
    EXPECT_EQ(ktuSSerialPortComm::openComPort(0, 9600), kInvalid);  // COM0 has no default device
    port = ktuSSerialPortComm::openComPort(7, 9600);
    ASSERT_NE(port, kInvalid);
    std::vector<char> block(4 << 20, 'w');
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ktuSSerialPortComm::writeComPort(port, static_cast<unsigned long>(block.size()), block.data()), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    const auto lines = logs();
    long written = -1;
    ASSERT_EQ(lines.size(), 1u);
    std::sscanf(lines[0].c_str(), "ktuSSerialPortComm::writeComPort-WriteFile failed. BytesWritten = %ld", &written);
    EXPECT_TRUE(written > 0 && written < static_cast<long>(block.size())) << lines[0];
    EXPECT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(ktuSSerialPortComm::closeComPort(port), 1);
}

#endif

}  // namespace
