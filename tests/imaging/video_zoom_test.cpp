// ktuRelativeBbox, and the video zoom beyond the pixels raster_oracle_test.cpp checks.
#include <climits>
#include <cstring>
#include <numeric>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Pixels = std::vector<int>;

struct Edges { double left, right, bottom, top; };

ktuRelativeBbox box(Edges e)
{
    ktuRelativeBbox b;
    b.setDimensions(e.top, e.bottom, e.left, e.right);
    return b;
}

// The six doubles after the table pointer, in declaration order: applications rely on this layout.
constexpr std::size_t kFirstEdge = (sizeof(void*) + alignof(double) - 1) / alignof(double) * alignof(double);

std::vector<double> raw(const ktuRelativeBbox& box)
{
    std::vector<double> v(6);
    std::memcpy(v.data(), reinterpret_cast<const char*>(&box) + kFirstEdge, 6 * sizeof(double));
    return v;
}

using RelativeBbox = ktu::test::LoggedTest;

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
        ktuRelativeBbox b = box(c.start);
        (b.*c.op)(c.value);
        SCOPED_TRACE(::testing::Message() << "case " << &c - cases);
        EXPECT_DOUBLE_EQ(b.getRelativeLeftCol(), c.expected.left);
        EXPECT_DOUBLE_EQ(b.getRelativeRightCol(), c.expected.right);
        EXPECT_DOUBLE_EQ(b.getRelativeBottomRow(), c.expected.bottom);
        EXPECT_DOUBLE_EQ(b.getRelativeTopRow(), c.expected.top);
    }
    EXPECT_EQ(logs(), (std::vector<std::string>{"Common-wrong argument to ktuRelativeBbox::setRelativeWidth()",
                                                "Common-wrong argument to ktuRelativeBbox::setRelativeHeight()"}));
}

TEST_F(RelativeBbox, DefaultLayoutStaleCenterCacheUnionAndContainment)
{
    static_assert(sizeof(ktuRelativeBbox) == kFirstEdge + 6 * sizeof(double), "layout");
    ktuRelativeBbox fresh;
    EXPECT_EQ(raw(fresh), (std::vector<double>{1.0, 0.0, 0.0, 1.0, 0.5, 0.5}));
    EXPECT_TRUE(fresh.checkBboxDimensions());
    // The center cache is stale until a getter or an edge setter runs.
    ktuRelativeBbox b;
    b.setRelativeWidth(0.5);  // 0.25..0.75, cache not refreshed by the setter
    b.setDimensions(3.0, -1.0, -2.0, 5.0);
    EXPECT_EQ(raw(b)[4], 1.5);  // setDimensions stores unclamped and refreshes
    b.setRelativeCenterX(0.5);  // 0.0..7.0, validated but cache not refreshed
    ktuRelativeBbox copy(b);
    EXPECT_EQ(raw(copy)[4], 1.5);  // the copy takes the stale cache as stored
    EXPECT_DOUBLE_EQ(copy.getRelativeCenterX(), 3.5);
    EXPECT_EQ(raw(copy)[4], 3.5);
    ktuRelativeBbox merged = box({0.1, 0.2, 0.1, 0.2});
    ktuRelativeBbox other = box({0.6, 0.9, 0.7, 0.8});
    EXPECT_EQ(&(merged + other), &merged);
    EXPECT_EQ(raw(merged), (std::vector<double>{0.9, 0.1, 0.1, 0.8, 0.15000000000000002, 0.15000000000000002}));
    EXPECT_DOUBLE_EQ(merged.getRelativeCenterY(), 0.45);  // the getter refreshes the cache

    // Containment: an excess equal to the allowance is too much.
    ktuRelativeBbox outer = box({0.25, 0.75, 0.25, 0.75});  // binary fractions: the excesses are exact
    struct Case { Edges inner; double horizontal, vertical; bool expected; } cases[] = {
        {{0.25, 0.75, 0.25, 0.75}, 0.0, 0.0, true},        // shared edges
        {{0.375, 0.5, 0.375, 0.5}, -1.0, -1.0, true},      // inside: allowances never compared
        {{0.25, 0.75, 0.25, 0.875}, 1.0, 0.125, false}, {{0.25, 0.75, 0.25, 0.875}, 0.0, 0.126, true},
        {{0.25, 0.75, 0.125, 0.75}, 1.0, 0.125, false}, {{0.25, 0.75, 0.125, 0.75}, 0.0, 0.126, true},
        {{0.25, 0.875, 0.25, 0.75}, 0.125, 1.0, false}, {{0.25, 0.875, 0.25, 0.75}, 0.126, 0.0, true},
        {{0.125, 0.75, 0.25, 0.75}, 0.125, 1.0, false}, {{0.125, 0.75, 0.25, 0.75}, 0.126, 0.0, true},
    };
    for (const Case& c : cases) {
        ktuRelativeBbox inner = box(c.inner);
        EXPECT_EQ(inner.checkOverlapWithinAllowance(&outer, c.horizontal, c.vertical), c.expected)
            << c.inner.left << ".." << c.inner.right << " x " << c.inner.bottom << ".." << c.inner.top;
    }
    EXPECT_FALSE(outer.checkOverlapWithinAllowance(nullptr, 1.0, 1.0));
    EXPECT_EQ(logs(), (std::vector<std::string>{"Common-ktuRelativeBbox::checkOverlapWithinAllowance()"}));
}

// Zooms a frame whose pixel i is (i, i, i), in place or into a frame of `fill`; answers each pixel's first byte,
// or -1 when the copying form changed its source.
Pixels zoomed(ktuVideoStreamManipulator& z, unsigned pixels, bool inPlace, unsigned char fill = 99)
{
    Bytes in, out(3 * pixels, fill);
    for (unsigned i = 0; i < pixels; ++i) in.insert(in.end(), 3, static_cast<unsigned char>(i));
    const Bytes source = in;
    inPlace ? z.applyChanges(in.data()) : z.applyChanges(in.data(), out.data());
    if (!inPlace && in != source) return {-1};
    Pixels v;
    for (std::size_t i = 0; i < out.size(); i += 3) v.push_back(inPlace ? in[i] : out[i]);
    return v;
}

using VideoZoom = ktu::test::LoggedTest;

TEST_F(VideoZoom, PassThroughBoundsFaultsAndCopiesOwningTheirBuffers)
{
    ktuRelativeBbox half = box({0.0, 0.5, 0.0, 1.0});
    ktuVideoStreamManipulator z, empty;
    z.setImageSize(4, 1);
    z.setCaptureRect(&half, true);
    z.setCaptureRect(nullptr, false);  // the flag alone; the rectangle is not read
    EXPECT_EQ(zoomed(z, 4, false), (Pixels{0, 1, 2, 3}));
    EXPECT_EQ(zoomed(z, 4, true), (Pixels{0, 1, 2, 3}));
    z.setCaptureRect(&half, true);  // columns 0..2, factor 2, for width 4
    z.setImageSize(8, 1);
    EXPECT_EQ(zoomed(z, 8, false), (Pixels{0, 0, 1, 1, 99, 99, 99, 99}));

    empty.setCaptureRect(&half, true);  // taken at size 0 x 0: empty bounds
    empty.setCaptureRect(nullptr, true);
    Bytes frame(24);
    std::iota(frame.begin(), frame.end(), 0);
    const Bytes before = frame;
    empty.setImageSize(UINT_MAX, UINT_MAX);  // more bytes than memory can address: no buffer
    empty.applyChanges(frame.data());
    empty.setImageSize(4, 2);
    empty.applyChanges(nullptr, nullptr);  // the empty bounds: nothing is read, written or checked
    EXPECT_EQ(zoomed(empty, 8, false), Pixels(8, 99));
    empty.setCaptureRect(&half, true);  // columns 0..2 of 4 x 2
    empty.applyChanges(nullptr, frame.data());
    EXPECT_EQ(frame, before);
    const std::string in = "KS_PS_LIB-ktuVideoStreamManipulator::";
    EXPECT_EQ(logs(), (std::vector<std::string>{in + "setCaptureRect()", in + "setImageSize()", in + "applyChanges2()",
                                                in + "applyChanges1()"}));

    // Copies own their frame buffers and keep the bounds.
    ktuRelativeBbox quadrant = box({0.5, 1.0, 0.5, 1.0});  // from row and column 2 of 4 x 4
    auto* original = new ktuVideoStreamManipulator;
    original->setImageSize(4, 4);
    original->setCaptureRect(&quadrant, true);
    ktuVideoStreamManipulator copy(*original), assigned, fromUnsized{ktuVideoStreamManipulator()};
    assigned.setImageSize(2, 2);  // released by the assignment (the leak checker would see it)
    assigned = *original;
    assigned = assigned;
    delete original;  // a shared buffer would now be used after free
    const Pixels expected{10, 10, 11, 11, 10, 10, 11, 11, 14, 14, 15, 15, 14, 14, 15, 15};
    for (ktuVideoStreamManipulator* z : {&copy, &assigned}) {
        EXPECT_EQ(zoomed(*z, 16, false), expected);
        EXPECT_EQ(zoomed(*z, 16, true), expected);
    }
}

}  // namespace
