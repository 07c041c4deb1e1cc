// Header checks shared by the bitmap loaders.
#include "bmpHeaders.h"

#include <climits>

namespace ktu {
namespace platform {
namespace {

uint32_t le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t le16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitFields = 3;

}  // namespace

bool checkBmpHeaders(const unsigned char* data, unsigned long long size, BITMAP& out, BmpPixelArray& pixels)
{
    if (size < 14 + 12 || data[0] != 'B' || data[1] != 'M') {
        return false;
    }
    const unsigned long long offset = le32(data + 10);
    const uint32_t headerSize = le32(data + 14);
    int32_t width;
    int32_t height;
    uint16_t planes;
    uint16_t bits;
    uint32_t compression = 0;
    uint32_t sizeImage = 0;
    if (headerSize == 12) {
        width = le16(data + 18);
        height = le16(data + 20);
        planes = le16(data + 22);
        bits = le16(data + 24);
        if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
            return false;
        }
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124) {
        if (size < 14 + 40) {
            return false;
        }
        width = static_cast<int32_t>(le32(data + 18));
        height = static_cast<int32_t>(le32(data + 22));
        planes = le16(data + 26);
        bits = le16(data + 28);
        compression = le32(data + 30);
        sizeImage = le32(data + 34);
        const bool rgb =
            compression == 0 && (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32);
        const bool bitFields = compression == kBitFields && (bits == 16 || bits == 32);
        const bool rle = (compression == kRle8 && bits == 8) || (compression == kRle4 && bits == 4);
        if (!(rgb || bitFields || rle) || (rle && height < 0)) {
            return false;
        }
        if (bitFields) {
            compression = 0;  // the rows are stored as they are
        }
    } else {
        return false;
    }
    if (planes != 1 || width <= 0 || height == 0 || height == INT32_MIN) {
        return false;
    }
    const unsigned long long rows = height < 0 ? -static_cast<long long>(height) : height;
    const unsigned long long stride = ((static_cast<unsigned long long>(bits) * width + 31) / 32) * 4;
    if (offset < 14 + headerSize || offset > size || stride > INT32_MAX) {
        return false;
    }
    unsigned long long bytes = stride * rows;
    if (compression == 0) {
        if (bytes > size - offset) {
            return false;
        }
    } else {
        bytes = sizeImage == 0 ? size - offset : sizeImage;
        if (bytes > size - offset || static_cast<unsigned long long>(width) * rows > kMaxRlePixels) {
            return false;
        }
    }
    out.bmType = 0;
    out.bmWidth = width;
    out.bmHeight = static_cast<LONG>(rows);
    out.bmWidthBytes = static_cast<LONG>(stride);
    out.bmPlanes = 1;
    out.bmBitsPixel = bits;
    out.bmBits = nullptr;
    pixels.offset = offset;
    pixels.bytes = bytes;
    pixels.compression = compression;
    return true;
}

}  // namespace platform
}  // namespace ktu
