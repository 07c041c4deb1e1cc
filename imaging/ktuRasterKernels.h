// The pixel engines behind the raster resizes, the video zoom and the row and
// byte reversals. Every engine has a plain C++ form and, on x86 processors
// that have them, SSSE3 and AVX2 forms chosen at run time (the AVX2 form
// reverses pixels with AVX-512 byte permutes on processors that have them);
// all forms give the same bytes. Nothing here logs or checks the handshake: the callers do.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ktu {
namespace raster {

enum class Kernel : int { Plain = 0, Ssse3 = 1, Avx2 = 2 };

// The best form this processor runs.
Kernel bestKernel();
// The form in use (the best one unless changed).
Kernel activeKernel();
// Chooses the form in use; a form the processor lacks falls back to the best
// one it has. Returns the form now in use. For tests and measurements.
Kernel useKernel(Kernel wanted);

// Zooms and reversals into frames of at least `bytes` bytes write the
// destination with streaming stores, past the cache (SSSE3 and AVX2 forms
// only; not the doubling engine of a zoom by two across). None does by
// default. Returns the previous threshold. For tests and measurements.
std::size_t useStreamingThreshold(std::size_t bytes);

// trunc(value) limited to [0, limit]; NaN gives 0.
unsigned truncToRange(double value, unsigned limit);
// trunc(value) limited to the int range; NaN gives 0.
int truncToInt(double value);

// The size that scaling to a maximum size gives: s = larger side / maxSize
// (the height when the sides are equal), width trunc(width / s), height
// trunc(height / s), all in double precision. An undefined quotient (a 0 x 0
// source) gives 0.
struct ScaledSize {
    int width;
    int height;
    double scale;
};
ScaledSize scaleForMaxSize(int width, int height, int maxSize);

// The pixel bounds and factors of a zoom (see ktuVideoStreamManipulator).
struct ZoomGeometry {
    unsigned width;
    unsigned height;
    double horizontalFactor;
    double verticalFactor;
    unsigned firstRow;
    unsigned firstCol;
    unsigned rowEnd;  // exclusive
    unsigned colEnd;  // exclusive
};

// Enlarges the capture region of `source` into `destination` (both packed
// frames of width x height pixels): source pixel (q, r) fills the block of
// destination pixels [x0, x1) x [y0, y1) with x0 = trunc((q - firstCol) *
// horizontalFactor), x1 = the same for q + 1 (at most width), and likewise for
// the rows. Bounds beyond the frame are cut to it. Pixels no block reaches
// are not written.
void zoom(const std::uint8_t* source, std::uint8_t* destination, const ZoomGeometry& geometry);

// Nearest-neighbour copy from a packed source of sourceWidth x sourceHeight
// pixels into a BMP-aligned destination of outWidth x outHeight pixels:
// destination (x, y) takes source column trunc(x * sx), row trunc(y * sy).
// The alignment bytes are zeroed when `zeroAlignment`, else left alone.
// Returns false, having written nothing, when a picked column or row would
// lie outside the source (the caller treats that as a fault).
bool resizeNearest(const std::uint8_t* source, int sourceWidth, int sourceHeight, double sx, double sy,
                   int outWidth, int outHeight, std::uint8_t* destination, bool zeroAlignment);

// destination row (height - 1 - r) = source row r with bytes 0 and 2 of every
// pixel exchanged. Packed rows; distinct buffers.
void reverseRowsAndPixels(const std::uint8_t* source, std::uint8_t* destination, std::size_t width,
                          std::size_t height);

// Exchanges packed rows i and height - 1 - i for every i < height / 2.
void flipRows(std::uint8_t* raster, std::size_t width, std::size_t height);

}  // namespace raster
}  // namespace ktu
