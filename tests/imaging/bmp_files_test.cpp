// BMP files written, read, cropped and checked, the faults each operation
// logs; pictures loaded, measured in HIMETRIC units and drawn.
#include <algorithm>
#include <climits>
#include <filesystem>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "bmpTestFiles.h"


namespace {

using namespace bmptest;
using ktu::test::ScopedOverride;
using Bytes = std::vector<unsigned char>;

class BmpFiles : public LoggingTest {
protected:
    std::string save(const std::string& name, int w, int h)
    {
        auto px = alignedPattern(w, std::abs(h));
        EXPECT_TRUE(ktuBMPUtils::saveAsBMP(w, h, px.data(), sb.path(name).c_str()));
        return sb.path(name);
    }
};

// The readers give back the pattern a file holds: its size, the packed pixels
// (not a byte beyond them) and the raw pixel array.
void expectReadBack(const std::string& path, int w, int h)
{
    int width = 0, height = 0;
    ASSERT_TRUE(ktuBMPUtils::getImageSize(path.c_str(), &width, &height));
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(w, h));
    Bytes packed(3 * w * h + 1, 0xEE);
    ASSERT_TRUE(ktuBMPUtils::getImageData(path.c_str(), packed.data()));
    EXPECT_EQ(Bytes(packed.begin(), packed.end() - 1), packedPattern(w, h));
    EXPECT_EQ(packed.back(), 0xEE);
    Bytes raw(3 * w * h, 0);
    ASSERT_TRUE(ktuBMPUtils::getImageBitmapData(path.c_str(), raw.data()));
    auto aligned = alignedPattern(w, h);
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), aligned.begin()));
}

TEST_F(BmpFiles, WrittenBytesAndWhatTheReadersGiveBack)
{
    for (int w : {1, 2, 3, 4, 5, 7}) {
        for (int h : {1, 2, 3, -2}) {  // a negative height: stored top row first, read as stored
            SCOPED_TRACE(::testing::Message() << w << "x" << h);
            const std::string path = save("p.bmp", w, h);
            EXPECT_EQ(sb.readFile("p.bmp"), bmpImage(w, h));
#if defined(_WIN32)  // there the system's loader decides how it delivers top-down files
            if (h < 0) continue;
#endif
            expectReadBack(path, w, std::abs(h));
        }
    }
}

TEST_F(BmpFiles, HeaderBlocksOfAnySizeAndColourTablesWrittenWhole)
{
    // Small sizes are checked in the written files; here signs and overflow.
    struct Case { int w, h; uint32_t sizeImage; } cases[] = {
        {-1, 2, 0}, {-7, 3, 0}, {0, 5, 0}, {1, INT_MIN, 0}, {INT_MAX, 1, 0x80000000u}, {INT_MAX, 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.w << "x" << c.h);
        BITMAPINFO* info = ktuBMPUtils::CreateBitmapInfoStruct(c.w, c.h);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->bmiHeader.biSizeImage, c.sizeImage);
        EXPECT_EQ(info->bmiHeader.biWidth, c.w);
        EXPECT_EQ(info->bmiHeader.biHeight, c.h);
        ktu::platform::ops().picture.localFree(info);
    }
    EXPECT_EQ(ktuBMPUtils::getBMPFormatDataLen(5, 3), 48u);
    unsigned char none = 0;
    ASSERT_TRUE(ktuBMPUtils::saveAsBMP(-1, 2, &none, sb.path("n.bmp").c_str()));
    std::string empty = sb.readFile("n.bmp");
    ASSERT_EQ(empty.size(), 54u);
    EXPECT_EQ(empty.substr(2, 4), std::string("\x36\0\0\0", 4));  // bfSize 54

    // 40 + 4 * biClrUsed bytes of the block, beyond 256 entries too.
    const Bytes px(4, 0x5A);
    for (uint32_t entries : {2u, 300u, 1000u}) {
        Bytes block(40 + 4 * entries);
        for (std::size_t i = 40; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 7);
        auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
        info->bmiHeader = BITMAPINFOHEADER{};
        info->bmiHeader.biSize = 40;
        info->bmiHeader.biSizeImage = 4;
        info->bmiHeader.biClrUsed = entries;
        ASSERT_TRUE(ktuBMPUtils::CreateBMPFile(sb.path("t.bmp").c_str(), info, px.data()));
        const std::string file = sb.readFile("t.bmp");
        ASSERT_EQ(file.size(), 14 + block.size() + 4);
        EXPECT_EQ(file.substr(14, block.size()), std::string(block.begin(), block.end()));
        EXPECT_EQ(static_cast<unsigned char>(file[10]) | static_cast<unsigned char>(file[11]) << 8,
                  static_cast<int>(14 + block.size()));
    }
    EXPECT_TRUE(log().empty());
}

TEST_F(BmpFiles, ResizedDataIsPackedForTheSameSizeAlignedOtherwiseAndBlackWhenUnreadable)
{
    std::string path = save("s.bmp", 3, 2);
    std::vector<unsigned char> out(3 * 3 * 2);
    ASSERT_TRUE(ktuBMPUtils::getResizedImageData(path.c_str(), out.data(), 3, 2));
    EXPECT_EQ(out, packedPattern(3, 2));

    std::vector<unsigned char> big(ktuBMPUtils::getBMPFormatDataLen(6, 4), 0xAB);
    ASSERT_TRUE(ktuBMPUtils::getResizedImageData(path.c_str(), big.data(), 6, 4));
    for (int i = 0; i < 80; i += i % 20 == 17 ? 3 : 1) {  // doubled pixels; alignment bytes skipped
        ASSERT_EQ(big[i], patternByte(i % 20 / 6, i / 40, i % 20 % 3)) << i;
    }
    EXPECT_TRUE(log().empty());

    // Pixels that cannot be read are resized as black, after a log line.
    sb.writeFile("g8.bmp", bmpImage(4, 2, 8, 256));
    std::vector<unsigned char> black(24, 0xAB);
    EXPECT_TRUE(ktuBMPUtils::getResizedImageData(sb.path("g8.bmp").c_str(), black.data(), 4, 2));
    EXPECT_EQ(black, std::vector<unsigned char>(24, 0));
    EXPECT_EQ(log(), std::vector<std::string>{"Common-ktuBMPUtils::getResizedImageData() - Image Data not found"});
}

TEST_F(BmpFiles, CropCopiesTheRegionAndLimitsItToThePicture)
{
    std::string src = save("src.bmp", 5, 4);
    ASSERT_TRUE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("a.bmp").c_str(), 1, 2, 3, 2));
    std::vector<unsigned char> a(3 * 3 * 2);
    ASSERT_TRUE(ktuBMPUtils::getImageData(sb.path("a.bmp").c_str(), a.data()));
    for (int i = 0; i < 18; ++i) EXPECT_EQ(a[i], patternByte(i % 9 / 3 + 1, i / 9 + 2, i % 3)) << i;

    // Wider than the picture: the width is limited, the part beyond is black.
    ASSERT_TRUE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("b.bmp").c_str(), 3, 0, 9, 1));
    const std::string row = bmpImage(5, 1);
    EXPECT_EQ(sb.readFile("b.bmp"), row.substr(0, 54) + row.substr(54 + 9, 6) + std::string(10, '\0'));

    // Beyond the picture: an all-black file of the limited size.
    ASSERT_TRUE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("c.bmp").c_str(), 7, 9, 2, 2));
    EXPECT_EQ(sb.readFile("c.bmp").substr(54), std::string(16, '\0'));

    EXPECT_FALSE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("d.bmp").c_str(), -1, 0, 2, 2));
    EXPECT_FALSE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("d.bmp").c_str(), 0, 0, -2, 2));
    EXPECT_FALSE(ktuBMPUtils::cropAndSaveImage(sb.path("none.bmp").c_str(), sb.path("d.bmp").c_str(), 0, 0, 1, 1));
    EXPECT_FALSE(sb.exists("d.bmp"));
    EXPECT_TRUE(log().empty());
}

TEST_F(BmpFiles, FormatCheckLooksAtTheLowByteOfTheBitCount)
{
    struct Case { const char* name; std::string content; bool ok; } cases[] = {
        {"24.bmp", bmpImage(2, 2, 24), true},      {"8.bmp", bmpImage(2, 2, 8, 4), false},
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
    d->bmWidth = d->bmHeight = INT_MAX;
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
    {
        // A header block that cannot be allocated reaches CreateBMPFile as null.
        ScopedOverride o(ktu::platform::ops().picture.localAlloc, +[](std::size_t) -> void* { return nullptr; });
        EXPECT_EQ(ktuBMPUtils::CreateBitmapInfoStruct(1, 1), nullptr);
        EXPECT_FALSE(ktuBMPUtils::saveAsBMP(1, 1, nullptr, sb.path("x.bmp").c_str()));
    }
    EXPECT_FALSE(ktuBMPUtils::getResizedImageData(src.c_str(), nullptr, 2, 2));  // the copy: one line
    EXPECT_TRUE(ktuBMPUtils::getResizedImageData(src.c_str(), nullptr, 0, 0));   // nothing to write
    EXPECT_FALSE(ktuBMPUtils::getResizedImageData(src.c_str(), nullptr, 3, 3));  // the resize's line, then its own
    {
        ScopedOverride o(ktu::platform::ops().picture.describeBitmap, hugeDescription);
        EXPECT_FALSE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("x.bmp").c_str(), 0, 0, 1, 1));
    }
    const std::string u = "Common-ktuBMPUtils::";
    EXPECT_EQ(log(), (std::vector<std::string>{u + "getImageSize()", u + "getImageData()", u + "getImageBitmapData()",
                                               u + "getImageSize2()", u + "CreateBMPFile()", u + "CreateBMPFile()",
                                               u + "getResizedImageData()", u + "resizeImageAndReturnData()",
                                               u + "getResizedImageData()",
                                               "KSUtilityClasses-iBMPUtils::cropAndSaveImage()"}));
    EXPECT_FALSE(sb.exists("x.bmp"));
}

// A save over an existing picture replaces it: a save that fails (here the
// pixels cannot be read; on a full disk the write; a read-only file) answers
// false and leaves the old file byte for byte, with no temporary file beside it.
TEST_F(BmpFiles, AFailedSaveLeavesTheOldPictureWhole)
{
    namespace fs = std::filesystem;
    const std::string path = save("old.bmp", 3, 2), before = sb.readFile("old.bmp");
    BITMAPINFO* header = ktuBMPUtils::CreateBitmapInfoStruct(5, 5);
    EXPECT_FALSE(ktuBMPUtils::CreateBMPFile(path.c_str(), header, nullptr));
    ktu::platform::ops().picture.localFree(header);
    fs::permissions(sb.native("old.bmp"), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_FALSE(ktuBMPUtils::saveAsBMP(1, 1, alignedPattern(1, 1).data(), path.c_str()));
    EXPECT_EQ(sb.readFile("old.bmp"), before);
    for (const auto& entry : fs::directory_iterator(sb.native()))
        EXPECT_TRUE(entry.path().filename() == "old.bmp" || entry.path().filename() == "logs") << entry.path();
    fs::permissions(sb.native("old.bmp"), fs::perms::owner_write, fs::perm_options::add);
}

using Pictures = LoggingTest;

TEST_F(Pictures, LoadFailuresLeaveOrReleaseThePictureHeld)
{
    sb.writeFile("a.bmp", bmpImage(4, 4));
    sb.writeFile("not.bmp", "this is no picture at all, only text");
    IPicture* held = nullptr;
    ASSERT_TRUE(ktuBMPUtils::LoadPictureFile(sb.path("a.bmp").c_str(), &held, nullptr));
    ASSERT_NE(held, nullptr);
    IPicture* before = held;
    // Fails before the old picture is released: the pointer is untouched.
    EXPECT_FALSE(ktuBMPUtils::LoadPictureFile(sb.path("none.bmp").c_str(), &held, nullptr));
    EXPECT_EQ(held, before);
    OLE_XSIZE_HIMETRIC width = 0;
    EXPECT_EQ(held->get_Width(&width), S_OK);
    EXPECT_EQ(width, 106);
    // Loading again releases the held picture (the leak checker sees it otherwise), once the file is read.
    ASSERT_TRUE(ktuBMPUtils::LoadPictureFile(sb.path("a.bmp").c_str(), &held, nullptr));
    // Not a picture: read, the old picture released, nothing new.
    EXPECT_FALSE(ktuBMPUtils::LoadPictureFile(sb.path("not.bmp").c_str(), &held, nullptr));
    EXPECT_EQ(held, nullptr);
    EXPECT_FALSE(ktuBMPUtils::DrawImage(nullptr, sb.path("a.bmp").c_str(), POINT{0, 0}, nullptr, RECT{}));
#if !defined(_WIN32)  // there the system measures bitmaps at the screen's resolution
    sb.writeFile("m.bmp", bmpImage(100, 50, 24, 0, 11811));  // 300 dpi stored
    int w = 0, h = 0;
    ASSERT_TRUE(ktuBMPUtils::getImageSize2(sb.path("m.bmp").c_str(), &w, &h));
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(847, 423));
#endif
}

#if !defined(_WIN32)

// Draws into a 400 x 300 surface; answers the box of the drawn pixels (right
// and bottom exclusive, -1 when none) and the pixels at its two corners.
std::pair<std::vector<long>, std::string> draw(const std::string& path, POINT centre, RECT target, bool* ok)
{
    std::vector<unsigned char> px(400 * 3 * 300, 0x11);
    ktuSurface surface{400, 300, 1200, px.data()};
    ktuWindow window{RECT{0, 0, 400, 300}};
    *ok = ktuBMPUtils::DrawImage(&surface, path.c_str(), centre, &window, target);
    long l = 400, t = -1, r = -1, b = -1;
    for (long i = 0; i < 400 * 300; ++i) {
        if (px[3 * i] == 0x11) continue;
        l = std::min(l, i % 400), r = std::max(r, i % 400 + 1), b = i / 400 + 1;
        t = t < 0 ? i / 400 : t;
    }
    if (t < 0) return {{-1, -1, -1, -1}, ""};
    const unsigned char* topLeft = &px[1200 * t + 3 * l];
    const unsigned char* bottomRight = &px[1200 * (b - 1) + 3 * (r - 1)];
    return {{l, t, r, b}, std::string(topLeft, topLeft + 3) + std::string(bottomRight, bottomRight + 3)};
}

TEST_F(Pictures, DrawnCentredOnThePointAtTheTargetsSize)
{
    // 2 x 2 picture: stored row 1 is its top row.
    const std::string file = bmpImage(2, 2), corners = file.substr(54 + 8, 3) + file.substr(54 + 3, 3);
    sb.writeFile("q.bmp", file);
    struct Case { POINT at; RECT target; std::vector<long> box; bool whole; } cases[] = {
        {{300, 200}, {0, 0, 200, 100}, {200, 150, 400, 250}, true},
        {{300, 200}, {200, 100, 0, 0}, {200, 150, 400, 250}, true},    // reversed edges
        {{300, 200}, {50, 60, 250, 160}, {200, 150, 400, 250}, true},  // its position is not used
        {{300, 200}, {5, 5, 5, 100}, {300, 153, 353, 206}, true},      // zero width: HIMETRIC extent (53)
        {{20, 10}, {0, 0, 100, 60}, {0, 0, 70, 40}, false},            // clipped at the surface's edge
        {{500, 500}, {0, 0, 10, 10}, {-1, -1, -1, -1}, false},         // entirely outside
    };
    for (const auto& c : cases) {
        bool ok = false;
        auto drawn = draw(sb.path("q.bmp"), c.at, c.target, &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(drawn.first, c.box);
        EXPECT_EQ(drawn.second, c.whole ? corners : drawn.second);
    }
    bool ok = true;
    draw(sb.path("none.bmp"), POINT{1, 1}, RECT{}, &ok);
    EXPECT_FALSE(ok);
}

#endif

}  // namespace
