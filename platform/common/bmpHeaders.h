// The checks both bitmap loaders make before they touch a BMP file's pixels:
// the headers describe a pixel array that this library's readers can take,
// and it lies wholly inside the file.
#pragma once

#include <cstdint>

#include "ktuWinTypes.h"

namespace ktu {
namespace platform {

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

}  // namespace platform
}  // namespace ktu
