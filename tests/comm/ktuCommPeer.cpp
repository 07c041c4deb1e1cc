#include "ktuCommPeer.h"

#include "KSUtilityClasses.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#  include "ktuWinTypes.h"
#else
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

void LoggedTest::SetUp()
{
    openGate();
    ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
}

std::vector<std::string> LoggedTest::logs() const
{
    return logTexts(sb.native("logs/output.log"));
}

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

PseudoTerminal::PseudoTerminal(unsigned comPort) : portName_("COM" + std::to_string(comPort))
{
    int fd = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0) {
        problem_ = "posix_openpt failed";
        return;
    }
    char name[128];
    if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0) {
        ::close(fd);
        problem_ = "the pseudo-terminal could not be unlocked";
        return;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    master_ = fd;
    slave_ = name;
    if (const char* map = std::getenv("KTU_SERIAL_PORTS")) {
        hadMap_ = true;
        savedMap_ = map;
    }
    ::setenv("KTU_SERIAL_PORTS", (portName_ + "=" + slave_).c_str(), 1);
    ok_ = true;
}

PseudoTerminal::~PseudoTerminal()
{
    if (master_ >= 0) {
        ::close(master_);
        if (hadMap_) {
            ::setenv("KTU_SERIAL_PORTS", savedMap_.c_str(), 1);
        } else {
            ::unsetenv("KTU_SERIAL_PORTS");
        }
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

namespace {

// The Linux side of the line under Wine: makes the pair, points the prefix's
// device entry for the port at its slave side, and relays the master side
// over one loopback connection until that closes (or a minute has passed).
const char* const kBridgeScript = R"PY(import os, pty, select, socket, sys, time, tty
dosdevices, port, info = sys.argv[1], sys.argv[2].lower(), sys.argv[3]
master, slave = pty.openpty()
tty.setraw(slave)
path = os.ttyname(slave)
link = os.path.join(dosdevices, port)
try:
    os.unlink(link)
except OSError:
    pass
os.symlink(path, link)
try:
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    with open(info + ".tmp", "w") as f:
        f.write("%d %s\n" % (server.getsockname()[1], path))
    os.rename(info + ".tmp", info)
    server.settimeout(30)
    conn, _ = server.accept()
    end = time.time() + 60
    while time.time() < end:
        ready, _, _ = select.select([master, conn], [], [], 0.5)
        if master in ready:
            conn.sendall(os.read(master, 65536))
        if conn in ready:
            data = conn.recv(65536)
            if not data:
                break
            os.write(master, data)
finally:
    os.unlink(link)
)PY";

bool underWine()
{
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The Linux path of a Windows path, as Wine maps it; empty when unknown.
std::string unixPathOf(const std::string& windowsPath)
{
    using Fn = char*(CDECL*)(const WCHAR*);
    FARPROC proc = ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
    if (fn == nullptr) {
        return std::string();
    }
    std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* path = fn(wide.c_str());
    if (path == nullptr) {
        return std::string();
    }
    std::string result = path;
    ::HeapFree(::GetProcessHeap(), 0, path);
    return result;
}

}  // namespace

PseudoTerminal::PseudoTerminal(unsigned comPort) : portName_("COM" + std::to_string(comPort))
{
    if (!underWine()) {
        problem_ = "a Windows program cannot make a pseudo-terminal (this is not Wine)";
        return;
    }
    char temp[MAX_PATH];
    if (::GetTempPathA(sizeof temp, temp) == 0) {
        problem_ = "no temporary folder";
        return;
    }
    const std::string stem = std::string(temp) + "ktu_pty_" + std::to_string(::GetCurrentProcessId()) + "_" + portName_;
    scriptFile_ = stem + ".py";
    infoFile_ = stem + ".txt";
    ::DeleteFileA(infoFile_.c_str());
    if (std::FILE* f = std::fopen(scriptFile_.c_str(), "wb")) {
        std::fputs(kBridgeScript, f);
        std::fclose(f);
    }
    std::string drive = unixPathOf("C:\\");
    std::size_t at = drive.find("/dosdevices/");
    std::string dosdevices = at != std::string::npos ? drive.substr(0, at + 11) : std::string();
    if (dosdevices.empty() && drive.size() > 8 && drive.compare(drive.size() - 8, 8, "drive_c/") == 0) {
        dosdevices = drive.substr(0, drive.size() - 8) + "dosdevices";
    }
    const std::string script = unixPathOf(scriptFile_);
    const std::string info = unixPathOf(infoFile_);
    if (dosdevices.empty() || script.empty() || info.empty()) {
        problem_ = "the Wine prefix's folders could not be found";
        return;
    }
    std::string command = "/usr/bin/env python3 \"" + script + "\" \"" + dosdevices + "\" " + portName_ + " \"" + info + "\"";
    STARTUPINFOA si;
    std::memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        problem_ = "python3 could not be started from Wine";
        return;
    }
    ::CloseHandle(pi.hThread);
    helper_ = pi.hProcess;

    unsigned port = 0;
    for (int i = 0; i < 150 && port == 0; ++i) {
        ::Sleep(100);
        if (std::FILE* f = std::fopen(infoFile_.c_str(), "rb")) {
            char path[256] = "";
            if (std::fscanf(f, "%u %255s", &port, path) == 2) {
                slave_ = path;
            } else {
                port = 0;
            }
            std::fclose(f);
        }
    }
    if (port == 0) {
        problem_ = "the pseudo-terminal helper did not answer (python3 missing?)";
        return;
    }
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine\\Ports", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr) == ERROR_SUCCESS) {
        ::RegSetValueExA(key, portName_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(slave_.c_str()),
                         static_cast<DWORD>(slave_.size() + 1));
        ::RegCloseKey(key);
    }
    auto& net = platform::ops().socket;
    link_ = net.connectTo("127.0.0.1", static_cast<uint16_t>(port));
    if (link_ == INVALID_SOCKET) {
        problem_ = "the pseudo-terminal helper could not be reached";
        return;
    }
    ok_ = true;
}

PseudoTerminal::~PseudoTerminal()
{
    if (link_ != INVALID_SOCKET) {
        platform::ops().socket.close(link_);  // the helper then removes the device entry and ends
    }
    if (helper_ != nullptr) {
        if (::WaitForSingleObject(static_cast<HANDLE>(helper_), 5000) != WAIT_OBJECT_0) {
            ::TerminateProcess(static_cast<HANDLE>(helper_), 1);
        }
        ::CloseHandle(static_cast<HANDLE>(helper_));
    }
    if (ok_) {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine\\Ports", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            ::RegDeleteValueA(key, portName_.c_str());
            ::RegCloseKey(key);
        }
    }
    if (!scriptFile_.empty()) {
        ::DeleteFileA(scriptFile_.c_str());
        ::DeleteFileA(infoFile_.c_str());
    }
}

bool PseudoTerminal::write(const std::string& bytes)
{
    return ok_ && sendAll(link_, bytes);
}

std::string PseudoTerminal::read(std::size_t limit, std::chrono::milliseconds wait)
{
    std::string got;
    if (!ok_) {
        return got;
    }
    auto& net = platform::ops().socket;
    auto deadline = std::chrono::steady_clock::now() + wait;
    while (got.size() < limit) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        net.setReceiveTimeout(link_, static_cast<uint32_t>(left.count()));
        char buffer[4096];
        std::size_t want = limit - got.size() < sizeof buffer ? limit - got.size() : sizeof buffer;
        int n = net.recv(link_, buffer, static_cast<int>(want), 0);
        if (n <= 0) {
            break;
        }
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

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
