// Zoom, resizes, reversal and flip of every pixel engine against reference loops; the resizes' statuses and faults.
#include <algorithm>
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

// `d` with the zoom of `s` written over it.
Bytes referenceZoom(const Bytes& s, Bytes d, unsigned w, unsigned h, Rect rc)
{
    const double hf = 1.0 / (rc.right - rc.left);
    const double vf = 1.0 / (rc.top - rc.bottom);
    const unsigned r0 = static_cast<unsigned>(h * rc.bottom), c0 = static_cast<unsigned>(w * rc.left);
    const unsigned r1 = static_cast<unsigned>(h * rc.top), c1 = static_cast<unsigned>(w * rc.right);
    for (unsigned r = r0; r < r1; ++r) {
        for (unsigned q = c0; q < c1; ++q) {
            const unsigned y0 = static_cast<unsigned>((r - r0) * vf), x0 = static_cast<unsigned>((q - c0) * hf);
            const unsigned y1 = std::min(h, static_cast<unsigned>((r - r0 + 1) * vf));
            const unsigned x1 = std::min(w, static_cast<unsigned>((q - c0 + 1) * hf));
            for (unsigned y = y0; y < y1; ++y)
                for (unsigned x = x0; x < x1; ++x) std::memcpy(&d[3 * (w * y + x)], &s[3 * (w * r + q)], 3);
        }
    }
    return d;
}

// `d` with the nearest-neighbour resize written over it; sx = sy for the maximum-size forms.
Bytes referenceResize(const Bytes& s, int w, double sx, double sy, int nw, int nh, Bytes d, bool zero)
{
    const int row = 3 * nw + nw % 4;
    for (int y = 0; y < nh; ++y) {
        for (int x = 0; x < nw; ++x) {
            const int index = static_cast<int>(y * sy) * w + static_cast<int>(x * sx);
            std::memcpy(&d[row * y + 3 * x], &s[3 * index], 3);
        }
        if (zero) std::memset(&d[row * y + 3 * nw], 0, nw % 4);
    }
    return d;
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
    // Edges on a coarse grid half of the time (exact halves, quarters...), arbitrary doubles otherwise.
    double edge() { return rng() % 2 ? (rng() % 17) / 16.0 : std::uniform_real_distribution<double>(0.0, 1.0)(rng); }

    std::mt19937 rng{20261205u + static_cast<unsigned>(GetParam())};
    const std::size_t defaultThreshold = ktu::raster::useStreamingThreshold(SIZE_MAX);
};

TEST_P(RasterOracle, ZoomMatchesReferenceInBothForms)
{
    for (int i = 0; i < kCases; ++i) {
        streamEveryOther(i);
        // Now and then a frame wider than one strip of the engine; once a frame past 2 MiB.
        const bool big = i == 50;
        const unsigned w = big ? 1100 : i % 97 == 0 ? 2040 + side(2200) : side(kMaxSide);
        const unsigned h = big ? 700 : i % 97 == 0 ? side(4) : side(kMaxSide);
        Rect rc{edge(), edge(), edge(), edge()};
        if (rc.left > rc.right) std::swap(rc.left, rc.right);
        if (rc.bottom > rc.top) std::swap(rc.bottom, rc.top);
        if (i % 10 == 0) rc = Rect{0.0, 1.0, 0.0, 1.0};
        // Often exactly half the width (every pixel doubled), from any column.
        if (i % 10 == 3 || big) rc.right = (rc.left = (rng() % 9) / 16.0 + (rng() % 2) / 1024.0) + 0.5;
        const Bytes input = noise(3 * w * h), before = noise(3 * w * h);
        SCOPED_TRACE(::testing::Message() << "case " << i << ": " << w << "x" << h << " rect " << rc.left << ".."
                                          << rc.right << " x " << rc.bottom << ".." << rc.top);
        ktuRelativeBbox box;
        box.setDimensions(rc.top, rc.bottom, rc.left, rc.right);
        ktuVideoStreamManipulator zoom;
        zoom.setImageSize(w, h);
        zoom.setCaptureRect(&box, true);
        Bytes in = input, out = before;
        zoom.applyChanges(in.data(), out.data());
        ASSERT_EQ(out, referenceZoom(input, before, w, h, rc)) << "copying form";
        ASSERT_EQ(in, input);
        zoom.applyChanges(in.data());
        ASSERT_EQ(in, referenceZoom(input, input, w, h, rc)) << "in-place form";
    }
}

TEST_P(RasterOracle, ResizesReverseAndFlipMatchReference)
{
    for (int i = 0; i < kCases; ++i) {
        const bool wide = i % 101 == 0;  // now and then rows longer than the engine's pieces
        const int w = static_cast<int>(wide ? 2040 + side(2100) : side(kMaxSide));
        const int h = static_cast<int>(wide ? side(3) : side(kMaxSide));
        const int limit = static_cast<int>(wide ? 4200 : 2 * kMaxSide);
        const int maxSize = static_cast<int>(rng() % limit), fixedW = 1 + static_cast<int>(rng() % limit);
        const int fixedH = 1 + static_cast<int>(rng() % (wide ? 8 : 2 * kMaxSide));
        Bytes src = noise(3u * w * h);
        SCOPED_TRACE(::testing::Message() << "case " << i << ": " << w << "x" << h << " to " << maxSize << " or "
                                          << fixedW << "x" << fixedH);

        // Maximum size: resizeData keeps the alignment bytes, the five-argument resize zeroes them.
        const double s = (w > h ? w : h) / static_cast<double>(maxSize);
        const int nw = static_cast<int>(w / s), nh = static_cast<int>(h / s);
        const Bytes before = noise(static_cast<std::size_t>(3 * nw + nw % 4) * nh + 1);  // a null raster is refused
        Bytes a = before, b = before;
        int gotW = -1, gotH = -1;
        long status = 0;
        ASSERT_TRUE(ktuRGB24DataUtils::resizeData(w, h, src.data(), maxSize, &gotW, &gotH, a.data(), &status));
        ASSERT_EQ(status, 200);
        ASSERT_EQ(std::make_pair(gotW, gotH), std::make_pair(nw, nh));
        ASSERT_EQ(a, referenceResize(src, w, s, s, nw, nh, before, false));
        ktuBMPUtils::resizeImageAndReturnData(w, h, src.data(), maxSize, b.data());
        ASSERT_EQ(b, referenceResize(src, w, s, s, nw, nh, before, true));

        const double sx = w / static_cast<double>(fixedW), sy = h / static_cast<double>(fixedH);
        const int fw = static_cast<int>(w / sx), fh = static_cast<int>(h / sy);
        const Bytes fixedBefore = noise(static_cast<std::size_t>(3 * fw + fw % 4) * fh + 1);
        Bytes c = fixedBefore;
        ktuBMPUtils::resizeImageAndReturnData(w, h, src.data(), fixedW, fixedH, c.data());
        ASSERT_EQ(c, referenceResize(src, w, sx, sy, fw, fh, fixedBefore, true));
    }
    for (int i = 0; i < kCases / 4; ++i) {
        streamEveryOther(i);
        // Now and then rows longer than the engine's pieces.
        const unsigned w = i % 37 == 0 ? 2040 + side(2200) : side(2 * kMaxSide), h = side(kMaxSide);
        Bytes src = noise(3 * w * h);
        Bytes reversed(src.size()), flipped = src, expectedReversed(src.size()), expectedFlipped(src.size());
        for (unsigned i = 0; i < src.size(); ++i) {  // row r, byte k of it, to row h - 1 - r
            const unsigned r = i / (3 * w), k = i % (3 * w), to = 3 * w * (h - 1 - r) + k;
            expectedFlipped[to] = src[i];
            expectedReversed[to - k % 3 + 2 - k % 3] = src[i];  // and the channels swapped
        }
        long status = 0;
        ASSERT_TRUE(ktuRGB24DataUtils::reverseData(src.data(), reversed.data(), w, h, &status));
        ASSERT_EQ(reversed, expectedReversed) << w << "x" << h;
        ASSERT_TRUE(ktuRGB24DataUtils::flipData(flipped.data(), static_cast<int>(w), static_cast<int>(h), &status));
        ASSERT_EQ(flipped, expectedFlipped) << w << "x" << h;
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, RasterOracle, ::testing::Values(Kernel::Plain, Kernel::Ssse3, Kernel::Avx2),
                         [](const auto& info) { return std::string(kKernelNames[static_cast<int>(info.param)]); });

using RasterOps = ktu::test::LoggedTest;

TEST_F(RasterOps, SizesStatusCodesUnwrittenOutputsAndFaults)
{
    struct Size { int width, height, maxSize, expectedWidth, expectedHeight; } sizes[] = {
        {100, 300, 64, 21, 64}, {0, 0, 10, 0, 0}, {10, 0, 5, 5, 0},  // 0 x 0: an undefined quotient gives 0
    };
    for (const Size& c : sizes) {
        int w = -7, h = -7;
        ktuBMPUtils::getScaledSize(c.width, c.height, c.maxSize, &w, &h);
        EXPECT_EQ(std::make_pair(w, h), std::make_pair(c.expectedWidth, c.expectedHeight))
            << c.width << "x" << c.height;
    }
    Bytes a(64, 1), b(64, 2);
    struct Case { unsigned char* src; unsigned char* dst; int width, height, maxSize; long expected; } cases[] = {
        {nullptr, b.data(), 2, 2, 4, -201}, {a.data(), nullptr, 2, 2, 4, -201}, {a.data(), b.data(), -1, 2, 4, -202},
        {a.data(), b.data(), 2, -1, 4, -202}, {a.data(), b.data(), 2, 2, -4, -202},
    };
    for (const Case& c : cases) {
        int w = -7, h = -7;
        long status = 0;
        EXPECT_FALSE(ktuRGB24DataUtils::resizeData(c.width, c.height, c.src, c.maxSize, &w, &h, c.dst, &status));
        EXPECT_EQ(status, c.expected);
        EXPECT_EQ(std::make_pair(w, h), std::make_pair(-7, -7));
    }
    int w = -7;
    long status = 0;
    auto failedWith = [&status](bool ok) { return ok ? 0L : status; };
    EXPECT_EQ(failedWith(ktuRGB24DataUtils::reverseData(nullptr, b.data(), 1, 1, &status)), -201);
    EXPECT_EQ(failedWith(ktuRGB24DataUtils::flipData(nullptr, 1, 1, &status)), -201);
    EXPECT_EQ(failedWith(ktuRGB24DataUtils::flipData(a.data(), 1, -1, &status)), -202);
    // Faults are absorbed with a status, or passed on.
    EXPECT_FALSE(ktuRGB24DataUtils::resizeData(2, 2, a.data(), 4, &w, nullptr, b.data(), &status));
    EXPECT_EQ(status, -200);
    EXPECT_FALSE(ktuRGB24DataUtils::flipData(a.data(), 2, 2, nullptr));
    EXPECT_FALSE(ktuRGB24DataUtils::reverseData(a.data(), b.data(), 2, 2, nullptr));
    EXPECT_ANY_THROW(ktuBMPUtils::getScaledSize(2, 2, 4, &w, nullptr));
    EXPECT_ANY_THROW(ktuBMPUtils::resizeImageAndReturnData(2, 2, nullptr, 4, b.data()));
    EXPECT_ANY_THROW(ktuBMPUtils::resizeImageAndReturnData(2, 2, a.data(), 4, 4, nullptr));
    // A negative source size whose result is not empty would read before the source.
    EXPECT_ANY_THROW(ktuBMPUtils::resizeImageAndReturnData(-2, -4, a.data(), 10, b.data()));
    EXPECT_NO_THROW(ktuBMPUtils::resizeImageAndReturnData(2, 2, nullptr, 0, 4, b.data()));  // nothing to copy
    const std::string resize = "Common-ktuBMPUtils::resizeImageAndReturnData()";
    EXPECT_EQ(logs(), (std::vector<std::string>{"Common-ktuRGB24DataUtils::resizeData()",
                                                "Common-ktuRGB24DataUtils::resizeData()",
                                                "Common-ktuRGB24DataUtils::reverseData()",
                                                "Common-ktuBMPUtils::getScaledSize()", resize, resize, resize}));
}

}  // namespace
