// BMP files: the bytes written, the readers, cropping, the format check and
// what each operation logs when a fault is caught.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "bmpTestFiles.h"
#include "ktuTestSupport.h"

namespace {

using namespace bmptest;
using ktu::test::Sandbox;
using ktu::test::ScopedOverride;

class BmpFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ktu::test::openGate();
        ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
    }
    std::vector<std::string> logs() { return ktu::test::logTexts(sb.native("logs") / "output.log"); }
    std::string save(const std::string& name, int w, int h)
    {
        auto px = alignedPattern(w, h);
        EXPECT_TRUE(ktuBMPUtils::saveAsBMP(w, h, px.data(), sb.path(name).c_str()));
        return sb.path(name);
    }
    Sandbox sb;
};

TEST_F(BmpFiles, WrittenFileIsHeaderThenPixelsByteForByte)
{
    for (int w : {1, 2, 3, 4, 5, 7}) {
        for (int h : {1, 2, 3}) {
            std::string name = "p" + std::to_string(w) + "x" + std::to_string(h) + ".bmp";
            save(name, w, h);
            std::string expected = bmpImage(w, h);
            EXPECT_EQ(sb.readFile(name), expected) << name;
        }
    }
    std::string two = sb.readFile("p2x2.bmp");
    EXPECT_EQ(two.size(), 70u);
    EXPECT_EQ(get32(two, 2), 70u);
    EXPECT_EQ(get32(two, 10), 54u);
    EXPECT_EQ(get32(two, 34), 16u);
}

TEST_F(BmpFiles, HeaderBlockAndDataLength)
{
    struct Case { int w, h; unsigned size; } cases[] = {{4, 3, 36}, {1, 1, 4}, {3, 2, 24}, {4, 4, 48}, {0, 5, 0}};
    for (const auto& c : cases) {
        BITMAPINFO* info = ktuBMPUtils::CreateBitmapInfoStruct(c.w, c.h);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->bmiHeader.biSizeImage, c.size);
        EXPECT_EQ(ktuBMPUtils::getBMPFormatDataLen(c.w, c.h), c.size);
        ktu::platform::ops().picture.localFree(info);
    }
    EXPECT_EQ(ktuBMPUtils::CreateBitmapInfoStruct(-1, 2), nullptr);
    EXPECT_EQ(ktuBMPUtils::CreateBitmapInfoStruct(INT_MAX, INT_MAX), nullptr);
}

TEST_F(BmpFiles, ReadersReturnStoredRows)
{
    for (int w : {1, 2, 3, 4, 5}) {
        std::string path = save("r.bmp", w, 3);
        int width = 0, height = 0;
        ASSERT_TRUE(ktuBMPUtils::getImageSize(path.c_str(), &width, &height));
        EXPECT_EQ(width, w);
        EXPECT_EQ(height, 3);
        std::vector<unsigned char> packed(3 * w * 3 + 1, 0xEE);
        ASSERT_TRUE(ktuBMPUtils::getImageData(path.c_str(), packed.data()));
        EXPECT_EQ(std::vector<unsigned char>(packed.begin(), packed.end() - 1), packedPattern(w, 3));
        EXPECT_EQ(packed.back(), 0xEE);
        std::vector<unsigned char> raw(3 * w * 3, 0);
        ASSERT_TRUE(ktuBMPUtils::getImageBitmapData(path.c_str(), raw.data()));
        auto aligned = alignedPattern(w, 3);
        EXPECT_TRUE(std::equal(raw.begin(), raw.end(), aligned.begin()));
    }
}

TEST_F(BmpFiles, TopDownFileIsReadInStoredOrder)
{
#if defined(_WIN32)
    GTEST_SKIP() << "the system's loader decides how it delivers top-down files";
#endif
    sb.writeFile("td.bmp", bmpImage(3, -2));
    int w = 0, h = 0;
    ASSERT_TRUE(ktuBMPUtils::getImageSize(sb.path("td.bmp").c_str(), &w, &h));
    EXPECT_EQ(h, 2);
    std::vector<unsigned char> packed(18);
    ASSERT_TRUE(ktuBMPUtils::getImageData(sb.path("td.bmp").c_str(), packed.data()));
    EXPECT_EQ(packed, packedPattern(3, 2));
}

TEST_F(BmpFiles, OnlySomeReadersAskWhetherTheFileExists)
{
    save("rel.bmp", 2, 2);
    ASSERT_TRUE(ktu::platform::ops().fs.setCurrentDir(sb.path().c_str()));
    int w = -1, h = -1;
    EXPECT_FALSE(ktuBMPUtils::getImageSize("rel.bmp", &w, &h));
    EXPECT_FALSE(ktuBMPUtils::getImageSize2("rel.bmp", &w, &h));
    EXPECT_FALSE(ktuBMPUtils::cropAndSaveImage("rel.bmp", sb.path("c.bmp").c_str(), 0, 0, 1, 1));
    EXPECT_EQ(w, -1);
    std::vector<unsigned char> out(64, 0xAB);
    EXPECT_TRUE(ktuBMPUtils::getResizedImageData("rel.bmp", out.data(), 4, 4));
    EXPECT_EQ(out, std::vector<unsigned char>(64, 0xAB));
    EXPECT_TRUE(ktuBMPUtils::getImageData("rel.bmp", out.data()));
    EXPECT_TRUE(ktuBMPUtils::getImageBitmapData("rel.bmp", out.data()));
    EXPECT_FALSE(sb.exists("c.bmp"));
}

TEST_F(BmpFiles, ResizedDataIsPackedForTheSameSizeAndAlignedOtherwise)
{
    std::string path = save("s.bmp", 3, 2);
    std::vector<unsigned char> out(3 * 3 * 2);
    ASSERT_TRUE(ktuBMPUtils::getResizedImageData(path.c_str(), out.data(), 3, 2));
    EXPECT_EQ(out, packedPattern(3, 2));

    std::vector<unsigned char> big(ktuBMPUtils::getBMPFormatDataLen(6, 4), 0xAB);
    ASSERT_TRUE(ktuBMPUtils::getResizedImageData(path.c_str(), big.data(), 6, 4));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            for (int c = 0; c < 3; ++c) ASSERT_EQ(big[20 * y + 3 * x + c], patternByte(x / 2, y / 2, c));
    EXPECT_TRUE(logs().empty());
}

TEST_F(BmpFiles, UnreadablePixelsAreResizedAsBlackAfterALogLine)
{
    sb.writeFile("g8.bmp", bmpImage(4, 2, 8, 256));
    std::vector<unsigned char> out(24, 0xAB);
    EXPECT_TRUE(ktuBMPUtils::getResizedImageData(sb.path("g8.bmp").c_str(), out.data(), 4, 2));
    EXPECT_EQ(out, std::vector<unsigned char>(24, 0));
    EXPECT_EQ(logs(), std::vector<std::string>{"Common-ktuBMPUtils::getResizedImageData() - Image Data not found"});
}

TEST_F(BmpFiles, CropCopiesTheRegionAndLimitsItToThePicture)
{
    std::string src = save("src.bmp", 5, 4);
    ASSERT_TRUE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("a.bmp").c_str(), 1, 2, 3, 2));
    std::vector<unsigned char> a(3 * 3 * 2);
    ASSERT_TRUE(ktuBMPUtils::getImageData(sb.path("a.bmp").c_str(), a.data()));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c) EXPECT_EQ(a[9 * y + 3 * x + c], patternByte(x + 1, y + 2, c));

    // Wider than the picture: the width is limited, the part beyond is black.
    ASSERT_TRUE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("b.bmp").c_str(), 3, 0, 9, 1));
    int w = 0, h = 0;
    ASSERT_TRUE(ktuBMPUtils::getImageSize(sb.path("b.bmp").c_str(), &w, &h));
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 1);
    std::string b = sb.readFile("b.bmp");
    EXPECT_EQ(b.substr(54, 6), std::string({char(patternByte(3, 0, 0)), char(patternByte(3, 0, 1)),
                                            char(patternByte(3, 0, 2)), char(patternByte(4, 0, 0)),
                                            char(patternByte(4, 0, 1)), char(patternByte(4, 0, 2))}));
    EXPECT_EQ(b.substr(60), std::string(10, '\0'));

    // Beyond the picture: an all-black file of the limited size.
    ASSERT_TRUE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("c.bmp").c_str(), 7, 9, 2, 2));
    EXPECT_EQ(sb.readFile("c.bmp").substr(54), std::string(16, '\0'));

    EXPECT_FALSE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("d.bmp").c_str(), -1, 0, 2, 2));
    EXPECT_FALSE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("d.bmp").c_str(), 0, 0, -2, 2));
    EXPECT_FALSE(ktuBMPUtils::cropAndSaveImage(sb.path("none.bmp").c_str(), sb.path("d.bmp").c_str(), 0, 0, 1, 1));
    EXPECT_FALSE(sb.exists("d.bmp"));
    EXPECT_TRUE(logs().empty());
}

TEST_F(BmpFiles, FormatCheckLooksAtTheLowByteOfTheBitCount)
{
    struct Case { const char* name; std::string content; bool ok; } cases[] = {
        {"24.bmp", bmpImage(2, 2, 24), true},   {"8.bmp", bmpImage(2, 2, 8, 4), false},
        {"32.bmp", bmpImage(2, 2, 32), false},  {"1.bmp", bmpImage(8, 1, 1, 2), false},
        {"short.bmp", std::string(28, 'x'), true}, {"text.txt", std::string(40, 'x'), false},
    };
    for (const auto& c : cases) {
        sb.writeFile(c.name, c.content);
        EXPECT_EQ(ktuBMPUtils::checkBMPFormat(sb.path(c.name).c_str()), c.ok) << c.name;
    }
    EXPECT_TRUE(ktuBMPUtils::checkBMPFormat(sb.path("missing.bmp").c_str()));
    EXPECT_TRUE(ktuBMPUtils::checkBMPFormat(nullptr));
}

// A loader that reports a picture too large for any buffer.
bool hugeDescription(HBITMAP, BITMAP* d)
{
    *d = BITMAP{};
    d->bmWidth = INT_MAX;
    d->bmHeight = INT_MAX;
    d->bmBitsPixel = 24;
    return true;
}

TEST_F(BmpFiles, CaughtFaultsAreLoggedWithEachOperationsText)
{
    std::string src = save("f.bmp", 2, 2);
    int w = 0;
    EXPECT_FALSE(ktuBMPUtils::getImageSize(src.c_str(), nullptr, &w));
    EXPECT_FALSE(ktuBMPUtils::getImageData(src.c_str(), nullptr));
    EXPECT_FALSE(ktuBMPUtils::getImageBitmapData(src.c_str(), nullptr));
    EXPECT_FALSE(ktuBMPUtils::getImageSize2(src.c_str(), &w, nullptr));
    EXPECT_FALSE(ktuBMPUtils::CreateBMPFile(sb.path("x.bmp").c_str(), nullptr, nullptr));
    EXPECT_FALSE(ktuBMPUtils::saveAsBMP(-1, 2, nullptr, sb.path("x.bmp").c_str()));
    EXPECT_FALSE(ktuBMPUtils::getResizedImageData(src.c_str(), nullptr, 2, 2));
    {
        ScopedOverride o(ktu::platform::ops().picture.describeBitmap, hugeDescription);
        EXPECT_FALSE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("x.bmp").c_str(), 0, 0, 1, 1));
    }
    EXPECT_EQ(logs(), (std::vector<std::string>{
                          "Common-ktuBMPUtils::getImageSize()",
                          "Common-ktuBMPUtils::getImageData()",
                          "Common-ktuBMPUtils::getImageBitmapData()",
                          "Common-ktuBMPUtils::getImageSize2()",
                          "Common-ktuBMPUtils::CreateBMPFile()",
                          "Common-ktuBMPUtils::CreateBMPFile()",
                          "Common-ktuBMPUtils::getResizedImageData()",
                          "KSUtilityClasses-iBMPUtils::cropAndSaveImage()",
                      }));
    EXPECT_FALSE(sb.exists("x.bmp"));
}

// Every operation before the handshake: the failure value and no effect,
// except the two that ask no handshake.
bool refusedBeforeHandshake()
{
    Sandbox sb;
    auto px = alignedPattern(2, 2);
    sb.writeFile("g.bmp", bmpImage(2, 2));
    std::string p = sb.path("g.bmp");
    int w = 7, h = 7;
    std::vector<unsigned char> out(16, 0xAB);
    IPicture* pic = nullptr;
    BITMAPINFO* info = ktuBMPUtils::CreateBitmapInfoStruct(2, 2);
    bool refused = !ktuBMPUtils::saveAsBMP(2, 2, px.data(), sb.path("n.bmp").c_str()) &&
                   !ktuBMPUtils::CreateBMPFile(sb.path("n.bmp").c_str(), info, px.data()) &&
                   !ktuBMPUtils::getImageSize(p.c_str(), &w, &h) && !ktuBMPUtils::getImageSize2(p.c_str(), &w, &h) &&
                   !ktuBMPUtils::getImageData(p.c_str(), out.data()) &&
                   !ktuBMPUtils::getImageBitmapData(p.c_str(), out.data()) &&
                   !ktuBMPUtils::getResizedImageData(p.c_str(), out.data(), 2, 2) &&
                   ktuBMPUtils::getBMPFormatDataLen(2, 2) == 0 &&
                   !ktuBMPUtils::cropAndSaveImage(p.c_str(), sb.path("n.bmp").c_str(), 0, 0, 1, 1) &&
                   !ktuBMPUtils::LoadPictureFile(p.c_str(), &pic, nullptr) && pic == nullptr && w == 7 && h == 7 &&
                   out == std::vector<unsigned char>(16, 0xAB) && !sb.exists("n.bmp");
    bool open = info != nullptr && info->bmiHeader.biSizeImage == 16 && ktuBMPUtils::checkBMPFormat(p.c_str());
    ktu::platform::ops().picture.localFree(info);
    return refused && open;
}

TEST(BmpFilesGate, RefusedBeforeTheHandshake)
{
    EXPECT_EXIT(std::exit(refusedBeforeHandshake() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

}  // namespace
