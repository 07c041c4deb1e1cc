// The BMP readers on a file whose bytes are the input: the format check, the
// size, the packed and raw pixel reads, the resized read and the crop (read
// back to check its size). The caller's rasters have exactly the documented
// sizes. A few parameters (new size, crop region) come from the last bytes
// of the input, which in a real file are pixel bytes.
#include <algorithm>
#include <string>

#include "fuzzSupport.h"

namespace {

ktufuzz::ScratchFolder* g_scratch = nullptr;
std::string g_source;       // the input as a file, drive form
std::string g_cropped;      // where the crop is written

// The readers' rasters are the caller's to size; the target sizes them only
// up to this many bytes (a file may claim more than it holds).
constexpr uint64_t kLargestRaster = 64u << 20;

std::size_t alignedSize(int width, int height)
{
    return (3 * static_cast<std::size_t>(width) + static_cast<std::size_t>(width) % 4) * static_cast<std::size_t>(height);
}

uint8_t tail(const uint8_t* data, std::size_t size, std::size_t back)
{
    return size > back ? data[size - 1 - back] : 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static ktufuzz::ScratchFolder scratch("bmp");
    g_scratch = &scratch;
    ktufuzz::startLibrary(scratch);
    g_source = scratch.drivePath() + "/in.bmp";
    g_cropped = scratch.drivePath() + "/crop.bmp";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    g_scratch->writeFile("in.bmp", data, size);
    const char* path = g_source.c_str();

    ktuBMPUtils::checkBMPFormat(path);

    int width = -1, height = -1;
    if (!ktuBMPUtils::getImageSize(path, &width, &height)) {
        // No size: the readers that take no size still must fail cleanly.
        unsigned char none[1];
        ktuBMPUtils::getResizedImageData(path, none, 1, 1);
        return 0;
    }
    KTU_FUZZ_CHECK(width >= 0 && height >= 0);
    const uint64_t packed = 3ull * static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (packed != 0 && packed <= kLargestRaster) {
        std::unique_ptr<unsigned char[]> raster(new unsigned char[packed]);
        ktuBMPUtils::getImageData(path, raster.get());
        ktuBMPUtils::getImageBitmapData(path, raster.get());
    }

    // The resized read and the crop write into rasters of the size asked
    // for, whatever size the file claims: their work memory is the library's.

    const int newWidth = 1 + tail(data, size, 0) % 48;
    const int newHeight = 1 + tail(data, size, 1) % 48;
    const bool same = newWidth == width && newHeight == height;
    std::unique_ptr<unsigned char[]> resized(
        new unsigned char[same ? 3 * static_cast<std::size_t>(newWidth) * newHeight : alignedSize(newWidth, newHeight)]);
    KTU_FUZZ_CHECK(ktuBMPUtils::getResizedImageData(path, resized.get(), newWidth, newHeight));

    const int x = tail(data, size, 2) % 64;
    const int y = tail(data, size, 3) % 64;
    const int cropWidth = 1 + tail(data, size, 4) % 64;
    const int cropHeight = 1 + tail(data, size, 5) % 64;
    if (ktuBMPUtils::cropAndSaveImage(path, g_cropped.c_str(), x, y, cropWidth, cropHeight)) {
        int w = 0, h = 0;
        KTU_FUZZ_CHECK(ktuBMPUtils::getImageSize(g_cropped.c_str(), &w, &h));
        KTU_FUZZ_CHECK(w == std::min(cropWidth, width) && h == std::min(cropHeight, height));
    }
    return 0;
}
