// Malformed and hostile BMP files: the readers answer false (or read only what
// the file holds) and stay inside the pixel array and the caller's buffer.
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "bmpTestFiles.h"
#include "ktuBmpFormat.h"
#include "ktuTestSupport.h"

namespace {

using namespace bmptest;

struct Crafted {
    const char* name;
    std::string file;
    bool sizeRead;  // getImageSize answers true
    bool dataRead;  // getImageData answers true
};

const std::string kZeros(4, '\0');

// A valid file with ten bytes between its headers and its pixels.
std::string gapped()
{
    std::string s = bmpImage(4, 3);
    s.insert(54, 10, '\x5A');
    put32(s, 10, 64);
    put32(s, 2, static_cast<uint32_t>(s.size()));
    return s;
}

const Crafted kCrafted[] = {
    {"valid", bmpImage(4, 3), true, true},
    {"empty", "", false, false},
    {"only file header", bmpImage(4, 3).substr(0, 14), false, false},
    {"headers only", bmpImage(4, 3).substr(0, 54), false, false},
    {"last row cut", bmpImage(4, 3).substr(0, 54 + 24 + 11), false, false},
    {"one byte short", bmpImage(5, 3).substr(0, 54 + 48 - 1), false, false},
    {"no signature", "XM" + bmpImage(4, 3).substr(2), false, false},
    {"huge width", with32(18, 0x7FFFFFFF), false, false},
    {"huge height", with32(22, 0x7FFFFFFF), false, false},
    {"huge both", with32(18, 1u << 20, with32(22, 1u << 20)), false, false},
    {"width overflows row", with32(18, 0x55555556), false, false},
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
    // Other bit depths load (their size is read) but give no 24-bit pixels.
    {"8 bits", bmpImage(5, 3, 8, 256), true, false},
    {"1 bit claimed on a 24-bit array", with16(28, 1, bmpImage(64, 1)), true, false},
    {"1-bit array cut", bmpImage(64, 1, 1, 2).substr(0, 62 + 4), false, false},
    // Files the Windows loader reads: the 12-byte core header and RLE data.
    // Only 24-bit pixels reach the readers.
    {"core header 24 bits", coreImage(5, 3), true, true},
    {"core header 8 bits", coreImage(5, 3, 8, 256), true, false},
    {"core header cut", coreImage(5, 3).substr(0, 26 + 40), false, false},
    {"core header 16 bits", coreImage(5, 3, 16), false, false},
    {"rle8", rleImage(5, 3, 8, std::string("\x05\x07\x00\x00\x00\x01", 6)), true, false},
    {"rle4", rleImage(6, 2, 4, std::string("\x06\x12\x00\x01", 4)), true, false},
    {"rle8 empty data", rleImage(64, 64, 8, ""), true, false},
    {"rle8 claims more than that", rleImage(8193, 8192, 8, kZeros.substr(2)), false, false},
    {"rle8 data beyond the file", rleImage(4, 4, 8, kZeros, 5), false, false},
    {"rle8 top-down", rleImage(4, -4, 8, kZeros.substr(2)), false, false},
    // A top-down picture is read in stored order.
    {"top-down", bmpImage(3, -2), true, true},
    {"gap before the pixels", gapped(), true, true},
    {"colour table on 24 bits", bmpImage(4, 3, 24, 2), true, true},
};

class CraftedFiles : public ::testing::TestWithParam<Crafted> {
protected:
    void SetUp() override { ktu::test::openGate(); }
    ktu::test::Sandbox sb;
};

TEST_P(CraftedFiles, ReadersStayInsideTheirBuffers)
{
    const Crafted& c = GetParam();
    sb.writeFile("in.bmp", c.file);
    std::string path = sb.path("in.bmp");
    int w = -7, h = -7;
    ASSERT_EQ(ktuBMPUtils::getImageSize(path.c_str(), &w, &h), c.sizeRead);
    // Exactly as large as the size read says, so that ASan sees any byte beyond it.
    std::size_t need = c.sizeRead ? 3 * static_cast<std::size_t>(w) * h : 16;
    std::vector<unsigned char> out(need);
    EXPECT_EQ(ktuBMPUtils::getImageData(path.c_str(), out.data()), c.dataRead);
    EXPECT_EQ(ktuBMPUtils::getImageBitmapData(path.c_str(), out.data()), c.dataRead);
    std::vector<unsigned char> resized(ktuBMPUtils::getBMPFormatDataLen(5, 5));
    EXPECT_TRUE(ktuBMPUtils::getResizedImageData(path.c_str(), resized.data(), 5, 5));
    EXPECT_EQ(ktuBMPUtils::cropAndSaveImage(path.c_str(), sb.path("out.bmp").c_str(), 1, 1, 2, 2), c.dataRead);
    if (c.dataRead) {  // the picture loader takes every 24-bit file the bitmap loader reads, at 96 dpi
        int hmWidth = 0, hmHeight = 0;
        ASSERT_TRUE(ktuBMPUtils::getImageSize2(path.c_str(), &hmWidth, &hmHeight));
        EXPECT_EQ(std::make_pair(hmWidth, hmHeight), std::make_pair((5080 * w + 96) / 192, (5080 * h + 96) / 192));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CraftedFiles, ::testing::ValuesIn(kCrafted),
                         [](const auto& info) { return testName(info.param.name); });

// RLE data expanded as the Windows loader delivers it: the 8- or 4-bit rows
// of a DIB section, bottom row first, pixels no code reaches 0, runs cut at
// the row's end, the rest after "end of bitmap" or the data's end 0. The
// POSIX bitmap loader hands the same rows to copyPixelRows, cut to the bytes
// asked for.
TEST(RleRows, ExpandedAsTheSystemsLoaderDeliversThem)
{
    struct Case { int w, h, bits; std::string codes; std::vector<unsigned char> rows; } cases[] = {
        {5, 3, 8, std::string("\x05\x07\x00\x00\x00\x03\x01\x02\x03\x00\x00\x02\x01\x01\x02\x09\x00\x01", 18),
         {7, 7, 7, 7, 7, 0, 0, 0, /**/ 1, 2, 3, 0, 0, 0, 0, 0, /**/ 0, 0, 0, 0, 9, 0, 0, 0}},
        {6, 2, 4, std::string("\x06\x12\x00\x00\x00\x03\xAB\xC0\x00\x01", 10),
         {0x12, 0x12, 0x12, 0, /**/ 0xAB, 0xC0, 0, 0}},
        {3, 2, 8, std::string("\x02\x05", 2), {5, 5, 0, 0, /**/ 0, 0, 0, 0}},  // data ends early
        {2, 1, 8, std::string("\x00\x05\x01\x02", 4), {1, 2, 0, 0}},        // absolute run cut short
    };
    for (const auto& c : cases) {
        std::size_t at = 0;
        std::vector<unsigned char> rows;
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
        std::vector<unsigned char> first(3, 0xEE);  // rows cut short, stopped inside the first
        EXPECT_TRUE(pic.copyPixelRows(bitmap, first.data(), 2, 1));
        EXPECT_EQ(first, (std::vector<unsigned char>{c.rows[0], 0xEE, 0xEE}));
        pic.deleteBitmap(bitmap);
#endif
    }
}

}  // namespace
