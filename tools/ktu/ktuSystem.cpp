// What the ktu tool asks of the system itself, beside the library: the
// current folder, the local time, the process list and plain stream sockets
// (the library frames the messages; connecting and listening are the
// application's part). The only file of the tool that calls the system.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "ktuCommand.h"

#if defined(_WIN32)
#  include <psapi.h>
#  include <winreg.h>
#  include <ws2tcpip.h>
#else
#  include <netdb.h>
#  include <netinet/in.h>
#  include <sys/socket.h>
#  include <sqlite3.h>
#  include <unistd.h>
#endif

namespace ktu {
namespace cli {

std::string currentFolder()
{
    std::error_code error;
    std::filesystem::path here = std::filesystem::current_path(error);
    return error ? std::string() : here.generic_string();
}

std::string desktopFolder()
{
#if defined(_WIN32)
    const char* names[] = {"PUBLIC", "ALLUSERSPROFILE"};
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') {
            return std::string(value) + "\\Desktop";
        }
    }
    return std::string();
#else
    const char* xdg = std::getenv("XDG_DESKTOP_DIR");
    if (xdg != nullptr && xdg[0] != '\0') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    return home != nullptr && home[0] != '\0' ? std::string(home) + "/Desktop" : std::string();
#endif
}

SYSTEMTIME localTime()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm parts{};
#if defined(_WIN32)
    localtime_s(&parts, &seconds);
#else
    localtime_r(&seconds, &parts);
#endif
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(parts.tm_year + 1900);
    t.wMonth = static_cast<WORD>(parts.tm_mon + 1);
    t.wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    t.wDay = static_cast<WORD>(parts.tm_mday);
    t.wHour = static_cast<WORD>(parts.tm_hour);
    t.wMinute = static_cast<WORD>(parts.tm_min);
    t.wSecond = static_cast<WORD>(parts.tm_sec);
    t.wMilliseconds = static_cast<WORD>(ms);
    return t;
}

bool listProcesses(std::vector<ProcessEntry>& out)
{
#if defined(_WIN32)
    std::vector<DWORD> ids(4096);
    DWORD bytes = 0;
    if (!EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) {
        return false;
    }
    ids.resize(bytes / sizeof(DWORD));
    for (DWORD id : ids) {
        std::string name = "<unknown>";
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
        if (process != nullptr) {
            HMODULE module = nullptr;
            DWORD needed = 0;
            char text[MAX_PATH] = "";
            if (EnumProcessModules(process, &module, sizeof module, &needed) &&
                GetModuleBaseNameA(process, module, text, sizeof text) > 0) {
                name = text;
            }
            CloseHandle(process);
        }
        out.push_back({static_cast<unsigned long>(id), name});
    }
    return true;
#else
    std::error_code error;
    std::filesystem::directory_iterator entries("/proc", error);
    if (error) {
        return false;
    }
    for (const auto& entry : entries) {
        const std::string number = entry.path().filename().string();
        if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::string name = "<unknown>";
        std::error_code linkError;
        std::filesystem::path program = std::filesystem::read_symlink(entry.path() / "exe", linkError);
        if (!linkError) {
            name = program.filename().string();
            const std::string deleted = " (deleted)";
            if (name.size() > deleted.size() && name.compare(name.size() - deleted.size(), deleted.size(), deleted) == 0) {
                name.resize(name.size() - deleted.size());
            }
        }
        out.push_back({std::stoul(number), name});
    }
    std::sort(out.begin(), out.end(), [](const ProcessEntry& a, const ProcessEntry& b) { return a.id < b.id; });
    return true;
#endif
}

bool settingsKeyExists(const std::string& subKey)
{
    const std::string path = "SOFTWARE\\Optic Pipeline\\" + subKey;
#if defined(_WIN32)
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
#else
    // The settings store of the library on this system: one SQLite file
    // with a table of keys, opened here for reading only.
    std::string file;
    const char* chosen = std::getenv("KTU_SETTINGS_DB");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (chosen != nullptr && chosen[0] != '\0') {
        file = nativePath(chosen);
    } else if (config != nullptr && config[0] != '\0') {
        file = std::string(config) + "/KS_TU_UtilityClasses_V4/registry.db";
    } else {
        file = std::string(home != nullptr ? home : "") + "/.config/KS_TU_UtilityClasses_V4/registry.db";
    }
    sqlite3* db = nullptr;
    bool found = false;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* query = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT 1 FROM keys WHERE path = ?1 COLLATE NOCASE", -1, &query, nullptr) ==
            SQLITE_OK) {
            sqlite3_bind_text(query, 1, path.c_str(), -1, SQLITE_TRANSIENT);
            found = sqlite3_step(query) == SQLITE_ROW;
        }
        sqlite3_finalize(query);
    }
    sqlite3_close(db);
    return found;
#endif
}

namespace {

#if defined(_WIN32)
void closeRaw(SOCKET s)
{
    closesocket(s);
}
bool startSockets()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
#else
void closeRaw(SOCKET s)
{
    close(s);
}
bool startSockets()
{
    return true;
}
#endif

}  // namespace

SOCKET connectTo(const std::string& host, unsigned short port)
{
    if (!startSockets()) {
        return INVALID_SOCKET;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        return INVALID_SOCKET;
    }
    SOCKET s = INVALID_SOCKET;
    for (addrinfo* a = found; a != nullptr && s == INVALID_SOCKET; a = a->ai_next) {
        s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s != INVALID_SOCKET && connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
            closeRaw(s);
            s = INVALID_SOCKET;
        }
    }
    freeaddrinfo(found);
    return s;
}

SOCKET listenLoopback(unsigned short port, unsigned short& boundPort)
{
    if (!startSockets()) {
        return INVALID_SOCKET;
    }
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        return s;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 4) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closeRaw(s);
        return INVALID_SOCKET;
    }
    boundPort = ntohs(address.sin_port);
    return s;
}

SOCKET acceptOne(SOCKET listener)
{
    return accept(listener, nullptr, nullptr);
}

void finishSending(SOCKET s)
{
#if defined(_WIN32)
    shutdown(s, SD_SEND);
#else
    shutdown(s, SHUT_WR);
#endif
}

void closeSocket(SOCKET s)
{
    closeRaw(s);
}

}  // namespace cli
}  // namespace ktu
