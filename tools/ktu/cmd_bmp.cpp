// ktu bmp: 24-bit BMP files through the library (size, crop, resize, zoom,
// raw raster, a generated test picture).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuCommand.h"
#include "ktuPlatform.h"

namespace {

using ktu::cli::Args;
using ktu::cli::kUsage;
using ktu::cli::libraryPath;

bool parseInts(const Args& args, std::size_t from, std::size_t count, std::vector<int>& out)
{
    for (std::size_t i = from; i < from + count; ++i) {
        long v = 0;
        if (!ktu::cli::parseInt(args[i], v) || v < -2147483647L || v > 2147483647L) {
            return false;
        }
        out.push_back(static_cast<int>(v));
    }
    return true;
}

bool parseDouble(const std::string& text, double& value)
{
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && errno == 0 && end != nullptr && *end == '\0';
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

bool readPacked(const std::string& path, int& width, int& height, std::vector<unsigned char>& packed)
{
    if (!ktuBMPUtils::getImageSize(path.c_str(), &width, &height) || width <= 0 || height <= 0) {
        std::fprintf(stderr, "ktu bmp: cannot read the size of '%s'\n", path.c_str());
        return false;
    }
    packed.assign(3 * static_cast<std::size_t>(width) * height, 0);
    if (!ktuBMPUtils::getImageData(path.c_str(), packed.data())) {
        std::fprintf(stderr, "ktu bmp: '%s' is not a 24-bit BMP file\n", path.c_str());
        return false;
    }
    return true;
}

int saved(bool ok, const std::string& path)
{
    if (!ok) {
        std::fprintf(stderr, "ktu bmp: cannot write '%s'\n", path.c_str());
        return 1;
    }
    std::printf("%s\n", path.c_str());
    return 0;
}

int info(const Args& a)
{
    std::string path = libraryPath(a[0]);
    int width = 0;
    int height = 0;
    if (!ktuBMPUtils::getImageSize(path.c_str(), &width, &height)) {
        std::fprintf(stderr, "ktu bmp: cannot read '%s'\n", path.c_str());
        return 1;
    }
    // The bit depth as the library's bitmap loader reports it.
    const auto& pictures = ktu::platform::ops().picture;
    BITMAP description{};
    HBITMAP bitmap = pictures.loadBitmap(path.c_str());
    if (bitmap != nullptr) {
        pictures.describeBitmap(bitmap, &description);
        pictures.deleteBitmap(bitmap);
    }
    std::printf("width %d\nheight %d\nbits per pixel %d\n", width, height, description.bmBitsPixel);
    return 0;
}

int crop(const Args& a)
{
    std::vector<int> n;
    if (!parseInts(a, 2, 4, n)) {
        return kUsage;
    }
    std::string to = libraryPath(a[1]);
    return saved(ktuBMPUtils::cropAndSaveImage(libraryPath(a[0]).c_str(), to.c_str(), n[0], n[1], n[2], n[3]), to);
}

int resize(const Args& a)
{
    std::vector<int> n;
    if (!parseInts(a, 2, 2, n) || n[0] <= 0 || n[1] <= 0) {
        return kUsage;
    }
    std::string from = libraryPath(a[0]);
    std::string to = libraryPath(a[1]);
    int width = 0;
    int height = 0;
    if (!ktuBMPUtils::getImageSize(from.c_str(), &width, &height) || width <= 0 || height <= 0) {
        std::fprintf(stderr, "ktu bmp: cannot read '%s'\n", from.c_str());
        return 1;
    }
    std::vector<unsigned char> out(ktuBMPUtils::getBMPFormatDataLen(n[0], n[1]) + 3 * n[0] * 4, 0);
    ktuBMPUtils::getResizedImageData(from.c_str(), out.data(), n[0], n[1]);
    if (width == n[0] && height == n[1]) {  // the same size comes back packed
        return saved(ktuBMPUtils::saveAsBMP(width, height, aligned(out.data(), width, height).data(), to.c_str()), to);
    }
    // The resize produces trunc(width / (width / newWidth)) columns, which can
    // be one short of the request; so do the rows.
    double sx = static_cast<double>(width) / n[0];
    double sy = static_cast<double>(height) / n[1];
    int producedWidth = static_cast<int>(width / sx);
    int producedHeight = static_cast<int>(height / sy);
    return saved(ktuBMPUtils::saveAsBMP(producedWidth, producedHeight, out.data(), to.c_str()), to);
}

int zoom(const Args& a)
{
    double edge[4];  // left, right, bottom, top
    for (int i = 0; i < 4; ++i) {
        if (!parseDouble(a[2 + i], edge[i])) {
            return kUsage;
        }
    }
    std::string to = libraryPath(a[1]);
    int width = 0;
    int height = 0;
    std::vector<unsigned char> frame;
    if (!readPacked(libraryPath(a[0]), width, height, frame)) {
        return 1;
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
    return saved(ktuBMPUtils::saveAsBMP(width, height, aligned(zoomed.data(), width, height).data(), to.c_str()), to);
}

int raw(const Args& a)
{
    int width = 0;
    int height = 0;
    std::vector<unsigned char> packed;
    if (!readPacked(libraryPath(a[0]), width, height, packed)) {
        return 1;
    }
    std::FILE* out = std::fopen(a[1].c_str(), "wb");
    bool ok = out != nullptr && std::fwrite(packed.data(), 1, packed.size(), out) == packed.size();
    if (out != nullptr && std::fclose(out) != 0) {
        ok = false;
    }
    if (!ok) {
        std::fprintf(stderr, "ktu bmp: cannot write '%s'\n", a[1].c_str());
        return 1;
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
    if (!parseInts(a, 1, 2, n) || n[0] <= 0 || n[1] <= 0 || n[0] > 16384 || n[1] > 16384) {
        return kUsage;
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
    std::string to = libraryPath(a[0]);
    return saved(ktuBMPUtils::saveAsBMP(w, h, aligned(packed.data(), w, h).data(), to.c_str()), to);
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
        return kUsage;
    }
    for (const auto& sub : subs) {
        if (args[0] == sub.name) {
            if (args.size() - 1 != sub.arguments) {
                return kUsage;
            }
            ktu::cli::handshake();
            return sub.run(Args(args.begin() + 1, args.end()));
        }
    }
    return kUsage;
}

ktu::cli::Registration bmpCommand{
    "bmp",
    "info FILE | crop SRC DST X Y W H | resize SRC DST W H | zoom SRC DST LEFT RIGHT BOTTOM TOP | raw FILE OUT | "
    "pattern DST W H",
    "24-bit BMP files: size and bit depth, crop (stored row order, y = 0 the bottom row), resize, digital zoom to a "
    "relative capture rectangle, the packed raster, a generated test picture",
    runBmp};

}  // namespace
