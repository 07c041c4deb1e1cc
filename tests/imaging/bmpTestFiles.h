// Helpers of the imaging tests: a fixture with its own log folder, BMP file
// images built byte by byte (independent of the library's writer), and test
// patterns.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace bmptest {

// Opens the gate and logs into the sandbox; log() reads the lines back.
class LoggingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ktu::test::openGate();
        ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
    }
    std::vector<std::string> log() { return ktu::test::logTexts(sb.native("logs") / "output.log"); }
    ktu::test::Sandbox sb;
};

// A test name made of a table entry's description.
inline std::string testName(std::string name)
{
    for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

// Runs `check` in a child process (where the gate is still shut) and expects it to answer true.
#define KTU_EXPECT_IN_CHILD(check) EXPECT_EXIT(std::exit((check)() ? 0 : 1), ::testing::ExitedWithCode(0), "")

inline void put16(std::string& s, std::size_t at, uint32_t v)
{
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

inline void put32(std::string& s, std::size_t at, uint32_t v)
{
    put16(s, at, v);
    put16(s, at + 2, v >> 16);
}

// Pixel byte of the test pattern, distinct for every (x, y, channel) of a small picture.
inline unsigned char patternByte(int x, int y, int c)
{
    return static_cast<unsigned char>(x * 31 + y * 7 + c * 101 + 1);
}

inline std::size_t alignedRow(int w, int bits = 24) { return ((static_cast<std::size_t>(bits) * w + 31) / 32) * 4; }

// Raster of the pattern in stored row order, packed or with zeroed alignment bytes.
inline std::vector<unsigned char> pattern(int w, int h, bool aligned)
{
    const std::size_t row = aligned ? alignedRow(w) : 3 * static_cast<std::size_t>(w);
    std::vector<unsigned char> out(row * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) out[row * y + 3 * x + c] = patternByte(x, y, c);
    return out;
}
inline std::vector<unsigned char> packedPattern(int w, int h) { return pattern(w, h, false); }
inline std::vector<unsigned char> alignedPattern(int w, int h) { return pattern(w, h, true); }

// Appends the pattern (24 bits) or zero bytes (other depths) as pixel array
// and sets bfSize.
inline std::string withPixels(std::string s, int w, int rows, int bits)
{
    if (bits == 24) {
        auto px = alignedPattern(w, rows);
        s.append(px.begin(), px.end());
    } else {
        s.append(alignedRow(w, bits) * rows, '\0');
    }
    put32(s, 2, static_cast<uint32_t>(s.size()));
    return s;
}

// A complete BMP file image with `palette` colour entries.
inline std::string bmpImage(int w, int h, int bits = 24, int palette = 0, int32_t xPelsPerMeter = 0)
{
    const int rows = h < 0 ? -h : h;
    std::string s(54 + 4 * palette, '\0');
    s[0] = 'B';
    s[1] = 'M';
    const std::pair<std::size_t, uint32_t> fields[] = {
        {10, 54 + 4 * palette}, {14, 40}, {18, static_cast<uint32_t>(w)}, {22, static_cast<uint32_t>(h)},
        {34, static_cast<uint32_t>(alignedRow(w, bits) * rows)}, {38, static_cast<uint32_t>(xPelsPerMeter)},
        {42, static_cast<uint32_t>(xPelsPerMeter)}, {46, static_cast<uint32_t>(palette)}};
    for (const auto& field : fields) put32(s, field.first, field.second);
    put16(s, 26, 1);
    put16(s, 28, static_cast<uint32_t>(bits));
    return withPixels(s, w, rows, bits);
}

// The same with the 12-byte core header and 3-byte colour entries.
inline std::string coreImage(int w, int h, int bits = 24, int palette = 0)
{
    std::string s(26 + 3 * palette, '\0');
    s[0] = 'B';
    s[1] = 'M';
    put32(s, 10, static_cast<uint32_t>(s.size()));
    put32(s, 14, 12);
    put16(s, 18, static_cast<uint32_t>(w));
    put16(s, 20, static_cast<uint32_t>(h));
    put16(s, 22, 1);
    put16(s, 24, static_cast<uint32_t>(bits));
    return withPixels(s, w, h, bits);
}

// `s` with the 16- or 32-bit field at `at` set to `v`.
inline std::string with16(std::size_t at, uint32_t v, std::string s = bmpImage(4, 3))
{
    put16(s, at, v);
    return s;
}
inline std::string with32(std::size_t at, uint32_t v, std::string s = bmpImage(4, 3))
{
    put32(s, at, v);
    return s;
}

// A run-length encoded file image (RLE8, or RLE4 when `bits` is 4) of the
// given codes, with a 16-entry colour table; biSizeImage is the codes' length
// unless `sizeImage` says otherwise.
inline std::string rleImage(int w, int h, int bits, const std::string& codes, int64_t sizeImage = -1)
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

}  // namespace bmptest
