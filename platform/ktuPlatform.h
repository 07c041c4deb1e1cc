// The operating-system seam.
//
// Everything the library needs from the system is reached through one table of
// function pointers, grouped by area. platform/posix/ and platform/win32/ each
// fill the table with their own implementation; tests may replace single
// entries (see ScopedOverride in tests/support) to inject faults.
//
// Nothing outside platform/ includes system headers or calls the system
// directly: library code calls ktu::platform::ops().<area>.<operation>(...).
//
// Paths given to the seam may be in drive form ("C:/x", "C:\x"); on POSIX
// systems the seam translates them through the drive map (KTU_DRIVES).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "ktuWinTypes.h"

namespace ktu {
namespace platform {

// ---------------------------------------------------------------------------
// Files and folders
// ---------------------------------------------------------------------------

// Attribute values, as the Windows file system reports them.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

constexpr std::size_t kMaxPath = 260;

// One entry of a folder listing: its bare name and its attribute value.
struct FindEntry {
    char name[kMaxPath];
    uint32_t attributes;
};

// Opaque handle of a running listing; null when none could be started.
using FindHandle = void*;

// How a stream opened through the seam may be shared with other openers.
enum class ShareMode { Any, DenyWrite };

struct FileSystemOps {
    // Enters a folder (SetCurrentDirectoryA).
    bool (*setCurrentDir)(const char* path);
    // Writes the current folder into `buffer` (GetCurrentDirectoryA): returns
    // its length, 0 on failure, or the size needed when `size` is too small.
    uint32_t (*getCurrentDir)(char* buffer, uint32_t size);
    // Starts a listing of the entries matching `pattern` ('*' and '?' as the
    // Windows search matches them; folders are found as well as files).
    FindHandle (*findFirst)(const char* pattern, FindEntry* entry);
    bool (*findNext)(FindHandle handle, FindEntry* entry);
    void (*findClose)(FindHandle handle);
    uint32_t (*getAttributes)(const char* path);
    bool (*setAttributes)(const char* path, uint32_t attributes);
    bool (*createDir)(const char* path);
    bool (*removeDir)(const char* path);
    bool (*deleteFile)(const char* path);
    bool (*copyFile)(const char* from, const char* to, bool failIfExists);
    // Writes the logical drive roots ("C:\\\0D:\\\0\0") into `buffer`
    // (GetLogicalDriveStringsA); returns the length written, 0 on failure.
    uint32_t (*logicalDriveStrings)(char* buffer, uint32_t size);
    // Opens a C stream (fopen modes; "t" text mode gives CR LF on Windows).
    std::FILE* (*openStream)(const char* path, const char* mode, ShareMode share);
};

// ---------------------------------------------------------------------------
// Clock
// ---------------------------------------------------------------------------

struct ClockOps {
    // Local wall-clock time with milliseconds (GetLocalTime).
    void (*localTime)(SYSTEMTIME* now);
    // Calendar seconds since 1970-01-01 UTC.
    int64_t (*unixTime)();
};

// ---------------------------------------------------------------------------
// User interface and process end
// ---------------------------------------------------------------------------

struct UiOps {
    // MessageBoxA. The application's handler (ktuHostHooks.h), when one is
    // installed, is asked instead of the system.
    int (*messageBox)(void* owner, const char* text, const char* caption, unsigned int style);
    // Ends the process at once with `code` (ExitProcess).
    void (*exitProcess)(int code);
    // The desktop folder to use when the registry holds no "Common Desktop"
    // value; false when there is none.
    bool (*fallbackDesktopDir)(char* buffer, uint32_t size);
};

// ---------------------------------------------------------------------------
// Registry (settings store on POSIX systems)
// ---------------------------------------------------------------------------

struct RegistryOps {
    // Reads a string value of a key under the local-machine hive.
    bool (*readMachineString)(const char* subKey, const char* valueName, char* buffer, uint32_t size);
};

// ---------------------------------------------------------------------------
// Profile (INI) files
// ---------------------------------------------------------------------------

struct ProfileOps {
    int reserved_;
};

// ---------------------------------------------------------------------------
// Processes
// ---------------------------------------------------------------------------

struct ProcessOps {
    int reserved_;
};

// ---------------------------------------------------------------------------
// Sockets and host queries
// ---------------------------------------------------------------------------

struct SocketOps {
    int reserved_;
};

// ---------------------------------------------------------------------------
// Serial lines
// ---------------------------------------------------------------------------

struct SerialOps {
    int reserved_;
};

// ---------------------------------------------------------------------------
// Pictures
// ---------------------------------------------------------------------------

struct PictureOps {
    int reserved_;
};

// ---------------------------------------------------------------------------
// The table
// ---------------------------------------------------------------------------

struct Ops {
    FileSystemOps fs;
    ClockOps clock;
    UiOps ui;
    RegistryOps registry;
    ProfileOps profile;
    ProcessOps process;
    SocketOps socket;
    SerialOps serial;
    PictureOps picture;
};

// The table in force. Library code calls through it; tests may change entries.
Ops& ops();

// The platform's own table, as built at start-up.
const Ops& systemOps();

// Each platform defines one builder per area (platform/<os>/<area>.cpp).
FileSystemOps makeFileSystemOps();
ClockOps makeClockOps();
UiOps makeUiOps();
RegistryOps makeRegistryOps();
ProfileOps makeProfileOps();
ProcessOps makeProcessOps();
SocketOps makeSocketOps();
SerialOps makeSerialOps();
PictureOps makePictureOps();

}  // namespace platform
}  // namespace ktu
