// Test helpers for the communication tests: connected socket pairs with a
// scripted peer, and pseudo-terminals standing in for serial lines.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ktuPlatform.h"
#include "ktuTestSupport.h"

namespace ktu {
namespace test {

// A test whose log lines go to output.log in a sandbox of its own, with the
// handshake made.
class LoggedTest : public ::testing::Test {
protected:
    void SetUp() override;
    // The texts of the lines logged so far ("module-text").
    std::vector<std::string> logs() const;
    Sandbox sb;
};

// How the two ends of a connection are made: a loopback TCP connection, or
// (POSIX) a socketpair.
enum class Transport { Tcp, SocketPair };

const char* transportName(Transport t);
// The transports this platform offers.
std::vector<Transport> transports();

// Two connected stream sockets: `reader` for the library, `peer` for the
// test. Receives on both are bounded to a few seconds so that a fault cannot
// hang a test. Both are closed with the object.
class Connection {
public:
    explicit Connection(Transport transport);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool ok() const { return reader != INVALID_SOCKET && peer != INVALID_SOCKET; }

    // Sends every chunk with one send each; with a pause, the peer sends from
    // a thread of its own, pausing before each chunk, so that the reader sees
    // the chunks arrive one by one. `thenClose` ends the peer's sending side
    // after the last chunk.
    void send(const std::vector<std::string>& chunks, bool thenClose = true,
              std::chrono::milliseconds pause = std::chrono::milliseconds(0));
    // Waits for the peer thread, if any.
    void finishSending();

    // Everything the reader can still receive until the peer's end is closed.
    std::string drainReader();

    SOCKET reader = INVALID_SOCKET;
    SOCKET peer = INVALID_SOCKET;

private:
    std::thread sender_;
};

// Sends all of `bytes` on `s`; false when the connection fails.
bool sendAll(SOCKET s, const std::string& bytes);

// A frame as applications build it: the start marker, `header` (the bytes
// from position 20 up to the length field), the length field holding the
// frame's whole length right-aligned in `fieldWidth` characters, the payload
// and the end marker.
std::string buildFrame(const std::string& payload, std::size_t fieldWidth = 10, const std::string& header = "");
// The same frame with `lengthText` placed in the field as given (padded with
// blanks on the right to `fieldWidth`).
std::string buildFrameWithField(const std::string& payload, const std::string& lengthText,
                                std::size_t fieldWidth = 10);

// A pseudo-terminal standing in for the serial line of COM<comPort>: the
// library opens the port, the test reads and writes the other side.
//
// On POSIX systems the test makes the pair itself and maps the port to its
// slave side through KTU_SERIAL_PORTS. A Windows program cannot make one; under
// Wine it starts a small Linux helper (python3) that makes the pair, points
// the prefix's device entry for the port at it (and records it under
// HKEY_LOCAL_MACHINE\Software\Wine\Ports), and relays the other side over a
// loopback connection. On Windows itself ok() is false.
class PseudoTerminal {
public:
    explicit PseudoTerminal(unsigned comPort);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool ok() const { return ok_; }
    // Why ok() is false.
    const std::string& problem() const { return problem_; }
    // The device the port is mapped to.
    const std::string& slavePath() const { return slave_; }

    bool write(const std::string& bytes);
    // What arrives on the other side within `wait`, up to `limit` bytes.
    std::string read(std::size_t limit, std::chrono::milliseconds wait = std::chrono::milliseconds(2000));

private:
    bool ok_ = false;
    std::string problem_;
    std::string slave_;
    std::string portName_;
#if defined(_WIN32)
    SOCKET link_ = INVALID_SOCKET;
    void* helper_ = nullptr;
    std::string infoFile_;
    std::string scriptFile_;
#else
    int master_ = -1;
    std::string savedMap_;
    bool hadMap_ = false;
#endif
};

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string saved_;
    bool had_ = false;
};

}  // namespace test
}  // namespace ktu
