// The fast zoom and nearest-neighbour resizes against plain references
// written straight from their loops, byte for byte, on every pixel engine the
// processor has, over many random sizes, capture rectangles and targets.
// Destinations start with random bytes, so pixels that must not be written
// are checked too.
#include <cstdint>
#include <cstddef>
#include <cstring>
#include <random>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuRasterKernels.h"
#include "ktuTestSupport.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using ktu::raster::Kernel;

#if defined(__SANITIZE_ADDRESS__)
constexpr int kCases = 1500;
constexpr unsigned kMaxSide = 24;
#else
constexpr int kCases = 4000;
constexpr unsigned kMaxSide = 96;
#endif

const char* const kKernelNames[] = {"Plain", "Ssse3", "Avx2"};

struct Rect { double left, right, bottom, top; };

void referenceZoom(const std::uint8_t* s, std::uint8_t* d, unsigned w, unsigned h, Rect rc)
{
    const double hf = 1.0 / (rc.right - rc.left);
    const double vf = 1.0 / (rc.top - rc.bottom);
    const unsigned r0 = static_cast<unsigned>(h * rc.bottom), c0 = static_cast<unsigned>(w * rc.left);
    const unsigned r1 = static_cast<unsigned>(h * rc.top), c1 = static_cast<unsigned>(w * rc.right);
    for (unsigned r = r0; r < r1; ++r) {
        for (unsigned q = c0; q < c1; ++q) {
            unsigned y0 = static_cast<unsigned>((r - r0) * vf), y1 = static_cast<unsigned>((r - r0 + 1) * vf);
            unsigned x0 = static_cast<unsigned>((q - c0) * hf), x1 = static_cast<unsigned>((q - c0 + 1) * hf);
            y1 = y1 > h ? h : y1;
            x1 = x1 > w ? w : x1;
            for (unsigned y = y0; y < y1; ++y)
                for (unsigned x = x0; x < x1; ++x) std::memcpy(d + 3 * (w * y + x), s + 3 * (w * r + q), 3);
        }
    }
}

// sx = sy = s for the maximum-size forms.
void referenceResize(const std::uint8_t* s, int w, double sx, double sy, int nw, int nh, std::uint8_t* d, bool zero)
{
    const int row = 3 * nw + nw % 4;
    for (int y = 0; y < nh; ++y) {
        for (int x = 0; x < nw; ++x) {
            const int index = static_cast<int>(y * sy) * w + static_cast<int>(x * sx);
            std::memcpy(d + row * y + 3 * x, s + 3 * index, 3);
        }
        if (zero) std::memset(d + row * y + 3 * nw, 0, nw % 4);
    }
}

class RasterOracle : public ::testing::TestWithParam<Kernel> {
protected:
    void SetUp() override
    {
        ktu::test::openGate();
        if (ktu::raster::useKernel(GetParam()) != GetParam()) GTEST_SKIP() << "this processor lacks the engine";
    }
    void TearDown() override
    {
        ktu::raster::useKernel(ktu::raster::bestKernel());
        ktu::raster::useStreamingThreshold(defaultThreshold);
    }
    // Every other case writes its destination past the cache, whatever its size.
    void streamEveryOther(int i) { ktu::raster::useStreamingThreshold(i % 2 ? 0 : SIZE_MAX); }

    Bytes noise(std::size_t n)
    {
        Bytes b(n + 4);
        for (std::size_t i = 0; i < n; i += 4) {
            const std::uint32_t v = rng();
            std::memcpy(&b[i], &v, 4);
        }
        b.resize(n);
        return b;
    }
    unsigned side(unsigned most) { return 1 + rng() % most; }
    // Edges on a coarse grid half of the time (exact halves, quarters...),
    // arbitrary doubles otherwise.
    double edge()
    {
        return rng() % 2 ? (rng() % 17) / 16.0 : std::uniform_real_distribution<double>(0.0, 1.0)(rng);
    }

    std::mt19937 rng{20261205u + static_cast<unsigned>(GetParam())};
    const std::size_t defaultThreshold = ktu::raster::useStreamingThreshold(SIZE_MAX);
};

TEST_P(RasterOracle, ZoomMatchesReferenceInBothForms)
{
    for (int i = 0; i < kCases; ++i) {
        streamEveryOther(i);
        // Now and then a frame wider than one strip of the engine.
        const unsigned w = i % 97 == 0 ? 2040 + side(2200) : side(kMaxSide), h = i % 97 == 0 ? side(4) : side(kMaxSide);
        Rect rc{edge(), edge(), edge(), edge()};
        if (rc.left > rc.right) std::swap(rc.left, rc.right);
        if (rc.bottom > rc.top) std::swap(rc.bottom, rc.top);
        if (i % 10 == 0) rc = Rect{0.0, 1.0, 0.0, 1.0};
        const Bytes input = noise(3 * w * h), before = noise(3 * w * h);
        Bytes expected = before;
        referenceZoom(input.data(), expected.data(), w, h, rc);

        ktuRelativeBbox box;
        box.setDimensions(rc.top, rc.bottom, rc.left, rc.right);
        ktuVideoStreamManipulator zoom;
        zoom.setImageSize(w, h);
        zoom.setCaptureRect(&box, true);
        Bytes in = input, out = before;
        zoom.applyChanges(in.data(), out.data());
        ASSERT_EQ(out, expected) << "copying form, case " << i << ": " << w << "x" << h << " rect " << rc.left
                                 << ".." << rc.right << " x " << rc.bottom << ".." << rc.top;
        ASSERT_EQ(in, input);

        Bytes frame = input, inPlace = input;
        referenceZoom(input.data(), inPlace.data(), w, h, rc);
        zoom.applyChanges(frame.data());
        ASSERT_EQ(frame, inPlace) << "in-place form, case " << i;
    }
}

TEST_P(RasterOracle, ResizesMatchReference)
{
    for (int i = 0; i < kCases; ++i) {
        const int w = static_cast<int>(i % 101 == 0 ? 2040 + side(2100) : side(kMaxSide));
        const int h = static_cast<int>(i % 101 == 0 ? side(3) : side(kMaxSide));
        const int limit = static_cast<int>(i % 101 == 0 ? 4200 : 2 * kMaxSide);
        const int maxSize = static_cast<int>(rng() % limit);
        const int fixedW = 1 + static_cast<int>(rng() % limit), fixedH = 1 + static_cast<int>(rng() % (i % 101 == 0 ? 8 : 2 * kMaxSide));
        const Bytes src = noise(3u * w * h);

        // Maximum size: resizeData and the five-argument resize.
        const double s = (w > h ? w : h) / static_cast<double>(maxSize);
        const int nw = static_cast<int>(w / s), nh = static_cast<int>(h / s);
        const std::size_t size = static_cast<std::size_t>(3 * nw + nw % 4) * nh;
        const Bytes before = noise(size + 1);  // never empty: a null raster is refused
        Bytes kept = before, zeroed = before;
        referenceResize(src.data(), w, s, s, nw, nh, kept.data(), false);
        referenceResize(src.data(), w, s, s, nw, nh, zeroed.data(), true);

        Bytes a = before, b = before;
        int gotW = -1, gotH = -1;
        long status = 0;
        ASSERT_TRUE(ktuRGB24DataUtils::resizeData(w, h, const_cast<std::uint8_t*>(src.data()), maxSize, &gotW, &gotH,
                                                  a.data(), &status));
        ASSERT_EQ(status, 200);
        ASSERT_EQ(gotW, nw);
        ASSERT_EQ(gotH, nh);
        ASSERT_EQ(a, kept) << "resizeData case " << i << ": " << w << "x" << h << " to " << maxSize;
        ktuBMPUtils::resizeImageAndReturnData(w, h, const_cast<std::uint8_t*>(src.data()), maxSize, b.data());
        ASSERT_EQ(b, zeroed) << "maximum-size resize, case " << i;

        // Fixed size.
        const double sx = w / static_cast<double>(fixedW), sy = h / static_cast<double>(fixedH);
        const int fw = static_cast<int>(w / sx), fh = static_cast<int>(h / sy);
        const Bytes fixedBefore = noise(static_cast<std::size_t>(3 * fw + fw % 4) * fh + 1);
        Bytes fixedExpected = fixedBefore, c = fixedBefore;
        referenceResize(src.data(), w, sx, sy, fw, fh, fixedExpected.data(), true);
        ktuBMPUtils::resizeImageAndReturnData(w, h, const_cast<std::uint8_t*>(src.data()), fixedW, fixedH, c.data());
        ASSERT_EQ(c, fixedExpected) << "fixed-size resize, case " << i << ": " << w << "x" << h << " to " << fixedW
                                    << "x" << fixedH;
    }
}

TEST_P(RasterOracle, ReverseAndFlipMatchReference)
{
    for (int i = 0; i < kCases / 4; ++i) {
        streamEveryOther(i);
        // Now and then rows longer than the engine's pieces.
        const unsigned w = i % 37 == 0 ? 2040 + side(2200) : side(2 * kMaxSide), h = side(kMaxSide);
        const Bytes src = noise(3 * w * h);
        Bytes reversed(src.size()), flipped = src, expectedReversed(src.size()), expectedFlipped(src.size());
        for (unsigned i = 0; i < src.size(); ++i) {  // row r, byte k of it, to row h - 1 - r
            const unsigned r = i / (3 * w), k = i % (3 * w), to = 3 * w * (h - 1 - r) + k;
            expectedFlipped[to] = src[i];
            expectedReversed[to - k % 3 + 2 - k % 3] = src[i];  // and the channels swapped
        }
        long status = 0;
        ASSERT_TRUE(ktuRGB24DataUtils::reverseData(const_cast<std::uint8_t*>(src.data()), reversed.data(), w, h, &status));
        ASSERT_EQ(reversed, expectedReversed) << w << "x" << h;
        ASSERT_TRUE(ktuRGB24DataUtils::flipData(flipped.data(), static_cast<int>(w), static_cast<int>(h), &status));
        ASSERT_EQ(flipped, expectedFlipped) << w << "x" << h;
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, RasterOracle, ::testing::Values(Kernel::Plain, Kernel::Ssse3, Kernel::Avx2),
                         [](const auto& info) {
                             return std::string(kKernelNames[static_cast<int>(info.param)]);
                         });

}  // namespace
