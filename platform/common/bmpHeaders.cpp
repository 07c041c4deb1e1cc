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

}  // namespace

bool checkBmpHeaders(const unsigned char* data, unsigned long long size, BITMAP& out, unsigned long long& offset)
{
    if (size < 14 + 40 || data[0] != 'B' || data[1] != 'M') {
        return false;
    }
    offset = le32(data + 10);
    uint32_t headerSize = le32(data + 14);
    if (headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 && headerSize != 124) {
        return false;
    }
    int32_t width = static_cast<int32_t>(le32(data + 18));
    int32_t height = static_cast<int32_t>(le32(data + 22));
    uint16_t planes = le16(data + 26);
    uint16_t bits = le16(data + 28);
    uint32_t compression = le32(data + 30);
    bool rgb = compression == 0 && (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32);
    bool bitFields = compression == 3 && (bits == 16 || bits == 32);
    if (planes != 1 || !(rgb || bitFields) || width <= 0 || height == 0 || height == INT32_MIN) {
        return false;
    }
    unsigned long long rows = height < 0 ? -static_cast<long long>(height) : height;
    unsigned long long stride = ((static_cast<unsigned long long>(bits) * width + 31) / 32) * 4;
    unsigned long long bytes = stride * rows;
    if (offset < 14 + headerSize || offset > size || bytes > size - offset || stride > INT32_MAX) {
        return false;
    }
    out.bmType = 0;
    out.bmWidth = width;
    out.bmHeight = static_cast<LONG>(rows);
    out.bmWidthBytes = static_cast<LONG>(stride);
    out.bmPlanes = 1;
    out.bmBitsPixel = bits;
    out.bmBits = nullptr;
    return true;
}

}  // namespace platform
}  // namespace ktu
