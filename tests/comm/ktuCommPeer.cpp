#include "ktuCommPeer.h"

#include <cstdlib>
#include <cstring>

#if !defined(_WIN32)
#  include <fcntl.h>
#  include <poll.h>
#  include <sys/socket.h>
#  include <unistd.h>
#endif

namespace ktu {
namespace test {

namespace {
constexpr uint32_t kReceiveBoundMs = 5000;
constexpr const char* kStart = "KS_NET_API_MSG_START";
constexpr const char* kEnd = "KS_NET_API_MSG_END00";
}  // namespace

const char* transportName(Transport t)
{
    return t == Transport::Tcp ? "Tcp" : "SocketPair";
}

std::vector<Transport> transports()
{
#if defined(_WIN32)
    return {Transport::Tcp};
#else
    return {Transport::Tcp, Transport::SocketPair};
#endif
}

Connection::Connection(Transport transport)
{
    auto& net = platform::ops().socket;
    if (transport == Transport::Tcp) {
        SOCKET listener = net.listenLoopback(0, 1);
        if (listener == INVALID_SOCKET) {
            return;
        }
        peer = net.connectTo("127.0.0.1", net.localPort(listener));
        if (peer != INVALID_SOCKET) {
            reader = net.accept(listener);
        }
        net.close(listener);
    } else {
#if !defined(_WIN32)
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0) {
            reader = fds[0];
            peer = fds[1];
        }
#endif
    }
    if (ok()) {
        net.setReceiveTimeout(reader, kReceiveBoundMs);
        net.setReceiveTimeout(peer, kReceiveBoundMs);
    }
}

Connection::~Connection()
{
    finishSending();
    auto& net = platform::ops().socket;
    if (reader != INVALID_SOCKET) {
        net.close(reader);
    }
    if (peer != INVALID_SOCKET) {
        net.close(peer);
    }
}

bool sendAll(SOCKET s, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        int n = platform::ops().socket.send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void Connection::send(const std::vector<std::string>& chunks, bool thenClose, std::chrono::milliseconds pause)
{
    SOCKET s = peer;
    auto script = [s, chunks, thenClose, pause] {
        for (const auto& chunk : chunks) {
            if (pause.count() > 0) {
                std::this_thread::sleep_for(pause);
            }
            if (!sendAll(s, chunk)) {
                break;
            }
        }
        if (thenClose) {
            platform::ops().socket.shutdownSend(s);
        }
    };
    if (pause.count() > 0) {
        finishSending();
        sender_ = std::thread(script);
    } else {
        script();
    }
}

void Connection::finishSending()
{
    if (sender_.joinable()) {
        sender_.join();
    }
}

std::string Connection::drainReader()
{
    finishSending();
    std::string rest;
    char buffer[4096];
    for (;;) {
        int n = platform::ops().socket.recv(reader, buffer, sizeof buffer, 0);
        if (n <= 0) {
            break;
        }
        rest.append(buffer, static_cast<std::size_t>(n));
    }
    return rest;
}

std::string buildFrameWithField(const std::string& payload, const std::string& lengthText, std::size_t fieldWidth)
{
    std::string field = lengthText;
    field.resize(fieldWidth, ' ');
    return std::string(kStart) + field + payload + kEnd;
}

std::string buildFrame(const std::string& payload, std::size_t fieldWidth, const std::string& header)
{
    std::size_t length = 20 + header.size() + fieldWidth + payload.size() + 20;
    std::string number = std::to_string(length);
    std::string field = std::string(fieldWidth > number.size() ? fieldWidth - number.size() : 0, ' ') + number;
    return std::string(kStart) + header + field + payload + kEnd;
}

#if !defined(_WIN32)

PseudoTerminal::PseudoTerminal()
{
    int fd = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0) {
        return;
    }
    char name[128];
    if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0) {
        ::close(fd);
        return;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    master_ = fd;
    slave_ = name;
}

PseudoTerminal::~PseudoTerminal()
{
    if (master_ >= 0) {
        ::close(master_);
    }
}

bool PseudoTerminal::write(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        pollfd p{master_, POLLOUT, 0};
        if (::poll(&p, 1, 2000) <= 0) {
            return false;
        }
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string PseudoTerminal::read(std::size_t limit, std::chrono::milliseconds wait)
{
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + wait;
    while (got.size() < limit) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buffer[4096];
        std::size_t want = limit - got.size() < sizeof buffer ? limit - got.size() : sizeof buffer;
        ssize_t n = ::read(master_, buffer, want);
        if (n <= 0) {
            break;
        }
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

#else

PseudoTerminal::PseudoTerminal() {}
PseudoTerminal::~PseudoTerminal() {}
bool PseudoTerminal::write(const std::string&) { return false; }
std::string PseudoTerminal::read(std::size_t, std::chrono::milliseconds) { return std::string(); }

#endif

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name)
{
    if (const char* old = std::getenv(name)) {
        had_ = true;
        saved_ = old;
    }
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
}

ScopedEnv::~ScopedEnv()
{
#if defined(_WIN32)
    _putenv_s(name_.c_str(), had_ ? saved_.c_str() : "");
#else
    if (had_) {
        ::setenv(name_.c_str(), saved_.c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
#endif
}

}  // namespace test
}  // namespace ktu
