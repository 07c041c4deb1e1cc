// Files and folders on Windows: each entry is the kernel32 "A" function of
// the same purpose, called with the caller's path as given ('/' and '\' are
// both separators to Windows). Attribute values are the system's own; links
// and junctions carry FILE_ATTRIBUTE_REPARSE_POINT (1024). DeleteFileA and
// RemoveDirectoryA remove a link itself; SetFileAttributesA is kept away
// from links (see setAttributes).
//
// Tree walks hold each folder open (CreateFileA with FILE_FLAG_BACKUP_SEMANTICS
// and FILE_FLAG_OPEN_REPARSE_POINT, shared for reading and writing but not for
// deletion, so that nobody can rename or remove it, or a folder above it,
// while it is held) and act on its entries by its path joined with their
// names. A sub-folder is held only when what was opened is a plain folder of
// the same volume (GetFileInformationByHandle), never a link or junction;
// entering a folder checks that the current directory is then the folder
// held (volume serial number and file index).
//
// Copies that may overwrite are made to a new file beside the target
// (CopyFileA) and moved over it (MoveFileExA), so a copy that fails leaves
// the old file whole.
#include <share.h>

#include <cstring>
#include <algorithm>
#include <string>

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

// A new empty file of a name of its own in the folder of `path`; its path
// goes to `temp`.
bool makeTemp(const char* path, std::string& temp)
{
    if (path == nullptr) {
        return false;
    }
    std::string given(path);
    std::size_t cut = given.find_last_of("/\\");
    std::string folder = cut == std::string::npos ? std::string() : given.substr(0, cut + 1);
    static LONG counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = folder + ".ktutemp" + std::to_string(::GetCurrentProcessId()) + "." +
               std::to_string(::InterlockedIncrement(&counter));
        HANDLE made =
            ::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (made != INVALID_HANDLE_VALUE) {
            ::CloseHandle(made);
            return true;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS) {
            return false;
        }
    }
    return false;
}

void dropTemp(const std::string& temp)
{
    ::SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(temp.c_str());
}

// Moves `temp` over `path`: a link at `path` is replaced, never written
// through; a folder or a read-only file is not replaced.
bool replaceFile(const char* temp, const char* path)
{
    if (temp == nullptr || path == nullptr) {
        return false;
    }
    DWORD existing = ::GetFileAttributesA(path);
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
        (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return ::MoveFileExA(temp, path, MOVEFILE_REPLACE_EXISTING) != 0;
}

bool copyFile(const char* from, const char* to, bool failIfExists)
{
    if (from == nullptr || to == nullptr) {
        return false;
    }
    if (failIfExists) {
        return ::CopyFileA(from, to, TRUE) != 0;  // nothing that exists is touched
    }
    std::string temp;
    if (!makeTemp(to, temp)) {
        return false;
    }
    if (::CopyFileA(from, temp.c_str(), FALSE) != 0 && replaceFile(temp.c_str(), to)) {
        return true;
    }
    DWORD error = ::GetLastError();
    dropTemp(temp);
    ::SetLastError(error);
    return false;
}

bool makeTempBeside(const char* path, char* temp, uint32_t size)
{
    std::string made;
    if (temp == nullptr || !makeTemp(path, made)) {
        return false;
    }
    if (made.size() + 1 > size) {
        dropTemp(made);
        return false;
    }
    std::memcpy(temp, made.c_str(), made.size() + 1);
    return true;
}

// --- Tree walks -----------------------------------------------------------

struct WalkFolder {
    HANDLE handle;
    std::string path;
    BY_HANDLE_FILE_INFORMATION info;
};

bool sameFolder(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// Holds the folder at `path` open; null unless it is a folder, and, without
// `followLast`, a plain one (not a link or junction).
WalkFolder* holdFolder(const std::string& path, bool followLast)
{
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLast ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE handle = ::CreateFileA(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    auto* folder = new WalkFolder{handle, path, {}};
    DWORD unwanted = followLast ? 0 : FILE_ATTRIBUTE_REPARSE_POINT;
    DWORD attributes = 0;
    if (::GetFileInformationByHandle(handle, &folder->info)) {
        attributes = folder->info.dwFileAttributes;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & unwanted) != 0) {
        ::CloseHandle(handle);
        delete folder;
        return nullptr;
    }
    return folder;
}

WalkFolder* walkFolder(FolderHandle folder)
{
    return static_cast<WalkFolder*>(folder);
}

// The length of `path` without the separators at its end. The second byte of
// a double-byte character (0x5C in code page 932) is never taken for one.
std::size_t lengthWithoutEndSeparators(const std::string& path)
{
    std::size_t keep = 0;
    for (std::size_t i = 0; i < path.size();) {
        bool pair = ::IsDBCSLeadByte(static_cast<unsigned char>(path[i])) != 0 && i + 1 < path.size();
        std::size_t width = pair ? 2 : 1;
        if (pair || (path[i] != '/' && path[i] != '\\')) {
            keep = i + width;
        }
        i += width;
    }
    return keep;
}

std::string entryOf(FolderHandle folder, const char* name)
{
    const std::string& path = walkFolder(folder)->path;
    bool ended = lengthWithoutEndSeparators(path) < path.size();
    return path + (ended ? "" : "\\") + name;
}

FolderHandle openFolder(const char* path, bool followLast)
{
    if (path == nullptr || path[0] == '\0') {
        return nullptr;
    }
    std::string native(path);
    native.resize(std::max<std::size_t>(lengthWithoutEndSeparators(native), 1));
    if (native.size() == 2 && native[1] == ':') {
        native += '\\';  // a drive's root, not its current folder
    }
    return holdFolder(native, followLast);
}

FolderHandle openChild(FolderHandle parent, const char* name)
{
    if (parent == nullptr || name == nullptr) {
        return nullptr;
    }
    WalkFolder* child = holdFolder(entryOf(parent, name), false);
    if (child != nullptr && child->info.dwVolumeSerialNumber != walkFolder(parent)->info.dwVolumeSerialNumber) {
        ::CloseHandle(child->handle);
        delete child;
        return nullptr;
    }
    return child;
}

void closeFolder(FolderHandle folder)
{
    if (folder != nullptr) {
        ::CloseHandle(walkFolder(folder)->handle);
        delete walkFolder(folder);
    }
}

FindHandle listFolder(FolderHandle folder, FindEntry* entry)
{
    return folder != nullptr ? findFirst(entryOf(folder, "*.*").c_str(), entry) : nullptr;
}

bool enterFolder(FolderHandle folder)
{
    if (folder == nullptr || !::SetCurrentDirectoryA(walkFolder(folder)->path.c_str())) {
        return false;
    }
    HANDLE current = ::CreateFileA(".", FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (current == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    bool same = ::GetFileInformationByHandle(current, &info) && sameFolder(info, walkFolder(folder)->info);
    ::CloseHandle(current);
    return same;
}

bool createEntryDir(FolderHandle folder, const char* name)
{
    return folder != nullptr && name != nullptr && ::CreateDirectoryA(entryOf(folder, name).c_str(), nullptr) != 0;
}

bool setEntryAttributes(FolderHandle folder, const char* name, uint32_t attributes)
{
    return folder != nullptr && name != nullptr && setAttributes(entryOf(folder, name).c_str(), attributes);
}

bool deleteEntry(FolderHandle folder, const char* name)
{
    return folder != nullptr && name != nullptr && ::DeleteFileA(entryOf(folder, name).c_str()) != 0;
}

bool removeEntryDir(FolderHandle folder, const char* name)
{
    return folder != nullptr && name != nullptr && ::RemoveDirectoryA(entryOf(folder, name).c_str()) != 0;
}

bool copyEntry(FolderHandle from, const char* name, FolderHandle to)
{
    return from != nullptr && to != nullptr && name != nullptr &&
           copyFile(entryOf(from, name).c_str(), entryOf(to, name).c_str(), false);
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
    table.openFolder = openFolder;
    table.openChild = openChild;
    table.closeFolder = closeFolder;
    table.listFolder = listFolder;
    table.enterFolder = enterFolder;
    table.createEntryDir = createEntryDir;
    table.setEntryAttributes = setEntryAttributes;
    table.deleteEntry = deleteEntry;
    table.removeEntryDir = removeEntryDir;
    table.copyEntry = copyEntry;
    table.makeTempBeside = makeTempBeside;
    table.replaceFile = replaceFile;
    return table;
}

}  // namespace platform
}  // namespace ktu
