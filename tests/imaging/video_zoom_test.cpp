// The video zoom: worked examples (which also anchor the reference loops of
// raster_oracle_test.cpp), pass-through, kept bounds, buffers and faults.
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "bmpTestFiles.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Pixels = std::vector<int>;

// Pixel i holds (i, i, i).
Bytes numbered(unsigned n)
{
    Bytes frame;
    for (unsigned i = 0; i < n; ++i) frame.insert(frame.end(), 3, static_cast<unsigned char>(i));
    return frame;
}

Pixels firstBytes(const Bytes& frame)
{
    Pixels v;
    for (std::size_t i = 0; i < frame.size(); i += 3) v.push_back(frame[i]);
    return v;
}

struct Zoom {
    Zoom(unsigned w, unsigned h, double left, double right, double bottom, double top) : size(w * h)
    {
        z.setImageSize(w, h);
        box.setDimensions(top, bottom, left, right);
        z.setCaptureRect(&box, true);
    }
    Pixels copying(unsigned char fill = 99)
    {
        Bytes in = numbered(size), out(in.size(), fill);
        z.applyChanges(in.data(), out.data());
        return in == numbered(size) ? firstBytes(out) : Pixels{-1};
    }
    Pixels inPlace()
    {
        Bytes frame = numbered(size);
        z.applyChanges(frame.data());
        return firstBytes(frame);
    }
    unsigned size;
    ktuRelativeBbox box;
    ktuVideoStreamManipulator z;
};

using VideoZoom = bmptest::LoggingTest;

TEST_F(VideoZoom, WorkedExamplesInBothFormsAndFaults)
{
    struct Case { unsigned w, h; double left, right, bottom, top; Pixels copying, inPlace; } cases[] = {
        {3, 2, 0.0, 1.0, 0.0, 1.0, {0, 1, 2, 3, 4, 5}, {}},
        {4, 2, 0.0, 0.5, 0.0, 1.0, {0, 0, 1, 1, 4, 4, 5, 5}, {}},  // in place: {} means as copying
        {4, 4, 0.5, 1.0, 0.5, 1.0, {10, 10, 11, 11, 10, 10, 11, 11, 14, 14, 15, 15, 14, 14, 15, 15}, {}},
        {3, 1, 0.0, 0.6, 0.0, 1.0, {0, 99, 99}, {0, 1, 2}},    // one column, trunc(1 / 0.6) wide
        {3, 1, 0.5, 0.5, 0.0, 1.0, {99, 99, 99}, {0, 1, 2}},   // zero width: nothing written
    };
    for (const Case& c : cases) {
        Zoom zoom(c.w, c.h, c.left, c.right, c.bottom, c.top);
        SCOPED_TRACE(::testing::Message() << c.w << "x" << c.h << " " << c.left << ".." << c.right);
        EXPECT_EQ(zoom.copying(), c.copying);
        EXPECT_EQ(zoom.inPlace(), c.inPlace.empty() ? c.copying : c.inPlace);
    }
    EXPECT_TRUE(log().empty());

    // Faults are logged and frames left alone.
    Zoom zoom(0, 0, 0.0, 0.5, 0.0, 1.0);
    zoom.z.setCaptureRect(nullptr, true);
    Bytes frame = numbered(8);
    zoom.z.setImageSize(UINT_MAX, UINT_MAX);  // more bytes than memory can address: no buffer
    zoom.z.applyChanges(frame.data());
    zoom.z.setImageSize(4, 2);
    // The bounds, taken at size 0 x 0, are empty: nothing is read, written or checked.
    zoom.z.applyChanges(nullptr, nullptr);
    zoom.size = 8;
    EXPECT_EQ(zoom.copying(), Pixels(8, 99));
    zoom.z.setCaptureRect(&zoom.box, true);  // columns 0..2 of 4 x 2
    zoom.z.applyChanges(nullptr, frame.data());
    EXPECT_EQ(frame, numbered(8));
    const std::string in = "KS_PS_LIB-ktuVideoStreamManipulator::";
    EXPECT_EQ(log(), (std::vector<std::string>{in + "setCaptureRect()", in + "setImageSize()", in + "applyChanges2()",
                                               in + "applyChanges1()"}));
}

TEST_F(VideoZoom, DisabledPassesThroughBoundsKeepTheirSizeAndCopiesOwnTheirBuffers)
{
    Zoom zoom(4, 1, 0.0, 0.5, 0.0, 1.0);
    zoom.z.setCaptureRect(nullptr, false);  // the flag alone; the rectangle is not read
    EXPECT_EQ(zoom.copying(), firstBytes(numbered(4)));
    EXPECT_EQ(zoom.inPlace(), firstBytes(numbered(4)));
    zoom.z.setCaptureRect(&zoom.box, true);  // columns 0..2, factor 2, for width 4
    zoom.z.setImageSize(8, 1);
    zoom.size = 8;
    EXPECT_EQ(zoom.copying(), (Pixels{0, 0, 1, 1, 99, 99, 99, 99}));

    // Copies own their frame buffers and keep the capture bounds (here from
    // row and column 2 of 4 x 4), in both forms.
    auto* original = new Zoom(4, 4, 0.5, 1.0, 0.5, 1.0);
    ktuVideoStreamManipulator copy(original->z), assigned, fromUnsized{ktuVideoStreamManipulator()};
    assigned.setImageSize(2, 2);  // released by the assignment (the leak checker would see it)
    assigned = original->z;
    assigned = assigned;
    delete original;  // a shared buffer would now be used after free
    const Pixels zoomed{10, 10, 11, 11, 10, 10, 11, 11, 14, 14, 15, 15, 14, 14, 15, 15};
    for (ktuVideoStreamManipulator* z : {&copy, &assigned}) {
        Bytes frame = numbered(16), out(frame.size());
        z->applyChanges(frame.data(), out.data());
        z->applyChanges(frame.data());
        EXPECT_EQ(firstBytes(out), zoomed);
        EXPECT_EQ(firstBytes(frame), zoomed);
    }
    EXPECT_TRUE(log().empty());
}

}  // namespace
