// Whole-line appends on Windows (the log writer's file access).
//
// The file is opened with FILE_APPEND_DATA and without FILE_WRITE_DATA, so
// every WriteFile lands at the end of the file as one piece, whoever else
// appends; the line, its LF turned into CR LF as a text-mode stream would
// write it, leaves in that one WriteFile.
//
// A WriteFile that falls short (a full disk) is cut back to the file's length
// before the line, through a second handle opened for writing. Every append
// of this seam holds an exclusive lock on one byte far beyond any file's end
// from its write to its cut, and cuts only when the file still ends where its
// short write left it: a line another appender wrote is never cut. (NTFS
// reserves the room of a write before it writes, so a full disk normally
// fails the whole write instead.)
#include "ktuPlatform.h"  // winsock2.h before windows.h

#include <string>

namespace ktu {
namespace platform {
namespace {

constexpr DWORD kAppendLockLow = 0xFFFF0002u;  // the byte 0x7FFFFFFFFFFF0002
constexpr DWORD kAppendLockHigh = 0x7FFFu;

bool fileSize(HANDLE file, LONGLONG* size)
{
    LARGE_INTEGER value;
    if (!::GetFileSizeEx(file, &value)) {
        return false;
    }
    *size = value.QuadPart;
    return true;
}

// Takes back `count` bytes written by a short append that ended at `end`.
void cutBack(const char* path, LONGLONG end, DWORD count)
{
    HANDLE file = ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    LONGLONG size = 0;
    LARGE_INTEGER at;
    at.QuadPart = end - count;
    if (fileSize(file, &size) && size == end && ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) {
        ::SetEndOfFile(file);
    }
    ::CloseHandle(file);
}

}  // namespace

bool appendTextToFile(const char* path, const char* text, std::size_t size)
{
    if (path == nullptr || (text == nullptr && size > 0)) {
        return false;
    }
    std::string line;
    line.reserve(size + size / 8);
    for (std::size_t i = 0; i < size; ++i) {
        if (text[i] == '\n') {
            line += '\r';
        }
        line += text[i];
    }
    if (line.size() > 0xFFFFFFFFu) {
        return false;
    }
    // Read access only serves the lock, which a handle without read or write
    // data access cannot take.
    HANDLE file = ::CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    OVERLAPPED lock = {};
    lock.Offset = kAppendLockLow;
    lock.OffsetHigh = kAppendLockHigh;
    bool locked = ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lock) != 0;
    DWORD written = 0;
    bool whole = ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
                 written == line.size();
    LONGLONG end = 0;
    if (!whole && written > 0 && locked && fileSize(file, &end)) {
        cutBack(path, end, written);
    }
    if (locked) {
        ::UnlockFileEx(file, 0, 1, 0, &lock);
    }
    return ::CloseHandle(file) != 0 && whole;
}

}  // namespace platform
}  // namespace ktu
