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
//   blue-green-red raster. Its
//   extent in HIMETRIC units comes from the resolution the file stores (BMP
//   pixels per metre, PNG pHYs in metres, JPEG JFIF density), 96 dots per
//   inch when it stores none.
// - The bitmap loader reads the headers of a BMP file and describes its pixel
//   array as a DIB section loaded from the file would be; the pixels are
//   read later, in one read, straight into the caller's raster.
//   It takes the files of common/bmpHeaders.h: core (12-byte) and 40- to
//   124-byte headers, uncompressed arrays inside the file, and RLE8 and RLE4
//   data, which copyPixelRows expands row by row (expandRle) into the 8- or
//   4-bit rows of colour indices that a DIB section loaded from the file
//   holds. Anything else is refused.
#include <fcntl.h>
#include <limits.h>
#include <sys/uio.h>
#include <sys/stat.h>
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

#include "common/bmpHeaders.h"
#include "common/checkedSize.h"
#include "drives.h"
#include "ktuPlatform.h"
#include "pictureDecoder.h"

struct ktuBitmap {
    int fd;  // the open file
    ktu::platform::BmpPixelArray pixels;
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

int openNative(const char* path, int flags)
{
    std::string native;
    if (!posix::toNativePath(path, native) || native.empty()) {
        return -1;
    }
    int fd;
    do {
        fd = ::open(native.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        struct stat st;
        if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

FileHandle openForReading(const char* path)
{
    return handleOf(openNative(path, O_RDONLY));
}

FileHandle createForWriting(const char* path)
{
    return handleOf(openNative(path, O_RDWR | O_CREAT | O_TRUNC));
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
    return file != nullptr && ::close(descriptorOf(file)) == 0;
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

uint32_t le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t be32(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint16_t be16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

// Resolution of one axis: `perUnit` dots per `unitHimetric` HIMETRIC units
// (100000 for a metre, 2540 for an inch, 1000 for a centimetre).
struct Resolution {
    long long dots = 96;
    long long unitHimetric = 2540;
};

long long toHimetric(long long pixels, const Resolution& r)
{
    long long value = (pixels * r.unitHimetric * 2 + r.dots) / (2 * r.dots);
    return value < 1 ? 1 : value;
}

enum class Format { Unknown, Bmp, Png, Jpeg, Gif };

Format formatOf(const unsigned char* data, std::size_t size)
{
    static const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        return Format::Bmp;
    }
    if (size >= 8 && std::memcmp(data, png, 8) == 0) {
        return Format::Png;
    }
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
        return Format::Jpeg;
    }
    if (size >= 6 && std::memcmp(data, "GIF8", 4) == 0) {
        return Format::Gif;
    }
    return Format::Unknown;
}

// The stored resolution, when the file has one that can be used.
void storedResolution(Format format, const unsigned char* data, std::size_t size, Resolution& x, Resolution& y)
{
    if (format == Format::Bmp && size >= 46 && le32(data + 14) >= 40) {
        int32_t px = static_cast<int32_t>(le32(data + 38));
        int32_t py = static_cast<int32_t>(le32(data + 42));
        if (px > 0 && py > 0) {
            x = Resolution{px, 100000};
            y = Resolution{py, 100000};
        }
    } else if (format == Format::Png) {
        // Chunks: length, type, data, checksum. pHYs comes before IDAT.
        std::size_t at = 8;
        while (at + 8 <= size) {
            uint32_t length = be32(data + at);
            const unsigned char* type = data + at + 4;
            if (std::memcmp(type, "IDAT", 4) == 0 || length > size - at - 8) {
                break;
            }
            if (std::memcmp(type, "pHYs", 4) == 0 && length >= 9) {
                uint32_t px = be32(data + at + 8);
                uint32_t py = be32(data + at + 12);
                if (data[at + 16] == 1 && px > 0 && py > 0 && px <= INT32_MAX && py <= INT32_MAX) {
                    x = Resolution{px, 100000};
                    y = Resolution{py, 100000};
                }
                break;
            }
            at += 12 + static_cast<std::size_t>(length);
        }
    } else if (format == Format::Jpeg && size >= 18 && data[3] == 0xE0 && std::memcmp(data + 6, "JFIF", 5) == 0) {
        unsigned units = data[13];
        uint16_t px = be16(data + 14);
        uint16_t py = be16(data + 16);
        if ((units == 1 || units == 2) && px > 0 && py > 0) {
            long long unit = units == 1 ? 2540 : 1000;
            x = Resolution{px, unit};
            y = Resolution{py, unit};
        }
    }
}

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
    Format format = formatOf(data, size);
    if (format == Format::Unknown) {
        return nullptr;
    }
    // A BMP file is taken as the bitmap loader takes it: its pixel array in
    // the file, not filled up with zeros from headers that claim more.
    BITMAP bmp{};
    BmpPixelArray array;
    if (format == Format::Bmp && !checkBmpHeaders(data, size, bmp, array)) {
        return nullptr;
    }
    int width = 0;
    int height = 0;
    unsigned char* bgr = posix::decodeBgr(data, size, &width, &height);
    if (bgr == nullptr) {
        return nullptr;
    }
    Resolution rx;
    Resolution ry;
    storedResolution(format, data, size, rx, ry);
    long long hmWidth = toHimetric(width, rx);
    long long hmHeight = toHimetric(height, ry);
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
    int fd = openNative(path, O_RDONLY);
    if (fd < 0) {
        return nullptr;
    }
    unsigned char headers[kBmpHeadersSize] = {};
    struct stat st;
    std::size_t got = 0;
    BmpPixelArray pixels;
    BITMAP description{};
    if (::fstat(fd, &st) == 0 && st.st_size >= 0 && readFully(fd, headers, sizeof headers, &got) &&
        (got == sizeof headers || got == static_cast<unsigned long long>(st.st_size)) &&
        checkBmpHeaders(headers, static_cast<unsigned long long>(st.st_size), description, pixels)) {
        ktuBitmap* bitmap = new (std::nothrow) ktuBitmap{fd, pixels, description};
        if (bitmap != nullptr) {
            return bitmap;
        }
    }
    ::close(fd);
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
    ::close(bitmap->fd);
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

// Expands RLE8 or RLE4 data into rows of 8- or 4-bit colour indices, as the
// Windows loader delivers them: runs and absolute runs are written from the
// left, "end of line" moves to the start of the next row, a delta moves right
// and on to later rows, "end of bitmap" or the end of the data stops.
// Pixels that no code reaches are 0; pixels a run would put beyond the row's
// end are dropped. `emit` receives each expanded row in stored order (bottom
// row first) and answers false to stop. One row is held at a time.
template <class Emit>
bool expandRle(ByteReader& in, bool four, std::size_t width, std::size_t rows, std::size_t stride, Emit emit)
{
    std::vector<unsigned char> row(stride, 0);
    std::size_t y = 0;
    std::size_t x = 0;
    auto put = [&](unsigned index) {
        if (x < width) {
            if (four) {
                row[x / 2] = static_cast<unsigned char>(x % 2 == 0 ? (row[x / 2] & 0x0F) | index << 4
                                                                   : (row[x / 2] & 0xF0) | index);
            } else {
                row[x] = static_cast<unsigned char>(index);
            }
        }
        ++x;
    };
    auto nextRow = [&]() {
        if (!emit(row.data())) {
            return false;
        }
        std::fill(row.begin(), row.end(), 0);
        ++y;
        x = 0;
        return true;
    };
    while (y < rows) {
        const int count = in.get();
        const int code = in.get();
        if (count < 0 || code < 0) {
            break;
        }
        if (count > 0) {  // a run of one colour, or of two alternating nibbles
            for (int i = 0; i < count; ++i) {
                put(four ? (i % 2 == 0 ? code >> 4 : code & 0x0F) : code);
            }
        } else if (code == 0) {  // end of line
            if (!nextRow()) {
                return false;
            }
        } else if (code == 1) {  // end of bitmap
            break;
        } else if (code == 2) {  // delta
            const int dx = in.get();
            const int dy = in.get();
            if (dx < 0 || dy < 0) {
                break;
            }
            for (int i = 0; i < dy && y < rows; ++i) {
                const std::size_t keep = x;
                if (!nextRow()) {
                    return false;
                }
                x = keep;
            }
            x += static_cast<std::size_t>(dx);
        } else {  // an absolute run of `code` pixels, padded to whole words
            const int stored = four ? (code + 1) / 2 : code;
            int value = 0;
            for (int i = 0; i < code; ++i) {
                if (!four || i % 2 == 0) {
                    value = in.get();
                    if (value < 0) {
                        break;
                    }
                }
                put(four ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
            }
            if (stored % 2 != 0) {
                in.get();
            }
        }
    }
    // The rows not finished by the data: what was expanded, then zeros.
    while (y < rows) {
        if (!nextRow()) {
            return false;
        }
    }
    return true;
}

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
        ByteReader in(bitmap->fd, bitmap->pixels.offset, bitmap->pixels.bytes);
        std::size_t done = 0;
        expandRle(in, bitmap->pixels.compression == 2, static_cast<std::size_t>(bitmap->description.bmWidth), rows,
                  stride, [&](const unsigned char* row) {
                      const std::size_t take = std::min(rowBytes, limit - done);
                      std::memcpy(out + done, row, take);
                      done += take;
                      return done < limit;
                  });
        return done == limit;
    }
    if (rowBytes == stride) {  // whole rows: one read
        return preadFully(bitmap->fd, out, limit, bitmap->pixels.offset);
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
            got = ::preadv(bitmap->fd, parts.data(), static_cast<int>(parts.size()), static_cast<off_t>(offset));
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
    table.createForWriting = createForWriting;
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
