// The resize group of ktuBMPUtils: nearest-neighbour scaling of packed rasters
// into BMP-aligned ones. Faults are logged and passed on to the caller.
#include "ktuBMPUtils.h"

#include "ktuClassShape.h"
#include "ktuGuard.h"
#include "ktuRasterKernels.h"

namespace {

constexpr const char* kResizeText = "ktuBMPUtils::resizeImageAndReturnData()";

void copyOrFault(unsigned char* source, int width, int height, double sx, double sy, int outWidth, int outHeight,
                 unsigned char* destination)
{
    if (!ktu::raster::resizeNearest(source, width, height, sx, sy, outWidth, outHeight, destination, true)) {
        ktu::raiseFault("resize outside the source raster");
    }
}

}  // namespace

KTU_DATALESS_CLASS_SHAPE(ktuBMPUtils)

void ktuBMPUtils::getScaledSize(int width, int height, int maxSize, int* scaledWidth, int* scaledHeight)
{
    ktu::enter(ktu::rethrowingSite(ktu::kModCommon, "ktuBMPUtils::getScaledSize()"), [&] {
        const ktu::raster::ScaledSize size = ktu::raster::scaleForMaxSize(width, height, maxSize);
        *ktu::require(scaledWidth) = size.width;
        *ktu::require(scaledHeight) = size.height;
    });
}

void ktuBMPUtils::resizeImageAndReturnData(int width, int height, unsigned char* source, int maxSize,
                                           unsigned char* destination)
{
    ktu::enter(ktu::rethrowingSite(ktu::kModCommon, kResizeText), [&] {
        const ktu::raster::ScaledSize size = ktu::raster::scaleForMaxSize(width, height, maxSize);
        copyOrFault(source, width, height, size.scale, size.scale, size.width, size.height, destination);
    });
}

void ktuBMPUtils::resizeImageAndReturnData(int width, int height, unsigned char* source, int newWidth,
                                           int newHeight, unsigned char* destination)
{
    ktu::enter(ktu::rethrowingSite(ktu::kModCommon, kResizeText), [&] {
        const double sx = static_cast<double>(width) / static_cast<double>(newWidth);
        const double sy = static_cast<double>(height) / static_cast<double>(newHeight);
        const int outWidth = ktu::raster::truncToInt(static_cast<double>(width) / sx);
        const int outHeight = ktu::raster::truncToInt(static_cast<double>(height) / sy);
        copyOrFault(source, width, height, sx, sy, outWidth, outHeight, destination);
    });
}
