// Raster reversal, flips, resizes and the video zoom, on every pixel engine.
// Each input runs once per engine (plain C++, SSSE3, AVX2) on the same bytes;
// the engines must agree byte for byte, in their status and in whether a
// fault reached the caller. Buffers have exactly the size each operation
// documents, so a byte beyond them is reported.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <vector>

#include "fuzzSupport.h"
#include "ktuRasterKernels.h"

namespace {

using ktu::raster::Kernel;
using Bytes = std::vector<unsigned char>;

// What one engine produced: the buffers it wrote, a status, and whether a
// fault came out of the call.
struct Outcome {
    std::vector<Bytes> buffers;
    long status = 0;
    int width = -1;
    int height = -1;
    bool faulted = false;

    bool operator==(const Outcome& o) const
    {
        return buffers == o.buffers && status == o.status && width == o.width && height == o.height &&
               faulted == o.faulted;
    }
};

// `size` bytes cycling through `pixels` (a recognisable pattern when empty).
Bytes filled(const Bytes& pixels, std::size_t size)
{
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i) {
        out[i] = pixels.empty() ? static_cast<unsigned char>(i * 7 + 1) : pixels[i % pixels.size()];
    }
    return out;
}

std::size_t alignedSize(int width, int height)
{
    if (width <= 0 || height <= 0) {
        return 0;
    }
    return (3 * static_cast<std::size_t>(width) + static_cast<std::size_t>(width) % 4) * static_cast<std::size_t>(height);
}

// Heap copies of exactly the vector's size (a vector's spare capacity would
// hide an overrun from the sanitizer).
struct Exact {
    explicit Exact(const Bytes& from) : size(from.size()), bytes(new unsigned char[from.empty() ? 1 : from.size()])
    {
        if (!from.empty()) {
            std::memcpy(bytes.get(), from.data(), from.size());
        }
    }
    Bytes take() const { return Bytes(bytes.get(), bytes.get() + size); }
    unsigned char* get() const { return bytes.get(); }
    std::size_t size;
    std::unique_ptr<unsigned char[]> bytes;
};

// Every engine, the SIMD ones once with ordinary stores and once with
// streaming stores for every frame size: all must give the same bytes.
template <class Run>
void acrossEngines(Run run)
{
    struct Form {
        Kernel engine;
        std::size_t streamFrom;
    };
    constexpr std::size_t kNever = ~std::size_t{0};
    const Form forms[] = {{Kernel::Plain, kNever}, {Kernel::Ssse3, kNever}, {Kernel::Ssse3, 0},
                          {Kernel::Avx2, kNever},  {Kernel::Avx2, 0}};
    const std::size_t threshold = ktu::raster::useStreamingThreshold(kNever);
    Outcome first;
    for (std::size_t f = 0; f < sizeof forms / sizeof forms[0]; ++f) {
        ktu::raster::useKernel(forms[f].engine);
        ktu::raster::useStreamingThreshold(forms[f].streamFrom);
        Outcome outcome;
        try {
            run(outcome);
        } catch (...) {
            outcome.faulted = true;  // the resizes pass their faults on, as documented
        }
        if (f == 0) {
            first = outcome;
        } else {
            KTU_FUZZ_CHECK(outcome == first);
        }
    }
    ktu::raster::useKernel(ktu::raster::bestKernel());
    ktu::raster::useStreamingThreshold(threshold);
}

double anyDouble(FuzzedDataProvider& input)
{
    switch (input.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        return input.ConsumeProbability<double>();
    case 1:
        return input.ConsumeFloatingPointInRange<double>(-2.0, 2.0);
    case 2: {
        uint64_t bits = input.ConsumeIntegral<uint64_t>();  // NaN and infinities too
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    default:
        return input.ConsumeIntegralInRange<int>(0, 8) / 8.0;
    }
}

void zoom(FuzzedDataProvider& input, unsigned width, unsigned height)
{
    const bool enable = input.ConsumeIntegralInRange<int>(0, 7) != 0;
    double edges[4];
    for (double& edge : edges) {
        edge = anyDouble(input);
    }
    const bool inPlace = input.ConsumeBool();
    const bool resizeAfter = input.ConsumeIntegralInRange<int>(0, 7) == 0;  // bounds kept from the old size
    const unsigned laterWidth = input.ConsumeIntegralInRange<unsigned>(0, 80);
    const unsigned laterHeight = input.ConsumeIntegralInRange<unsigned>(0, 40);
    const Bytes pixels = input.ConsumeRemainingBytes<unsigned char>();

    acrossEngines([&](Outcome& outcome) {
        ktuVideoStreamManipulator zoomer;
        zoomer.setImageSize(width, height);
        ktuRelativeBbox box;
        box.setDimensions(edges[0], edges[1], edges[2], edges[3]);
        zoomer.setCaptureRect(&box, enable);
        unsigned w = width, h = height;
        if (resizeAfter) {
            zoomer.setImageSize(laterWidth, laterHeight);
            w = laterWidth;
            h = laterHeight;
        }
        const std::size_t frame = 3 * static_cast<std::size_t>(w) * h;
        Exact in(filled(pixels, frame));
        if (inPlace) {
            zoomer.applyChanges(in.get());
            outcome.buffers = {in.take()};
        } else {
            Exact out(filled(Bytes{0xEE, 0x11}, frame));
            zoomer.applyChanges(in.get(), out.get());
            outcome.buffers = {in.take(), out.take()};
        }
    });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static ktufuzz::ScratchFolder scratch("raster");
    ktufuzz::startLibrary(scratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const int op = input.ConsumeIntegralInRange<int>(0, 5);
    const int width = input.ConsumeIntegralInRange<int>(-2, 80);
    const int height = input.ConsumeIntegralInRange<int>(-2, 40);
    const int w = width < 0 ? 0 : width;
    const int h = height < 0 ? 0 : height;
    const std::size_t packed = 3 * static_cast<std::size_t>(w) * static_cast<std::size_t>(h);

    switch (op) {
    case 0: {  // row and byte reversal
        const Bytes pixels = input.ConsumeRemainingBytes<unsigned char>();
        acrossEngines([&](Outcome& outcome) {
            Exact source(filled(pixels, packed));
            Exact destination(filled(Bytes{0x5A}, packed));
            bool done = ktuRGB24DataUtils::reverseData(source.get(), destination.get(), w, h, &outcome.status);
            KTU_FUZZ_CHECK(done && outcome.status == 200);
            outcome.buffers = {source.take(), destination.take()};
        });
        break;
    }
    case 1: {  // in-place flip, negative sizes refused
        const Bytes pixels = input.ConsumeRemainingBytes<unsigned char>();
        acrossEngines([&](Outcome& outcome) {
            Exact raster(filled(pixels, packed));
            bool done = ktuRGB24DataUtils::flipData(raster.get(), width, height, &outcome.status);
            KTU_FUZZ_CHECK(done == (width >= 0 && height >= 0));
            KTU_FUZZ_CHECK(outcome.status == (done ? 200 : -202));
            outcome.buffers = {raster.take()};
        });
        break;
    }
    case 2: {  // resize to a maximum size, alignment bytes left alone
        const int maxSize = input.ConsumeIntegralInRange<int>(-2, 96);
        const Bytes pixels = input.ConsumeRemainingBytes<unsigned char>();
        int sw = 0, sh = 0;
        if (maxSize >= 0) {
            ktuBMPUtils::getScaledSize(w, h, maxSize, &sw, &sh);
        }
        acrossEngines([&](Outcome& outcome) {
            Exact source(filled(pixels, packed));
            Exact destination(filled(Bytes{0xA5}, alignedSize(sw, sh)));
            bool done = ktuRGB24DataUtils::resizeData(width, height, source.get(), maxSize, &outcome.width,
                                                      &outcome.height, destination.get(), &outcome.status);
            const bool valid = width >= 0 && height >= 0 && maxSize >= 0;
            KTU_FUZZ_CHECK(done == valid && outcome.status == (valid ? 200 : -202));
            if (valid) {
                KTU_FUZZ_CHECK(outcome.width == sw && outcome.height == sh);
            }
            outcome.buffers = {destination.take()};
        });
        break;
    }
    case 3: {  // BMP-aligned resize to a maximum size
        const int maxSize = input.ConsumeIntegralInRange<int>(0, 96);
        const Bytes pixels = input.ConsumeRemainingBytes<unsigned char>();
        int sw = 0, sh = 0;
        ktuBMPUtils::getScaledSize(w, h, maxSize, &sw, &sh);
        acrossEngines([&](Outcome& outcome) {
            Exact source(filled(pixels, packed));
            Exact destination(filled(Bytes{0xA5}, alignedSize(sw, sh)));
            ktuBMPUtils::resizeImageAndReturnData(w, h, source.get(), maxSize, destination.get());
            outcome.buffers = {destination.take()};
        });
        break;
    }
    case 4: {  // BMP-aligned resize to a fixed size
        const int newWidth = input.ConsumeIntegralInRange<int>(0, 96);
        const int newHeight = input.ConsumeIntegralInRange<int>(0, 96);
        const Bytes pixels = input.ConsumeRemainingBytes<unsigned char>();
        acrossEngines([&](Outcome& outcome) {
            Exact source(filled(pixels, packed));
            Exact destination(filled(Bytes{0xA5}, alignedSize(newWidth, newHeight)));
            ktuBMPUtils::resizeImageAndReturnData(w, h, source.get(), newWidth, newHeight, destination.get());
            outcome.buffers = {destination.take()};
        });
        break;
    }
    default:
        zoom(input, static_cast<unsigned>(w), static_cast<unsigned>(h));
        break;
    }
    return 0;
}
