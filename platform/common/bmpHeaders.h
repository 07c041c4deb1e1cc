// The checks both bitmap loaders make before they touch a BMP file's pixels:
// the headers describe a pixel array that this library's readers can take,
// and it lies wholly inside the file.
#pragma once

#include <cstdint>

#include "ktuWinTypes.h"

namespace ktu {
namespace platform {

constexpr unsigned kBmpHeadersSize = 54;

// `headers` holds the first 54 bytes of a file of `fileSize` bytes. True when
// it is an uncompressed BMP file (bit fields for 16 and 32 bits; 1, 4, 8,
// 16, 24 or 32 bits a pixel; a 40- to 124-byte information header) whose
// pixel array fits; `description` then gets its size, row length and bit
// depth (bmBits null, bmHeight the row count) and `offset` where it starts.
bool checkBmpHeaders(const unsigned char* headers, unsigned long long fileSize, BITMAP& description,
                     unsigned long long& offset);

}  // namespace platform
}  // namespace ktu
