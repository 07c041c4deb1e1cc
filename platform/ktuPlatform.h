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

#include "ktuHostHooks.h"
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
// A symbolic link, junction or other reparse point. Such an entry is one of
// its own: it reads 16 + 1024 when it leads to a folder and 32 + 1024
// otherwise (a dangling link included), so the "exactly 16" folder test never
// enters it.
constexpr uint32_t kAttrReparsePoint = 0x400;
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

constexpr std::size_t kMaxPath = 260;

// One entry of a folder listing: its bare name and its attribute value.
struct FindEntry {
    char name[kMaxPath];
    uint32_t attributes;
};

// Opaque handle of a running listing; null when none could be started.
using FindHandle = void*;

// An open folder of a tree walk: a descriptor (POSIX) or a handle (Windows)
// that keeps naming the folder it was opened on, however the tree around it is
// renamed or its entries exchanged while the walk runs. Null when none could
// be opened.
using FolderHandle = void*;

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
    // The attributes of the entry itself (GetFileAttributesA): a link is
    // not followed (see kAttrReparsePoint); separators at the end of the
    // path are passed over, so "x/link/" names the link too.
    uint32_t (*getAttributes)(const char* path);
    // SetFileAttributesA on the entry itself, never on a link's target.
    bool (*setAttributes)(const char* path, uint32_t attributes);
    bool (*createDir)(const char* path);
    // RemoveDirectoryA: an empty folder, or a link to a folder (the link
    // alone goes; its target is not looked at).
    bool (*removeDir)(const char* path);
    // DeleteFileA: a file, or a link to a file (the link alone goes).
    bool (*deleteFile)(const char* path);
    // CopyFileA: the source is read through a link; the copy is a plain file,
    // written beside the target and renamed over it, so a copy that fails
    // leaves an existing target as it was.
    bool (*copyFile)(const char* from, const char* to, bool failIfExists);
    // The folder or file that `path` leads to, every link and "." or ".."
    // resolved (realpath, GetFinalPathNameByHandleA), in the system's own
    // form: returns its length, 0 when the path does not lead to an existing
    // entry, or the size needed when `size` is too small.
    uint32_t (*finalPath)(const char* path, char* buffer, uint32_t size);
    // True when `c` is the first byte of a double-byte character in the
    // active code page (IsDBCSLeadByte); such a character's second byte is
    // never a separator or a dot. Always false on POSIX systems: their paths
    // are UTF-8, where every byte of a multi-byte character is 0x80 or above.
    bool (*isLeadByte)(unsigned char c);
    // True when the file system compares names without regard to letter case.
    bool (*namesIgnoreCase)();
    // Writes the logical drive roots ("C:\\\0D:\\\0\0") into `buffer`
    // (GetLogicalDriveStringsA); returns the length written, 0 on failure.
    uint32_t (*logicalDriveStrings)(char* buffer, uint32_t size);
    // Opens a C stream (fopen modes; "t" text mode gives CR LF on Windows).
    std::FILE* (*openStream)(const char* path, const char* mode, ShareMode share);
    // Appends `size` bytes of text to the file at `path`, creating it when
    // missing, in one write to a file opened for appending, as a text-mode
    // stream would write them (each '\n' as CR LF on Windows): texts that any
    // number of processes append never mix. A write that falls short (a full
    // disk) is taken back, so the file keeps its length from before the call.
    // True when every byte was written.
    bool (*appendText)(const char* path, const char* text, std::size_t size);

    // Tree walks. Every entry below acts inside an open folder, by the bare
    // name of an entry of that folder, and never through a link at that name,
    // so a walk cannot be led out of its tree by an entry exchanged for a
    // link, or by the tree being renamed while it runs.
    //
    // Opens the folder at `path`. Links in the middle of the path are
    // followed; the last name is followed only with `followLast` (otherwise a
    // link there is no folder). Separators at the end are passed over.
    FolderHandle (*openFolder)(const char* path, bool followLast);
    // Opens the plain folder `name` of `parent`; null when it is a link or
    // anything but a folder of the same volume.
    FolderHandle (*openChild)(FolderHandle parent, const char* name);
    void (*closeFolder)(FolderHandle folder);
    // Starts a listing of every entry of the folder, "." and ".." included,
    // in the order and with the attributes that findFirst gives them;
    // findNext and findClose go on with it.
    FindHandle (*listFolder)(FolderHandle folder, FindEntry* entry);
    // Makes the folder the current directory (fchdir; on Windows
    // SetCurrentDirectoryA and a check that the folder entered is the one held).
    bool (*enterFolder)(FolderHandle folder);
    // createDir, setAttributes, deleteFile and removeDir of the entry `name`
    // of `folder`.
    bool (*createEntryDir)(FolderHandle folder, const char* name);
    bool (*setEntryAttributes)(FolderHandle folder, const char* name, uint32_t attributes);
    bool (*deleteEntry)(FolderHandle folder, const char* name);
    bool (*removeEntryDir)(FolderHandle folder, const char* name);
    // copyFile with overwriting, from the entry `name` of `from` to the entry
    // `name` of `to` (the same rules: read through a link, written as a new
    // file that replaces the old one).
    bool (*copyEntry)(FolderHandle from, const char* name, FolderHandle to);

    // Replacing a file. makeTempBeside creates a new empty file with a name
    // of its own in the folder of `path` and writes that name into `temp`;
    // replaceFile renames `temp` over `path` (a link at `path` is replaced,
    // never written through; a read-only file or a folder is not replaced).
    bool (*makeTempBeside)(const char* path, char* temp, uint32_t size);
    bool (*replaceFile)(const char* temp, const char* path);
};

// Each platform defines the append in its append.cpp.
bool appendTextToFile(const char* path, const char* text, std::size_t size);

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
    // Shows the file dialog that `request` describes (GetOpenFileNameA or
    // GetSaveFileNameA); writes the chosen path into `path` (`size` bytes)
    // and answers true, or false when nothing was chosen. The application's
    // handler (ktuHostHooks.h), when one is installed, is asked instead.
    bool (*pickFile)(const ktuFilePickRequest* request, char* path, uint32_t size);
};

// The system's file dialog; each platform defines it in its dialogs.cpp.
bool showFileDialog(const ktuFilePickRequest* request, char* path, uint32_t size);

// ---------------------------------------------------------------------------
// Registry (settings store on POSIX systems)
// ---------------------------------------------------------------------------

// An open key; null when none could be opened.
using RegKey = void*;

// Keys are named by their path below the local-machine hive, levels joined by
// '\\'; key and value names compare without regard to case. A null or empty
// value name is the key's unnamed (default) value. On POSIX systems the hive
// is a settings store (an SQLite database, see docs/platforms.md).
struct RegistryOps {
    // Reads a string value of a key under the local-machine hive.
    bool (*readMachineString)(const char* subKey, const char* valueName, char* buffer, uint32_t size);
    // RegOpenKeyExA: opens an existing key for reading (KEY_READ) or, with
    // `fullAccess`, for everything (KEY_ALL_ACCESS).
    RegKey (*openKey)(const char* path, bool fullAccess);
    // RegCreateKeyExA with KEY_ALL_ACCESS: opens the key, creating it and any
    // missing key above it.
    RegKey (*createKey)(const char* path);
    // RegQueryValueExA: copies the value's bytes into `buffer` (at most
    // *size bytes) and sets *size to their number. False when the value is
    // missing or larger than *size.
    bool (*queryValue)(RegKey key, const char* valueName, unsigned char* buffer, uint32_t* size);
    // RegSetValueExA with REG_SZ: stores `bytes` bytes of `value` (its
    // terminator included).
    bool (*setStringValue)(RegKey key, const char* valueName, const char* value, uint32_t bytes);
    // RegDeleteKeyA: deletes `subKey` of `key` with its values; a key that
    // still has subkeys is not deleted.
    bool (*deleteKey)(RegKey key, const char* subKey);
    // RegCloseKey.
    void (*closeKey)(RegKey key);
};

// ---------------------------------------------------------------------------
// Profile (INI) files
// ---------------------------------------------------------------------------

// The file is named as the library got it (drive form on POSIX systems too).
// Null section, key or value have the meanings that the Windows profile
// functions give them.
struct ProfileOps {
    // GetPrivateProfileStringA: the value of `key` in `section` (or, with a
    // null key, the section's key names; with a null section, the section
    // names, each ended by a zero byte), at most size - 1 characters, or
    // `defaultValue` when there is none. Returns the number of characters
    // written before the final terminator.
    uint32_t (*getString)(const char* section, const char* key, const char* defaultValue, char* buffer,
                          uint32_t size, const char* file);
    // WritePrivateProfileStringA: stores `value` (a null value deletes the
    // key, a null key the whole section), creating file, section and key as
    // needed. False when the file cannot be written.
    bool (*writeString)(const char* section, const char* key, const char* value, const char* file);
    // CreateFileA (CREATE_ALWAYS, GENERIC_WRITE, no sharing, write-through)
    // and CloseHandle: leaves an empty file at `file`.
    bool (*createEmptyFile)(const char* file);
};

// ---------------------------------------------------------------------------
// Processes
// ---------------------------------------------------------------------------

// An open process; null when it could not be opened.
using ProcessHandle = void*;

// Access asked of openProcess.
constexpr uint32_t kProcessQuery = 0x0400 | 0x0010;         // PROCESS_QUERY_INFORMATION | PROCESS_VM_READ
constexpr uint32_t kProcessTerminate = 0x0001 | kProcessQuery;  // and PROCESS_TERMINATE

struct ProcessOps {
    // EnumProcesses: the identifiers of the running processes into `ids`
    // (`bytes` bytes of room); *bytesReturned is set to the bytes used.
    bool (*enumProcesses)(uint32_t* ids, uint32_t bytes, uint32_t* bytesReturned);
    // OpenProcess, handles not inherited.
    ProcessHandle (*openProcess)(uint32_t access, uint32_t id);
    // EnumProcessModules (room for one module) and GetModuleBaseNameA of that
    // first module: the program's file name without its folder. False when
    // it cannot be read.
    bool (*mainModuleName)(ProcessHandle process, char* buffer, uint32_t size);
    // TerminateProcess.
    bool (*terminate)(ProcessHandle process, uint32_t exitCode);
    // CloseHandle.
    void (*close)(ProcessHandle process);
};

// ---------------------------------------------------------------------------
// Sockets and host queries
// ---------------------------------------------------------------------------

// The library's socket work mirrors the Winsock 1.1 calls one to one. The
// peer entries at the end serve the ktu tool and the tests (listening on and
// connecting to loopback); the library itself never calls them.
struct SocketOps {
    // WSAStartup for version 1.1; 0 when Winsock is ready (POSIX: always 0).
    int (*startup)();
    // WSACleanup, one for every successful startup.
    void (*cleanup)();
    // socket(AF_INET, SOCK_STREAM, 0); INVALID_SOCKET on failure.
    SOCKET (*openStream)();
    // bind to htonl(INADDR_ANY) and htons(port), address length 16;
    // 0 or SOCKET_ERROR.
    int (*bindAnyAddress)(SOCKET s, uint16_t port);
    int (*listen)(SOCKET s, int backlog);
    // closesocket.
    int (*close)(SOCKET s);
    // recv and send; the result is the byte count, 0 on an orderly close, or
    // SOCKET_ERROR. Sending never raises a signal on a closed connection.
    int (*recv)(SOCKET s, char* buffer, int length, int flags);
    int (*send)(SOCKET s, const char* buffer, int length, int flags);
    // ioctlsocket(FIONREAD): the bytes a recv would return at once, without
    // waiting; SOCKET_ERROR on failure.
    int (*pending)(SOCKET s);
    // gethostname; 0 or SOCKET_ERROR.
    int (*hostName)(char* buffer, int length);
    // gethostbyname: the first IPv4 address of the host entry, in network
    // order; false when the name does not resolve or has no address.
    bool (*hostAddress)(const char* name, uint8_t address[4]);
    // inet_ntoa: the dotted-decimal text of `address` (at most 15 characters)
    // into `text` of `size` bytes.
    void (*addressText)(const uint8_t address[4], char* text, std::size_t size);

    // Peer side. A socket listening on 127.0.0.1 (port 0: one the system
    // picks); INVALID_SOCKET on failure.
    SOCKET (*listenLoopback)(uint16_t port, int backlog);
    // The local port a socket is bound to; 0 when unknown.
    uint16_t (*localPort)(SOCKET s);
    SOCKET (*accept)(SOCKET listener);
    // A stream connection to `host` (name or dotted address) and `port`.
    SOCKET (*connectTo)(const char* host, uint16_t port);
    // Bounds every later recv on `s` to `milliseconds` (0: no bound).
    bool (*setReceiveTimeout)(SOCKET s, uint32_t milliseconds);
    // Ends the sending direction (the peer's recv then sees 0).
    int (*shutdownSend)(SOCKET s);
};

// ---------------------------------------------------------------------------
// Serial lines
// ---------------------------------------------------------------------------

// A serial port handle is the system's file handle as a pointer;
// invalidSerialHandle() (all bits set) means no port.
using SerialHandle = void*;
inline SerialHandle invalidSerialHandle()
{
    return reinterpret_cast<SerialHandle>(~static_cast<uintptr_t>(0));
}

// Line settings the library applies on top of the port's current state
// (GetCommState, change, SetCommState). Fields not listed keep their value.
struct SerialLineSettings {
    uint32_t baudRate;
    uint8_t byteSize;   // data bits
    uint8_t parity;     // 0: none
    uint8_t stopBits;   // 0: one stop bit
    bool dtrOn;         // DTR raised while the port is open
    bool rtsOn;         // false: RTS low, raised only by escape()
    bool flowControl;   // CTS/DSR handshakes, XON/XOFF, parity and error checks
};

// Time-outs in milliseconds (COMMTIMEOUTS).
struct SerialTimeouts {
    uint32_t readInterval;
    uint32_t readTotalMultiplier;
    uint32_t readTotalConstant;
    uint32_t writeTotalMultiplier;
    uint32_t writeTotalConstant;
};

enum class SerialEscape { SetRts, ClearRts };

struct SerialOps {
    // CreateFileA(name, read|write, no sharing, OPEN_EXISTING, no flags).
    // On POSIX systems "COMn" is looked up in KTU_SERIAL_PORTS.
    SerialHandle (*open)(const char* deviceName);
    bool (*setupQueues)(SerialHandle h, uint32_t inQueue, uint32_t outQueue);  // SetupComm
    bool (*applyLineSettings)(SerialHandle h, const SerialLineSettings& settings);
    bool (*setTimeouts)(SerialHandle h, const SerialTimeouts& timeouts);  // SetCommTimeouts
    bool (*escape)(SerialHandle h, SerialEscape function);                 // EscapeCommFunction
    // WriteFile / ReadFile, not overlapped; `done` receives the byte count.
    bool (*write)(SerialHandle h, const void* buffer, uint32_t size, uint32_t* done);
    bool (*read)(SerialHandle h, void* buffer, uint32_t size, uint32_t* done);
    // ClearCommError: clears a pending line error and gives the number of
    // bytes waiting in the input queue.
    bool (*clearError)(SerialHandle h, uint32_t* inQueue);
    bool (*cancelIo)(SerialHandle h);  // CancelIo
    bool (*close)(SerialHandle h);     // CloseHandle
    // GetLastError, and the system's text for an error code (FormatMessageA
    // from the system table, released after it is copied into `text`).
    uint32_t (*lastError)();
    void (*errorText)(uint32_t code, char* text, std::size_t size);
};

// ---------------------------------------------------------------------------
// Pictures
// ---------------------------------------------------------------------------

// Opaque handles of the picture area; null when there is none.
using FileHandle = void*;     // an open file (CreateFileA)
using MemoryBlock = void*;    // a movable global memory block (GlobalAlloc)
using PictureStream = void*;  // a stream over a memory block (CreateStreamOnHGlobal)

constexpr uint32_t kInvalidFileSize = 0xFFFFFFFFu;

// One piece of a file's content, for replaceFile.
struct WritePiece {
    const void* data;
    uint64_t size;
};

struct PictureOps {
    // Opens an existing file for reading, shared with nobody.
    FileHandle (*openForReading)(const char* path);
    // Writes the pieces, one after the other, as the whole content of the
    // file at `path`, by replacement: a temporary file in the same folder
    // gets them, is flushed to disk and is moved over the old file (POSIX:
    // rename; Windows: MoveFileExA with MOVEFILE_REPLACE_EXISTING |
    // MOVEFILE_WRITE_THROUGH). False when it could not be done; the old file
    // is then as it was (a full disk never costs the old content) and no
    // temporary file is left. An old file with the read-only attribute is
    // refused.
    bool (*replaceFile)(const char* path, const WritePiece* pieces, std::size_t count);
    // The file's size; kInvalidFileSize when it cannot be told (or does not
    // fit in 32 bits).
    uint32_t (*fileSize)(FileHandle file);
    // One read of up to `size` bytes; `done` receives the count read.
    bool (*readFile)(FileHandle file, void* buffer, uint32_t size, uint32_t* done);
    // Writes all `size` bytes.
    bool (*writeFile)(FileHandle file, const void* data, uint32_t size);
    // Closes the file; false when the close reported a failure.
    bool (*closeFile)(FileHandle file);

    // Zero-filled local memory (LocalAlloc with LPTR) and its release.
    void* (*localAlloc)(std::size_t size);
    void (*localFree)(void* block);

    // Movable global memory (GlobalAlloc with GMEM_MOVEABLE), locked to reach
    // its bytes; globalFree releases a block that no stream owns.
    MemoryBlock (*globalAlloc)(std::size_t size);
    void* (*globalLock)(MemoryBlock block);
    void (*globalUnlock)(MemoryBlock block);
    void (*globalFree)(MemoryBlock block);

    // A stream over a block (CreateStreamOnHGlobal); with `deleteOnRelease`
    // the block goes with the stream. `stream` is set to null on failure.
    HRESULT (*createStream)(MemoryBlock block, bool deleteOnRelease, PictureStream* stream);
    void (*releaseStream)(PictureStream stream);
    // Decodes `size` bytes of the stream into a new picture (OleLoadPicture
    // asking for IPicture); *picture is null on failure.
    HRESULT (*loadPicture)(PictureStream stream, LONG size, bool runMode, IPicture** picture);

    // The image loader: a BMP file as a device-independent bitmap
    // (LoadImageA with LR_LOADFROMFILE | LR_DEFAULTSIZE | LR_CREATEDIBSECTION),
    // its description (GetObjectA) and its release (DeleteObject). bmHeight
    // is the number of rows. bmBits may be null where the pixels are only
    // read by copyPixelRows.
    HBITMAP (*loadBitmap)(const char* path);
    bool (*describeBitmap)(HBITMAP bitmap, BITMAP* description);
    bool (*deleteBitmap)(HBITMAP bitmap);
    // Copies the pixel array in stored row order into `out`: the first
    // `rowBytes` bytes of each row (at most the row length), one after the
    // other, `limit` bytes in all (at most rows * rowBytes). False when the
    // bitmap has no such pixel array or it can no longer be read.
    bool (*copyPixelRows)(HBITMAP bitmap, unsigned char* out, std::size_t rowBytes, std::size_t limit);

    // The client rectangle of a window (GetClientRect).
    bool (*clientRect)(HWND window, RECT* rect);
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
