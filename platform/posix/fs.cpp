// Files and folders on POSIX systems, shaped after the Windows calls the
// library is written against.
//
// Attribute values: a folder is 16 (17 when its owner may not write it), any
// other entry 32 (33 when its owner may not write it). Setting a value with
// the read-only bit removes every write permission; setting one without it
// gives the owner write permission back. Like Windows, a read-only file
// cannot be deleted until its read-only bit is cleared.
//
// Symbolic links are entries of their own, as Windows reports its links:
// 16 + 1024 for a link to a folder, 32 + 1024 for a link to anything else
// (a dangling link included), never read-only. Attributes are read with
// lstat, so nothing that asks about an entry is led into a link's target.
// A link has no mode of its own on Linux (chmod would change the target):
// setting a value without the read-only bit on a link succeeds and changes
// nothing; asking for read-only fails and changes nothing. Removal takes the
// link alone: deleteFile removes any link, removeDir a link to a folder (as
// RemoveDirectoryA does), and neither looks at the target. Separators at the
// end of a path are passed over by these entries, so "x/link/" is the link
// and never its target.
//
// Paths are UTF-8 (or another encoding whose multi-byte characters use only
// bytes of 0x80 and above), so no byte of a multi-byte character can be
// taken for '/', '\' or '.': isLeadByte is always false.
//
// Streams honour the Windows share modes between the openers that use this
// seam (see openStream).
//
// Listings match names the way the Windows search does: '*' and '?' are
// wildcards, letter case is ignored, "*.*" matches every name, a pattern
// ending in ".*" also matches the name without an extension. Entries are
// listed in name order, "." and ".." included.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drives.h"
#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

using posix::toNativePath;

uint32_t attributesOf(const struct stat& st)
{
    uint32_t value = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
    if ((st.st_mode & S_IWUSR) == 0) {
        value |= kAttrReadOnly;
    }
    return value;
}

// The native form of a path that names one entry: drive form translated,
// separators at its end removed (the root stays "/"). An ending separator
// would make the system follow a link that the path names.
bool entryPath(const char* path, std::string& native)
{
    if (!toNativePath(path, native) || native.empty()) {
        return false;
    }
    while (native.size() > 1 && native.back() == '/') {
        native.pop_back();
    }
    return true;
}

bool isFolderLink(const std::string& native)
{
    struct stat target;
    return ::stat(native.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
}

// The attributes of the entry itself; kInvalidAttributes when there is none.
uint32_t entryAttributes(const std::string& native)
{
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0) {
        return kInvalidAttributes;
    }
    if (S_ISLNK(st.st_mode)) {
        return (isFolderLink(native) ? kAttrDirectory : kAttrArchive) | kAttrReparsePoint;
    }
    return attributesOf(st);
}

bool setCurrentDir(const char* path)
{
    std::string native;
    return toNativePath(path, native) && !native.empty() && ::chdir(native.c_str()) == 0;
}

uint32_t getCurrentDir(char* buffer, uint32_t size)
{
    std::vector<char> work(4096);
    while (::getcwd(work.data(), work.size()) == nullptr) {
        if (errno != ERANGE || work.size() > (1u << 20)) {
            return 0;
        }
        work.resize(work.size() * 2);
    }
    std::size_t length = std::strlen(work.data());
    if (buffer == nullptr || length + 1 > size) {
        return static_cast<uint32_t>(length + 1);
    }
    std::memcpy(buffer, work.data(), length + 1);
    return static_cast<uint32_t>(length);
}

char fold(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool wildcardMatch(const char* pattern, const char* name)
{
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern == '?' || (*pattern != '\0' && fold(*pattern) == fold(*name))) {
            ++pattern;
            ++name;
        } else if (starPattern != nullptr) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*') {
        ++pattern;
    }
    return *pattern == '\0';
}

bool windowsMatch(const std::string& pattern, const char* name)
{
    if (pattern == "*" || pattern == "*.*") {
        return true;
    }
    if (wildcardMatch(pattern.c_str(), name)) {
        return true;
    }
    // "name.*" also finds "name"; "name." finds "name" (no extension).
    if (std::strchr(name, '.') == nullptr) {
        if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0) {
            return wildcardMatch(pattern.substr(0, pattern.size() - 2).c_str(), name);
        }
        if (!pattern.empty() && pattern.back() == '.') {
            return wildcardMatch(pattern.substr(0, pattern.size() - 1).c_str(), name);
        }
    }
    return false;
}

struct Listing {
    std::vector<FindEntry> entries;
    std::size_t next = 0;
};

bool fillEntry(const std::string& folder, const char* name, FindEntry* entry)
{
    std::size_t length = std::strlen(name);
    if (length >= sizeof(entry->name)) {
        return false;  // longer than a Windows path component can be
    }
    uint32_t attributes = entryAttributes(folder + "/" + name);
    if (attributes == kInvalidAttributes) {
        return false;  // gone since the folder was read
    }
    std::memcpy(entry->name, name, length + 1);
    entry->attributes = attributes;
    return true;
}

FindHandle findFirst(const char* pattern, FindEntry* entry)
{
    if (pattern == nullptr || entry == nullptr || pattern[0] == '\0') {
        return nullptr;
    }
    std::string text(pattern);
    std::size_t cut = text.find_last_of("/\\");
    std::string folderPart = (cut == std::string::npos) ? std::string(".") : text.substr(0, cut + 1);
    std::string namePart = (cut == std::string::npos) ? text : text.substr(cut + 1);
    if (namePart.empty()) {
        return nullptr;  // Windows finds nothing for a pattern ending in a separator
    }
    std::string folder;
    if (!toNativePath(folderPart.c_str(), folder)) {
        return nullptr;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return nullptr;
    }
    std::vector<std::string> names;
    while (struct dirent* item = ::readdir(dir)) {
        if (windowsMatch(namePart, item->d_name)) {
            names.emplace_back(item->d_name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());

    auto* listing = new Listing;
    for (const auto& name : names) {
        FindEntry found;
        if (fillEntry(folder, name.c_str(), &found)) {
            listing->entries.push_back(found);
        }
    }
    if (listing->entries.empty()) {
        delete listing;
        return nullptr;
    }
    *entry = listing->entries[0];
    listing->next = 1;
    return listing;
}

bool findNext(FindHandle handle, FindEntry* entry)
{
    auto* listing = static_cast<Listing*>(handle);
    if (listing == nullptr || entry == nullptr || listing->next >= listing->entries.size()) {
        return false;
    }
    *entry = listing->entries[listing->next++];
    return true;
}

void findClose(FindHandle handle)
{
    delete static_cast<Listing*>(handle);
}

uint32_t getAttributes(const char* path)
{
    std::string native;
    return entryPath(path, native) ? entryAttributes(native) : kInvalidAttributes;
}

bool setAttributes(const char* path, uint32_t attributes)
{
    std::string native;
    struct stat st;
    if (!entryPath(path, native) || ::lstat(native.c_str(), &st) != 0) {
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        return (attributes & kAttrReadOnly) == 0;  // a link has no mode of its own
    }
    mode_t mode = st.st_mode & 07777;
    if (attributes & kAttrReadOnly) {
        mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
    } else {
        mode |= S_IWUSR;
    }
    return ::chmod(native.c_str(), mode) == 0;
}

bool createDir(const char* path)
{
    std::string native;
    return toNativePath(path, native) && !native.empty() && ::mkdir(native.c_str(), 0777) == 0;
}

bool removeDir(const char* path)
{
    std::string native;
    struct stat st;
    if (!entryPath(path, native) || ::lstat(native.c_str(), &st) != 0) {
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        if (!isFolderLink(native)) {
            errno = ENOTDIR;
            return false;
        }
        return ::unlink(native.c_str()) == 0;
    }
    return ::rmdir(native.c_str()) == 0;
}

bool deleteFile(const char* path)
{
    std::string native;
    struct stat st;
    if (!entryPath(path, native) || ::lstat(native.c_str(), &st) != 0) {
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        return false;
    }
    if (!S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0) {
        errno = EACCES;  // read-only, as on Windows
        return false;
    }
    return ::unlink(native.c_str()) == 0;
}

bool copyFile(const char* from, const char* to, bool failIfExists)
{
    std::string source;
    std::string target;
    if (!toNativePath(from, source) || !toNativePath(to, target) || source.empty() || target.empty()) {
        return false;
    }
    // Not held up by a pipe or device that a link may lead to: only a regular
    // file is copied.
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) {
        return false;
    }
    struct stat st;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    struct stat existing;
    if (!failIfExists && ::lstat(target.c_str(), &existing) == 0 && (existing.st_mode & S_IWUSR) == 0) {
        ::close(in);
        return false;  // Windows refuses to overwrite a read-only file
    }
    // Never written through a link that stands where the copy goes.
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (failIfExists ? O_EXCL : O_TRUNC);
    int out = ::open(target.c_str(), flags, st.st_mode & 0777);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    std::vector<char> chunk(1 << 16);
    for (;;) {
        ssize_t got = ::read(in, chunk.data(), chunk.size());
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
            break;
        }
        for (ssize_t done = 0; done < got;) {
            ssize_t put = ::write(out, chunk.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                ok = false;
                break;
            }
            done += put;
        }
        if (!ok) {
            break;
        }
    }
    ::fchmod(out, st.st_mode & 07777);
    ok = (::close(out) == 0) && ok;
    ::close(in);
    return ok;
}

uint32_t finalPath(const char* path, char* buffer, uint32_t size)
{
    std::string native;
    if (!toNativePath(path, native) || native.empty()) {
        return 0;
    }
    char* resolved = ::realpath(native.c_str(), nullptr);
    if (resolved == nullptr) {
        return 0;
    }
    std::size_t length = std::strlen(resolved);
    uint32_t answer = static_cast<uint32_t>(length);
    if (buffer == nullptr || length + 1 > size) {
        answer = static_cast<uint32_t>(length + 1);
    } else {
        std::memcpy(buffer, resolved, length + 1);
    }
    std::free(resolved);
    return answer;
}

bool isLeadByte(unsigned char)
{
    return false;
}

bool namesIgnoreCase()
{
    return false;
}

uint32_t logicalDriveStrings(char* buffer, uint32_t size)
{
    std::string list = posix::logicalDriveList();
    // Like GetLogicalDriveStringsA: the length without the final terminator,
    // or the size needed when the buffer is too small.
    uint32_t length = static_cast<uint32_t>(list.size() - 1);
    if (buffer == nullptr || list.size() > size) {
        return static_cast<uint32_t>(list.size());
    }
    std::memcpy(buffer, list.data(), list.size());
    return length;
}

// Sharing between openers, after the Windows share modes: a stream opened
// with ShareMode::DenyWrite cannot be opened while another opener writes the
// file, and while it is open nobody else can open the file for writing.
// Each opener marks itself with a shared open-file-description lock on one
// of two bytes far beyond any file's end (such locks are released when the
// stream is closed, and they work between the threads of one process as
// between processes). Only openers that go through this seam take part.
constexpr off_t kWriterMark = 0x7FFFFFFFFFFF0000;
constexpr off_t kDenyWriteMark = kWriterMark + 1;

// True when another open file description holds a mark at `offset`.
bool markedByOthers(int fd, off_t offset)
{
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = 1;
    return ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

void mark(int fd, off_t offset)
{
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = 1;
    ::fcntl(fd, F_OFD_SETLK, &lock);  // a file system without such locks shares freely
}

std::FILE* openStream(const char* path, const char* mode, ShareMode share)
{
    std::string native;
    if (mode == nullptr || !toNativePath(path, native) || native.empty()) {
        return nullptr;
    }
    std::string posixMode;
    for (const char* c = mode; *c != '\0'; ++c) {
        if (*c != 't') {
            posixMode += *c;
        }
    }
    bool update = posixMode.find('+') != std::string::npos;
    int flags = 0;
    switch (posixMode.empty() ? '\0' : posixMode[0]) {
    case 'r':
        flags = update ? O_RDWR : O_RDONLY;
        break;
    case 'w':
        flags = (update ? O_RDWR : O_WRONLY) | O_CREAT;
        break;
    case 'a':
        flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
        break;
    default:
        errno = EINVAL;
        return nullptr;
    }
    if (posixMode.find('x') != std::string::npos) {
        flags |= O_EXCL;
    }
    bool writes = posixMode[0] != 'r' || update;
    // Opened without truncation: a refused opener must leave the file as it
    // was. A writer is opened for reading too where it may be, since the
    // shared marks need read access.
    int fd = -1;
    if ((flags & O_ACCMODE) == O_WRONLY) {
        fd = ::open(native.c_str(), (flags & ~O_ACCMODE) | O_RDWR | O_CLOEXEC, 0666);
    }
    if (fd < 0) {
        fd = ::open(native.c_str(), flags | O_CLOEXEC, 0666);
    }
    if (fd < 0) {
        return nullptr;
    }
    struct stat opened;
    if (::fstat(fd, &opened) == 0 && S_ISDIR(opened.st_mode)) {
        ::close(fd);
        errno = EACCES;  // a folder is no stream, as on Windows
        return nullptr;
    }
    if ((writes && markedByOthers(fd, kDenyWriteMark)) ||
        (share == ShareMode::DenyWrite && markedByOthers(fd, kWriterMark))) {
        ::close(fd);
        errno = EACCES;  // a sharing violation, as Windows reports it
        return nullptr;
    }
    if (writes) {
        mark(fd, kWriterMark);
    }
    if (share == ShareMode::DenyWrite) {
        mark(fd, kDenyWriteMark);
    }
    if (posixMode[0] == 'w' && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* stream = ::fdopen(fd, posixMode.c_str());
    if (stream == nullptr) {
        ::close(fd);
    }
    return stream;
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
