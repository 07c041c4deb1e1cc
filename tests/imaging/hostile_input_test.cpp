// Hostile picture and BMP files, small and made here, each read in a child
// process whose address space is limited to 512 MiB: every answer is the one
// a well-formed refusal gives, and what the picture decoder held stays within
// its budget. Under AddressSanitizer (whose shadow memory does not fit such a
// limit) the children run without it; the budget checks still hold.
#if !defined(_WIN32)

#include <sys/resource.h>

#include <cctype>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bmpTestFiles.h"
#include "posix/pictureDecoder.h"

#if defined(__SANITIZE_ADDRESS__)
#  define KTU_LIMIT_ADDRESS_SPACE 0
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
#    define KTU_LIMIT_ADDRESS_SPACE 0
#  endif
#endif
#ifndef KTU_LIMIT_ADDRESS_SPACE
#  define KTU_LIMIT_ADDRESS_SPACE 1
#endif

namespace {

using namespace bmptest;
namespace decoder = ktu::platform::posix;

void put32be(std::string& s, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>(v >> shift);
}

// A PNG of `w` x `h` RGB pixels whose one data chunk claims `claimed` bytes and
// holds `held` (the checksums are not looked at by the decoder).
std::string png(uint32_t w, uint32_t h, uint32_t claimed, std::size_t held)
{
    std::string s("\x89PNG\r\n\x1A\n", 8);
    put32be(s, 13);
    s += "IHDR";
    put32be(s, w);
    put32be(s, h);
    s += std::string("\x08\x02\x00\x00\x00", 5);
    put32be(s, 0);
    put32be(s, claimed);
    s += "IDAT";
    s += std::string("\x78\x9C", 2) + std::string(held, '\x55');
    return s;
}

std::string jpeg(uint16_t w, uint16_t h)
{
    std::string s("\xFF\xD8\xFF\xC0\x00\x11\x08", 7);
    s += static_cast<char>(h >> 8), s += static_cast<char>(h), s += static_cast<char>(w >> 8), s += static_cast<char>(w);
    s += std::string("\x03\x01\x11\x00\x02\x11\x00\x03\x11\x00\xFF\xD9", 12);
    return s;
}

std::string gif(uint16_t w, uint16_t h)
{
    std::string s = "GIF89a";
    s += static_cast<char>(w), s += static_cast<char>(w >> 8), s += static_cast<char>(h), s += static_cast<char>(h >> 8);
    s += std::string("\x00\x00\x00\x2C\x00\x00\x00\x00", 8);
    s += static_cast<char>(w), s += static_cast<char>(w >> 8), s += static_cast<char>(h), s += static_cast<char>(h >> 8);
    s += std::string("\x00\x02\x02\x4C\x01\x00\x3B", 7);
    return s;
}

// The picture loader's answer, and whether the decode stayed within its
// budget for the size the headers claim.
bool pictureRefusedWithinBudget(const std::string& path, std::size_t fileBytes, int w, int h)
{
    IPicture* picture = nullptr;
    int hmW = 0, hmH = 0;
    bool refused = !ktuBMPUtils::LoadPictureFile(path.c_str(), &picture, nullptr) && picture == nullptr;
    refused = refused && decoder::lastDecodePeak() <= decoder::decodeBudget(fileBytes, w, h);
    return refused && !ktuBMPUtils::getImageSize2(path.c_str(), &hmW, &hmH);
}

struct Hostile {
    const char* name;
    std::function<std::string()> make;
    std::function<bool(const std::string& path, std::size_t bytes)> answers;
};

bool bmpRefused(const std::string& path, std::size_t)
{
    int w = 0, h = 0;
    unsigned char out[48] = {};
    return !ktuBMPUtils::getImageSize(path.c_str(), &w, &h) && ktuBMPUtils::getResizedImageData(path.c_str(), out, 4, 4) &&
           !ktuBMPUtils::cropAndSaveImage(path.c_str(), (path + ".crop.bmp").c_str(), 0, 0, 4, 4);
}

const Hostile kHostile[] = {
    {"png data chunk claims 1.6 GB", [] { return png(1, 1, 0x60000000u, 60); },
     [](const std::string& p, std::size_t n) {
         return pictureRefusedWithinBudget(p, n, 1, 1) && decoder::lastDecodeOverBudget();
     }},
    {"png claims the largest picture taken", [] { return png(8192, 8192, 40, 40); },
     [](const std::string& p, std::size_t n) { return pictureRefusedWithinBudget(p, n, 8192, 8192); }},
    {"png claims more than that", [] { return png(8193, 8192, 40, 40); },
     [](const std::string& p, std::size_t n) { return pictureRefusedWithinBudget(p, n, 0, 0); }},
    {"jpeg claims 65500 x 65500", [] { return jpeg(65500, 65500); },
     [](const std::string& p, std::size_t n) { return pictureRefusedWithinBudget(p, n, 0, 0); }},
    {"gif claims 65535 x 65535", [] { return gif(65535, 65535); },
     [](const std::string& p, std::size_t n) { return pictureRefusedWithinBudget(p, n, 0, 0); }},
    {"bmp picture claims 8000 x 8000",
     [] { std::string s = bmpImage(1, 1); put32(s, 18, 8000); put32(s, 22, 8000); return s; },
     [](const std::string& p, std::size_t n) { return pictureRefusedWithinBudget(p, n, 0, 0); }},
    {"bmp claims 30000 x 30000", [] { std::string s = bmpImage(1, 1); put32(s, 18, 30000); put32(s, 22, 30000); return s; },
     bmpRefused},
    {"core header claims 65535 x 65535",
     [] { std::string s = coreImage(1, 1); put16(s, 18, 65535); put16(s, 20, 65535); return s; }, bmpRefused},
    {"rle8 claims 65535 x 65535", [] { return rleImage(65535, 65535, 8, std::string("\x00\x01", 2)); }, bmpRefused},
    // The largest RLE picture taken: its size is answered, and the readers
    // that need 24-bit pixels hold a black one of that size at most.
    {"rle8 claims 8192 x 8192", [] { return rleImage(8192, 8192, 8, std::string("\x00\x01", 2)); },
     [](const std::string& p, std::size_t) {
         int w = 0, h = 0;
         std::vector<unsigned char> out(48, 0xAB);
         return ktuBMPUtils::getImageSize(p.c_str(), &w, &h) && w == 8192 && h == 8192 &&
                ktuBMPUtils::getResizedImageData(p.c_str(), out.data(), 4, 4) && out == std::vector<unsigned char>(48, 0) &&
                !ktuBMPUtils::cropAndSaveImage(p.c_str(), (p + ".crop.bmp").c_str(), 0, 0, 4, 4);
     }},
};

// Runs in the death test's child: limits its address space, then exits 0
// when every answer was the expected one.
[[noreturn]] void answerUnderLimit(const Hostile& hostile, const std::string& path, std::size_t bytes)
{
#if KTU_LIMIT_ADDRESS_SPACE
    const rlimit limit{512u << 20, 512u << 20};
    if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(2);
#endif
    std::_Exit(hostile.answers(path, bytes) ? 0 : 1);
}

class HostileInput : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileInput, AnsweredWithinTheMemoryBound)
{
    ::testing::FLAGS_gtest_death_test_style = "fast";
    ktu::test::openGate();
    ktu::test::Sandbox sb;
    ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
    const std::string file = GetParam().make();
    sb.writeFile("in.bin", file);
    const std::string path = sb.path("in.bin");
    EXPECT_EXIT(answerUnderLimit(GetParam(), path, file.size()), ::testing::ExitedWithCode(0), "");
    // Refusals are answered by the result alone; only a picture whose pixels
    // cannot be read costs its line.
    for (const std::string& line : ktu::test::logTexts(sb.native("logs") / "output.log")) {
        EXPECT_EQ(line, "Common-ktuBMPUtils::getResizedImageData() - Image Data not found");
    }
}

INSTANTIATE_TEST_SUITE_P(Files, HostileInput, ::testing::ValuesIn(kHostile),
                         [](const ::testing::TestParamInfo<Hostile>& info) {
                             std::string name = info.param.name;
                             for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

}  // namespace

#endif
