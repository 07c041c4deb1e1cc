// Helpers of the BMP tests: BMP file images built byte by byte, independent
// of the library's writer, and test patterns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bmptest {

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

inline uint32_t get32(const std::string& s, std::size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = v << 8 | static_cast<unsigned char>(s[at + i]);
    }
    return v;
}

// Pixel byte of the test pattern: distinct for every (x, y, channel) of a
// small picture.
inline unsigned char patternByte(int x, int y, int c)
{
    return static_cast<unsigned char>(x * 31 + y * 7 + c * 101 + 1);
}

// Packed raster of the pattern (rows in stored order).
inline std::vector<unsigned char> packedPattern(int w, int h)
{
    std::vector<unsigned char> out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) out.push_back(patternByte(x, y, c));
    return out;
}

inline std::size_t alignedRow(int w, int bits = 24)
{
    return ((static_cast<std::size_t>(bits) * w + 31) / 32) * 4;
}

// BMP-aligned raster of the pattern, alignment bytes zero.
inline std::vector<unsigned char> alignedPattern(int w, int h)
{
    std::vector<unsigned char> out(alignedRow(w) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) out[alignedRow(w) * y + 3 * x + c] = patternByte(x, y, c);
    return out;
}

// A complete BMP file image: headers, `palette` colour entries, and the
// pattern (24 bits) or zero bytes (other depths) as pixel array.
inline std::string bmpImage(int w, int h, int bits = 24, int palette = 0, int32_t xPelsPerMeter = 0)
{
    int rows = h < 0 ? -h : h;
    std::string s(54 + 4 * palette, '\0');
    s[0] = 'B';
    s[1] = 'M';
    put32(s, 10, 54 + 4 * palette);
    put32(s, 14, 40);
    put32(s, 18, static_cast<uint32_t>(w));
    put32(s, 22, static_cast<uint32_t>(h));
    put16(s, 26, 1);
    put16(s, 28, static_cast<uint32_t>(bits));
    put32(s, 34, static_cast<uint32_t>(alignedRow(w, bits) * rows));
    put32(s, 38, static_cast<uint32_t>(xPelsPerMeter));
    put32(s, 42, static_cast<uint32_t>(xPelsPerMeter));
    put32(s, 46, static_cast<uint32_t>(palette));
    if (bits == 24) {
        auto px = alignedPattern(w, rows);
        s.append(px.begin(), px.end());
    } else {
        s.append(alignedRow(w, bits) * rows, '\0');
    }
    put32(s, 2, static_cast<uint32_t>(s.size()));
    return s;
}

}  // namespace bmptest
