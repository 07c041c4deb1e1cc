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
// fstatat and AT_SYMLINK_NOFOLLOW, so nothing that asks about an entry is led
// into a link's target.
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
// Tree walks hold each folder by an O_PATH descriptor (a sub-folder opened
// with O_NOFOLLOW | O_DIRECTORY, on the same device) and act on its entries
// by name relative to it (fdopendir, fstatat, unlinkat, mkdirat, openat,
// fchdir); modes are changed with fchmod on a descriptor of the entry itself.
// Copies that may overwrite go to a new file beside the target, renamed over
// it (see copyInto).
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
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "descriptor.h"
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

// The folder part and the last name of an entry path ("." for a bare name).
void splitEntry(const std::string& native, std::string& folder, std::string& name)
{
    std::size_t cut = native.find_last_of('/');
    if (cut == std::string::npos) {
        folder = ".";
        name = native;
    } else {
        folder = cut == 0 ? std::string("/") : native.substr(0, cut);
        name = native.substr(cut + 1);
    }
}

bool isFolderLinkAt(int folder, const char* name)
{
    struct stat target;
    return ::fstatat(folder, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
}

// The attributes of the entry `name` of `folder` itself; kInvalidAttributes
// when there is none.
uint32_t entryAttributesAt(int folder, const char* name)
{
    struct stat st;
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return kInvalidAttributes;
    }
    if (S_ISLNK(st.st_mode)) {
        return (isFolderLinkAt(folder, name) ? kAttrDirectory : kAttrArchive) | kAttrReparsePoint;
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

// The entries of the folder open at `folder` whose names match `pattern`,
// in name order, each with the attributes of the entry itself; null when the
// folder cannot be read or nothing matches. The folder is read through a
// descriptor of its own, so the one given keeps its place.
FindHandle listAt(int folder, const std::string& pattern, FindEntry* entry)
{
    Descriptor reading(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* dir = reading ? ::fdopendir(reading.get()) : nullptr;
    if (dir == nullptr) {
        return nullptr;
    }
    reading.release();  // closed with the listing
    std::vector<std::string> names;
    while (struct dirent* item = ::readdir(dir)) {
        if (windowsMatch(pattern, item->d_name)) {
            names.emplace_back(item->d_name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());

    auto* listing = new Listing;
    for (const auto& name : names) {
        FindEntry found;
        found.attributes = entryAttributesAt(folder, name.c_str());
        // Longer than a Windows path component can be, or gone since the
        // folder was read: not listed.
        if (name.size() < sizeof(found.name) && found.attributes != kInvalidAttributes) {
            std::memcpy(found.name, name.c_str(), name.size() + 1);
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
    Descriptor opened(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return opened ? listAt(opened.get(), namePart, entry) : nullptr;
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
    return entryPath(path, native) ? entryAttributesAt(AT_FDCWD, native.c_str()) : kInvalidAttributes;
}

// The mode of the entry `name` of `folder` changed as SetFileAttributesA
// would: read-only removes every write permission, anything else gives the
// owner write permission back. The mode is changed on a descriptor of the
// entry opened without following a link, so a link exchanged in at the name
// leads nowhere; a link has no mode of its own.
bool setAttributesAt(int folder, const char* name, uint32_t attributes)
{
    Descriptor entry(::openat(folder, name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!entry || ::fstat(entry.get(), &st) != 0) {
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        return (attributes & kAttrReadOnly) == 0;
    }
    mode_t mode = st.st_mode & 07777;
    if (attributes & kAttrReadOnly) {
        mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
    } else {
        mode |= S_IWUSR;
    }
    if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) {
        // Reopened through the descriptor, which is the entry itself.
        std::string self = "/proc/self/fd/" + std::to_string(entry.get());
        for (int access : {O_RDONLY, O_WRONLY}) {
            Descriptor usable(::open(self.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
            if (usable) {
                return ::fchmod(usable.get(), mode) == 0;
            }
        }
    }
    // Not to be opened (no permission, a device or pipe): the mode is changed
    // on the descriptor's own entry, which no link can redirect.
    std::string self = "/proc/self/fd/" + std::to_string(entry.get());
    return ::chmod(self.c_str(), mode) == 0;
}

bool setAttributes(const char* path, uint32_t attributes)
{
    std::string native;
    std::string folder;
    std::string name;
    if (!entryPath(path, native)) {
        return false;
    }
    if (native == "/") {
        return setAttributesAt(AT_FDCWD, "/", attributes);
    }
    splitEntry(native, folder, name);
    Descriptor opened(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return opened && setAttributesAt(opened.get(), name.c_str(), attributes);
}

bool createDir(const char* path)
{
    std::string native;
    return toNativePath(path, native) && !native.empty() && ::mkdir(native.c_str(), 0777) == 0;
}

// RemoveDirectoryA of the entry `name` of `folder`: an empty folder, or a
// link to a folder (the link alone).
bool removeDirAt(int folder, const char* name)
{
    struct stat st;
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        if (!isFolderLinkAt(folder, name)) {
            errno = ENOTDIR;
            return false;
        }
        return ::unlinkat(folder, name, 0) == 0;
    }
    return ::unlinkat(folder, name, AT_REMOVEDIR) == 0;
}

// DeleteFileA of the entry `name` of `folder`: a file, or any link (the link
// alone); a read-only file is refused, as on Windows.
bool deleteFileAt(int folder, const char* name)
{
    struct stat st;
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        return false;
    }
    if (!S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0) {
        errno = EACCES;
        return false;
    }
    return ::unlinkat(folder, name, 0) == 0;
}

bool removeDir(const char* path)
{
    std::string native;
    return entryPath(path, native) && removeDirAt(AT_FDCWD, native.c_str());
}

bool deleteFile(const char* path)
{
    std::string native;
    return entryPath(path, native) && deleteFileAt(AT_FDCWD, native.c_str());
}

// Creates a new file of a name of its own in `folder` (read and write for its
// owner alone until it is complete); its name goes to `name`.
Descriptor createTempAt(int folder, std::string& name)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = ".ktutemp" + std::to_string(::getpid()) + "." + std::to_string(counter++);
        Descriptor made(::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (made || errno != EEXIST) {
            return made;
        }
    }
    return Descriptor();
}

bool writeAll(int out, const char* data, std::size_t size)
{
    for (std::size_t done = 0; done < size;) {
        ssize_t put = ::write(out, data + done, size - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool copyContent(int in, int out)
{
    std::vector<char> chunk(1 << 16);
    for (;;) {
        ssize_t got = ::read(in, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got == 0;
        }
        if (!writeAll(out, chunk.data(), static_cast<std::size_t>(got))) {
            return false;
        }
    }
}

// Gives the file `temp` of `folder` the name `name` when no entry has it.
bool takeFreeName(int folder, const char* temp, const char* name)
{
    if (::renameat2(folder, temp, folder, name, RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without that rename: a second name, then the first goes.
    return ::linkat(folder, temp, folder, name, 0) == 0;
}

// Copies the open file `in` to the entry `name` of `folder`, as CopyFileA
// does: only a regular file is copied (a pipe or device that a link leads to
// never holds the copy up); an existing read-only file or a folder is not
// replaced; with `failIfExists` nothing that exists is. The copy is written
// to a new file beside the target and renamed over it, so the old file stays
// whole when the copy fails, and nothing is ever written through a link.
bool copyInto(int in, int folder, const char* name, bool failIfExists)
{
    struct stat st;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    struct stat existing;
    if (::fstatat(folder, name, &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (failIfExists || S_ISDIR(existing.st_mode) ||
            (!S_ISLNK(existing.st_mode) && (existing.st_mode & S_IWUSR) == 0)) {
            errno = EEXIST;
            return false;
        }
    }
    std::string temp;
    Descriptor out = createTempAt(folder, temp);
    if (!out) {
        return false;
    }
    bool ok = copyContent(in, out.get()) && ::fchmod(out.get(), st.st_mode & 07777) == 0;
    ok = out.close() && ok;
    if (ok) {
        // Without overwriting, the copy takes the name only while it is free.
        ok = failIfExists ? takeFreeName(folder, temp.c_str(), name)
                          : ::renameat(folder, temp.c_str(), folder, name) == 0;
        if (ok && !failIfExists) {
            return true;
        }
    }
    int saved = errno;
    ::unlinkat(folder, temp.c_str(), 0);
    errno = saved;
    return ok;
}

// Opens the folder of an entry path; its last name goes to `name`.
Descriptor openParent(const char* path, std::string& name)
{
    std::string native;
    std::string folder;
    if (!entryPath(path, native) || native == "/") {
        return Descriptor();
    }
    splitEntry(native, folder, name);
    return Descriptor(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

bool copyFile(const char* from, const char* to, bool failIfExists)
{
    std::string source;
    std::string name;
    if (!toNativePath(from, source) || source.empty()) {
        return false;
    }
    Descriptor folder = openParent(to, name);
    // The source is read through a link; O_NONBLOCK: a pipe never holds the
    // open up.
    Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    return folder && in && copyInto(in.get(), folder.get(), name.c_str(), failIfExists);
}

// --- Tree walks -----------------------------------------------------------

// An open folder of a walk: a descriptor that needs no permission on the
// folder (O_PATH), only the right to reach it.
struct WalkFolder {
    Descriptor fd;
    dev_t device = 0;
};

FolderHandle holdFolder(Descriptor fd)
{
    struct stat st;
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return nullptr;
    }
    auto* folder = new WalkFolder;
    folder->fd = std::move(fd);
    folder->device = st.st_dev;
    return folder;
}

int fdOf(FolderHandle folder)
{
    return folder != nullptr ? static_cast<WalkFolder*>(folder)->fd.get() : -1;
}

FolderHandle openFolder(const char* path, bool followLast)
{
    std::string native;
    if (!entryPath(path, native)) {
        return nullptr;
    }
    int flags = O_PATH | O_DIRECTORY | O_CLOEXEC | (followLast ? 0 : O_NOFOLLOW);
    return holdFolder(Descriptor(::open(native.c_str(), flags)));
}

FolderHandle openChild(FolderHandle parent, const char* name)
{
    if (parent == nullptr || name == nullptr) {
        return nullptr;
    }
    FolderHandle child =
        holdFolder(Descriptor(::openat(fdOf(parent), name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)));
    // A folder of another file system mounted here is not entered either.
    if (child != nullptr && static_cast<WalkFolder*>(child)->device != static_cast<WalkFolder*>(parent)->device) {
        delete static_cast<WalkFolder*>(child);
        return nullptr;
    }
    return child;
}

void closeFolder(FolderHandle folder)
{
    delete static_cast<WalkFolder*>(folder);
}

FindHandle listFolder(FolderHandle folder, FindEntry* entry)
{
    return folder != nullptr && entry != nullptr ? listAt(fdOf(folder), "*", entry) : nullptr;
}

bool enterFolder(FolderHandle folder)
{
    return folder != nullptr && ::fchdir(fdOf(folder)) == 0;
}

bool createEntryDir(FolderHandle folder, const char* name)
{
    return folder != nullptr && name != nullptr && ::mkdirat(fdOf(folder), name, 0777) == 0;
}

bool setEntryAttributes(FolderHandle folder, const char* name, uint32_t attributes)
{
    return folder != nullptr && name != nullptr && setAttributesAt(fdOf(folder), name, attributes);
}

bool deleteEntry(FolderHandle folder, const char* name)
{
    return folder != nullptr && name != nullptr && deleteFileAt(fdOf(folder), name);
}

bool removeEntryDir(FolderHandle folder, const char* name)
{
    return folder != nullptr && name != nullptr && removeDirAt(fdOf(folder), name);
}

bool copyEntry(FolderHandle from, const char* name, FolderHandle to)
{
    if (from == nullptr || to == nullptr || name == nullptr) {
        return false;
    }
    Descriptor in(::openat(fdOf(from), name, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    return in && copyInto(in.get(), fdOf(to), name, false);
}

bool makeTempBeside(const char* path, char* temp, uint32_t size)
{
    std::string name;
    Descriptor folder = openParent(path, name);
    if (!folder || temp == nullptr) {
        return false;
    }
    std::string given(path);
    std::size_t cut = given.find_last_of("/\\");
    std::string full = (cut == std::string::npos ? std::string() : given.substr(0, cut + 1));
    Descriptor made = createTempAt(folder.get(), name);
    if (!made) {
        return false;
    }
    full += name;
    if (full.size() + 1 > size) {
        ::unlinkat(folder.get(), name.c_str(), 0);
        return false;
    }
    std::memcpy(temp, full.c_str(), full.size() + 1);
    return true;
}

bool replaceFile(const char* temp, const char* path)
{
    std::string name;
    std::string tempName;
    Descriptor folder = openParent(path, name);
    Descriptor tempFolder = openParent(temp, tempName);
    struct stat existing;
    if (!folder || !tempFolder) {
        return false;
    }
    if (::fstatat(folder.get(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISLNK(existing.st_mode) &&
        (S_ISDIR(existing.st_mode) || (existing.st_mode & S_IWUSR) == 0)) {
        errno = EACCES;  // a folder or a read-only file is not replaced
        return false;
    }
    return ::renameat(tempFolder.get(), tempName.c_str(), folder.get(), name.c_str()) == 0;
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
    Descriptor fd;
    if ((flags & O_ACCMODE) == O_WRONLY) {
        fd.reset(::open(native.c_str(), (flags & ~O_ACCMODE) | O_RDWR | O_CLOEXEC, 0666));
    }
    if (!fd) {
        fd.reset(::open(native.c_str(), flags | O_CLOEXEC, 0666));
    }
    if (!fd) {
        return nullptr;
    }
    struct stat opened;
    if (::fstat(fd.get(), &opened) == 0 && S_ISDIR(opened.st_mode)) {
        errno = EACCES;  // a folder is no stream, as on Windows
        return nullptr;
    }
    if ((writes && markedByOthers(fd.get(), kDenyWriteMark)) ||
        (share == ShareMode::DenyWrite && markedByOthers(fd.get(), kWriterMark))) {
        errno = EACCES;  // a sharing violation, as Windows reports it
        return nullptr;
    }
    if (writes) {
        mark(fd.get(), kWriterMark);
    }
    if (share == ShareMode::DenyWrite) {
        mark(fd.get(), kDenyWriteMark);
    }
    if (posixMode[0] == 'w' && ::ftruncate(fd.get(), 0) != 0) {
        return nullptr;
    }
    std::FILE* stream = ::fdopen(fd.get(), posixMode.c_str());
    if (stream != nullptr) {
        fd.release();  // the stream owns it now
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
