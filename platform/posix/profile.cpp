// Profile (INI) files on POSIX systems: the file access of the profile
// functions. The INI engine (system/ktuIniEngine.h) works out every answer
// and change on the file's text; this file reads the text, and writes the
// changed text back.
//
// Writing: a file whose owner may not write it (the read-only attribute) is
// refused, to root too, as Windows refuses its read-only files to
// administrators; otherwise the system's own check of opening it for writing
// decides. The file is read, changed in memory and written back whole, in
// one of two ways:
// - Replaced (the usual way): a temporary file in the same folder gets the
//   old file's owner, group, extended attributes and mode, then the new
//   text; it is flushed to disk and renamed over the old file, and the folder
//   is flushed. A reader sees the old file or the new one, and a writer
//   killed at any moment leaves the old content or the new, never a torn
//   file (at worst a stray temporary ".~ktu-ini.tmp", which the next write in
//   that folder removes). The file gets a new inode number. When the disk is
//   full the temporary file goes and the old file stays as it was.
// - In place, when replacing would change the file itself: a file with
//   further hard links (every name must see the change), a file in a folder
//   that refuses new files or the rename (read-only or sticky folders), and a
//   file whose owner, group, mode or extended attributes this caller cannot
//   give a new file. The inode and every link stay. Only the bytes from the
//   first change on are rewritten, after room on the disk has been reserved
//   (a full disk refuses the write before a byte changes); a failed write
//   puts the old bytes back. A writer killed during the write itself, or a
//   crash before the data reach the disk, can leave the new text up to some
//   point followed by the old text after it.
// A new file is written under the temporary name and renamed into place, so
// it appears whole or not at all; it has the caller's owner and the usual
// mode (0666 less the umask).
//
// Locks. Writers in one folder take turns (an exclusive lock on the folder),
// so two processes changing one file at once both keep their change; a writer
// that cannot open the folder orders itself by the file's own lock alone. A
// writer also holds an exclusive lock on the file itself from before it reads
// the file until its write is done, and a reader holds a shared lock on the
// file while it reads it. The in-place path is kept (it is the only way to
// change a file with several hard links, or one in a folder that refuses new
// files, as Windows changes them) and the file's own lock makes it safe: a
// reader sees the text before an in-place write or after it, never a part of
// each. The file's lock, not the folder's, is the one readers share because
// a reader may read a file in a folder it cannot open (search permission
// alone), and readers of one file then never wait for writers of another.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "descriptor.h"
#include "drives.h"
#include "ktuIniEngine.h"
#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

// Takes a lock of the flock kind (LOCK_SH, LOCK_EX), waiting as long as it
// takes.
void takeLock(int fd, int how)
{
    while (::flock(fd, how) != 0 && errno == EINTR) {
    }
}

bool nativePath(const char* file, std::string& native)
{
    return file != nullptr && file[0] != '\0' && posix::toNativePath(file, native) && !native.empty();
}

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string folderOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The whole content of an open file, read from its start.
bool readAll(int fd, std::string& text)
{
    text.clear();
    struct stat info;
    if (::fstat(fd, &info) == 0 && info.st_size > 0) {
        text.reserve(static_cast<std::size_t>(info.st_size));
    }
    char chunk[8192];
    for (off_t at = 0;;) {
        ssize_t n = ::pread(fd, chunk, sizeof chunk, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        text.append(chunk, static_cast<std::size_t>(n));
        at += n;
    }
}

// The whole file, read under a shared lock on the file itself; false when
// it cannot be read (missing, a folder, ...). A writer that rewrites a file
// in place holds the file's exclusive lock while it does, so a reader sees
// the text before that write or after it, never a part of each.
bool readWhole(const std::string& path, std::string& text)
{
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info;
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    takeLock(fd.get(), LOCK_SH);
    return readAll(fd.get(), text);
}

// Holds the folder's writer lock for its lifetime.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder) : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (fd_) {
            takeLock(fd_.get(), LOCK_EX);
        }
    }
    bool held() const { return fd_.valid(); }
    int fd() const { return fd_.get(); }

private:
    Descriptor fd_;  // closing it releases the lock
};

// The temporary file of a replacement. One name per folder is enough: every
// replacement in the folder happens under the folder's lock, so a file of
// this name found by a writer holding the lock was left by a writer that was
// killed, and is removed. The name is short, so that it fits beside a file
// name of any length.
constexpr const char* kTempName = ".~ktu-ini.tmp";

std::string tempPathIn(const std::string& folder)
{
    return (folder == "/" ? std::string() : folder) + "/" + kTempName;
}

std::vector<std::string> xattrNames(int fd)
{
    std::vector<std::string> names;
    ssize_t size = ::flistxattr(fd, nullptr, 0);
    if (size <= 0) {
        return names;
    }
    std::vector<char> list(static_cast<std::size_t>(size));
    size = ::flistxattr(fd, list.data(), list.size());
    for (ssize_t at = 0; size > 0 && at < size;) {
        std::string name(list.data() + at);
        at += static_cast<ssize_t>(name.size()) + 1;
        names.push_back(name);
    }
    return names;
}

// Gives `to` the extended attributes of `from` (and no others): access
// control lists, labels, the user's own attributes. False when one cannot
// be carried over.
bool copyXattrs(int from, int to)
{
    std::vector<std::string> wanted = xattrNames(from);
    for (const std::string& name : xattrNames(to)) {
        bool keep = false;
        for (const std::string& each : wanted) {
            keep = keep || each == name;
        }
        if (!keep && ::fremovexattr(to, name.c_str()) != 0) {
            return false;
        }
    }
    for (const std::string& name : wanted) {
        ssize_t size = ::fgetxattr(from, name.c_str(), nullptr, 0);
        if (size < 0) {
            return false;
        }
        std::vector<char> value(static_cast<std::size_t>(size) + 1);
        size = ::fgetxattr(from, name.c_str(), value.data(), value.size());
        if (size < 0 || ::fsetxattr(to, name.c_str(), value.data(), static_cast<std::size_t>(size), 0) != 0) {
            return false;
        }
    }
    return true;
}

enum class Replace { Done, Failed, NotPossible };

// Replaces the file at `path` (open as `old`, described by `info`) by one
// holding `text`, under the folder lock `lock`: a temporary file beside it
// gets the old file's owner, group, extended attributes and mode and the new
// text, is flushed, and is renamed over the old one. NotPossible (nothing
// changed) when the folder refuses the temporary file or the rename, or the
// file's identity cannot be carried over; Failed when the text could not be
// written.
Replace replaceFile(const std::string& path, const std::string& text, const FolderLock& lock, int old,
                    const struct stat& info)
{
    std::string temp = tempPathIn(folderOf(path));
    ::unlink(temp.c_str());  // left by a writer that was killed
    Descriptor fd(::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.get() < 0) {
        return Replace::NotPossible;
    }
    Replace outcome = Replace::NotPossible;
    struct stat made;
    if (::fchown(fd.get(), info.st_uid, info.st_gid) == 0 && copyXattrs(old, fd.get()) &&
        ::fchmod(fd.get(), info.st_mode & 07777) == 0 && ::fstat(fd.get(), &made) == 0 &&
        made.st_uid == info.st_uid && made.st_gid == info.st_gid && made.st_mode == info.st_mode) {
        outcome = Replace::Failed;
        if (writeAll(fd.get(), text) && ::fsync(fd.get()) == 0 && fd.close()) {
            if (::rename(temp.c_str(), path.c_str()) == 0) {
                ::fsync(lock.fd());  // makes the rename itself durable
                return Replace::Done;
            }
            outcome = (errno == EPERM || errno == EACCES) ? Replace::NotPossible : Replace::Failed;
        }
    }
    ::unlink(temp.c_str());
    return outcome;
}

// Writes `text` over the file's `old` content in place: only from the first
// byte that changes, after making sure the disk has room for it. When the
// write fails part way, the old bytes are put back as far as possible.
bool writeInPlace(int fd, const std::string& old, const std::string& text)
{
    std::size_t same = 0;
    while (same < old.size() && same < text.size() && old[same] == text[same]) {
        ++same;
    }
    if (text.size() > old.size() &&
        ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(text.size())) != 0 && errno == ENOSPC) {
        return false;
    }
    auto writeFrom = [fd](const std::string& content, std::size_t from) {
        while (from < content.size()) {
            ssize_t n = ::pwrite(fd, content.data() + from, content.size() - from, static_cast<off_t>(from));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            from += static_cast<std::size_t>(n);
        }
        return ::ftruncate(fd, static_cast<off_t>(content.size())) == 0;
    };
    if (writeFrom(text, same) && ::fsync(fd) == 0) {
        return true;
    }
    writeFrom(old, same);
    ::fsync(fd);
    return false;
}

// A new file: written under a temporary name and renamed into place, so that
// it appears whole or not at all. Its owner and mode are the caller's, as
// for any new file.
bool createFile(const std::string& path, const std::string& text, const FolderLock& lock)
{
    std::string temp = tempPathIn(folderOf(path));
    ::unlink(temp.c_str());
    Descriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
        return false;
    }
    if (writeAll(fd.get(), text) && ::fsync(fd.get()) == 0 && fd.close() &&
        ::rename(temp.c_str(), path.c_str()) == 0) {
        ::fsync(lock.fd());
        return true;
    }
    ::unlink(temp.c_str());
    return false;
}

// ---------------------------------------------------------------------------
// The profile functions
// ---------------------------------------------------------------------------

uint32_t getString(const char* section, const char* key, const char* defaultValue, char* buffer, uint32_t size,
                   const char* file)
{
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    std::string native;
    std::string text;
    if (nativePath(file, native) && readWhole(native, text)) {
        const ini::Profile profile(std::move(text));
        return ini::getString(&profile, section, key, defaultValue, buffer, size);
    }
    return ini::getString(nullptr, section, key, defaultValue, buffer, size);
}

// Opens the existing file at `native` for a write and takes its exclusive
// lock. Without the folder's lock a writer that replaced the file meanwhile
// may have put a new file under the name: the lock is then taken again on
// that one.
bool openForChange(const std::string& native, Descriptor& fd, struct stat& info)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        fd.reset(::open(native.c_str(), O_RDWR | O_CLOEXEC));
        if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
            return false;
        }
        takeLock(fd.get(), LOCK_EX);
        struct stat now;
        if (::stat(native.c_str(), &now) == 0 && now.st_dev == info.st_dev && now.st_ino == info.st_ino) {
            return ::fstat(fd.get(), &info) == 0;
        }
    }
    return false;
}

bool writeString(const char* section, const char* key, const char* value, const char* file)
{
    std::string native;
    if (section == nullptr || !nativePath(file, native)) {
        return false;
    }
    char resolved[PATH_MAX];
    if (::realpath(native.c_str(), resolved) != nullptr) {
        native = resolved;  // write through a symbolic link, not over it
    }
    FolderLock lock(folderOf(native));
    struct stat info;
    if (::stat(native.c_str(), &info) != 0) {
        if (errno != ENOENT || !lock.held()) {
            return false;  // no such folder, or one that cannot be used
        }
        ini::Profile profile;
        if (!ini::applyChange(profile, section, key, value)) {
            return true;  // a deletion: nothing to make
        }
        return createFile(native, profile.joined(), lock);
    }
    // A file whose owner may not write it carries the read-only attribute:
    // refused as Windows refuses it, to administrators too. Otherwise the
    // system decides whether this caller may write it.
    if (!S_ISREG(info.st_mode) || (info.st_mode & S_IWUSR) == 0) {
        return false;
    }
    Descriptor fd;
    std::string text;
    if (!openForChange(native, fd, info) || !readAll(fd.get(), text)) {
        return false;
    }
    ini::Profile profile(std::move(text));
    if (!ini::applyChange(profile, section, key, value)) {
        return true;  // nothing to change
    }
    std::string changed = profile.joined();
    // A file with further hard links is written in place, so that every name
    // sees the change; so is one whose folder refuses the replacement.
    if (lock.held() && info.st_nlink == 1) {
        Replace outcome = replaceFile(native, changed, lock, fd.get(), info);
        if (outcome != Replace::NotPossible) {
            return outcome == Replace::Done;
        }
    }
    return writeInPlace(fd.get(), profile.file(), changed);
}

bool createEmptyFile(const char* file)
{
    std::string native;
    if (!nativePath(file, native)) {
        return false;
    }
    struct stat info;
    if (::stat(native.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0) {
        return false;  // read-only, as on Windows (to administrators too)
    }
    Descriptor fd(::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_SYNC | O_CLOEXEC, 0666));
    return fd && fd.close();
}

}  // namespace

ProfileOps makeProfileOps()
{
    ProfileOps table{};
    table.getString = getString;
    table.writeString = writeString;
    table.createEmptyFile = createEmptyFile;
    return table;
}

}  // namespace platform
}  // namespace ktu
