#include "ktuCommPeer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#  include "ktuWinTypes.h"
#else
#  include <fcntl.h>
#  include <poll.h>
#  include <unistd.h>
#endif

namespace ktu {
namespace test {

#if !defined(_WIN32)

PseudoTerminal::PseudoTerminal(unsigned comPort) : portName_("COM" + std::to_string(comPort))
{
    int fd = ::posix_openpt(O_RDWR | O_NOCTTY);
    char name[128];
    master_ = fd;
    if (fd < 0 || ::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0) {
        problem_ = "no pseudo-terminal could be made";
        return;
    }
    slave_ = name;
    ::setenv("KTU_SERIAL_PORTS", (portName_ + "=" + slave_).c_str(), 1);
    ok_ = true;
}

PseudoTerminal::~PseudoTerminal()
{
    if (master_ >= 0) {
        ::close(master_);  // the port stays mapped until the next pseudo-terminal replaces it
    }
}

bool PseudoTerminal::write(const std::string& bytes)
{
    return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());  // a few bytes at most
}

#else

namespace {

// The Linux side of the line: points the port's device entry in the prefix of
// drive C: (argv[1]) at the slave side, writes its loopback port and the
// slave's path to <script>.txt, and relays the master side over one
// connection until that closes (or a minute passes).
const char* const kBridgeScript = R"PY(import os, pty, select, socket, sys, time, tty
link = os.path.join(os.path.dirname(os.path.realpath(sys.argv[1])), "dosdevices", sys.argv[2].lower())
info = sys.argv[0][:-3] + ".txt"
master, slave = pty.openpty()
tty.setraw(slave)
path = os.ttyname(slave)
if os.path.lexists(link):
    os.unlink(link)
os.symlink(path, link)
try:
    server = socket.create_server(("127.0.0.1", 0))
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

// The Linux path of a Windows path; empty when unknown or not under Wine.
std::string unixPathOf(const std::string& windowsPath)
{
    using Fn = char*(CDECL*)(const WCHAR*);
    FARPROC proc = ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
    std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* path = fn != nullptr ? fn(wide.c_str()) : nullptr;
    std::string result = path != nullptr ? path : "";
    if (path != nullptr) {
        ::HeapFree(::GetProcessHeap(), 0, path);
    }
    return result;
}

}  // namespace

PseudoTerminal::PseudoTerminal(unsigned comPort) : portName_("COM" + std::to_string(comPort))
{
    problem_ = "this is not Wine, or its python3 helper did not start or answer";
    char temp[MAX_PATH];
    const std::string drive = unixPathOf("C:\\");
    if (drive.empty() || ::GetTempPathA(sizeof temp, temp) == 0) {
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
    std::string command = "/usr/bin/env python3 \"" + unixPathOf(scriptFile_) + "\" \"" + drive + "\" " + portName_;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        return;
    }
    ::CloseHandle(pi.hThread);
    helper_ = pi.hProcess;
    unsigned port = 0;
    for (int i = 0; i < 150 && port == 0; ++i) {
        ::Sleep(100);
        if (std::FILE* f = std::fopen(infoFile_.c_str(), "rb")) {
            char path[256] = "";
            port = std::fscanf(f, "%u %255s", &port, path) == 2 ? port : 0;
            slave_ = path;
            std::fclose(f);
        }
    }
    HKEY key = nullptr;
    if (port != 0 && ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine\\Ports", 0, nullptr, 0, KEY_SET_VALUE,
                                       nullptr, &key, nullptr) == ERROR_SUCCESS) {
        ::RegSetValueExA(key, portName_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(slave_.c_str()),
                         static_cast<DWORD>(slave_.size() + 1));
        ::RegCloseKey(key);
    }
    link_ = port != 0 ? platform::ops().socket.connectTo("127.0.0.1", static_cast<uint16_t>(port)) : INVALID_SOCKET;
    ok_ = link_ != INVALID_SOCKET;
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
    HKEY key = nullptr;
    if (ok_ && ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine\\Ports", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        ::RegDeleteValueA(key, portName_.c_str());
        ::RegCloseKey(key);
    }
    ::DeleteFileA(scriptFile_.c_str());
    ::DeleteFileA(infoFile_.c_str());
}

bool PseudoTerminal::write(const std::string& bytes)
{
    return ok_ && sendAll(link_, bytes);
}

#endif

std::string PseudoTerminal::read(std::size_t limit, std::chrono::milliseconds wait)
{
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (ok_ && got.size() < limit) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        char buffer[4096];
        const std::size_t want = std::min(limit - got.size(), sizeof buffer);
#if defined(_WIN32)
        platform::ops().socket.setReceiveTimeout(link_, static_cast<uint32_t>(left.count()));
        int n = left.count() > 0 ? platform::ops().socket.recv(link_, buffer, static_cast<int>(want), 0) : 0;
#else
        pollfd p{master_, POLLIN, 0};
        long n = left.count() > 0 && ::poll(&p, 1, static_cast<int>(left.count())) > 0 ? ::read(master_, buffer, want) : 0;
#endif
        if (n <= 0) {
            break;
        }
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

}  // namespace test
}  // namespace ktu
