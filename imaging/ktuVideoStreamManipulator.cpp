// The digital zoom of video frames: the capture region of each frame is
// enlarged by pixel replication to the whole frame (see ktuRasterKernels for
// how the replication is done quickly).
#include "ktuVideoStreamManipulator.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "ktuGuard.h"
#include "ktuRasterKernels.h"

namespace {

constexpr ktu::GuardSite zoomSite(const char* text)
{
    return ktu::site(ktu::kModPsLib, text);
}

// width x height x 3, or 0 when that does not fit a size_t.
std::size_t frameBytes(unsigned width, unsigned height)
{
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    if (width != 0 && pixels / width != height) {
        return 0;
    }
    if (pixels > SIZE_MAX / 3) {
        return 0;
    }
    return pixels * 3;
}

// A fresh buffer with the content of `source` (frameBytes of the size), or
// null when there is none or it cannot be had.
unsigned char* duplicateBuffer(const unsigned char* source, unsigned width, unsigned height)
{
    if (source == nullptr) {
        return nullptr;
    }
    const std::size_t bytes = frameBytes(width, height);
    unsigned char* copy = new (std::nothrow) unsigned char[bytes == 0 ? 1 : bytes];
    if (copy != nullptr && bytes != 0) {
        std::memcpy(copy, source, bytes);
    }
    return copy;
}

}  // namespace

ktuVideoStreamManipulator::ktuVideoStreamManipulator()
{
    ktu::enter(zoomSite("ktuVideoStreamManipulator::ktuVideoStreamManipulator()"), [&] {
        m_captureEnabled = false;
        m_captureRect.resetData();
        m_horizontalFactor = 1.0;
        m_verticalFactor = 1.0;
        m_imageWidth = 0;
        m_imageHeight = 0;
        m_firstCaptureRow = 0;
        m_firstCaptureCol = 0;
        m_captureRowEnd = 0;
        m_captureColEnd = 0;
        m_frameBuffer = nullptr;
    });
}

ktuVideoStreamManipulator::ktuVideoStreamManipulator(const ktuVideoStreamManipulator& other)
    : m_captureRect(other.m_captureRect),
      m_captureEnabled(other.m_captureEnabled),
      m_imageWidth(other.m_imageWidth),
      m_imageHeight(other.m_imageHeight),
      m_horizontalFactor(other.m_horizontalFactor),
      m_verticalFactor(other.m_verticalFactor),
      m_firstCaptureRow(other.m_firstCaptureRow),
      m_firstCaptureCol(other.m_firstCaptureCol),
      m_captureRowEnd(other.m_captureRowEnd),
      m_captureColEnd(other.m_captureColEnd),
      m_frameBuffer(duplicateBuffer(other.m_frameBuffer, other.m_imageWidth, other.m_imageHeight))
{
}

ktuVideoStreamManipulator& ktuVideoStreamManipulator::operator=(const ktuVideoStreamManipulator& other)
{
    if (this == &other) {
        return *this;
    }
    unsigned char* buffer = duplicateBuffer(other.m_frameBuffer, other.m_imageWidth, other.m_imageHeight);
    delete[] m_frameBuffer;
    m_frameBuffer = buffer;
    m_captureRect = other.m_captureRect;
    m_captureEnabled = other.m_captureEnabled;
    m_imageWidth = other.m_imageWidth;
    m_imageHeight = other.m_imageHeight;
    m_horizontalFactor = other.m_horizontalFactor;
    m_verticalFactor = other.m_verticalFactor;
    m_firstCaptureRow = other.m_firstCaptureRow;
    m_firstCaptureCol = other.m_firstCaptureCol;
    m_captureRowEnd = other.m_captureRowEnd;
    m_captureColEnd = other.m_captureColEnd;
    return *this;
}

// Without the handshake no buffer can have been allocated (the gate never
// closes once open), so there is nothing to free.
ktuVideoStreamManipulator::~ktuVideoStreamManipulator()
{
    ktu::enter(zoomSite("ktuVideoStreamManipulator::~ktuVideoStreamManipulator()"), [&] {
        delete[] m_frameBuffer;
        m_frameBuffer = nullptr;
    });
}

void ktuVideoStreamManipulator::setImageSize(unsigned int width, unsigned int height)
{
    ktu::enter(zoomSite("ktuVideoStreamManipulator::setImageSize()"), [&] {
        m_imageWidth = width;
        m_imageHeight = height;
        delete[] m_frameBuffer;
        m_frameBuffer = nullptr;
        const std::size_t bytes = frameBytes(width, height);
        if (bytes == 0 && width != 0 && height != 0) {
            ktu::raiseFault("frame too large");
        }
        // Zero-filled, so that the wide loads of the zoom, which may touch
        // bytes beyond the part copied in, never read unset memory.
        m_frameBuffer = new unsigned char[bytes == 0 ? 1 : bytes]();
    });
}

void ktuVideoStreamManipulator::setCaptureRect(ktuRelativeBbox* rectangle, bool enable)
{
    ktu::enter(zoomSite("ktuVideoStreamManipulator::setCaptureRect()"), [&] {
        m_captureEnabled = enable;
        if (!enable) {
            return;
        }
        m_captureRect = *ktu::require(rectangle);
        m_horizontalFactor = 1.0 / m_captureRect.getRelativeWidth();
        m_verticalFactor = 1.0 / m_captureRect.getRelativeHeight();
        // Edges below 0.0 count as 0.0 and huge ones stop at the largest
        // value; the zoom limits the bounds to the frame anyway.
        const unsigned top = ~0u;
        m_firstCaptureRow = ktu::raster::truncToRange(m_imageHeight * m_captureRect.getRelativeBottomRow(), top);
        m_firstCaptureCol = ktu::raster::truncToRange(m_imageWidth * m_captureRect.getRelativeLeftCol(), top);
        m_captureRowEnd = ktu::raster::truncToRange(m_imageHeight * m_captureRect.getRelativeTopRow(), top);
        m_captureColEnd = ktu::raster::truncToRange(m_imageWidth * m_captureRect.getRelativeRightCol(), top);
    });
}

namespace {

ktu::raster::ZoomGeometry geometryOf(unsigned width, unsigned height, double hf, double vf, unsigned firstRow,
                                     unsigned firstCol, unsigned rowEnd, unsigned colEnd)
{
    return ktu::raster::ZoomGeometry{width, height, hf, vf, firstRow, firstCol, rowEnd, colEnd};
}

}  // namespace

void ktuVideoStreamManipulator::applyChanges(unsigned char* input, unsigned char* output)
{
    ktu::enter(zoomSite("ktuVideoStreamManipulator::applyChanges1()"), [&] {
        if (m_imageWidth == 0 || m_imageHeight == 0) {
            return;
        }
        // Empty capture bounds leave nothing to read or write: the frames
        // are not looked at.
        if (m_captureEnabled && (m_firstCaptureRow >= m_captureRowEnd || m_firstCaptureCol >= m_captureColEnd ||
                                 m_firstCaptureRow >= m_imageHeight || m_firstCaptureCol >= m_imageWidth)) {
            return;
        }
        const std::size_t bytes = frameBytes(m_imageWidth, m_imageHeight);
        if (bytes == 0) {
            ktu::raiseFault("frame too large");
        }
        ktu::require(input);
        ktu::require(output);
        if (!m_captureEnabled) {
            if (input != output) {
                std::memcpy(output, input, bytes);
            }
            return;
        }
        ktu::raster::zoom(input, output,
                          geometryOf(m_imageWidth, m_imageHeight, m_horizontalFactor, m_verticalFactor,
                                     m_firstCaptureRow, m_firstCaptureCol, m_captureRowEnd, m_captureColEnd));
    });
}

void ktuVideoStreamManipulator::applyChanges(unsigned char* frame)
{
    ktu::enter(zoomSite("ktuVideoStreamManipulator::applyChanges2()"), [&] {
        if (!m_captureEnabled || m_imageWidth == 0 || m_imageHeight == 0) {
            return;
        }
        ktu::require(frame);
        ktu::require(m_frameBuffer);  // none after a failed setImageSize
        // Only the capture region is read by the zoom, so only that part of
        // the frame is copied into the buffer.
        const unsigned rowEnd = m_captureRowEnd < m_imageHeight ? m_captureRowEnd : m_imageHeight;
        const unsigned colEnd = m_captureColEnd < m_imageWidth ? m_captureColEnd : m_imageWidth;
        if (m_firstCaptureRow >= rowEnd || m_firstCaptureCol >= colEnd) {
            return;
        }
        const std::size_t rowBytes = std::size_t{3} * m_imageWidth;
        const std::size_t first = std::size_t{3} * m_firstCaptureCol;
        const std::size_t span = std::size_t{3} * (colEnd - m_firstCaptureCol);
        for (std::size_t r = m_firstCaptureRow; r < rowEnd; ++r) {
            std::memcpy(m_frameBuffer + r * rowBytes + first, frame + r * rowBytes + first, span);
        }
        ktu::raster::zoom(m_frameBuffer, frame,
                          geometryOf(m_imageWidth, m_imageHeight, m_horizontalFactor, m_verticalFactor,
                                     m_firstCaptureRow, m_firstCaptureCol, m_captureRowEnd, m_captureColEnd));
    });
}
