// Test helpers for the communication tests: connected socket pairs with a
// scripted peer, and pseudo-terminals standing in for serial lines.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ktuPlatform.h"

namespace ktu {
namespace test {

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

// A pseudo-terminal pair: the library opens `slavePath` as its serial port,
// the test reads and writes `master`. Available on POSIX systems only.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool ok() const { return master_ >= 0; }
    const std::string& slavePath() const { return slave_; }

    bool write(const std::string& bytes);
    // What arrives on the master side within `wait`, up to `limit` bytes.
    std::string read(std::size_t limit, std::chrono::milliseconds wait = std::chrono::milliseconds(2000));

private:
    int master_ = -1;
    std::string slave_;
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
