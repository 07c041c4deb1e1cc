// Files exchanged with Pillow both ways, with the same pixels. Skipped where
// Pillow is missing.
#if !defined(_WIN32)

#include <cstdlib>
#include <string>
#include <vector>

#include "bmpTestFiles.h"

namespace {

using namespace bmptest;

const char* kScript = R"(import sys
from PIL import Image
if sys.argv[1] == 'dump':
    im = Image.open(sys.argv[2]); im.load()
    open(sys.argv[3], 'wb').write(im.convert('RGB').tobytes())
else:
    w, h = int(sys.argv[4]), int(sys.argv[5])
    data = bytes(((x * 31 + y * 7 + c * 101 + 1) & 255) for y in range(h) for x in range(w) for c in range(3))
    kw = {'dpi': (int(sys.argv[6]),) * 2} if len(sys.argv) > 6 else {}
    Image.frombytes('RGB', (w, h), data).save(sys.argv[2], sys.argv[3], **kw)
)";

class Interop : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The first Python that has PIL (a user's python3 may lack it).
        for (const char* candidate : {"/usr/bin/python3", "python3"}) {
            std::string probe = std::string(candidate) + " -c 'import PIL' >/dev/null 2>&1";
            if (std::system(probe.c_str()) == 0 && python.empty()) python = candidate;
        }
        if (python.empty()) GTEST_SKIP() << "no python3 with PIL";
        ktu::test::openGate();
        sb.writeFile("pil.py", kScript);
    }
    bool pil(const std::string& args)
    {
        std::string cmd = python + " '" + sb.native("pil.py").string() + "' " + args + " >/dev/null";
        return std::system(cmd.c_str()) == 0;
    }
    std::string native(const char* name) { return "'" + sb.native(name).string() + "'"; }
    ktu::test::Sandbox sb;
    std::string python;
};

// Pattern byte i of a w x h picture stored bottom row first, blue first, read
// top row first, red first (or the other way round).
unsigned char turned(int i, int w, int h) { return patternByte(i / 3 % w, h - 1 - i / (3 * w), 2 - i % 3); }

TEST_F(Interop, PicturesGoBothWaysBetweenTheLibraryAndPillow)
{
    for (int w : {1, 2, 3, 8}) {
        auto px = alignedPattern(w, 7);
        ASSERT_TRUE(ktuBMPUtils::saveAsBMP(w, 7, px.data(), sb.path("lib.bmp").c_str()));
        ASSERT_TRUE(pil("dump " + native("lib.bmp") + " " + native("dump.rgb")));
        const std::string rgb = sb.readFile("dump.rgb");
        ASSERT_EQ(rgb.size(), 3u * w * 7);
        for (int i = 0; i < 3 * w * 7; ++i) ASSERT_EQ(static_cast<unsigned char>(rgb[i]), turned(i, w, 7)) << w;

        ASSERT_TRUE(pil("write " + native("pil.bmp") + " BMP " + std::to_string(w) + " 7"));
        const std::string path = sb.path("pil.bmp");
        EXPECT_TRUE(ktuBMPUtils::checkBMPFormat(path.c_str()));
        int width = 0, height = 0;
        ASSERT_TRUE(ktuBMPUtils::getImageSize(path.c_str(), &width, &height));
        ASSERT_EQ(std::make_pair(width, height), std::make_pair(w, 7));
        std::vector<unsigned char> out(3 * w * 7);
        ASSERT_TRUE(ktuBMPUtils::getImageData(path.c_str(), out.data()));
        for (int i = 0; i < 3 * w * 7; ++i) ASSERT_EQ(out[i], turned(i, w, 7)) << w;
    }
}

TEST_F(Interop, OtherFormatsAreMeasuredAndDrawn)
{
    struct Case { const char* file; const char* format; int dpi; int hm; bool exact; } cases[] = {
        {"p.png", "PNG", 0, 2646, true},  {"d.png", "PNG", 300, 847, true},
        {"p.jpg", "JPEG", 300, 847, false}, {"p.gif", "GIF", 0, 2646, false},
    };
    for (const auto& c : cases) {
        std::string dpi = c.dpi ? " " + std::to_string(c.dpi) : "";
        ASSERT_TRUE(pil(std::string("write ") + native(c.file) + " " + c.format + " 100 100" + dpi));
        int w = 0, h = 0;
        ASSERT_TRUE(ktuBMPUtils::getImageSize2(sb.path(c.file).c_str(), &w, &h)) << c.file;
        EXPECT_EQ(std::make_pair(w, h), std::make_pair(c.hm, c.hm)) << c.file;
        if (!c.exact) continue;
        std::vector<unsigned char> pixels(100 * 100 * 3);
        ktuSurface surface{100, 100, 300, pixels.data()};
        ktuWindow window{RECT{0, 0, 100, 100}};
        ASSERT_TRUE(ktuBMPUtils::DrawImage(&surface, sb.path(c.file).c_str(), POINT{50, 50}, &window,
                                           RECT{0, 0, 100, 100}));
        for (int i = 0; i < 30000; ++i) ASSERT_EQ(pixels[i], patternByte(i / 3 % 100, i / 300, 2 - i % 3)) << c.file;
    }
}

}  // namespace

#endif
