// Resizes: sizes, statuses, and which operations absorb a fault and which
// pass it on. The pixels are checked in raster_oracle_test.cpp.
#include <cstdlib>
#include <string>
#include <vector>

#include "bmpTestFiles.h"

namespace {

using Bytes = std::vector<unsigned char>;

using RasterOps = bmptest::LoggingTest;

TEST_F(RasterOps, ScaledSizes)
{
    struct Case { int width, height, maxSize, expectedWidth, expectedHeight; } cases[] = {
        {640, 480, 320, 320, 240}, {100, 300, 64, 21, 64}, {1, 1, 93, 92, 92},  // one short of 93
        {5, 5, 0, 0, 0},           {0, 0, 10, 0, 0},        {10, 0, 5, 5, 0},
    };
    for (const Case& c : cases) {
        int w = -7, h = -7;
        ktuBMPUtils::getScaledSize(c.width, c.height, c.maxSize, &w, &h);
        EXPECT_EQ(std::make_pair(w, h), std::make_pair(c.expectedWidth, c.expectedHeight))
            << c.width << "x" << c.height << " to " << c.maxSize;
    }
}

TEST_F(RasterOps, StatusCodesUnwrittenOutputsAndFaults)
{
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
    int w = -7, h = -7;
    long status = 0;
    EXPECT_TRUE(ktuRGB24DataUtils::resizeData(2, 2, a.data(), 0, &w, &h, b.data(), &status));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(0, 0));
    EXPECT_EQ(b, Bytes(64, 2));

    auto failedWith = [&status](bool ok) { return ok ? 0L : status; };
    EXPECT_EQ(failedWith(ktuRGB24DataUtils::reverseData(nullptr, b.data(), 1, 1, &status)), -201);
    EXPECT_EQ(failedWith(ktuRGB24DataUtils::flipData(nullptr, 1, 1, &status)), -201);
    EXPECT_EQ(failedWith(ktuRGB24DataUtils::flipData(a.data(), 1, -1, &status)), -202);
    EXPECT_TRUE(log().empty());

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
    EXPECT_EQ(log(), (std::vector<std::string>{"Common-ktuRGB24DataUtils::resizeData()",
                                               "Common-ktuRGB24DataUtils::resizeData()",
                                               "Common-ktuRGB24DataUtils::reverseData()",
                                               "Common-ktuBMPUtils::getScaledSize()", resize, resize, resize}));
}

}  // namespace
