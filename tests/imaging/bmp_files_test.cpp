// BMP files and pictures written, read, cropped, measured and drawn; malformed, hostile and oversized files.
#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "common/checkedSize.h"
#include "ktuBmpFormat.h"
#include "ktuTestSupport.h"
#if !defined(_WIN32)
#include "posix/pictureDecoder.h"
#endif

namespace {

using ktu::test::ScopedOverride;
using Bytes = std::vector<unsigned char>;

// `v` as `bytes` bytes, most significant first (`be`) or last (`le`).
std::string be(uint32_t v, int bytes)
{
    std::string s;
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) s += static_cast<char>(v >> shift);
    return s;
}
std::string le(uint32_t v, int bytes = 4)
{
    const std::string s = be(v, bytes);
    return std::string(s.rbegin(), s.rend());
}

std::string& put16(std::string& s, std::size_t at, uint32_t v) { return s.replace(at, 2, le(v, 2)); }
std::string& put32(std::string& s, std::size_t at, uint32_t v) { return s.replace(at, 4, le(v)); }

std::size_t alignedRow(int w, int bits = 24) { return ((static_cast<std::size_t>(bits) * w + 31) / 32) * 4; }

// Pixel byte of the test pattern, distinct for every (x, y, channel) of a small picture.
unsigned char patternByte(int x, int y, int c) { return static_cast<unsigned char>(x * 31 + y * 7 + c * 101 + 1); }

// Raster of the pattern in stored row order, packed or with zeroed alignment bytes.
Bytes pattern(int w, int h, bool aligned = true)
{
    const std::size_t row = aligned ? alignedRow(w) : 3 * static_cast<std::size_t>(w);
    Bytes out(row * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) out[row * y + 3 * x + c] = patternByte(x, y, c);
    return out;
}

// A BMP file image (`core`: the 12-byte header); the pixels are the pattern (24 bits) or zeros.
std::string bmpImage(int w, int h, int bits = 24, int palette = 0, int32_t perMetre = 0, bool core = false)
{
    const int rows = h < 0 ? -h : h;
    const uint32_t pixels = alignedRow(w, bits) * rows, headers = (core ? 26 : 54) + (core ? 3 : 4) * palette;
    std::string s = "BM" + le(headers + pixels) + le(0) + le(headers) + le(core ? 12 : 40);
    s += core ? le(w, 2) + le(h, 2) + le(1, 2) + le(bits, 2)
              : le(w) + le(h) + le(1, 2) + le(bits, 2) + le(0) + le(pixels) + le(perMetre) + le(perMetre) + le(palette);
    s.resize(headers, '\0');
    const Bytes px = pattern(w, rows);
    return s + (bits == 24 ? std::string(px.begin(), px.end()) : std::string(pixels, '\0'));
}
std::string coreImage(int w, int h, int bits = 24, int palette = 0) { return bmpImage(w, h, bits, palette, 0, true); }
// The same as put16 and put32 on a copy, of a valid 4 x 3 file unless given.
std::string with16(std::size_t at, uint32_t v, std::string s = bmpImage(4, 3)) { return put16(s, at, v); }
std::string with32(std::size_t at, uint32_t v, std::string s = bmpImage(4, 3)) { return put32(s, at, v); }
// A valid 4 x 3 file whose information header is `size` bytes long (108: V4, 124: V5).
std::string withHeader(uint32_t size)
{
    std::string s = bmpImage(4, 3);
    s.insert(54, size - 40, '\0');
    put32(put32(s, 14, size), 10, 14 + size);
    return put32(s, 2, static_cast<uint32_t>(s.size()));
}

// An RLE8 (or RLE4) file image of `codes`; biSizeImage is the codes' length unless given.
std::string rleImage(int w, int h, int bits, const std::string& codes, int64_t sizeImage = -1)
{
    std::string s = bmpImage(1, 1, 24, 16).substr(0, 54 + 64);
    put32(s, 18, static_cast<uint32_t>(w));
    put32(s, 22, static_cast<uint32_t>(h));
    put16(s, 28, static_cast<uint32_t>(bits));
    put32(s, 30, bits == 4 ? 2 : 1);
    put32(s, 34, static_cast<uint32_t>(sizeImage < 0 ? codes.size() : sizeImage));
    s += codes;
    put32(s, 2, static_cast<uint32_t>(s.size()));
    return s;
}

// A PNG whose `chunks` precede one data chunk claiming `claimed` bytes and holding `held`; a JPEG; a GIF.
std::string png(uint32_t w, uint32_t h, uint32_t claimed, std::size_t held, const std::string& chunks = "")
{
    return std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16) + be(w, 4) + be(h, 4) +
           std::string("\x08\x02\x00\x00\x00\0\0\0\0", 9) + chunks + be(claimed, 4) + "IDAT" +
           std::string("\x78\x9C", 2) + std::string(held, '\x55');
}
// (jpeg, gif and the one-pixel pictures serve the POSIX decoder tests only.)
[[maybe_unused]] std::string jpeg(uint16_t w, uint16_t h)
{
    return std::string("\xFF\xD8\xFF\xC0\x00\x11\x08", 7) + be(h, 2) + be(w, 2) +
           std::string("\x03\x01\x11\x00\x02\x11\x00\x03\x11\x00\xFF\xD9", 12);
}
[[maybe_unused]] std::string gif(uint16_t w, uint16_t h)
{
    const std::string size = le(w, 2) + le(h, 2);
    return "GIF89a" + size + std::string("\x80\x00\x00\x00\x00\x00\xFF\xFF\xFF\x2C\x00\x00\x00\x00", 14) + size +
           std::string("\x00\x02\x02\x4C\x01\x00\x3B", 7);
}
// Whole pictures of one pixel: a PNG of one stored deflate block, a grey JPEG with one code per table.
[[maybe_unused]] std::string png1()
{
    return png(1, 1, 15, 0) + std::string("\x01\x04\x00\xFB\xFF\x00\xFF\x00\x00\x03\x01\x01\x00", 13) + "crc!" +
           be(0, 4) + "IENDcrc!";
}
[[maybe_unused]] std::string jpeg1()
{
    const std::string table = '\1' + std::string(15, 0) + '\0';  // one code of length 1, for symbol 0
    return std::string("\xFF\xD8\xFF\xDB\x00\x43\x00", 7) + std::string(64, 1) +
           std::string("\xFF\xC0\x00\x0B\x08\x00\x01\x00\x01\x01\x01\x11\x00\xFF\xC4\x00\x14\x00", 18) + table +
           std::string("\xFF\xC4\x00\x14\x10", 5) + table +
           std::string("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00\x3F\xFF\xD9", 13);
}

class BmpFiles : public ktu::test::LoggedTest {
protected:
    std::string save(const std::string& name, int w, int h)
    {
        EXPECT_TRUE(ktuBMPUtils::saveAsBMP(w, h, pattern(w, std::abs(h)).data(), sb.path(name).c_str()));
        return sb.path(name);
    }
};

TEST_F(BmpFiles, WrittenFilesAndHeaderBlocksAndWhatTheReadersGiveBack)
{
    for (int w : {1, 2, 3, 4, 5, 7}) {
        for (int h : {1, 2, 3, -2}) {  // a negative height: stored top row first, read as stored
            SCOPED_TRACE(::testing::Message() << w << "x" << h);
            const std::string path = save("p.bmp", w, h);
            EXPECT_EQ(sb.readFile("p.bmp"), bmpImage(w, h));
#if defined(_WIN32)  // there the system's loader decides how it delivers top-down files
            if (h < 0) continue;
#endif
            const int rows = std::abs(h);
            int width = 0, height = 0;
            ASSERT_TRUE(ktuBMPUtils::getImageSize(path.c_str(), &width, &height));
            EXPECT_EQ(std::make_pair(width, height), std::make_pair(w, rows));
            Bytes packed(3 * w * rows + 1, 0xEE), raw(3 * w * rows), expected = pattern(w, rows, false);
            ASSERT_TRUE(ktuBMPUtils::getImageData(path.c_str(), packed.data()));
            expected.push_back(0xEE);
            EXPECT_EQ(packed, expected);
            ASSERT_TRUE(ktuBMPUtils::getImageBitmapData(path.c_str(), raw.data()));
            EXPECT_TRUE(std::equal(raw.begin(), raw.end(), pattern(w, rows).begin()));
        }
    }
    struct Case { int w, h; uint32_t sizeImage; } cases[] = {
        {-1, 2, 0}, {-7, 3, 0}, {0, 5, 0}, {1, INT_MIN, 0}, {INT_MAX, 1, 0x80000000u}, {INT_MAX, 2, 0},
    };
    for (const auto& c : cases) {
        BITMAPINFO* info = ktuBMPUtils::CreateBitmapInfoStruct(c.w, c.h);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->bmiHeader.biSizeImage, c.sizeImage) << c.w << "x" << c.h;
        ktu::platform::ops().picture.localFree(info);
    }
    EXPECT_EQ(ktuBMPUtils::getBMPFormatDataLen(5, 3), 48u);
    // The header block of 40 + 4 * biClrUsed bytes written whole, beyond 256 entries too.
    for (int entries : {2, 300}) {
        std::string file = bmpImage(1, 1, 24, entries);
        for (int i = 54; i < 54 + 4 * entries; ++i) file[i] = static_cast<char>(i * 7);
        Bytes block(file.begin() + 14, file.end());  // the header block, then the 4 pixel bytes
        auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
        ASSERT_TRUE(ktuBMPUtils::CreateBMPFile(sb.path("t.bmp").c_str(), info, &block[block.size() - 4]));
        EXPECT_EQ(sb.readFile("t.bmp"), file);
    }
    EXPECT_TRUE(logs().empty());
}

TEST_F(BmpFiles, ResizedAndCroppedDataAndTheFormatCheck)
{
    const std::string path = save("s.bmp", 3, 2);
    Bytes out(3 * 3 * 2), big(ktuBMPUtils::getBMPFormatDataLen(6, 4), 0xAB), black(24, 0xAB);
    ASSERT_TRUE(ktuBMPUtils::getResizedImageData(path.c_str(), out.data(), 3, 2));
    EXPECT_EQ(out, pattern(3, 2, false));
    ASSERT_TRUE(ktuBMPUtils::getResizedImageData(path.c_str(), big.data(), 6, 4));
    for (int i = 0; i < 80; i += i % 20 == 17 ? 3 : 1)  // doubled pixels; alignment bytes skipped
        ASSERT_EQ(big[i], patternByte(i % 20 / 6, i / 40, i % 20 % 3)) << i;
    // Crop: the region, limited to the picture; negative sizes and missing files refused.
    std::string src = save("src.bmp", 5, 4);
    ASSERT_TRUE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("a.bmp").c_str(), 1, 2, 3, 2));
    Bytes a(3 * 3 * 2);
    ASSERT_TRUE(ktuBMPUtils::getImageData(sb.path("a.bmp").c_str(), a.data()));
    for (int i = 0; i < 18; ++i) EXPECT_EQ(a[i], patternByte(i % 9 / 3 + 1, i / 9 + 2, i % 3)) << i;
    // Wider than the picture: the width is limited, the part beyond is black; beyond it: all black.
    ASSERT_TRUE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("b.bmp").c_str(), 3, 0, 9, 1));
    EXPECT_EQ(sb.readFile("b.bmp"), bmpImage(5, 1).substr(0, 54) + bmpImage(5, 1).substr(63, 6) + std::string(10, 0));
    ASSERT_TRUE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("c.bmp").c_str(), 7, 9, 2, 2));
    EXPECT_EQ(sb.readFile("c.bmp").substr(54), std::string(16, '\0'));
    EXPECT_FALSE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("d.bmp").c_str(), -1, 0, 2, 2));
    EXPECT_FALSE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("d.bmp").c_str(), 0, 0, -2, 2));
    EXPECT_FALSE(ktuBMPUtils::cropAndSaveImage(sb.path("none.bmp").c_str(), sb.path("d.bmp").c_str(), 0, 0, 1, 1));
    EXPECT_FALSE(sb.exists("d.bmp"));
    // The format check looks at the low byte of the bit count.
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
    // Pixels that cannot be read are resized as black, after a log line.
    sb.writeFile("g8.bmp", bmpImage(4, 2, 8, 256));
    EXPECT_TRUE(ktuBMPUtils::getResizedImageData(sb.path("g8.bmp").c_str(), black.data(), 4, 2));
    EXPECT_EQ(black, Bytes(24, 0));
    EXPECT_EQ(logs(), std::vector<std::string>{"Common-ktuBMPUtils::getResizedImageData() - Image Data not found"});
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
        // A loader that reports a picture too large for any buffer.
        ScopedOverride o(ktu::platform::ops().picture.describeBitmap, +[](HBITMAP, BITMAP* d) {
            *d = BITMAP{};
            d->bmWidth = d->bmHeight = INT_MAX;
            d->bmBitsPixel = 24;
            return true;
        });
        EXPECT_FALSE(ktuBMPUtils::cropAndSaveImage(src.c_str(), sb.path("x.bmp").c_str(), 0, 0, 1, 1));
    }
    const std::string u = "Common-ktuBMPUtils::";
    EXPECT_EQ(logs(), (std::vector<std::string>{u + "getImageSize()", u + "getImageData()", u + "getImageBitmapData()",
                                                u + "getImageSize2()", u + "CreateBMPFile()", u + "CreateBMPFile()",
                                                u + "getResizedImageData()", u + "resizeImageAndReturnData()",
                                                u + "getResizedImageData()",
                                                "KSUtilityClasses-iBMPUtils::cropAndSaveImage()"}));
    EXPECT_FALSE(sb.exists("x.bmp"));
}

// A failed save (unreadable pixels, a read-only file) leaves the old file whole, with no temporary file beside it.
TEST_F(BmpFiles, AFailedSaveLeavesTheOldPictureWhole)
{
    namespace fs = std::filesystem;
    const std::string path = save("old.bmp", 3, 2), before = sb.readFile("old.bmp");
    BITMAPINFO* header = ktuBMPUtils::CreateBitmapInfoStruct(5, 5);
    EXPECT_FALSE(ktuBMPUtils::CreateBMPFile(path.c_str(), header, nullptr));
    ktu::platform::ops().picture.localFree(header);
    fs::permissions(sb.native("old.bmp"), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_FALSE(ktuBMPUtils::saveAsBMP(1, 1, pattern(1, 1).data(), path.c_str()));
    EXPECT_EQ(sb.readFile("old.bmp"), before);
    for (const auto& entry : fs::directory_iterator(sb.native()))
        EXPECT_TRUE(entry.path().filename() == "old.bmp" || entry.path().filename() == "logs") << entry.path();
    fs::permissions(sb.native("old.bmp"), fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(BmpFiles, LoadFailuresLeaveOrReleaseThePictureHeld)
{
    sb.writeFile("a.bmp", bmpImage(4, 4));
    sb.writeFile("not.bmp", "this is no picture at all, only text");
    IPicture* held = nullptr;
    ASSERT_TRUE(ktuBMPUtils::LoadPictureFile(sb.path("a.bmp").c_str(), &held, nullptr));
    IPicture* before = held;  // a missing file fails before the old picture is released
    EXPECT_FALSE(ktuBMPUtils::LoadPictureFile(sb.path("none.bmp").c_str(), &held, nullptr));
    EXPECT_EQ(held, before);
    OLE_XSIZE_HIMETRIC width = 0;
    EXPECT_EQ(held->get_Width(&width), S_OK);
    EXPECT_EQ(width, 106);
    // Loading again releases the held picture (the leak checker sees it otherwise), once the file is read.
    ASSERT_TRUE(ktuBMPUtils::LoadPictureFile(sb.path("a.bmp").c_str(), &held, nullptr));
    EXPECT_FALSE(ktuBMPUtils::LoadPictureFile(sb.path("not.bmp").c_str(), &held, nullptr));
    EXPECT_EQ(held, nullptr);
    EXPECT_FALSE(ktuBMPUtils::DrawImage(nullptr, sb.path("a.bmp").c_str(), POINT{0, 0}, nullptr, RECT{}));
#if !defined(_WIN32)  // there the system measures bitmaps at the screen's resolution
    sb.writeFile("m.bmp", bmpImage(100, 50, 24, 0, 11811));  // 300 dpi stored
    int w = 0, h = 0;
    ASSERT_TRUE(ktuBMPUtils::getImageSize2(sb.path("m.bmp").c_str(), &w, &h));
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(847, 423));
    for (const std::string& file : {gif(1, 1), png1(), jpeg1()}) {  // other formats, known by their signatures
        sb.writeFile("o.pic", file);
        ASSERT_TRUE(ktuBMPUtils::getImageSize2(sb.path("o.pic").c_str(), &w, &h)) << file.substr(0, 4);
        EXPECT_EQ(std::make_pair(w, h), std::make_pair(26, 26));
    }
#endif
}

#if !defined(_WIN32)

// Draws into a 400 x 300 surface; answers the box of the drawn pixels (empty when none) and its corner pixels.
std::pair<std::vector<long>, std::string> draw(const std::string& path, POINT centre, RECT target, bool* ok)
{
    std::string px(400 * 3 * 300, '\x11');
    ktuSurface surface{400, 300, 1200, reinterpret_cast<unsigned char*>(&px[0])};
    ktuWindow window{RECT{0, 0, 400, 300}};
    *ok = ktuBMPUtils::DrawImage(&surface, path.c_str(), centre, &window, target);
    long l = 400, t = -1, r = -1, b = -1;
    for (long i = 0; i < 400 * 300; ++i) {
        if (px[3 * i] == 0x11) continue;
        l = std::min(l, i % 400), r = std::max(r, i % 400 + 1), b = i / 400 + 1;
        t = t < 0 ? i / 400 : t;
    }
    if (t < 0) return {{}, ""};
    return {{l, t, r, b}, px.substr(1200 * t + 3 * l, 3) + px.substr(1200 * (b - 1) + 3 * (r - 1), 3)};
}

TEST_F(BmpFiles, DrawnCentredOnThePointAtTheTargetsSize)
{
    const std::string file = bmpImage(2, 2), corners = file.substr(54 + 8, 3) + file.substr(54 + 3, 3);
    sb.writeFile("q.bmp", file);
    struct Case { POINT at; RECT target; std::vector<long> box; bool whole; } cases[] = {
        {{300, 200}, {0, 0, 200, 100}, {200, 150, 400, 250}, true},
        {{300, 200}, {200, 100, 0, 0}, {200, 150, 400, 250}, true},    // reversed edges
        {{300, 200}, {50, 60, 250, 160}, {200, 150, 400, 250}, true},  // its position is not used
        {{300, 200}, {5, 5, 5, 100}, {300, 153, 353, 206}, true},      // zero width: HIMETRIC extent (53)
        {{20, 10}, {0, 0, 100, 60}, {0, 0, 70, 40}, false},            // clipped at the surface's edge
        {{500, 500}, {0, 0, 10, 10}, {}, false},                       // entirely outside
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

// A file and whether getImageSize and getImageData answer true.
struct Crafted { const char* name; std::string file; bool sizeRead, dataRead; };

const Crafted kCrafted[] = {
    {"valid", bmpImage(4, 3), true, true},
    {"V4 header", withHeader(108), true, true},
    {"V5 header", withHeader(124), true, true},
    {"empty", "", false, false},
    {"only file header", bmpImage(4, 3).substr(0, 14), false, false},
    {"headers only", bmpImage(4, 3).substr(0, 54), false, false},
    {"one byte short", bmpImage(5, 3).substr(0, 54 + 48 - 1), false, false},
    {"no signature", "XM" + bmpImage(4, 3).substr(2), false, false},
    {"huge width", with32(18, 0x7FFFFFFF), false, false},
    {"huge height", with32(22, 0x7FFFFFFF), false, false},
    {"negative width", with32(18, static_cast<uint32_t>(-4)), false, false},
    {"zero height", with32(22, 0), false, false},
    {"most negative height", with32(22, 0x80000000u), false, false},
    {"offset beyond file", with32(10, 0xFFFFFFF0u), false, false},
    {"offset leaves too little", with32(10, 60), false, false},
    {"offset inside headers", with32(10, 20), false, false},
    {"info header size huge", with32(14, 0xFFFFFF00u), false, false},
    {"zero planes", with16(26, 0), false, false},
    {"rle compression on 24 bits", with32(30, 1), false, false},
    {"bit count 48", with16(28, 48), false, false},
    {"8 bits", bmpImage(5, 3, 8, 256), true, false},
    {"1 bit claimed on a 24-bit array", with16(28, 1, bmpImage(64, 1)), true, false},
    {"1-bit array cut", bmpImage(64, 1, 1, 2).substr(0, 62 + 4), false, false},
    // Files the Windows loader reads; only 24-bit pixels reach the readers.
    {"core header 24 bits", coreImage(5, 3), true, true},
    {"core header 8 bits", coreImage(5, 3, 8, 256), true, false},
    {"core header cut", coreImage(5, 3).substr(0, 26 + 40), false, false},
    {"core header 16 bits", coreImage(5, 3, 16), false, false},
    {"rle8", rleImage(5, 3, 8, std::string("\x05\x07\x00\x00\x00\x01", 6)), true, false},
    {"rle4", rleImage(6, 2, 4, std::string("\x06\x12\x00\x01", 4)), true, false},
    {"rle8 empty data", rleImage(64, 64, 8, ""), true, false},
    {"rle8 claims more than that", rleImage(8193, 8192, 8, std::string(2, 0)), false, false},
    {"rle8 data beyond the file", rleImage(4, 4, 8, std::string(4, 0), 5), false, false},
    {"rle8 top-down", rleImage(4, -4, 8, std::string(2, 0)), false, false},
    {"top-down", bmpImage(3, -2), true, true},
    {"gap before the pixels", with32(2, 100, with32(10, 64, bmpImage(4, 3).insert(54, 10, '\x5A'))), true, true},
    {"colour table on 24 bits", bmpImage(4, 3, 24, 2), true, true},
};

class CraftedFiles : public ktu::test::LoggedTest, public ::testing::WithParamInterface<Crafted> {};

TEST_P(CraftedFiles, ReadersStayInsideTheirBuffers)
{
    const Crafted& c = GetParam();
    SCOPED_TRACE(c.name);
    sb.writeFile("in.bmp", c.file);
    std::string path = sb.path("in.bmp");
    int w = -7, h = -7;
    ASSERT_EQ(ktuBMPUtils::getImageSize(path.c_str(), &w, &h), c.sizeRead);
    // Exactly as large as the size read says, so that ASan sees any byte beyond it.
    Bytes out(c.sizeRead ? 3 * static_cast<std::size_t>(w) * h : 16);
    EXPECT_EQ(ktuBMPUtils::getImageData(path.c_str(), out.data()), c.dataRead);
    EXPECT_EQ(ktuBMPUtils::getImageBitmapData(path.c_str(), out.data()), c.dataRead);
    Bytes resized(ktuBMPUtils::getBMPFormatDataLen(5, 5));
    EXPECT_TRUE(ktuBMPUtils::getResizedImageData(path.c_str(), resized.data(), 5, 5));
    EXPECT_EQ(ktuBMPUtils::cropAndSaveImage(path.c_str(), sb.path("out.bmp").c_str(), 1, 1, 2, 2), c.dataRead);
    if (c.dataRead) {  // the picture loader takes every 24-bit file the bitmap loader reads, at 96 dpi
        int hmWidth = 0, hmHeight = 0;
        ASSERT_TRUE(ktuBMPUtils::getImageSize2(path.c_str(), &hmWidth, &hmHeight));
        EXPECT_EQ(std::make_pair(hmWidth, hmHeight), std::make_pair((5080 * w + 96) / 192, (5080 * h + 96) / 192));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CraftedFiles, ::testing::ValuesIn(kCrafted));

// RLE data expanded as the Windows loader delivers it, and by the POSIX loader's copyPixelRows, cut short.
TEST(RleRows, ExpandedAsTheSystemsLoaderDeliversThem)
{
    struct Case { int w, h, bits; std::string codes; Bytes rows; } cases[] = {
        {5, 3, 8, std::string("\x05\x07\x00\x00\x00\x03\x01\x02\x03\x00\x00\x02\x01\x01\x02\x09\x00\x01", 18),
         {7, 7, 7, 7, 7, 0, 0, 0, /**/ 1, 2, 3, 0, 0, 0, 0, 0, /**/ 0, 0, 0, 0, 9, 0, 0, 0}},
        {6, 2, 4, std::string("\x06\x12\x00\x00\x00\x03\xAB\xC0\x00\x01", 10),
         {0x12, 0x12, 0x12, 0, /**/ 0xAB, 0xC0, 0, 0}},
        {3, 2, 8, std::string("\x02\x05", 2), {5, 5, 0, 0, /**/ 0, 0, 0, 0}},  // data ends early
        {2, 1, 8, std::string("\x00\x05\x01\x02", 4), {1, 2, 0, 0}},        // absolute run cut short
    };
    for (const auto& c : cases) {
        std::size_t at = 0;
        Bytes rows;
        const std::size_t stride = alignedRow(c.w, c.bits);
        auto next = [&] { return at < c.codes.size() ? static_cast<unsigned char>(c.codes[at++]) : -1; };
        auto emit = [&](const unsigned char* row) { return rows.insert(rows.end(), row, row + stride), true; };
        EXPECT_TRUE(ktu::bmp::expandRle(next, c.bits == 4, c.w, c.h, stride, emit));
        EXPECT_EQ(rows, c.rows);
#if !defined(_WIN32)  // there the system's loader expands the rows
        const auto& pic = ktu::platform::ops().picture;
        ktu::test::Sandbox sb;
        sb.writeFile("r.bmp", rleImage(c.w, c.h, c.bits, c.codes));
        HBITMAP bitmap = pic.loadBitmap(sb.path("r.bmp").c_str());
        Bytes first(3, 0xEE);  // rows cut short, stopped inside the first
        EXPECT_TRUE(pic.copyPixelRows(bitmap, first.data(), 2, 1));
        EXPECT_EQ(first, (Bytes{c.rows[0], 0xEE, 0xEE}));
        pic.deleteBitmap(bitmap);
#endif
    }
}

// The resolution a PNG or JPEG stores, as the HIMETRIC extent of `pixels` pixels (96 dpi when unusable; 1 at least).
TEST(StoredResolution, ReadFromPngAndJpegHeaders)
{
    auto phys = [](uint32_t x, uint32_t y, char unit) {
        return be(9, 4) + "pHYs" + be(x, 4) + be(y, 4) + unit + "crc!";
    };
    auto jfif = [](char unit, uint16_t x, uint16_t y) {
        return std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01", 13) + unit + be(x, 2) + be(y, 2) + "\0\0";
    };
    struct Case { const char* name; std::string file; long long pixels, x, y; } cases[] = {
        {"png pHYs after a chunk", png(1, 1, 0, 0, be(1, 4) + "tEXtxcrc!" + phys(0x12345, 11811, 1)), 100, 134, 847},
        {"png pHYs of no unit", png(1, 1, 0, 0, phys(11811, 11811, 0)), 100, 2646, 2646},
        {"png pHYs after the data", png(1, 1, 4, 4) + "crc!" + phys(11811, 11811, 1), 100, 2646, 2646},
        {"png a billion dots per metre", png(1, 1, 0, 0, phys(1000000000, 1000000000, 1)), 1, 1, 1},
        {"jpeg dots per inch", jfif(1, 300, 150), 100, 847, 1693},
        {"jpeg dots per centimetre", jfif(2, 118, 118), 100, 847, 847},
        {"jpeg no unit", jfif(0, 300, 300), 100, 2646, 2646},
    };
    for (const auto& c : cases) {
        const auto* data = reinterpret_cast<const unsigned char*>(c.file.data());
        ktu::bmp::Resolution x, y;
        ktu::bmp::storedResolution(ktu::bmp::formatOf(data, c.file.size()), data, c.file.size(), x, y);
        EXPECT_EQ(std::make_pair(ktu::bmp::toHimetric(c.pixels, x), ktu::bmp::toHimetric(c.pixels, y)),
                  std::make_pair(c.x, c.y))
            << c.name;
    }
}

// Files a 32-bit machine holds whose 24-bit rasters do not fit its size_t; the pixel arrays are holes.
void writeSparseBmp(const std::filesystem::path& file, int w, int h, int bits)
{
    const uint64_t bytes = static_cast<uint64_t>(alignedRow(w, bits)) * h;  // its low 32 bits in the headers
    std::string header = bmpImage(1, 1, bits, bits == 8 ? 256 : 0).substr(0, bits == 8 ? 54 + 1024 : 54);
    header = with32(2, header.size() + bytes, with32(18, w, with32(22, h, with32(34, bytes, header))));
    std::ofstream(file, std::ios::binary).write(header.data(), static_cast<std::streamsize>(header.size()));
    std::filesystem::resize_file(file, header.size() + bytes);
}

TEST(CheckedSize, ProductsAndSumsThatDoNotFitAreRefused)
{
    std::size_t out = 7;
    EXPECT_TRUE(ktu::checkedProduct(out, 3, 5, 0));
    EXPECT_EQ(out, 0u);
    EXPECT_FALSE(ktu::checkedProduct(out, 3, SIZE_MAX / 3 + 1));
    EXPECT_FALSE(ktu::checkedAdd(SIZE_MAX, 1, out));
    EXPECT_EQ(out, 0u);  // unchanged by a refusal
    EXPECT_TRUE(ktu::checkedAdd(SIZE_MAX - 1, 1, out));
    EXPECT_EQ(out, SIZE_MAX);
    EXPECT_THROW(ktu::allocationSize(SIZE_MAX / 2 + 1, 2, 1), std::bad_alloc);
}

TEST(SizeOverflow, PicturesLargerThanTheAddressSpaceAreRefused)
{
    if (sizeof(std::size_t) > 4) GTEST_SKIP() << "3 * W * H fits this machine's size_t";
    ktu::test::openGate();
    ktu::test::Sandbox sb;
    writeSparseBmp(sb.native("wide8.bmp"), 40000, 40000, 8);
    Bytes out(64, 0xA5);
    EXPECT_FALSE(ktuBMPUtils::getResizedImageData(sb.path("wide8.bmp").c_str(), out.data(), 2, 2));
    EXPECT_FALSE(ktuBMPUtils::cropAndSaveImage(sb.path("wide8.bmp").c_str(), sb.path("crop.bmp").c_str(), 0, 0, 2, 2));
    writeSparseBmp(sb.native("wide24.bmp"), 40000, 40000, 24);
    EXPECT_FALSE(ktuBMPUtils::getImageData(sb.path("wide24.bmp").c_str(), out.data()));
    EXPECT_FALSE(ktuBMPUtils::getImageBitmapData(sb.path("wide24.bmp").c_str(), out.data()));
    EXPECT_EQ(out, Bytes(64, 0xA5));
    EXPECT_FALSE(sb.exists("crop.bmp"));
}

#if !defined(_WIN32)

// Hostile picture and BMP files, each read in a child limited to 512 MiB of address space.
namespace decoder = ktu::platform::posix;

enum class Expect { PictureRefused, BmpRefused, LargestRle };

struct Hostile {
    const char* name;
    std::string file;
    Expect expect;
    int budgetW = 0, budgetH = 0;  // the size the picture decoder's budget allows for
    bool overBudget = false;       // the decoder stopped at its budget
};

const Hostile kHostile[] = {
    {"png data chunk claims 1.6 GB", png(1, 1, 0x60000000u, 60), Expect::PictureRefused, 1, 1, true},
    {"png claims the largest picture taken", png(8192, 8192, 40, 40), Expect::PictureRefused, 8192, 8192},
    {"png claims more than that", png(8193, 8192, 40, 40), Expect::PictureRefused},
    {"png whole, claims 8192 x 8192", png(8192, 8192, 2, 0) + "crc!" + be(0, 4) + "IENDcrc!", Expect::PictureRefused,
     8192, 8192, true},
    {"jpeg claims 65500 x 65500", jpeg(65500, 65500), Expect::PictureRefused},
    {"gif claims 65535 x 65535", gif(65535, 65535), Expect::PictureRefused},
    {"bmp picture claims 8000 x 8000", with32(18, 8000, with32(22, 8000, bmpImage(1, 1))), Expect::PictureRefused},
    {"bmp claims 30000 x 30000", with32(18, 30000, with32(22, 30000, bmpImage(1, 1))), Expect::BmpRefused},
    {"core header claims 65535 x 65535", with16(18, 65535, with16(20, 65535, coreImage(1, 1))), Expect::BmpRefused},
    {"rle8 claims 65535 x 65535", rleImage(65535, 65535, 8, std::string("\0\1", 2)), Expect::BmpRefused},
    {"rle8 claims 8192 x 8192", rleImage(8192, 8192, 8, std::string("\0\1", 2)), Expect::LargestRle},
};

bool answered(const Hostile& c, const std::string& path, std::size_t bytes)
{
    int w = 0, h = 0;
    if (c.expect == Expect::PictureRefused) {
        IPicture* picture = nullptr;
        bool ok = !ktuBMPUtils::LoadPictureFile(path.c_str(), &picture, nullptr) && picture == nullptr;
        const bool isPng = c.file[1] == 'P';  // a PNG is held to the smaller, file-proportional budget
        ok = ok && decoder::lastDecodePeak() <= (isPng ? decoder::pngDecodeBudget : decoder::decodeBudget)(
                                                    bytes, c.budgetW, c.budgetH);
        ok = ok && !ktuBMPUtils::getImageSize2(path.c_str(), &w, &h);
        return ok && (!c.overBudget || decoder::lastDecodeOverBudget());
    }
    const bool largest = c.expect == Expect::LargestRle;
    Bytes out(48, 0xAB);
    bool ok = ktuBMPUtils::getImageSize(path.c_str(), &w, &h) == largest && (!largest || (w == 8192 && h == 8192));
    ok = ok && ktuBMPUtils::getResizedImageData(path.c_str(), out.data(), 4, 4);
    ok = ok && (!largest || out == Bytes(48, 0));
    return ok && !ktuBMPUtils::cropAndSaveImage(path.c_str(), (path + ".crop.bmp").c_str(), 0, 0, 4, 4);
}

class HostileInput : public ktu::test::LoggedTest, public ::testing::WithParamInterface<Hostile> {};

TEST_P(HostileInput, AnsweredWithinTheMemoryBound)
{
    const std::string& file = GetParam().file;
    SCOPED_TRACE(GetParam().name);
    sb.writeFile("in.bin", file);
    const std::string path = sb.path("in.bin");
    ktu::test::expectWithinAddressSpace([&] { return answered(GetParam(), path, file.size()); });
    // Refusals are answered by the result alone; only a picture whose pixels cannot be read costs its line.
    for (const std::string& line : logs())
        EXPECT_EQ(line, "Common-ktuBMPUtils::getResizedImageData() - Image Data not found");
}

INSTANTIATE_TEST_SUITE_P(Files, HostileInput, ::testing::ValuesIn(kHostile));

#endif

}  // namespace
