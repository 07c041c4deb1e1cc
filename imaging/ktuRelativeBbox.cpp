// A box in relative coordinates. The two center fields are a cache: they are
// refreshed by the edge setters, resetData and setDimensions, and by the
// center getters before they answer, but not by the width, height and center
// setters, validateDimentions or operator+.
#include "ktuRelativeBbox.h"

#include "ktuGuard.h"

namespace {

constexpr ktu::GuardSite boxSite(const char* text)
{
    return ktu::site(ktu::kModCommon, text);
}

}  // namespace

ktuRelativeBbox::ktuRelativeBbox()
{
    ktu::enter(boxSite("ktuRelativeBbox::ktuRelativeBbox()"), [&] { resetData(); });
}

ktuRelativeBbox::ktuRelativeBbox(const ktuRelativeBbox&) = default;
ktuRelativeBbox& ktuRelativeBbox::operator=(const ktuRelativeBbox&) = default;
ktuRelativeBbox::~ktuRelativeBbox() {}

void ktuRelativeBbox::resetData()
{
    ktu::enter(boxSite("ktuRelativeBbox::resetData()"), [&] {
        m_relativeLeftCol = 0.0;
        m_relativeRightCol = 1.0;
        m_relativeBottomRow = 0.0;
        m_relativeTopRow = 1.0;
        calculateCenterPoints();
    });
}

void ktuRelativeBbox::setDimensions(double topRow, double bottomRow, double leftCol, double rightCol)
{
    ktu::enter(boxSite("ktuRelativeBbox::setDimensions()"), [&] {
        m_relativeTopRow = topRow;
        m_relativeBottomRow = bottomRow;
        m_relativeLeftCol = leftCol;
        m_relativeRightCol = rightCol;
        calculateCenterPoints();
    });
}

namespace {

// One edge setter: stores the value unchecked, then refreshes the centers.
template <class Refresh>
void setEdge(const char* text, double& edge, double value, Refresh&& refresh)
{
    ktu::enter(boxSite(text), [&] {
        edge = value;
        refresh();
    });
}

// One getter: the value, 0.0 without the handshake, `onFault` after a fault.
template <class Read>
double getValue(const char* text, Read&& read, double onFault = 0.0)
{
    return ktu::enter(boxSite(text), 0.0, onFault, read);
}

}  // namespace

void ktuRelativeBbox::setRelativeTopRow(double value)
{
    setEdge("ktuRelativeBbox::setRelativeTopRow()", m_relativeTopRow, value, [this] { calculateCenterPoints(); });
}

void ktuRelativeBbox::setRelativeBottomRow(double value)
{
    setEdge("ktuRelativeBbox::setRelativeBottomRow()", m_relativeBottomRow, value,
            [this] { calculateCenterPoints(); });
}

void ktuRelativeBbox::setRelativeLeftCol(double value)
{
    setEdge("ktuRelativeBbox::setRelativeLeftCol()", m_relativeLeftCol, value, [this] { calculateCenterPoints(); });
}

void ktuRelativeBbox::setRelativeRightCol(double value)
{
    setEdge("ktuRelativeBbox::setRelativeRightCol()", m_relativeRightCol, value,
            [this] { calculateCenterPoints(); });
}

// The getters' log texts name the short forms of the operations.
double ktuRelativeBbox::getRelativeLeftCol()
{
    return getValue("ktuRelativeBbox::getLeftCol()", [this] { return m_relativeLeftCol; });
}

double ktuRelativeBbox::getRelativeRightCol()
{
    return getValue("ktuRelativeBbox::getRightCol()", [this] { return m_relativeRightCol; });
}

double ktuRelativeBbox::getRelativeTopRow()
{
    return getValue("ktuRelativeBbox::getTopRow()", [this] { return m_relativeTopRow; });
}

double ktuRelativeBbox::getRelativeBottomRow()
{
    return getValue("ktuRelativeBbox::getBottomRow()", [this] { return m_relativeBottomRow; });
}

double ktuRelativeBbox::getRelativeWidth()
{
    return getValue("ktuRelativeBbox::getWidth()", [this] { return m_relativeRightCol - m_relativeLeftCol; });
}

double ktuRelativeBbox::getRelativeHeight()
{
    return getValue("ktuRelativeBbox::getHeight()", [this] { return m_relativeTopRow - m_relativeBottomRow; });
}

// After a fault the center getters answer the center of the frame.
double ktuRelativeBbox::getRelativeCenterX()
{
    return getValue("ktuRelativeBbox::getRelativeCenterX()", [this] {
        calculateCenterPoints();
        return m_relativeCenterX;
    }, 0.5);
}

double ktuRelativeBbox::getRelativeCenterY()
{
    return getValue("ktuRelativeBbox::getRelativeCenterY()", [this] {
        calculateCenterPoints();
        return m_relativeCenterY;
    }, 0.5);
}

void ktuRelativeBbox::setRelativeWidth(double width)
{
    ktu::enter(boxSite("ktuRelativeBbox::setRelativeWidth()"), [&] {
        if (width > 1.0) {
            ktuLogUtils::writeLog(ktu::kModCommon, "wrong argument to ktuRelativeBbox::setRelativeWidth()", 0);
            return;
        }
        const double half = (width - getRelativeWidth()) * 0.5;
        m_relativeRightCol += half;
        m_relativeLeftCol -= half;
        validateDimentions();
    });
}

void ktuRelativeBbox::setRelativeHeight(double height)
{
    ktu::enter(boxSite("ktuRelativeBbox::setRelativeHeight()"), [&] {
        if (height > 1.0) {
            ktuLogUtils::writeLog(ktu::kModCommon, "wrong argument to ktuRelativeBbox::setRelativeHeight()", 0);
            return;
        }
        const double half = (height - getRelativeHeight()) * 0.5;
        m_relativeTopRow += half;
        m_relativeBottomRow -= half;
        validateDimentions();
    });
}

void ktuRelativeBbox::setRelativeCenterX(double x)
{
    ktu::enter(boxSite("ktuRelativeBbox::setRelativeCenterX()"), [&] {
        const double shift = x - getRelativeCenterX();
        m_relativeRightCol += shift;
        m_relativeLeftCol += shift;
        validateDimentions();
    });
}

void ktuRelativeBbox::setRelativeCenterY(double y)
{
    ktu::enter(boxSite("ktuRelativeBbox::setRelativeCenterY()"), [&] {
        const double shift = y - getRelativeCenterY();
        m_relativeTopRow += shift;
        m_relativeBottomRow += shift;
        validateDimentions();
    });
}

// No handshake check of its own: without it the getters answer 0.0 and the
// box is merged with the all-zero box.
ktuRelativeBbox& ktuRelativeBbox::operator+(ktuRelativeBbox& other)
{
    return ktu::guarded(boxSite("ktuRelativeBbox::operator +()"), [&]() -> ktuRelativeBbox& {
        const double left = other.getRelativeLeftCol();
        if (m_relativeLeftCol > left) {
            m_relativeLeftCol = left;
        }
        const double right = other.getRelativeRightCol();
        if (m_relativeRightCol < right) {
            m_relativeRightCol = right;
        }
        const double bottom = other.getRelativeBottomRow();
        if (m_relativeBottomRow > bottom) {
            m_relativeBottomRow = bottom;
        }
        const double top = other.getRelativeTopRow();
        if (m_relativeTopRow < top) {
            m_relativeTopRow = top;
        }
        return *this;
    }, [this]() -> ktuRelativeBbox& { return *this; });
}

bool ktuRelativeBbox::checkOverlapWithinAllowance(ktuRelativeBbox* other, double horizontalAllowance,
                                                  double verticalAllowance)
{
    return ktu::enter(boxSite("ktuRelativeBbox::checkOverlapWithinAllowance()"), false, [&] {
        ktuRelativeBbox& box = *ktu::require(other);
        if (m_relativeTopRow > box.getRelativeTopRow() &&
            !(m_relativeTopRow - box.getRelativeTopRow() < verticalAllowance)) {
            return false;
        }
        if (m_relativeBottomRow < box.getRelativeBottomRow() &&
            !(box.getRelativeBottomRow() - m_relativeBottomRow < verticalAllowance)) {
            return false;
        }
        if (m_relativeRightCol > box.getRelativeRightCol() &&
            !(m_relativeRightCol - box.getRelativeRightCol() < horizontalAllowance)) {
            return false;
        }
        if (m_relativeLeftCol < box.getRelativeLeftCol() &&
            !(box.getRelativeLeftCol() - m_relativeLeftCol < horizontalAllowance)) {
            return false;
        }
        return true;
    });
}

bool ktuRelativeBbox::checkBboxDimensions()
{
    return ktu::enter(boxSite("ktuRelativeBbox::checkBboxDimensions()"), false, [&] {
        return m_relativeLeftCol < m_relativeRightCol && m_relativeBottomRow < m_relativeTopRow;
    });
}

void ktuRelativeBbox::calculateCenterPoints()
{
    ktu::enter(boxSite("ktuRelativeBbox::calculateCenterPoints()"), [&] {
        m_relativeCenterX = (m_relativeRightCol - m_relativeLeftCol) * 0.5 + m_relativeLeftCol;
        m_relativeCenterY = (m_relativeTopRow - m_relativeBottomRow) * 0.5 + m_relativeBottomRow;
    });
}

// Shifts the box into the frame keeping its width and height; the tests are
// strict, so an edge exactly on 0.0 or 1.0 stays.
void ktuRelativeBbox::validateDimentions()
{
    ktu::enter(boxSite("ktuRelativeBbox::validateDimentions()"), [&] {
        const double width = m_relativeRightCol - m_relativeLeftCol;
        const double height = m_relativeTopRow - m_relativeBottomRow;
        if (m_relativeTopRow > 1.0) {
            m_relativeTopRow = 1.0;
            m_relativeBottomRow = 1.0 - height;
        }
        if (m_relativeBottomRow < 0.0) {
            m_relativeTopRow = height;
            m_relativeBottomRow = 0.0;
        }
        if (m_relativeRightCol > 1.0) {
            m_relativeRightCol = 1.0;
            m_relativeLeftCol = 1.0 - width;
        }
        if (m_relativeLeftCol < 0.0) {
            m_relativeRightCol = width;
            m_relativeLeftCol = 0.0;
        }
    });
}
