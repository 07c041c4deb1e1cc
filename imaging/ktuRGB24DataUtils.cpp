// Row and byte reversal, row flipping and the maximum-size resize of packed
// 24-bit rasters, reporting through a status code.
#include "ktuRGB24DataUtils.h"

#include "ktuClassShape.h"
#include "ktuGuard.h"
#include "ktuRasterKernels.h"

namespace {

constexpr long kDone = 200;
constexpr long kFault = -200;
constexpr long kNullRaster = -201;
constexpr long kNegativeSize = -202;

// Runs `body` (which sets the status itself) behind the gate: a closed gate
// answers false and leaves the status alone; a fault logs `text` and answers
// -200 and false.
template <class Body>
bool withStatus(const char* text, long* status, Body&& body)
{
    const auto faulted = [status] {
        if (status != nullptr) {
            *status = kFault;
        }
        return false;
    };
    return ktu::enter(ktu::site(ktu::kModCommon, text), false, faulted, body);
}

bool answer(long* status, long code)
{
    *ktu::require(status) = code;
    return code == kDone;
}

}  // namespace

KTU_DATALESS_CLASS_SHAPE(ktuRGB24DataUtils)

bool ktuRGB24DataUtils::reverseData(unsigned char* source, unsigned char* destination, unsigned int width,
                                    unsigned int height, long* status)
{
    return withStatus("ktuRGB24DataUtils::reverseData()", status, [&] {
        if (source == nullptr || destination == nullptr) {
            return answer(status, kNullRaster);
        }
        ktu::require(status);
        ktu::raster::reverseRowsAndPixels(source, destination, width, height);
        return answer(status, kDone);
    });
}

bool ktuRGB24DataUtils::resizeData(int width, int height, unsigned char* source, int maxSize, int* newWidth,
                                   int* newHeight, unsigned char* destination, long* status)
{
    return withStatus("ktuRGB24DataUtils::resizeData()", status, [&] {
        if (source == nullptr || destination == nullptr) {
            return answer(status, kNullRaster);
        }
        if (width < 0 || height < 0 || maxSize < 0) {
            return answer(status, kNegativeSize);
        }
        ktu::require(status);
        const ktu::raster::ScaledSize size = ktu::raster::scaleForMaxSize(width, height, maxSize);
        *ktu::require(newWidth) = size.width;
        *ktu::require(newHeight) = size.height;
        if (!ktu::raster::resizeNearest(source, width, height, size.scale, size.scale, size.width, size.height,
                                        destination, false)) {
            ktu::raiseFault("source pixel out of range");
        }
        return answer(status, kDone);
    });
}

bool ktuRGB24DataUtils::flipData(unsigned char* raster, int width, int height, long* status)
{
    // The log text of a fault here is the one resizeData uses.
    return withStatus("ktuRGB24DataUtils::resizeData()", status, [&] {
        if (raster == nullptr) {
            return answer(status, kNullRaster);
        }
        if (width < 0 || height < 0) {
            return answer(status, kNegativeSize);
        }
        ktu::require(status);
        ktu::raster::flipRows(raster, static_cast<std::size_t>(width), static_cast<std::size_t>(height));
        return answer(status, kDone);
    });
}
