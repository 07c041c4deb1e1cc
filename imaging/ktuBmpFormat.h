// The BMP format, and what the picture loader reads of the other picture
// formats: portable logic that both platforms' loaders use.
// - The checks both bitmap loaders make before they touch a BMP file's
//   pixels: the headers describe a pixel array that this library's readers
//   can take, and it lies wholly inside the file.
// - The expansion of RLE8 and RLE4 pixel data into rows.
// - The form of a BMP file that the picture decoder takes: the pixel array
//   straight after the headers.
// - The picture format of a file image, and the resolution it stores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <vector>

#include "ktuWinTypes.h"

namespace ktu {
namespace bmp {

// The most bytes of a file the check needs: the file header and a 40-byte
// information header (or the start of a longer one).
constexpr unsigned kBmpHeadersSize = 54;

// Largest run-length encoded picture taken, in pixels. Its pixel array is not
// bounded by the file's size (a few bytes can say "the rest is empty"), so the
// picture size is.
constexpr long long kMaxRlePixels = 1LL << 26;

// Where the pixel array of a checked file lies and how it is stored.
struct BmpPixelArray {
    unsigned long long offset = 0;  // from the start of the file
    unsigned long long bytes = 0;   // stored bytes (compressed for RLE)
    uint32_t compression = 0;       // 0 rows as they are, 1 RLE8, 2 RLE4
};

// `headers` holds the first min(54, fileSize) bytes of a file of `fileSize`
// bytes. True when it is a BMP file that the loaders take:
//   - a 12-byte core header (16-bit width and height, 1, 4, 8 or 24 bits,
//     colour table of 3-byte entries), or a 40- to 124-byte information
//     header with 1, 4, 8, 16, 24 or 32 bits uncompressed, 16 or 32 bits with
//     bit fields, 8 bits RLE8 or 4 bits RLE4 (bottom-up only);
//   - an uncompressed pixel array that lies wholly inside the file, or RLE
//     data of biSizeImage bytes inside the file (to the file's end when
//     biSizeImage is 0) for a picture of at most kMaxRlePixels.
// `description` then gets the width, the row count (bmHeight), the length of
// a stored row (bmWidthBytes; for RLE that of the expanded rows) and the bit
// depth, with bmBits null; `pixels` where the array lies and how it is stored.
bool checkBmpHeaders(const unsigned char* headers, unsigned long long fileSize, BITMAP& description,
                     BmpPixelArray& pixels);

// Expands RLE8 (`four` false) or RLE4 data into rows of 8- or 4-bit colour
// indices of `stride` bytes, as the Windows loader delivers them: runs and
// absolute runs are written from the left, "end of line" moves to the start
// of the next row, a delta moves right and on to later rows, "end of bitmap"
// or the end of the data stops. Pixels that no code reaches are 0; pixels a
// run would put beyond the row's end are dropped. `next()` gives the next
// byte of the data, or -1 at its end. `emit` receives each expanded row in
// stored order (bottom row first) and answers false to stop (the expansion
// then answers false). One row is held at a time.
template <class Next, class Emit>
bool expandRle(Next next, bool four, std::size_t width, std::size_t rows, std::size_t stride, Emit emit)
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
        const int count = next();
        const int code = next();
        if (count < 0 || code < 0) {
            break;
        }
        if (count > 0) {  // a run of one colour, or of two alternating nibbles
            for (int i = 0; i < count; ++i) {
                put(static_cast<unsigned>(four ? (i % 2 == 0 ? code >> 4 : code & 0x0F) : code));
            }
        } else if (code == 0) {  // end of line
            if (!nextRow()) {
                return false;
            }
        } else if (code == 1) {  // end of bitmap
            break;
        } else if (code == 2) {  // delta
            const int dx = next();
            const int dy = next();
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
                    value = next();
                    if (value < 0) {
                        break;
                    }
                }
                put(static_cast<unsigned>(four ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value));
            }
            if (stored % 2 != 0) {
                next();
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

// The file image of a BMP file that checkBmpHeaders takes, in the form the
// picture decoder reads: a file of 16, 24 or 32 bits per pixel gets its pixel
// array straight after the headers (and the bit masks of a 40-byte header),
// without the colour table such a file may carry for display on palette
// devices or a gap before the pixels. `out` is left empty when the file needs
// no change. False when checkBmpHeaders refuses the file.
bool decoderForm(const unsigned char* data, std::size_t size, std::vector<unsigned char>& out);

// The picture formats the picture loader knows, by their signatures.
enum class Format { Unknown, Bmp, Png, Jpeg, Gif };
Format formatOf(const unsigned char* data, std::size_t size);

// Resolution of one axis: `dots` per `unitHimetric` HIMETRIC units (100000
// for a metre, 2540 for an inch, 1000 for a centimetre).
struct Resolution {
    long long dots = 96;
    long long unitHimetric = 2540;
};

// The resolution the file stores (BMP pixels per metre, PNG pHYs in metres,
// JPEG JFIF density), when it has one that can be used; `x` and `y` are left
// as they are otherwise.
void storedResolution(Format format, const unsigned char* data, std::size_t size, Resolution& x, Resolution& y);

// A length of `pixels` in HIMETRIC units, rounded, at least 1.
long long toHimetric(long long pixels, const Resolution& r);

}  // namespace bmp
}  // namespace ktu
