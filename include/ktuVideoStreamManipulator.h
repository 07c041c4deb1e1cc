/// Digital zoom for the frames of a video stream: the part of each frame inside
/// the capture rectangle is enlarged by pixel replication to fill the frame.
/// Frames are packed 24-bit rasters of width x height pixels, the first row in
/// memory being the bottom of the capture coordinates.
///
/// Every member except copying asks for the version handshake first and does
/// nothing without it; an object made before it starts with no frame buffer.
/// Faults are logged at level 0 with module "KS_PS_LIB" and the member's name.
#pragma once
#include "ktuExport.h"
#include "ktuRelativeBbox.h"

class KTU_API ktuVideoStreamManipulator {
public:
    /// Capture disabled, the whole frame as capture rectangle, size 0 x 0, no
    /// frame buffer. Before the handshake only the members' zero values are
    /// set (and still no frame buffer).
    ktuVideoStreamManipulator();
    /// Copy and assignment take every value member; the copy gets a frame
    /// buffer of its own (same size and content) when the source has one, so
    /// that no buffer is ever owned by two objects. Assignment releases the
    /// target's previous buffer. Should that allocation fail, the copy has no
    /// buffer until its next setImageSize (the in-place applyChanges then
    /// logs a fault and leaves frames untouched).
    /// @{
    ktuVideoStreamManipulator(const ktuVideoStreamManipulator&);
    ktuVideoStreamManipulator& operator=(const ktuVideoStreamManipulator&);
    /// @}
    virtual ~ktuVideoStreamManipulator();

    /// Stores the size and replaces the frame buffer by one of width x height
    /// x 3 bytes. A size whose byte count does not fit in memory is a fault
    /// (logged); the object then has no buffer.
    void setImageSize(unsigned int width, unsigned int height);
    /// Stores `enable`; when true, copies the rectangle and derives the factors
    /// and the pixel bounds from it and the current image size.
    void setCaptureRect(ktuRelativeBbox* rectangle, bool enable);
    /// Copies `input` to `output` (width x height x 3 bytes), or zooms it
    /// there while capture is enabled. With capture enabled and empty pixel
    /// bounds (a rectangle of zero width or height) nothing is read, written
    /// or checked: null frames are no fault then. Other faults (a null frame)
    /// are logged ("ktuVideoStreamManipulator::applyChanges1()", module
    /// "KS_PS_LIB") and leave the output as it was.
    void applyChanges(unsigned char* input, unsigned char* output);
    /// Zooms `frame` in place while capture is enabled (needs setImageSize).
    ///
    /// Rectangles outside the unit square or a size changed after
    /// setCaptureRect never make either form read or write outside the frames
    /// or the buffer: the pixel bounds are limited to the current frame, edges
    /// below 0.0 count as 0.0.
    void applyChanges(unsigned char* frame);

private:
    ktuRelativeBbox m_captureRect;
    bool m_captureEnabled = false;
    unsigned int m_imageWidth = 0;
    unsigned int m_imageHeight = 0;
    double m_horizontalFactor = 1.0;
    double m_verticalFactor = 1.0;
    unsigned int m_firstCaptureRow = 0;
    unsigned int m_firstCaptureCol = 0;
    unsigned int m_captureRowEnd = 0;
    unsigned int m_captureColEnd = 0;
    unsigned char* m_frameBuffer = nullptr;
};
