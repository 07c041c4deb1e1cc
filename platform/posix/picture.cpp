// Files, memory blocks, pictures and bitmaps on POSIX systems, shaped after
// the Windows calls the BMP and picture operations are written against.
//
// - Files are plain descriptors; paths in drive form go through the drive map.
//   There are no share modes.
// - A memory block is a heap buffer with a lock count; a zero-sized block, as
//   on Windows, cannot be locked.
// - A picture decodes a BMP, PNG, JPEG or GIF file image (recognised by its
//   signature) with the decoder compiled into the library (pictureDecoder.h,
//   which also bounds what one decode may allocate) into a top-down
//   blue-green-red raster. A BMP file is handed to the decoder in the form it
//   reads (bmp::decoderForm: the pixels straight after the headers). Its
//   extent in HIMETRIC units comes from the resolution the file stores (BMP
//   pixels per metre, PNG pHYs in metres, JPEG JFIF density), 96 dots per
//   inch when it stores none.
// - The bitmap loader reads the headers of a BMP file and describes its pixel
//   array as a DIB section loaded from the file would be; the pixels are
//   read later, in one read, straight into the caller's raster.
//   It takes the files of imaging/ktuBmpFormat.h: core (12-byte) and 40- to
//   124-byte headers, uncompressed arrays inside the file, and RLE8 and RLE4
//   data, which copyPixelRows expands row by row (bmp::expandRle) into the 8-
//   or 4-bit rows of colour indices that a DIB section loaded from the file
//   holds. Anything else is refused.
// - A whole file is written by replacement (replaceFile): a new file in the
//   same folder, written, flushed and renamed over the old one, so that a
//   failure (a full disk) leaves the old file as it was.
#include <fcntl.h>
#include <limits.h>
#include <sys/uio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "descriptor.h"
#include "common/checkedSize.h"
#include "drives.h"
#include "ktuBmpFormat.h"
#include "ktuPlatform.h"
#include "pictureDecoder.h"

struct ktuBitmap {
    ktu::platform::Descriptor fd;  // the open file
    ktu::bmp::BmpPixelArray pixels;
    BITMAP description;
};

namespace ktu {
namespace platform {
namespace {

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------

int descriptorOf(FileHandle file)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(file)) - 1;
}

FileHandle handleOf(int fd)
{
    return fd < 0 ? nullptr : reinterpret_cast<FileHandle>(static_cast<intptr_t>(fd) + 1);
}

// Opens a file that is not a folder.
Descriptor openNative(const char* path, int flags)
{
    std::string native;
    if (!posix::toNativePath(path, native) || native.empty()) {
        return Descriptor();
    }
    Descriptor fd;
    do {
        fd.reset(::open(native.c_str(), flags | O_CLOEXEC, 0666));
    } while (!fd && errno == EINTR);
    struct stat st;
    if (fd && (::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode))) {
        fd.reset();
    }
    return fd;
}

FileHandle openForReading(const char* path)
{
    return handleOf(openNative(path, O_RDONLY).release());
}

// Writes `size` bytes, as many writes as it takes.
bool writeFully(int fd, const unsigned char* bytes, uint64_t size)
{
    while (size > 0) {
        const std::size_t piece = size < (std::size_t{1} << 30) ? static_cast<std::size_t>(size) : std::size_t{1} << 30;
        ssize_t put = ::write(fd, bytes, piece);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        bytes += put;
        size -= static_cast<uint64_t>(put);
    }
    return true;
}

// A whole new content for `path`, by replacement: a temporary file of a
// name of its own in the same folder gets the pieces, is flushed
// and renamed over the old file, and the folder is flushed. The old file
// stays whole until the rename, and is untouched when anything fails before
// it (a full disk among them); the temporary file then goes. A path that is
// a symbolic link is written through: the file it leads to is replaced. The
// new file keeps the old one's mode (and its owner and group where this
// caller may give them); an old file that its owner may not
// write (the read-only attribute) is refused, as Windows refuses it.
bool replaceFile(const char* path, const WritePiece* pieces, std::size_t count)
{
    std::string native;
    if (path == nullptr || !posix::toNativePath(path, native) || native.empty() ||
        (count > 0 && pieces == nullptr)) {
        return false;
    }
    char resolved[PATH_MAX];
    if (::realpath(native.c_str(), resolved) != nullptr) {
        native = resolved;
    }
    struct stat old;
    const bool exists = ::stat(native.c_str(), &old) == 0;
    if (exists && (!S_ISREG(old.st_mode) || (old.st_mode & S_IWUSR) == 0)) {
        return false;
    }
    if (!exists && errno != ENOENT) {
        return false;
    }
    const std::size_t slash = native.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : native.substr(0, slash);
    // A name of its own: the process, a counter and the clock, tried again
    // while it is taken. Made with the mode 0666 less the umask, as any new
    // file; an old file's mode is given to it after.
    static std::atomic<unsigned> counter{0};
    std::string temp;
    Descriptor fd;
    for (int attempt = 0; attempt < 100 && !fd; ++attempt) {
        struct timespec now {};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        temp = (folder == "/" ? std::string() : folder) + "/.~ktu-" + std::to_string(::getpid()) + "-" +
               std::to_string(counter++) + "-" + std::to_string(now.tv_nsec) + ".tmp";
        fd.reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd && errno != EEXIST) {
            return false;
        }
    }
    if (!fd) {
        return false;
    }
    if (exists && ::fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
        // another user's file, written by its group or by everyone: the new file is the caller's
    }
    bool done = !exists || ::fchmod(fd.get(), old.st_mode & 07777) == 0;
    for (std::size_t i = 0; done && i < count; ++i) {
        done = (pieces[i].data != nullptr || pieces[i].size == 0) &&
               writeFully(fd.get(), static_cast<const unsigned char*>(pieces[i].data), pieces[i].size);
    }
    done = done && ::fsync(fd.get()) == 0 && fd.close() && ::rename(temp.c_str(), native.c_str()) == 0;
    if (!done) {
        ::unlink(temp.c_str());
        return false;
    }
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) {
        ::fsync(dir.get());  // makes the rename itself durable
    }
    return true;
}

uint32_t fileSize(FileHandle file)
{
    struct stat st;
    if (file == nullptr || ::fstat(descriptorOf(file), &st) != 0 || st.st_size < 0 ||
        static_cast<unsigned long long>(st.st_size) >= kInvalidFileSize) {
        return kInvalidFileSize;
    }
    return static_cast<uint32_t>(st.st_size);
}

// Reads until `size` bytes are in or the file ends.
bool readFully(int fd, unsigned char* buffer, std::size_t size, std::size_t* done)
{
    std::size_t total = 0;
    while (total < size) {
        ssize_t got = ::read(fd, buffer + total, size - total);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        total += static_cast<std::size_t>(got);
    }
    *done = total;
    return true;
}

bool readFile(FileHandle file, void* buffer, uint32_t size, uint32_t* done)
{
    if (file == nullptr || (buffer == nullptr && size > 0)) {
        return false;
    }
    std::size_t total = 0;
    bool ok = readFully(descriptorOf(file), static_cast<unsigned char*>(buffer), size, &total);
    if (done != nullptr) {
        *done = static_cast<uint32_t>(total);
    }
    return ok;
}

bool writeFile(FileHandle file, const void* data, uint32_t size)
{
    if (file == nullptr || (data == nullptr && size > 0)) {
        return false;
    }
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    std::size_t left = size;
    while (left > 0) {
        ssize_t put = ::write(descriptorOf(file), bytes, left);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        bytes += put;
        left -= static_cast<std::size_t>(put);
    }
    return true;
}

bool closeFile(FileHandle file)
{
    return file != nullptr && Descriptor(descriptorOf(file)).close();
}

// ---------------------------------------------------------------------------
// Memory
// ---------------------------------------------------------------------------

void* localAlloc(std::size_t size)
{
    return std::calloc(size == 0 ? 1 : size, 1);
}

void localFree(void* block)
{
    std::free(block);
}

struct Block {
    unsigned char* bytes;
    std::size_t size;
    int locks;
};

MemoryBlock globalAlloc(std::size_t size)
{
    Block* block = new (std::nothrow) Block{nullptr, size, 0};
    if (block != nullptr && size > 0) {
        block->bytes = static_cast<unsigned char*>(std::malloc(size));
        if (block->bytes == nullptr) {
            delete block;
            return nullptr;
        }
    }
    return block;
}

void* globalLock(MemoryBlock handle)
{
    Block* block = static_cast<Block*>(handle);
    if (block == nullptr || block->bytes == nullptr) {
        return nullptr;
    }
    ++block->locks;
    return block->bytes;
}

void globalUnlock(MemoryBlock handle)
{
    Block* block = static_cast<Block*>(handle);
    if (block != nullptr && block->locks > 0) {
        --block->locks;
    }
}

void globalFree(MemoryBlock handle)
{
    Block* block = static_cast<Block*>(handle);
    if (block != nullptr) {
        std::free(block->bytes);
        delete block;
    }
}

struct Stream {
    Block* block;
    bool ownsBlock;
};

HRESULT createStream(MemoryBlock block, bool deleteOnRelease, PictureStream* stream)
{
    if (stream == nullptr) {
        return E_INVALIDARG;
    }
    *stream = nullptr;
    if (block == nullptr) {
        return E_INVALIDARG;
    }
    Stream* made = new (std::nothrow) Stream{static_cast<Block*>(block), deleteOnRelease};
    if (made == nullptr) {
        return E_OUTOFMEMORY;
    }
    *stream = made;
    return S_OK;
}

void releaseStream(PictureStream handle)
{
    Stream* stream = static_cast<Stream*>(handle);
    if (stream != nullptr) {
        if (stream->ownsBlock) {
            globalFree(stream->block);
        }
        delete stream;
    }
}

// ---------------------------------------------------------------------------
// Pictures
// ---------------------------------------------------------------------------

class DecodedPicture final : public IPicture {
public:
    // Takes over `bgr`, a raster of posix::decodeBgr.
    DecodedPicture(LONG width, LONG height, LONG hmWidth, LONG hmHeight, unsigned char* bgr)
        : width_(width), height_(height), hmWidth_(hmWidth), hmHeight_(hmHeight), bgr_(bgr)
    {
    }

    HRESULT get_Width(OLE_XSIZE_HIMETRIC* width) override
    {
        if (width == nullptr) {
            return E_POINTER;
        }
        *width = hmWidth_;
        return S_OK;
    }

    HRESULT get_Height(OLE_YSIZE_HIMETRIC* height) override
    {
        if (height == nullptr) {
            return E_POINTER;
        }
        *height = hmHeight_;
        return S_OK;
    }

    HRESULT Render(HDC dc, LONG x, LONG y, LONG cx, LONG cy, OLE_XPOS_HIMETRIC xSrc, OLE_YPOS_HIMETRIC ySrc,
                   OLE_XSIZE_HIMETRIC cxSrc, OLE_YSIZE_HIMETRIC cySrc, LPCRECT /*bounds*/) override
    {
        if (dc == nullptr || dc->pixels == nullptr || dc->width < 0 || dc->height < 0 ||
            static_cast<long long>(dc->stride) < 3LL * dc->width || cxSrc == 0 || cySrc == 0) {
            return E_INVALIDARG;
        }
        // Destination column of step i, and the picture column it samples.
        std::vector<std::pair<long long, long long>> columns;
        visibleSteps(x, cx, dc->width, [&](long long i, long long column) {
            long long source = sourceIndex(xSrc, cxSrc, i, cx, hmWidth_, width_);
            if (source >= 0 && source < width_) {
                columns.emplace_back(column, source);
            }
        });
        if (columns.empty()) {
            return S_OK;
        }
        visibleSteps(y, cy, dc->height, [&](long long j, long long row) {
            // HIMETRIC rows grow upwards; the raster is stored top row first.
            long long fromBottom = sourceIndex(ySrc, cySrc, j, cy, hmHeight_, height_);
            if (fromBottom < 0 || fromBottom >= height_) {
                return;
            }
            const unsigned char* source = bgr_ + 3 * width_ * (height_ - 1 - fromBottom);
            unsigned char* target = dc->pixels + static_cast<std::size_t>(dc->stride) * row;
            for (const auto& c : columns) {
                std::memcpy(target + 3 * c.first, source + 3 * c.second, 3);
            }
        });
        return S_OK;
    }

    ULONG AddRef() override { return ++references_; }

    ULONG Release() override
    {
        ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

private:
    ~DecodedPicture() override { posix::releasePixels(bgr_); }

    // Calls visit(step, device coordinate) for the steps of a destination
    // extent that fall inside [0, limit). A negative extent runs backwards
    // from just before `origin`.
    template <class Visit>
    static void visibleSteps(LONG origin, LONG extent, LONG limit, Visit visit)
    {
        long long count = extent < 0 ? -static_cast<long long>(extent) : extent;
        long long first;
        long long last;  // exclusive
        if (extent > 0) {
            first = origin < 0 ? -static_cast<long long>(origin) : 0;
            last = static_cast<long long>(limit) - origin;
        } else {
            first = static_cast<long long>(origin) - limit;
            last = static_cast<long long>(origin);
            first = first < 0 ? 0 : first;
        }
        last = last > count ? count : last;
        for (long long i = first; i < last; ++i) {
            visit(i, extent > 0 ? origin + i : origin - 1 - i);
        }
    }

    // The picture index sampled by the centre of destination step `i` of
    // `steps` (sign ignored), mapping the HIMETRIC source span onto pixels.
    static long long sourceIndex(LONG srcOrigin, LONG srcExtent, long long i, LONG steps, LONG himetric, LONG pixels)
    {
        long long count = steps < 0 ? -static_cast<long long>(steps) : steps;
        double position = srcOrigin + (static_cast<double>(i) + 0.5) * srcExtent / static_cast<double>(count);
        double index = position * pixels / himetric;
        if (index < 0) {
            return -1;
        }
        return index >= static_cast<double>(pixels) ? pixels : static_cast<long long>(index);
    }

    LONG width_;
    LONG height_;
    LONG hmWidth_;
    LONG hmHeight_;
    unsigned char* bgr_;
    std::atomic<ULONG> references_{1};
};

IPicture* decodePicture(const unsigned char* data, std::size_t size)
{
    const bmp::Format format = bmp::formatOf(data, size);
    if (format == bmp::Format::Unknown) {
        return nullptr;
    }
    // A BMP file is taken as the bitmap loader takes it: its pixel array in
    // the file, not filled up with zeros from headers that claim more.
    std::vector<unsigned char> canonical;
    if (format == bmp::Format::Bmp && !bmp::decoderForm(data, size, canonical)) {
        return nullptr;
    }
    int width = 0;
    int height = 0;
    unsigned char* bgr = canonical.empty() ? posix::decodeBgr(data, size, &width, &height)
                                           : posix::decodeBgr(canonical.data(), canonical.size(), &width, &height);
    if (bgr == nullptr) {
        return nullptr;
    }
    bmp::Resolution rx;
    bmp::Resolution ry;
    bmp::storedResolution(format, data, size, rx, ry);
    long long hmWidth = bmp::toHimetric(width, rx);
    long long hmHeight = bmp::toHimetric(height, ry);
    IPicture* picture = nullptr;
    if (hmWidth <= INT32_MAX && hmHeight <= INT32_MAX) {
        picture = new (std::nothrow)
            DecodedPicture(width, height, static_cast<LONG>(hmWidth), static_cast<LONG>(hmHeight), bgr);
    }
    if (picture == nullptr) {
        posix::releasePixels(bgr);
    }
    return picture;
}

HRESULT loadPicture(PictureStream handle, LONG size, bool /*runMode*/, IPicture** picture)
{
    if (picture == nullptr) {
        return E_POINTER;
    }
    *picture = nullptr;
    Stream* stream = static_cast<Stream*>(handle);
    if (stream == nullptr || stream->block == nullptr || size < 0) {
        return E_INVALIDARG;
    }
    std::size_t length = static_cast<std::size_t>(size);
    if (length > stream->block->size) {
        length = stream->block->size;
    }
    *picture = decodePicture(stream->block->bytes, length);
    return *picture != nullptr ? S_OK : E_FAIL;
}

// ---------------------------------------------------------------------------
// Bitmaps
// ---------------------------------------------------------------------------

// Only the headers are read when the bitmap is loaded; the pixel array is
// read later straight into the caller's raster, so that it is copied once
// (from the page cache) and not twice.
HBITMAP loadBitmap(const char* path)
{
    Descriptor fd = openNative(path, O_RDONLY);
    if (!fd) {
        return nullptr;
    }
    unsigned char headers[bmp::kBmpHeadersSize] = {};
    struct stat st;
    std::size_t got = 0;
    bmp::BmpPixelArray pixels;
    BITMAP description{};
    if (::fstat(fd.get(), &st) == 0 && st.st_size >= 0 && readFully(fd.get(), headers, sizeof headers, &got) &&
        (got == sizeof headers || got == static_cast<unsigned long long>(st.st_size)) &&
        bmp::checkBmpHeaders(headers, static_cast<unsigned long long>(st.st_size), description, pixels)) {
        return new (std::nothrow) ktuBitmap{std::move(fd), pixels, description};
    }
    return nullptr;
}

bool describeBitmap(HBITMAP bitmap, BITMAP* description)
{
    if (bitmap == nullptr || description == nullptr) {
        return false;
    }
    *description = bitmap->description;
    return true;
}

bool deleteBitmap(HBITMAP bitmap)
{
    if (bitmap == nullptr) {
        return false;
    }
    delete bitmap;
    return true;
}

// Reads exactly `size` bytes at `offset`.
bool preadFully(int fd, unsigned char* out, std::size_t size, unsigned long long offset)
{
    while (size > 0) {
        ssize_t got = ::pread(fd, out, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        out += got;
        size -= static_cast<std::size_t>(got);
        offset += static_cast<unsigned long long>(got);
    }
    return true;
}

// Reads a byte range of a file through a small buffer.
class ByteReader {
public:
    ByteReader(int fd, unsigned long long offset, unsigned long long bytes)
        : fd_(fd), next_(offset), left_(bytes), buffer_(std::size_t{1} << 16)
    {
    }
    // The next byte, or -1 at the end of the range or on a read error.
    int get()
    {
        if (at_ == end_) {
            const std::size_t want = left_ < buffer_.size() ? static_cast<std::size_t>(left_) : buffer_.size();
            if (want == 0 || !preadFully(fd_, buffer_.data(), want, next_)) {
                return -1;
            }
            at_ = 0;
            end_ = want;
            next_ += want;
            left_ -= want;
        }
        return buffer_[at_++];
    }

private:
    int fd_;
    unsigned long long next_;
    unsigned long long left_;
    std::size_t at_ = 0;
    std::size_t end_ = 0;
    std::vector<unsigned char> buffer_;
};

bool copyPixelRows(HBITMAP bitmap, unsigned char* out, std::size_t rowBytes, std::size_t limit)
{
    if (bitmap == nullptr || out == nullptr) {
        return false;
    }
    const std::size_t stride = static_cast<std::size_t>(bitmap->description.bmWidthBytes);
    const std::size_t rows = static_cast<std::size_t>(bitmap->description.bmHeight);
    std::size_t most = 0;  // rows * rowBytes, when it fits a size_t (else no limit exceeds it)
    if (rowBytes == 0 || rowBytes > stride || (checkedMul(rows, rowBytes, most) && limit > most)) {
        return false;
    }
    if (bitmap->pixels.compression != 0) {
        ByteReader in(bitmap->fd.get(), bitmap->pixels.offset, bitmap->pixels.bytes);
        std::size_t done = 0;
        bmp::expandRle([&in] { return in.get(); }, bitmap->pixels.compression == 2, static_cast<std::size_t>(bitmap->description.bmWidth), rows,
                  stride, [&](const unsigned char* row) {
                      const std::size_t take = std::min(rowBytes, limit - done);
                      std::memcpy(out + done, row, take);
                      done += take;
                      return done < limit;
                  });
        return done == limit;
    }
    if (rowBytes == stride) {  // whole rows: one read
        return preadFully(bitmap->fd.get(), out, limit, bitmap->pixels.offset);
    }
    // Rows cut short: one vectored read per batch of rows, the rest of each
    // row going to a scratch area.
    std::vector<unsigned char> scratch(stride - rowBytes);
    std::vector<struct iovec> parts;
    const std::size_t batchRows = IOV_MAX / 2;
    std::size_t done = 0;
    unsigned long long offset = bitmap->pixels.offset;
    while (done < limit) {
        parts.clear();
        std::size_t want = 0;
        for (std::size_t r = 0; r < batchRows && done + want < limit; ++r) {
            std::size_t take = std::min(rowBytes, limit - done - want);
            parts.push_back(iovec{out + done + want, take});
            want += take;
            if (done + want < limit) {
                parts.push_back(iovec{scratch.data(), scratch.size()});
            }
        }
        std::size_t total = 0;
        for (const auto& part : parts) {
            total += part.iov_len;
        }
        ssize_t got;
        do {
            got = ::preadv(bitmap->fd.get(), parts.data(), static_cast<int>(parts.size()),
                           static_cast<off_t>(offset));
        } while (got < 0 && errno == EINTR);
        if (got < 0 || static_cast<std::size_t>(got) != total) {
            return false;
        }
        done += want;
        offset += total;
    }
    return true;
}

bool clientRect(HWND window, RECT* rect)
{
    if (window == nullptr || rect == nullptr) {
        return false;
    }
    *rect = window->clientRect;
    return true;
}

}  // namespace

PictureOps makePictureOps()
{
    PictureOps table{};
    table.openForReading = openForReading;
    table.replaceFile = replaceFile;
    table.fileSize = fileSize;
    table.readFile = readFile;
    table.writeFile = writeFile;
    table.closeFile = closeFile;
    table.localAlloc = localAlloc;
    table.localFree = localFree;
    table.globalAlloc = globalAlloc;
    table.globalLock = globalLock;
    table.globalUnlock = globalUnlock;
    table.globalFree = globalFree;
    table.createStream = createStream;
    table.releaseStream = releaseStream;
    table.loadPicture = loadPicture;
    table.loadBitmap = loadBitmap;
    table.describeBitmap = describeBitmap;
    table.deleteBitmap = deleteBitmap;
    table.copyPixelRows = copyPixelRows;
    table.clientRect = clientRect;
    return table;
}

}  // namespace platform
}  // namespace ktu
