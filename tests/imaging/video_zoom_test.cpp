// ktuVideoStreamManipulator: the zoom on small frames, pass-through, bounds
// kept from setCaptureRect, ownership of the frame buffer, faults and the
// handshake. Exhaustive agreement with reference loops is in
// raster_oracle_test.cpp.
#include <climits>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A frame whose pixel i holds (i, i, i).
Bytes numbered(unsigned pixels)
{
    Bytes frame;
    for (unsigned i = 0; i < pixels; ++i) frame.insert(frame.end(), 3, static_cast<unsigned char>(i));
    return frame;
}

// The first byte of each pixel.
std::vector<int> pixels(const Bytes& frame)
{
    std::vector<int> v;
    for (std::size_t i = 0; i < frame.size(); i += 3) v.push_back(frame[i]);
    return v;
}

ktuRelativeBbox rect(double left, double right, double bottom, double top)
{
    ktuRelativeBbox box;
    box.setDimensions(top, bottom, left, right);
    return box;
}

class VideoZoom : public ::testing::Test {
protected:
    void SetUp() override
    {
        ktu::test::openGate();
        ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
    }
    std::vector<std::string> log() { return ktu::test::logTexts(sb.native("logs/output.log")); }
    ktu::test::Sandbox sb;
};

TEST_F(VideoZoom, SmallFramesInBothForms)
{
    struct Case {
        unsigned width, height;
        double left, right, bottom, top;
        std::vector<int> expected;
    } cases[] = {
        {3, 2, 0.0, 1.0, 0.0, 1.0, {0, 1, 2, 3, 4, 5}},                 // whole frame: unchanged
        {4, 2, 0.0, 0.5, 0.0, 1.0, {0, 0, 1, 1, 4, 4, 5, 5}},           // rows a0 a0 a1 a1
        {4, 4, 0.5, 1.0, 0.5, 1.0, {10, 10, 11, 11, 10, 10, 11, 11, 14, 14, 15, 15, 14, 14, 15, 15}},
        {3, 1, 0.0, 0.6, 0.0, 1.0, {0, 99, 99}},                         // one column, trunc(1/0.6) wide
        {3, 1, 0.5, 0.5, 0.0, 1.0, {99, 99, 99}},                        // zero width: nothing written
    };
    for (const Case& c : cases) {
        ktuVideoStreamManipulator zoom;
        zoom.setImageSize(c.width, c.height);
        ktuRelativeBbox box = rect(c.left, c.right, c.bottom, c.top);
        zoom.setCaptureRect(&box, true);
        const Bytes input = numbered(c.width * c.height);
        Bytes output(input.size(), 99), frame = input;
        zoom.applyChanges(const_cast<unsigned char*>(input.data()), output.data());
        EXPECT_EQ(pixels(output), c.expected) << c.width << "x" << c.height << " " << c.left << ".." << c.right;
        zoom.applyChanges(frame.data());
        std::vector<int> inPlace = c.expected;
        for (std::size_t i = 0; i < inPlace.size(); ++i) inPlace[i] = inPlace[i] == 99 ? pixels(input)[i] : inPlace[i];
        EXPECT_EQ(pixels(frame), inPlace);
    }
    EXPECT_TRUE(log().empty());
}

TEST_F(VideoZoom, DisabledCapturePassesFramesThrough)
{
    ktuVideoStreamManipulator zoom;
    zoom.setImageSize(4, 2);
    ktuRelativeBbox box = rect(0.0, 0.5, 0.0, 1.0);
    zoom.setCaptureRect(&box, true);
    zoom.setCaptureRect(nullptr, false);  // the flag alone; the rectangle is not read
    const Bytes input = numbered(8);
    Bytes output(24, 99), frame = input;
    zoom.applyChanges(const_cast<unsigned char*>(input.data()), output.data());
    zoom.applyChanges(frame.data());
    EXPECT_EQ(output, input);
    EXPECT_EQ(frame, input);
    zoom.setCaptureRect(&box, true);  // and back on
    zoom.applyChanges(frame.data());
    EXPECT_EQ(pixels(frame), (std::vector<int>{0, 0, 1, 1, 4, 4, 5, 5}));
}

TEST_F(VideoZoom, BoundsStayThoseOfTheSizeAtSetCaptureRect)
{
    ktuVideoStreamManipulator zoom;
    zoom.setImageSize(4, 1);
    ktuRelativeBbox box = rect(0.0, 0.5, 0.0, 1.0);
    zoom.setCaptureRect(&box, true);  // columns 0..2, factor 2
    zoom.setImageSize(8, 1);
    const Bytes input = numbered(8);
    Bytes output(24, 99);
    zoom.applyChanges(const_cast<unsigned char*>(input.data()), output.data());
    EXPECT_EQ(pixels(output), (std::vector<int>{0, 0, 1, 1, 99, 99, 99, 99}));
}

TEST_F(VideoZoom, CopiesOwnTheirFrameBuffers)
{
    auto* original = new ktuVideoStreamManipulator;
    original->setImageSize(4, 2);
    ktuRelativeBbox box = rect(0.0, 0.5, 0.0, 1.0);
    original->setCaptureRect(&box, true);
    ktuVideoStreamManipulator copy(*original);
    ktuVideoStreamManipulator assigned;
    assigned.setImageSize(2, 2);  // its buffer must be released by the assignment
    assigned = *original;
    assigned = assigned;
    ktuVideoStreamManipulator unsized;
    ktuVideoStreamManipulator fromUnsized(unsized);
    delete original;  // the copies must not share its buffer (ASan would see it)
    for (ktuVideoStreamManipulator* z : {&copy, &assigned}) {
        Bytes frame = numbered(8);
        z->applyChanges(frame.data());
        EXPECT_EQ(pixels(frame), (std::vector<int>{0, 0, 1, 1, 4, 4, 5, 5}));
    }
    Bytes frame = numbered(8);
    fromUnsized.applyChanges(frame.data());  // capture disabled: nothing
    EXPECT_EQ(frame, numbered(8));
    EXPECT_TRUE(log().empty());
}

TEST_F(VideoZoom, FaultsAreLoggedAndFramesLeftAlone)
{
    ktuVideoStreamManipulator zoom;
    ktuRelativeBbox box = rect(0.0, 0.5, 0.0, 1.0);
    zoom.setCaptureRect(nullptr, true);
    zoom.setCaptureRect(&box, true);
    Bytes frame = numbered(8);
    zoom.applyChanges(frame.data());  // no setImageSize, no buffer: no size either, so nothing
    zoom.setImageSize(UINT_MAX, UINT_MAX);  // more bytes than memory can address
    zoom.applyChanges(frame.data());
    zoom.setImageSize(4, 2);
    zoom.applyChanges(nullptr, frame.data());
    EXPECT_EQ(frame, numbered(8));
    EXPECT_EQ(log(), (std::vector<std::string>{"KS_PS_LIB-ktuVideoStreamManipulator::setCaptureRect()",
                                               "KS_PS_LIB-ktuVideoStreamManipulator::setImageSize()",
                                               "KS_PS_LIB-ktuVideoStreamManipulator::applyChanges1()"}));
}

TEST_F(VideoZoom, RectanglesOutsideTheFrameStayInsideTheBuffers)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> edge(-1.5, 2.5);
    for (int i = 0; i < 500; ++i) {
        const unsigned w = 1 + rng() % 40, h = 1 + rng() % 40;
        ktuVideoStreamManipulator zoom;
        zoom.setImageSize(w, h);
        ktuRelativeBbox box = rect(edge(rng), edge(rng), edge(rng), edge(rng));
        zoom.setCaptureRect(&box, true);
        Bytes input = numbered(w * h), output(input.size(), 99);
        zoom.applyChanges(input.data(), output.data());
        zoom.applyChanges(input.data());
        zoom.setImageSize(w / 2, h / 2);  // bounds now beyond the frame
        zoom.applyChanges(input.data(), output.data());
        zoom.applyChanges(input.data());
    }
    EXPECT_TRUE(log().empty());
}

bool behavesWithoutHandshake()
{
    ktuVideoStreamManipulator zoom;  // no buffer: the destructor must not free garbage
    zoom.setImageSize(4, 2);
    ktuRelativeBbox box;
    zoom.setCaptureRect(&box, true);
    Bytes input = numbered(8), output(24, 99);
    zoom.applyChanges(input.data(), output.data());
    zoom.applyChanges(output.data());
    ktuVideoStreamManipulator copy(zoom);
    copy = zoom;
    return output == Bytes(24, 99);
}

TEST(VideoZoomWithoutHandshake, DoesNothing)
{
    EXPECT_EXIT(std::exit(behavesWithoutHandshake() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

}  // namespace
