// Files and folders on Windows: each entry is the kernel32 "A" function of
// the same purpose, called with the caller's path as given ('/' and '\' are
// both separators to Windows). Attribute values are the system's own; links
// and junctions carry FILE_ATTRIBUTE_REPARSE_POINT (1024). DeleteFileA and
// RemoveDirectoryA remove a link itself; SetFileAttributesA is kept away
// from links (see setAttributes).
#include <share.h>

#include <cstring>

#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

bool setCurrentDir(const char* path)
{
    return path != nullptr && ::SetCurrentDirectoryA(path) != 0;
}

uint32_t getCurrentDir(char* buffer, uint32_t size)
{
    // The system answers the size needed (terminator included) when the
    // buffer is too small, which is the seam's rule as well.
    return ::GetCurrentDirectoryA(buffer != nullptr ? size : 0, buffer);
}

void copyEntry(const WIN32_FIND_DATAA& data, FindEntry* entry)
{
    static_assert(sizeof(data.cFileName) == sizeof(entry->name), "a listed name fills one path buffer");
    std::memcpy(entry->name, data.cFileName, sizeof(entry->name));
    entry->name[sizeof(entry->name) - 1] = '\0';
    entry->attributes = data.dwFileAttributes;
}

FindHandle findFirst(const char* pattern, FindEntry* entry)
{
    if (pattern == nullptr || entry == nullptr) {
        return nullptr;
    }
    WIN32_FIND_DATAA data;
    HANDLE handle = ::FindFirstFileA(pattern, &data);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    copyEntry(data, entry);
    return handle;
}

bool findNext(FindHandle handle, FindEntry* entry)
{
    if (handle == nullptr || entry == nullptr) {
        return false;
    }
    WIN32_FIND_DATAA data;
    if (!::FindNextFileA(static_cast<HANDLE>(handle), &data)) {
        return false;
    }
    copyEntry(data, entry);
    return true;
}

void findClose(FindHandle handle)
{
    if (handle != nullptr) {
        ::FindClose(static_cast<HANDLE>(handle));
    }
}

uint32_t getAttributes(const char* path)
{
    return path != nullptr ? ::GetFileAttributesA(path) : kInvalidAttributes;
}

// A reparse point gets its attributes through a handle to the entry itself
// (FILE_FLAG_OPEN_REPARSE_POINT), so that a link's target is never changed.
bool setAttributes(const char* path, uint32_t attributes)
{
    if (path == nullptr) {
        return false;
    }
    DWORD current = ::GetFileAttributesA(path);
    if (current == INVALID_FILE_ATTRIBUTES || (current & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return ::SetFileAttributesA(path, attributes) != 0;
    }
    HANDLE entry = ::CreateFileA(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                 nullptr);
    if (entry == INVALID_HANDLE_VALUE) {
        return false;
    }
    FILE_BASIC_INFO info{};
    info.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    bool done = ::SetFileInformationByHandle(entry, FileBasicInfo, &info, sizeof info) != 0;
    ::CloseHandle(entry);
    return done;
}

bool createDir(const char* path)
{
    return path != nullptr && ::CreateDirectoryA(path, nullptr) != 0;
}

bool removeDir(const char* path)
{
    return path != nullptr && ::RemoveDirectoryA(path) != 0;
}

bool deleteFile(const char* path)
{
    return path != nullptr && ::DeleteFileA(path) != 0;
}

bool copyFile(const char* from, const char* to, bool failIfExists)
{
    return from != nullptr && to != nullptr && ::CopyFileA(from, to, failIfExists ? TRUE : FALSE) != 0;
}

uint32_t finalPath(const char* path, char* buffer, uint32_t size)
{
    if (path == nullptr) {
        return 0;
    }
    HANDLE entry = ::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (entry == INVALID_HANDLE_VALUE) {
        return 0;
    }
    char stack[1024];
    DWORD got = ::GetFinalPathNameByHandleA(entry, stack, sizeof stack, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    ::CloseHandle(entry);
    if (got == 0 || got >= sizeof stack) {
        return 0;
    }
    // "\\?\C:\x" becomes "C:\x", "\\?\UNC\srv\x" becomes "\\srv\x".
    const char* text = stack;
    std::size_t length = got;
    char unc[sizeof stack];
    if (std::strncmp(text, "\\\\?\\UNC\\", 8) == 0) {
        unc[0] = '\\';
        std::memcpy(unc + 1, text + 7, length - 7 + 1);
        text = unc;
        length -= 6;
    } else if (std::strncmp(text, "\\\\?\\", 4) == 0) {
        text += 4;
        length -= 4;
    }
    if (buffer == nullptr || length + 1 > size) {
        return static_cast<uint32_t>(length + 1);
    }
    std::memcpy(buffer, text, length + 1);
    return static_cast<uint32_t>(length);
}

bool isLeadByte(unsigned char c)
{
    return ::IsDBCSLeadByte(c) != 0;
}

bool namesIgnoreCase()
{
    return true;
}

uint32_t logicalDriveStrings(char* buffer, uint32_t size)
{
    return ::GetLogicalDriveStringsA(buffer != nullptr ? size : 0, buffer);
}

// fopen modes pass unchanged: the C runtime opens in text mode unless "b" is
// given, so "t" (or no letter) turns each '\n' written into CR LF.
std::FILE* openStream(const char* path, const char* mode, ShareMode share)
{
    if (path == nullptr || mode == nullptr) {
        return nullptr;
    }
    if (share == ShareMode::DenyWrite) {
        return ::_fsopen(path, mode, _SH_DENYWR);
    }
    return std::fopen(path, mode);
}

}  // namespace

FileSystemOps makeFileSystemOps()
{
    FileSystemOps table{};
    table.setCurrentDir = setCurrentDir;
    table.getCurrentDir = getCurrentDir;
    table.findFirst = findFirst;
    table.findNext = findNext;
    table.findClose = findClose;
    table.getAttributes = getAttributes;
    table.setAttributes = setAttributes;
    table.createDir = createDir;
    table.removeDir = removeDir;
    table.deleteFile = deleteFile;
    table.copyFile = copyFile;
    table.finalPath = finalPath;
    table.isLeadByte = isLeadByte;
    table.namesIgnoreCase = namesIgnoreCase;
    table.logicalDriveStrings = logicalDriveStrings;
    table.openStream = openStream;
    return table;
}

}  // namespace platform
}  // namespace ktu
