// Picture loading, measuring in HIMETRIC units and drawing.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "bmpTestFiles.h"

namespace {

using namespace bmptest;
using Pictures = LoggingTest;

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
    // Loading again releases the held picture (the leak checker sees it otherwise), once the file is read.
    ASSERT_TRUE(ktuBMPUtils::LoadPictureFile(sb.path("a.bmp").c_str(), &held, nullptr));
    // Not a picture: read, the old picture released, nothing new.
    EXPECT_FALSE(ktuBMPUtils::LoadPictureFile(sb.path("not.bmp").c_str(), &held, nullptr));
    EXPECT_EQ(held, nullptr);
    EXPECT_FALSE(ktuBMPUtils::DrawImage(nullptr, sb.path("a.bmp").c_str(), POINT{0, 0}, nullptr, RECT{}));
#if !defined(_WIN32)  // there the system measures bitmaps at the screen's resolution
    sb.writeFile("m.bmp", bmpImage(100, 50, 24, 0, 11811));  // 300 dpi stored
    int w = 0, h = 0;
    ASSERT_TRUE(ktuBMPUtils::getImageSize2(sb.path("m.bmp").c_str(), &w, &h));
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(847, 423));
#endif
}

#if !defined(_WIN32)

// Draws into a 400 x 300 surface; answers the box of the drawn pixels (right
// and bottom exclusive, -1 when none) and the pixels at its two corners.
std::pair<std::vector<long>, std::string> draw(const std::string& path, POINT centre, RECT target, bool* ok)
{
    std::vector<unsigned char> px(400 * 3 * 300, 0x11);
    ktuSurface surface{400, 300, 1200, px.data()};
    ktuWindow window{RECT{0, 0, 400, 300}};
    *ok = ktuBMPUtils::DrawImage(&surface, path.c_str(), centre, &window, target);
    long l = 400, t = -1, r = -1, b = -1;
    for (long i = 0; i < 400 * 300; ++i) {
        if (px[3 * i] == 0x11) continue;
        l = std::min(l, i % 400), r = std::max(r, i % 400 + 1), b = i / 400 + 1;
        t = t < 0 ? i / 400 : t;
    }
    if (t < 0) return {{-1, -1, -1, -1}, ""};
    const unsigned char* topLeft = &px[1200 * t + 3 * l];
    const unsigned char* bottomRight = &px[1200 * (b - 1) + 3 * (r - 1)];
    return {{l, t, r, b}, std::string(topLeft, topLeft + 3) + std::string(bottomRight, bottomRight + 3)};
}

TEST_F(Pictures, DrawnCentredOnThePointAtTheTargetsSize)
{
    // 2 x 2 picture: stored row 1 is its top row.
    const std::string file = bmpImage(2, 2), corners = file.substr(54 + 8, 3) + file.substr(54 + 3, 3);
    sb.writeFile("q.bmp", file);
    struct Case { POINT at; RECT target; std::vector<long> box; bool whole; } cases[] = {
        {{300, 200}, {0, 0, 200, 100}, {200, 150, 400, 250}, true},
        {{300, 200}, {200, 100, 0, 0}, {200, 150, 400, 250}, true},    // reversed edges
        {{300, 200}, {50, 60, 250, 160}, {200, 150, 400, 250}, true},  // its position is not used
        {{300, 200}, {5, 5, 5, 100}, {300, 153, 353, 206}, true},      // zero width: HIMETRIC extent (53)
        {{20, 10}, {0, 0, 100, 60}, {0, 0, 70, 40}, false},            // clipped at the surface's edge
        {{500, 500}, {0, 0, 10, 10}, {-1, -1, -1, -1}, false},         // entirely outside
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

}  // namespace
