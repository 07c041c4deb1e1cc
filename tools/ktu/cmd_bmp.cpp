// ktu bmp: 24-bit BMP files through the library (size, crop, resize, zoom,
// raw raster, a generated test picture).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuCommand.h"

namespace {

using ktu::cli::Args;
using ktu::cli::fail;
using ktu::cli::kFailed;
using ktu::cli::libraryPath;
using ktu::cli::usage;

// Whole numbers for the arguments `names` (from args[from] on); a usage error
// names the first that is not one or lies below `least`.
bool parseInts(const Args& args, std::size_t from, std::vector<const char*> names, long least, std::vector<int>& out,
               int& code)
{
    for (std::size_t i = 0; i < names.size(); ++i) {
        long v = 0;
        if (!ktu::cli::parseInt(args[from + i], v) || v < least || v > 16384) {
            code = usage("%s: '%s' is not a whole number from %ld to 16384", names[i], args[from + i].c_str(), least);
            return false;
        }
        out.push_back(static_cast<int>(v));
    }
    return true;
}

// Packed rows (3 * width bytes) to BMP-aligned rows, as saveAsBMP takes them.
std::vector<unsigned char> aligned(const unsigned char* packed, int width, int height)
{
    std::size_t row = (3 * static_cast<std::size_t>(width) + 3) & ~static_cast<std::size_t>(3);
    std::vector<unsigned char> out(row * height, 0);
    for (int y = 0; y < height; ++y) {
        std::memcpy(out.data() + row * y, packed + 3 * static_cast<std::size_t>(width) * y, 3 * width);
    }
    return out;
}

// The size of a BMP file, or a failure said on standard error.
bool readSize(const std::string& typed, int& width, int& height)
{
    if (!ktuBMPUtils::getImageSize(libraryPath(typed).c_str(), &width, &height) || width <= 0 || height <= 0) {
        fail("cannot read '%s' as a BMP file", typed.c_str());
        return false;
    }
    return true;
}

bool readPacked(const std::string& typed, int& width, int& height, std::vector<unsigned char>& packed)
{
    if (!readSize(typed, width, height)) {
        return false;
    }
    packed.assign(3 * static_cast<std::size_t>(width) * height, 0);
    if (!ktuBMPUtils::getImageData(libraryPath(typed).c_str(), packed.data())) {
        fail("'%s' is not a 24-bit BMP file", typed.c_str());
        return false;
    }
    return true;
}

int saved(bool ok, const std::string& typed)
{
    if (!ok) {
        return fail("cannot write '%s'", typed.c_str());
    }
    std::printf("%s\n", typed.c_str());
    return 0;
}

// The bits per pixel that the file's header gives (0 when it cannot be read):
// the 16-bit field after the planes, in a core header (12 bytes) or an
// information header.
int bitsPerPixel(const std::string& typed)
{
    std::ifstream in(ktu::cli::nativePath(libraryPath(typed)), std::ios::binary);
    unsigned char h[30] = {};
    if (!in.read(reinterpret_cast<char*>(h), sizeof h) || h[0] != 'B' || h[1] != 'M') {
        return 0;
    }
    const unsigned headerSize = h[14] | h[15] << 8 | h[16] << 16 | static_cast<unsigned>(h[17]) << 24;
    const std::size_t at = headerSize == 12 ? 24 : 28;
    return h[at] | h[at + 1] << 8;
}

int info(const Args& a)
{
    int width = 0;
    int height = 0;
    if (!readSize(a[0], width, height)) {
        return kFailed;
    }
    std::printf("width %d\nheight %d\nbits per pixel %d\n", width, height, bitsPerPixel(a[0]));
    return 0;
}

int crop(const Args& a)
{
    std::vector<int> n;
    int code = 0;
    if (!parseInts(a, 2, {"X", "Y"}, 0, n, code) || !parseInts(a, 4, {"W", "H"}, 1, n, code)) {
        return code;
    }
    int width = 0;
    int height = 0;
    if (!readSize(a[0], width, height)) {
        return kFailed;
    }
    if (n[0] >= width || n[1] >= height) {
        return usage("crop: X Y (%d %d) lie outside the %d x %d picture '%s'", n[0], n[1], width, height,
                     a[0].c_str());
    }
    return saved(ktuBMPUtils::cropAndSaveImage(libraryPath(a[0]).c_str(), libraryPath(a[1]).c_str(), n[0], n[1],
                                               n[2], n[3]),
                 a[1]);
}

int resize(const Args& a)
{
    std::vector<int> n;
    int code = 0;
    if (!parseInts(a, 2, {"W", "H"}, 1, n, code)) {
        return code;
    }
    std::string from = libraryPath(a[0]);
    std::string to = libraryPath(a[1]);
    int width = 0;
    int height = 0;
    if (!readSize(a[0], width, height)) {
        return kFailed;
    }
    std::vector<unsigned char> out(ktuBMPUtils::getBMPFormatDataLen(n[0], n[1]) + 3 * n[0] * 4, 0);
    ktuBMPUtils::getResizedImageData(from.c_str(), out.data(), n[0], n[1]);
    if (width == n[0] && height == n[1]) {  // the same size comes back packed
        return saved(ktuBMPUtils::saveAsBMP(width, height, aligned(out.data(), width, height).data(), to.c_str()),
                     a[1]);
    }
    // The resize produces trunc(width / (width / newWidth)) columns, which can
    // be one short of the request; so do the rows.
    double sx = static_cast<double>(width) / n[0];
    double sy = static_cast<double>(height) / n[1];
    int producedWidth = static_cast<int>(width / sx);
    int producedHeight = static_cast<int>(height / sy);
    return saved(ktuBMPUtils::saveAsBMP(producedWidth, producedHeight, out.data(), to.c_str()), a[1]);
}

int zoom(const Args& a)
{
    // The capture rectangle lies inside the unit square, left below right
    // and bottom below top; the library leaves other rectangles alone.
    const char* names[4] = {"LEFT", "RIGHT", "BOTTOM", "TOP"};
    double edge[4];
    for (int i = 0; i < 4; ++i) {
        if (!ktu::cli::parseDouble(a[2 + i], edge[i]) || !(edge[i] >= 0.0 && edge[i] <= 1.0)) {
            return usage("zoom: %s '%s' is not a number from 0 to 1", names[i], a[2 + i].c_str());
        }
    }
    for (int i = 0; i < 4; i += 2) {
        if (!(edge[i] < edge[i + 1])) {
            return usage("zoom: %s '%s' must be above %s '%s'", names[i + 1], a[3 + i].c_str(), names[i],
                         a[2 + i].c_str());
        }
    }
    std::string to = libraryPath(a[1]);
    int width = 0;
    int height = 0;
    std::vector<unsigned char> frame;
    if (!readPacked(a[0], width, height, frame)) {
        return kFailed;
    }
    ktuRelativeBbox capture;
    capture.setRelativeLeftCol(edge[0]);
    capture.setRelativeRightCol(edge[1]);
    capture.setRelativeBottomRow(edge[2]);
    capture.setRelativeTopRow(edge[3]);
    ktuVideoStreamManipulator zoomer;
    zoomer.setImageSize(static_cast<unsigned>(width), static_cast<unsigned>(height));
    zoomer.setCaptureRect(&capture, true);
    std::vector<unsigned char> zoomed(frame);
    zoomer.applyChanges(frame.data(), zoomed.data());
    return saved(ktuBMPUtils::saveAsBMP(width, height, aligned(zoomed.data(), width, height).data(), to.c_str()),
                 a[1]);
}

int raw(const Args& a)
{
    int width = 0;
    int height = 0;
    std::vector<unsigned char> packed;
    if (!readPacked(a[0], width, height, packed)) {
        return kFailed;
    }
    std::FILE* out = std::fopen(a[1].c_str(), "wb");
    bool ok = out != nullptr && std::fwrite(packed.data(), 1, packed.size(), out) == packed.size();
    if (out != nullptr && std::fclose(out) != 0) {
        ok = false;
    }
    if (!ok) {
        return fail("cannot write '%s'", a[1].c_str());
    }
    std::printf("%s %dx%d, %zu bytes of packed rows (bottom row first, blue green red)\n", a[1].c_str(), width,
                height, packed.size());
    return 0;
}

// A test picture: colour gradients with a white frame and a dark cross, so
// that crops, zooms and flips are easy to see.
int pattern(const Args& a)
{
    std::vector<int> n;
    int code = 0;
    if (!parseInts(a, 1, {"W", "H"}, 1, n, code)) {
        return code;
    }
    const int w = n[0];
    const int h = n[1];
    std::vector<unsigned char> packed(3 * static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            unsigned char* p = packed.data() + 3 * (static_cast<std::size_t>(y) * w + x);
            bool frame = x < 2 || y < 2 || x >= w - 2 || y >= h - 2;
            bool cross = x == w / 2 || y == h / 2;
            p[0] = frame ? 255 : cross ? 32 : static_cast<unsigned char>(255 * x / w);  // blue
            p[1] = frame ? 255 : cross ? 32 : static_cast<unsigned char>(255 * y / h);  // green
            p[2] = frame ? 255 : cross ? 32 : static_cast<unsigned char>(255 - 255 * x / w);  // red
        }
    }
    return saved(ktuBMPUtils::saveAsBMP(w, h, aligned(packed.data(), w, h).data(), libraryPath(a[0]).c_str()), a[0]);
}

int runBmp(const Args& args)
{
    struct Sub {
        const char* name;
        std::size_t arguments;
        int (*run)(const Args&);
    } subs[] = {{"info", 1, info},   {"crop", 6, crop}, {"resize", 4, resize},
                {"zoom", 6, zoom},   {"raw", 2, raw},   {"pattern", 3, pattern}};
    if (args.empty()) {
        return usage("missing ACTION (info, crop, resize, zoom, raw or pattern)");
    }
    for (const auto& sub : subs) {
        if (args[0] == sub.name) {
            if (args.size() - 1 != sub.arguments) {
                return args.size() - 1 < sub.arguments
                           ? usage("%s: expects %zu arguments, got %zu", sub.name, sub.arguments, args.size() - 1)
                           : usage("%s: unexpected argument '%s'", sub.name, args[sub.arguments + 1].c_str());
            }
            ktu::cli::handshake();
            return sub.run(Args(args.begin() + 1, args.end()));
        }
    }
    return usage("unknown ACTION '%s' (info, crop, resize, zoom, raw or pattern)", args[0].c_str());
}

ktu::cli::Registration bmpCommand{
    "bmp",
    "info FILE | crop SRC DST X Y W H | resize SRC DST W H | zoom SRC DST LEFT RIGHT BOTTOM TOP | raw FILE OUT | "
    "pattern DST W H",
    "24-bit BMP files: size and bit depth, crop (stored row order, y = 0 the bottom row), resize, digital zoom to a "
    "relative capture rectangle (0 <= LEFT < RIGHT <= 1, 0 <= BOTTOM < TOP <= 1), the packed raster, a generated "
    "test picture",
    runBmp};

}  // namespace
