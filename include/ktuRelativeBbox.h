/// A rectangle in fractions of the frame: columns grow to the right, rows grow
/// upwards (0.0 is the bottom row, 1.0 the top row), so the same box fits
/// frames of any size.
///
/// Faults are logged at level 0 with module "Common": the getters of the edges
/// and sizes under short names ("ktuRelativeBbox::getLeftCol()",
/// "ktuRelativeBbox::getWidth()"), the other members under their own. A getter
/// answers 0.0 before the handshake (each member says what it answers after a
/// fault).
#pragma once
#include "ktuExport.h"

class KTU_API ktuRelativeBbox {
public:
    /// After the handshake the new box is the whole frame. Before it, every
    /// edge and both centers are 0.0 (the box is otherwise never set up).
    ktuRelativeBbox();
    /// Copy and assignment take all six values as stored, the cached centers
    /// included, whether or not the handshake was made.
    /// @{
    ktuRelativeBbox(const ktuRelativeBbox&);
    ktuRelativeBbox& operator=(const ktuRelativeBbox&);
    /// @}
    virtual ~ktuRelativeBbox();

    /// The whole frame: left 0.0, right 1.0, bottom 0.0, top 1.0.
    void resetData();
    /// Stores the edges unchecked, in the order top, bottom, left, right.
    void setDimensions(double topRow, double bottomRow, double leftCol, double rightCol);
    /// Stores the one edge unchecked and refreshes the centers. Before the
    /// handshake nothing changes.
    /// @{
    void setRelativeTopRow(double value);
    void setRelativeBottomRow(double value);
    void setRelativeLeftCol(double value);
    void setRelativeRightCol(double value);
    /// @}

    /// The stored edge; 0.0 before the handshake. A fault is logged as
    /// "ktuRelativeBbox::getLeftCol()" (getRightCol, getTopRow, getBottomRow)
    /// and answered 0.0.
    /// @{
    double getRelativeLeftCol();
    double getRelativeRightCol();
    double getRelativeTopRow();
    double getRelativeBottomRow();
    /// @}
    double getRelativeWidth();   ///< right - left
    double getRelativeHeight();  ///< top - bottom
    double getRelativeCenterX(); ///< always from the current edges
    /// The vertical center, always from the current edges; 0.0 before the
    /// handshake, 0.5 after a logged fault.
    double getRelativeCenterY();

    /// Resize about the center, then shift the box back into the frame. A
    /// request above 1.0 is logged and refused; 0.0 and negative requests are
    /// taken (a negative one leaves the edges crossed).
    /// @{
    void setRelativeWidth(double width);
    void setRelativeHeight(double height);
    /// @}
    /// Move the box so that its center is at `x` (`y`), then shift it back into
    /// the frame.
    /// @{
    void setRelativeCenterX(double x);
    void setRelativeCenterY(double y);
    /// @}

    /// Grows this box in place to the bounding box of both; returns *this. The
    /// cached centers are left as they were.
    ktuRelativeBbox& operator+(ktuRelativeBbox& other);
    /// True when this box lies inside `other` grown by the allowances (columns
    /// by the horizontal one, rows by the vertical one); a side that sticks out
    /// must do so by strictly less than its allowance. A null `other` is a
    /// fault: logged, false.
    bool checkOverlapWithinAllowance(ktuRelativeBbox* other, double horizontalAllowance, double verticalAllowance);
    /// left < right and bottom < top, both strictly.
    bool checkBboxDimensions();

private:
    void calculateCenterPoints();
    /// Shifts (never shrinks) the box so that no edge lies outside the frame;
    /// a box larger than the frame ends at 0.0 and sticks out past 1.0.
    void validateDimentions();

    double m_relativeRightCol = 0.0;
    double m_relativeLeftCol = 0.0;
    double m_relativeBottomRow = 0.0;
    double m_relativeTopRow = 0.0;
    double m_relativeCenterX = 0.0;
    double m_relativeCenterY = 0.0;
};
