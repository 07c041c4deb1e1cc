// The BMP format and the picture formats' stored resolution (see ktuBmpFormat.h).
#include "ktuBmpFormat.h"

#include <climits>
#include <cstring>

namespace ktu {
namespace bmp {
namespace {

uint32_t le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t le16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t be32(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint16_t be16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

void putLe32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
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

bool decoderForm(const unsigned char* data, std::size_t size, std::vector<unsigned char>& out)
{
    out.clear();
    BITMAP description{};
    BmpPixelArray pixels;
    if (!checkBmpHeaders(data, size, description, pixels)) {
        return false;
    }
    // The decoder finds the colour table of a file of 8 bits or fewer by
    // the offset, and skips a gap after it; a file of more bits must have
    // its pixels where the headers end.
    if (description.bmBitsPixel < 16) {
        return true;
    }
    const uint32_t headerSize = le32(data + 14);
    const bool masksAfter = headerSize == 40 && le32(data + 30) == kBitFields;
    const std::size_t headers = 14 + headerSize + (masksAfter ? 12 : 0);
    if (pixels.offset == headers || pixels.offset < headers) {
        return true;  // as it is (a file whose masks overlap its pixels stays refused)
    }
    out.reserve(headers + pixels.bytes);
    out.assign(data, data + headers);
    out.insert(out.end(), data + pixels.offset, data + pixels.offset + pixels.bytes);
    putLe32(out.data() + 2, static_cast<uint32_t>(out.size()));
    putLe32(out.data() + 10, static_cast<uint32_t>(headers));
    if (headerSize >= 40) {
        putLe32(out.data() + 46, 0);  // biClrUsed: no colour table follows
    }
    return true;
}

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

long long toHimetric(long long pixels, const Resolution& r)
{
    long long value = (pixels * r.unitHimetric * 2 + r.dots) / (2 * r.dots);
    return value < 1 ? 1 : value;
}

}  // namespace bmp
}  // namespace ktu
