// The one owner of a POSIX file descriptor inside the seam: it is closed when
// its owner goes out of scope, on every path, so error paths never close by
// hand.
#pragma once

#include <unistd.h>

#include <utility>

namespace ktu {
namespace platform {

class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    explicit operator bool() const { return valid(); }

    // Gives the descriptor up without closing it.
    int release() { return std::exchange(fd_, -1); }
    // Closes the descriptor held (if any) and takes `fd`.
    void reset(int fd = -1)
    {
        int old = std::exchange(fd_, fd);
        if (old >= 0) {
            ::close(old);
        }
    }
    // Closes now; false when the close reports a failure (a write that did
    // not reach the disk).
    bool close()
    {
        int old = release();
        return old < 0 || ::close(old) == 0;
    }

private:
    int fd_ = -1;
};

}  // namespace platform
}  // namespace ktu
