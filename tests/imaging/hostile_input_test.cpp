// Hostile picture and BMP files, small and made here, each read in a child
// process whose address space is limited to 512 MiB: every answer is the one
// a well-formed refusal gives, and what the picture decoder held stays within
// its budget. Under AddressSanitizer (whose shadow memory does not fit such a
// limit) the children run without it; the budget checks still hold.
#if !defined(_WIN32)

#include <cstdlib>
#include <string>
#include <vector>

#include "bmpTestFiles.h"
#include "posix/pictureDecoder.h"

namespace {

using namespace bmptest;
namespace decoder = ktu::platform::posix;

void putBe(std::string& s, uint32_t v, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) s += static_cast<char>(v >> shift);
}

// A PNG of `w` x `h` RGB pixels whose one data chunk claims `claimed` bytes and
// holds `held` (the checksums are not looked at by the decoder).
std::string png(uint32_t w, uint32_t h, uint32_t claimed, std::size_t held)
{
    std::string s("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16);
    putBe(s, w, 4);
    putBe(s, h, 4);
    s += std::string("\x08\x02\x00\x00\x00\0\0\0\0", 9);
    putBe(s, claimed, 4);
    return s + "IDAT" + std::string("\x78\x9C", 2) + std::string(held, '\x55');
}

std::string jpeg(uint16_t w, uint16_t h)
{
    std::string s("\xFF\xD8\xFF\xC0\x00\x11\x08", 7);
    putBe(s, h, 2);
    putBe(s, w, 2);
    return s + std::string("\x03\x01\x11\x00\x02\x11\x00\x03\x11\x00\xFF\xD9", 12);
}

std::string gif(uint16_t w, uint16_t h)
{
    const std::string size{static_cast<char>(w), static_cast<char>(w >> 8), static_cast<char>(h), static_cast<char>(h >> 8)};
    return "GIF89a" + size + std::string("\x00\x00\x00\x2C\x00\x00\x00\x00", 8) + size +
           std::string("\x00\x02\x02\x4C\x01\x00\x3B", 7);
}

enum class Expect { PictureRefused, BmpRefused, LargestRle };

struct Hostile {
    const char* name;
    std::string file;
    Expect expect;
    int budgetW = 0, budgetH = 0;  // the size the picture decoder's budget allows for
    bool overBudget = false;       // the decoder stopped at its budget
};

const std::string kEnd("\x00\x01", 2);

const Hostile kHostile[] = {
    {"png data chunk claims 1.6 GB", png(1, 1, 0x60000000u, 60), Expect::PictureRefused, 1, 1, true},
    {"png claims the largest picture taken", png(8192, 8192, 40, 40), Expect::PictureRefused, 8192, 8192},
    {"png claims more than that", png(8193, 8192, 40, 40), Expect::PictureRefused},
    {"jpeg claims 65500 x 65500", jpeg(65500, 65500), Expect::PictureRefused},
    {"gif claims 65535 x 65535", gif(65535, 65535), Expect::PictureRefused},
    {"bmp picture claims 8000 x 8000", with32(18, 8000, with32(22, 8000, bmpImage(1, 1))), Expect::PictureRefused},
    {"bmp claims 30000 x 30000", with32(18, 30000, with32(22, 30000, bmpImage(1, 1))), Expect::BmpRefused},
    {"core header claims 65535 x 65535", with16(18, 65535, with16(20, 65535, coreImage(1, 1))), Expect::BmpRefused},
    {"rle8 claims 65535 x 65535", rleImage(65535, 65535, 8, kEnd), Expect::BmpRefused},
    // The largest RLE picture taken: its size is answered, and the readers
    // that need 24-bit pixels hold a black one of that size at most.
    {"rle8 claims 8192 x 8192", rleImage(8192, 8192, 8, kEnd), Expect::LargestRle},
};

// Whether every answer for the file at `path` (`bytes` long) is the expected one.
bool answered(const Hostile& c, const std::string& path, std::size_t bytes)
{
    int w = 0, h = 0;
    if (c.expect == Expect::PictureRefused) {
        IPicture* picture = nullptr;
        bool ok = !ktuBMPUtils::LoadPictureFile(path.c_str(), &picture, nullptr) && picture == nullptr;
        ok = ok && decoder::lastDecodePeak() <= decoder::decodeBudget(bytes, c.budgetW, c.budgetH);
        ok = ok && !ktuBMPUtils::getImageSize2(path.c_str(), &w, &h);
        return ok && (!c.overBudget || decoder::lastDecodeOverBudget());
    }
    const bool largest = c.expect == Expect::LargestRle;
    std::vector<unsigned char> out(48, 0xAB);
    bool ok = ktuBMPUtils::getImageSize(path.c_str(), &w, &h) == largest && (!largest || (w == 8192 && h == 8192));
    ok = ok && ktuBMPUtils::getResizedImageData(path.c_str(), out.data(), 4, 4);
    ok = ok && (!largest || out == std::vector<unsigned char>(48, 0));
    return ok && !ktuBMPUtils::cropAndSaveImage(path.c_str(), (path + ".crop.bmp").c_str(), 0, 0, 4, 4);
}

class HostileInput : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileInput, AnsweredWithinTheMemoryBound)
{
    ktu::test::Sandbox sb;
    ASSERT_TRUE(ktu::test::logInto(sb));
    const std::string& file = GetParam().file;
    sb.writeFile("in.bin", file);
    const std::string path = sb.path("in.bin");
    ktu::test::expectWithinAddressSpace([&] { return answered(GetParam(), path, file.size()); });
    // Refusals are answered by the result alone; only a picture whose pixels
    // cannot be read costs its line.
    for (const std::string& line : ktu::test::logTexts(sb.native("logs") / "output.log")) {
        EXPECT_EQ(line, "Common-ktuBMPUtils::getResizedImageData() - Image Data not found");
    }
}

INSTANTIATE_TEST_SUITE_P(Files, HostileInput, ::testing::ValuesIn(kHostile),
                         [](const auto& info) { return testName(info.param.name); });

}  // namespace

#endif
