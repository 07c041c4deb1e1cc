// Whole-line appends on POSIX systems (the log writer's file access).
//
// A line leaves in one write(2) to a descriptor opened with O_APPEND: the
// kernel places it at the end of the file and no other append lands inside
// it, whatever its length and however many processes write the file.
//
// A write can fall short when the disk is full. The bytes that did land are
// then taken back (ftruncate to the length before the line), so the file
// holds whole lines only and the next line does not glue onto a torn one.
// Cutting back is only safe while nobody has appended behind the torn piece:
// every append of this seam therefore holds an exclusive lock on the file
// (an open-file-description lock on a byte far beyond any file's end) from
// its write to its cut, and cuts only when the file still ends where its own
// write left it, so a writer that does not take the lock (another program)
// never loses a line to the cut. The lock serialises appenders of one file,
// which costs nothing they would not pay anyway: the kernel already writes
// one file's appends one at a time.
//
// The file also takes part in the share marks of the seam's streams: it is
// refused while another opener denies writing, and it is marked as open for
// writing while the line goes out.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "descriptor.h"
#include "drives.h"
#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

// The share marks of the seam's streams (platform/posix/fs.cpp), and the
// appenders' lock beside them.
constexpr off_t kWriterMark = 0x7FFFFFFFFFFF0000;
constexpr off_t kDenyWriteMark = kWriterMark + 1;
constexpr off_t kAppendLock = kWriterMark + 2;

// A lock of `type` on the one byte at `offset`; `wait`: until it is granted.
bool lockByte(int fd, off_t offset, short type, bool wait)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = 1;
    for (;;) {
        if (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

bool deniedByOthers(int fd)
{
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kDenyWriteMark;
    lock.l_len = 1;
    return ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

// Takes back the `count` bytes that a short write left at the end of the
// file: only when the file still ends where that write ended.
bool cutBack(int fd, std::size_t count)
{
    off_t end = ::lseek(fd, 0, SEEK_CUR);  // O_APPEND left the offset behind our bytes
    struct stat info;
    if (end < static_cast<off_t>(count) || ::fstat(fd, &info) != 0 || info.st_size != end) {
        return false;
    }
    for (;;) {
        if (::ftruncate(fd, end - static_cast<off_t>(count)) == 0) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

int openWith(const std::string& path, int access)
{
    for (;;) {
        int fd = ::open(path.c_str(), access | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EINTR) {
            return fd;
        }
    }
}

// Opened for reading as well where it may be: the share marks are read locks.
int openForAppending(const std::string& path)
{
    int fd = openWith(path, O_RDWR);
    return fd >= 0 ? fd : openWith(path, O_WRONLY);
}

}  // namespace

bool appendTextToFile(const char* path, const char* text, std::size_t size)
{
    std::string native;
    if (path == nullptr || (text == nullptr && size > 0) || !posix::toNativePath(path, native) || native.empty()) {
        errno = EINVAL;
        return false;
    }
    Descriptor file(openForAppending(native));
    if (!file) {
        return false;
    }
    struct stat info;
    if (::fstat(file.get(), &info) == 0 && S_ISDIR(info.st_mode)) {
        errno = EACCES;  // a folder is no file, as on Windows
        return false;
    }
    // A file system without such locks shares freely.
    lockByte(file.get(), kWriterMark, F_RDLCK, false);
    if (deniedByOthers(file.get())) {
        errno = EACCES;  // a sharing violation, as Windows reports it
        return false;
    }
    lockByte(file.get(), kAppendLock, F_WRLCK, true);
    // A write interrupted before it wrote anything is made again; one that
    // fell short is cut back and made once more (a signal can cut a write
    // to a slow file system short); the second short write is a full disk.
    for (int attempt = 0; attempt < 2; ++attempt) {
        ssize_t n;
        do {
            n = ::write(file.get(), text, size);
        } while (n < 0 && errno == EINTR);
        if (n >= 0 && static_cast<std::size_t>(n) == size) {
            return file.close();
        }
        if (n <= 0 || !cutBack(file.get(), static_cast<std::size_t>(n))) {
            return false;
        }
    }
    errno = ENOSPC;
    return false;
}

}  // namespace platform
}  // namespace ktu
