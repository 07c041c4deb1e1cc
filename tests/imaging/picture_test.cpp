// Picture loading, measuring in HIMETRIC units and drawing.
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "bmpTestFiles.h"
#include "ktuTestSupport.h"

namespace {

using namespace bmptest;
using ktu::test::Sandbox;

class Pictures : public ::testing::Test {
protected:
    void SetUp() override { ktu::test::openGate(); }
    Sandbox sb;
};

TEST_F(Pictures, SizeInHimetricUnits)
{
    struct Case { int w, h; int32_t ppm; int hmW, hmH; bool everywhere; } cases[] = {
        {100, 100, 0, 2646, 2646, true},  // no stored resolution: 96 dpi
        {50, 20, 0, 1323, 529, true},
        {100, 100, 3780, 2646, 2646, true},  // 96 dpi stored
        {100, 100, 11811, 847, 847, false},  // 300 dpi stored
    };
    for (const auto& c : cases) {
#if defined(_WIN32)
        if (!c.everywhere) continue;  // the system measures bitmaps at the screen's resolution
#endif
        sb.writeFile("m.bmp", bmpImage(c.w, c.h, 24, 0, c.ppm));
        int w = 0, h = 0;
        ASSERT_TRUE(ktuBMPUtils::getImageSize2(sb.path("m.bmp").c_str(), &w, &h));
        EXPECT_EQ(w, c.hmW) << c.ppm;
        EXPECT_EQ(h, c.hmH) << c.ppm;
    }
}

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
    // Loading again releases the held picture (a leak check sees it otherwise).
    ASSERT_TRUE(ktuBMPUtils::LoadPictureFile(sb.path("a.bmp").c_str(), &held, nullptr));
    // Not a picture: read, the old picture released, nothing new.
    EXPECT_FALSE(ktuBMPUtils::LoadPictureFile(sb.path("not.bmp").c_str(), &held, nullptr));
    EXPECT_EQ(held, nullptr);
    EXPECT_FALSE(ktuBMPUtils::DrawImage(nullptr, sb.path("a.bmp").c_str(), POINT{0, 0}, nullptr, RECT{}));
}

#if !defined(_WIN32)

// A picture that only counts its releases.
struct CountingPicture : IPicture {
    int releases = 0;
    HRESULT get_Width(OLE_XSIZE_HIMETRIC*) override { return E_FAIL; }
    HRESULT get_Height(OLE_YSIZE_HIMETRIC*) override { return E_FAIL; }
    HRESULT Render(HDC, LONG, LONG, LONG, LONG, LONG, LONG, LONG, LONG, LPCRECT) override { return E_FAIL; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return static_cast<ULONG>(++releases); }
};

TEST_F(Pictures, HeldPictureIsReleasedOnlyOnceTheFileIsRead)
{
    sb.writeFile("a.bmp", bmpImage(4, 4));
    CountingPicture counting;
    IPicture* held = &counting;
    EXPECT_FALSE(ktuBMPUtils::LoadPictureFile(sb.path("none.bmp").c_str(), &held, nullptr));
    EXPECT_EQ(counting.releases, 0);
    ASSERT_TRUE(ktuBMPUtils::LoadPictureFile(sb.path("a.bmp").c_str(), &held, nullptr));
    EXPECT_EQ(counting.releases, 1);
    held->Release();
}

// Draws into a 400 x 300 surface and reports the box of drawn pixels and
// the colours at its corners.
struct Drawn {
    long left = -1, top = -1, right = -1, bottom = -1;  // right, bottom exclusive
    std::vector<unsigned char> topLeft, bottomRight;
};

Drawn draw(const std::string& path, POINT centre, RECT target, bool* ok)
{
    std::vector<unsigned char> pixels(400 * 3 * 300, 0x11);
    ktuSurface surface{400, 300, 1200, pixels.data()};
    ktuWindow window{RECT{0, 0, 400, 300}};
    *ok = ktuBMPUtils::DrawImage(&surface, path.c_str(), centre, &window, target);
    Drawn d;
    for (long y = 0; y < 300; ++y)
        for (long x = 0; x < 400; ++x) {
            if (pixels[1200 * y + 3 * x] == 0x11) continue;
            if (d.left < 0 || x < d.left) d.left = x;
            if (d.top < 0) d.top = y;
            if (x + 1 > d.right) d.right = x + 1;
            d.bottom = y + 1;
        }
    if (d.left >= 0) {
        d.topLeft.assign(&pixels[1200 * d.top + 3 * d.left], &pixels[1200 * d.top + 3 * d.left + 3]);
        d.bottomRight.assign(&pixels[1200 * (d.bottom - 1) + 3 * (d.right - 1)],
                             &pixels[1200 * (d.bottom - 1) + 3 * (d.right - 1) + 3]);
    }
    return d;
}

TEST_F(Pictures, DrawnCentredOnThePointAtTheTargetsSize)
{
    // 2 x 2 picture: stored row 1 is its top row.
    sb.writeFile("q.bmp", bmpImage(2, 2));
    std::vector<unsigned char> top{patternByte(0, 1, 0), patternByte(0, 1, 1), patternByte(0, 1, 2)};
    std::vector<unsigned char> bottom{patternByte(1, 0, 0), patternByte(1, 0, 1), patternByte(1, 0, 2)};
    struct Case { POINT at; RECT target; long l, t, r, b; bool whole; } cases[] = {
        {{300, 200}, {0, 0, 200, 100}, 200, 150, 400, 250, true},
        {{300, 200}, {200, 100, 0, 0}, 200, 150, 400, 250, true},     // reversed edges
        {{300, 200}, {50, 60, 250, 160}, 200, 150, 400, 250, true},     // its position is not used
        {{300, 200}, {5, 5, 5, 100}, 300, 153, 353, 206, true},       // zero width: HIMETRIC extent (53)
        {{20, 10}, {0, 0, 100, 60}, 0, 0, 70, 40, false},              // clipped at the surface's edge
        {{500, 500}, {0, 0, 10, 10}, -1, -1, -1, -1, false},           // entirely outside
    };
    for (const auto& c : cases) {
        bool ok = false;
        Drawn d = draw(sb.path("q.bmp"), c.at, c.target, &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(d.left, c.l);
        EXPECT_EQ(d.top, c.t);
        EXPECT_EQ(d.right, c.r);
        EXPECT_EQ(d.bottom, c.b);
        if (c.whole) {
            EXPECT_EQ(d.topLeft, top);
            EXPECT_EQ(d.bottomRight, bottom);
        }
    }
    bool ok = true;
    draw(sb.path("none.bmp"), POINT{1, 1}, RECT{}, &ok);
    EXPECT_FALSE(ok);
}

#endif

}  // namespace
