// The picture decoder of the POSIX picture loader: stb_image compiled into the
// library (PNG, JPEG, BMP and GIF only), every allocation it makes counted
// against a budget fixed before the decode starts.
//
// The bound. Before any pixel is decoded the headers are read (at most
// kHeaderBudget bytes) and the picture's width x height is checked against
// kMaxPicturePixels. The decode of a file image of N bytes whose headers claim
// W x H pixels may then hold at most decodeBudget(N, W, H) = kHeaderBudget +
// 2 * N + kBytesPerPixel * (W + 16) * (H + 16) bytes at once (the 16 covers
// the JPEG decoder's padding to whole blocks); a request beyond that is
// refused (the decoder then fails, answers null, and frees what it holds). So
// whatever the file claims (a data chunk of 1.6 GB in a 100-byte PNG, say),
// one load allocates no more than the file's own size, the accepted picture
// size and a small fixed part allow: about 1 MiB + 2 N + 32 W H, at most about
// 2 GiB + 2 N for the largest accepted picture.
#pragma once

#include <cstddef>

namespace ktu {
namespace platform {
namespace posix {

// Largest picture decoded, in pixels.
constexpr long long kMaxPicturePixels = 1LL << 26;
// What reading the headers may hold at once.
constexpr std::size_t kHeaderBudget = std::size_t{1} << 20;
// What the decode may hold per claimed pixel, beyond twice the file image
// (the worst of the decoders: a 16-bit interlaced PNG with alpha).
constexpr std::size_t kBytesPerPixel = 32;

// A PNG's pixels come from its deflate stream, which expands at most 1032
// times; a picture of 1 bit per pixel then yields 8 pixels per byte, each of
// which the decode may hold kBytesPerPixel bytes for. So a PNG file image of
// N bytes is never given more than kHeaderBudget + 2 N +
// kPngBytesPerFileByte N, whatever size its header claims: a 100-byte PNG
// claiming 8000 x 8000 pixels cannot make the decoder reserve more than about
// 27 MB.
constexpr std::size_t kPngBytesPerFileByte = 1032 * 8 * kBytesPerPixel;

std::size_t decodeBudget(std::size_t fileBytes, int width, int height);
std::size_t pngDecodeBudget(std::size_t fileBytes, int width, int height);

// The picture's size from its headers, within kHeaderBudget; false when the
// format is not one of the four or the headers are unusable. A JPEG file
// whose Huffman tables claim more than 256 symbols is refused before the
// decoder reads it (the decoder would write beyond its tables); decodeBgr
// asks this first.
bool pictureSize(const unsigned char* data, std::size_t size, int* width, int* height);

// Decodes the picture into a new top-down raster of width x height pixels, 3
// bytes each in the order blue, green, red, within decodeBudget(size, width,
// height) (pngDecodeBudget for a PNG) for a picture of at most
// kMaxPicturePixels. Null on any failure.
// The raster is released with releasePixels.
unsigned char* decodeBgr(const unsigned char* data, std::size_t size, int* width, int* height);
void releasePixels(unsigned char* pixels);

// The most the last decode or size query on this thread held at once, in
// bytes, and whether it was refused a request for being over budget.
std::size_t lastDecodePeak();
bool lastDecodeOverBudget();

}  // namespace posix
}  // namespace platform
}  // namespace ktu
