// ktuRelativeBbox: layout, setters that shift rather than shrink, the center
// cache, the union and the containment test.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bmpTestFiles.h"

namespace {

struct Edges { double left, right, bottom, top; };

// The six doubles after the table pointer, in declaration order: right, left,
// bottom, top, center X, center Y. Applications built against the header rely
// on this layout.
constexpr std::size_t kFirstEdge = (sizeof(void*) + alignof(double) - 1) / alignof(double) * alignof(double);

std::vector<double> raw(const ktuRelativeBbox& box)
{
    std::vector<double> v(6);
    std::memcpy(v.data(), reinterpret_cast<const char*>(&box) + kFirstEdge, 6 * sizeof(double));
    return v;
}

ktuRelativeBbox make(Edges e)
{
    ktuRelativeBbox box;
    box.setDimensions(e.top, e.bottom, e.left, e.right);
    return box;
}

void expectEdges(ktuRelativeBbox& box, Edges e)
{
    EXPECT_DOUBLE_EQ(box.getRelativeLeftCol(), e.left);
    EXPECT_DOUBLE_EQ(box.getRelativeRightCol(), e.right);
    EXPECT_DOUBLE_EQ(box.getRelativeBottomRow(), e.bottom);
    EXPECT_DOUBLE_EQ(box.getRelativeTopRow(), e.top);
}

using RelativeBbox = bmptest::LoggingTest;

TEST_F(RelativeBbox, SettersResizeAndShiftBackIntoTheFrame)
{
    using Op = void (ktuRelativeBbox::*)(double);
    const Op Width = &ktuRelativeBbox::setRelativeWidth, Height = &ktuRelativeBbox::setRelativeHeight;
    const Op CenterX = &ktuRelativeBbox::setRelativeCenterX, CenterY = &ktuRelativeBbox::setRelativeCenterY;
    const struct { Edges start; Op op; double value; Edges expected; } cases[] = {
        {{0.0, 1.0, 0.0, 1.0}, Width, 1.0, {0.0, 1.0, 0.0, 1.0}},
        {{0.0, 1.0, 0.0, 1.0}, Width, -0.2, {0.6, 0.4, 0.0, 1.0}},          // crossed, kept
        {{0.2, 0.4, 0.0, 1.0}, Width, 0.0, {0.3, 0.3, 0.0, 1.0}},
        {{0.8, 0.9, 0.0, 1.0}, Width, 0.4, {0.6, 1.0, 0.0, 1.0}},           // right past 1.0: shifted left
        {{0.0, 1.0, 0.4, 0.6}, Height, 0.6, {0.0, 1.0, 0.2, 0.8}},
        {{0.0, 1.0, 0.0, 0.2}, Height, 0.6, {0.0, 1.0, 0.0, 0.6}},          // bottom below 0.0: shifted up
        {{0.6, 0.9, 0.0, 1.0}, CenterX, 0.9, {0.7, 1.0, 0.0, 1.0}},
        {{0.0, 2.0, 0.0, 1.0}, CenterX, 0.5, {0.0, 2.0, 0.0, 1.0}},         // wider than the frame
        {{0.0, 1.0, -0.5, 1.5}, CenterY, 0.5, {0.0, 1.0, 0.0, 2.0}},        // top first, then bottom
        {{0.0, 1.0, 0.0, 1.0}, CenterX, 0.5, {0.0, 1.0, 0.0, 1.0}},         // edges on 0.0/1.0 stay
        {{0.1, 0.3, 0.5, 0.7}, CenterY, 0.1, {0.1, 0.3, 0.0, 0.2}},
        {{0.2, 0.4, 0.3, 0.5}, Width, 1.0000001, {0.2, 0.4, 0.3, 0.5}},    // more than the frame: logged, refused
        {{0.2, 0.4, 0.3, 0.5}, Height, 2.0, {0.2, 0.4, 0.3, 0.5}},
    };
    for (const auto& c : cases) {
        ktuRelativeBbox box = make(c.start);
        (box.*c.op)(c.value);
        SCOPED_TRACE(::testing::Message() << "case " << &c - cases);
        expectEdges(box, c.expected);
    }
    EXPECT_EQ(log(), (std::vector<std::string>{"Common-wrong argument to ktuRelativeBbox::setRelativeWidth()",
                                               "Common-wrong argument to ktuRelativeBbox::setRelativeHeight()"}));
}

TEST_F(RelativeBbox, DefaultIsTheWholeFrameInDeclaredLayoutAndTheCenterCacheCanBeStale)
{
    static_assert(sizeof(ktuRelativeBbox) == kFirstEdge + 6 * sizeof(double), "layout");
    ktuRelativeBbox fresh;
    EXPECT_EQ(raw(fresh), (std::vector<double>{1.0, 0.0, 0.0, 1.0, 0.5, 0.5}));
    EXPECT_TRUE(fresh.checkBboxDimensions());

    // The center cache is stale until a getter or an edge setter runs.
    ktuRelativeBbox box;
    box.setRelativeWidth(0.5);         // 0.25..0.75, cache not refreshed by the setter
    box.setDimensions(3.0, -1.0, -2.0, 5.0);
    EXPECT_EQ(raw(box)[4], 1.5);        // setDimensions stores unclamped and refreshes
    box.setRelativeCenterX(0.5);        // 0.0..7.0, validated but cache not refreshed
    ktuRelativeBbox copy(box);
    EXPECT_EQ(raw(copy)[4], 1.5);       // the copy takes the stale cache as stored
    EXPECT_DOUBLE_EQ(copy.getRelativeCenterX(), 3.5);
    EXPECT_EQ(raw(copy)[4], 3.5);

    ktuRelativeBbox merged = make({0.1, 0.2, 0.1, 0.2});
    ktuRelativeBbox other = make({0.6, 0.9, 0.7, 0.8});
    EXPECT_EQ(&(merged + other), &merged);
    EXPECT_EQ(raw(merged), (std::vector<double>{0.9, 0.1, 0.1, 0.8, 0.15000000000000002, 0.15000000000000002}));
    EXPECT_DOUBLE_EQ(merged.getRelativeCenterY(), 0.45);  // the getter refreshes the cache
    expectEdges(other, {0.6, 0.9, 0.7, 0.8});
    ktuRelativeBbox assigned;
    assigned = box;
    EXPECT_EQ(raw(assigned), raw(box));
}

TEST_F(RelativeBbox, ContainmentWithAllowances)
{
    // Binary fractions, so that the excesses are exact.
    ktuRelativeBbox outer = make({0.25, 0.75, 0.25, 0.75});
    struct Case { Edges inner; double horizontal, vertical; bool expected; } cases[] = {
        {{0.25, 0.75, 0.25, 0.75}, 0.0, 0.0, true},        // shared edges
        {{0.375, 0.5, 0.375, 0.5}, -1.0, -1.0, true},      // inside: allowances never compared
        // An excess equal to the allowance is too much: top, bottom, right, left.
        {{0.25, 0.75, 0.25, 0.875}, 1.0, 0.125, false}, {{0.25, 0.75, 0.25, 0.875}, 0.0, 0.126, true},
        {{0.25, 0.75, 0.125, 0.75}, 1.0, 0.125, false}, {{0.25, 0.75, 0.125, 0.75}, 0.0, 0.126, true},
        {{0.25, 0.875, 0.25, 0.75}, 0.125, 1.0, false}, {{0.25, 0.875, 0.25, 0.75}, 0.126, 0.0, true},
        {{0.125, 0.75, 0.25, 0.75}, 0.125, 1.0, false}, {{0.125, 0.75, 0.25, 0.75}, 0.126, 0.0, true},
    };
    for (const Case& c : cases) {
        ktuRelativeBbox inner = make(c.inner);
        EXPECT_EQ(inner.checkOverlapWithinAllowance(&outer, c.horizontal, c.vertical), c.expected)
            << c.inner.left << ".." << c.inner.right << " x " << c.inner.bottom << ".." << c.inner.top;
    }
    EXPECT_FALSE(outer.checkOverlapWithinAllowance(nullptr, 1.0, 1.0));
    EXPECT_EQ(log(), (std::vector<std::string>{"Common-ktuRelativeBbox::checkOverlapWithinAllowance()"}));
}

}  // namespace
