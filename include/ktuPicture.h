/// Pictures and drawing surfaces.
///
/// On Windows a picture is the system's OLE Automation IPicture, a device
/// context is an HDC and a window an HWND; this header only makes sure the
/// system declarations are present.
///
/// Elsewhere the library offers stand-ins with the same names and the members
/// that ktuBMPUtils uses:
///   - ktuSurface (HDC): a 24-bit raster owned by the caller, which the
///     picture renders into;
///   - ktuWindow (HWND, see ktuWinTypes.h): the client rectangle of the
///     window that a drawing belongs to;
///   - IPicture: a decoded picture with a reference count, measured in
///     HIMETRIC units (0.01 mm), rendered by nearest-neighbour sampling.
#pragma once

#include "ktuWinTypes.h"

#if !defined(_WIN32)

typedef uint32_t ULONG;
typedef LONG OLE_XPOS_HIMETRIC;
typedef LONG OLE_YPOS_HIMETRIC;
typedef LONG OLE_XSIZE_HIMETRIC;
typedef LONG OLE_YSIZE_HIMETRIC;
typedef const RECT* LPCRECT;

#  ifndef S_OK
#    define S_OK ((HRESULT)0)
#  endif
#  ifndef S_FALSE
#    define S_FALSE ((HRESULT)1)
#  endif
#  ifndef E_FAIL
#    define E_FAIL ((HRESULT)0x80004005L)
#  endif
#  ifndef E_POINTER
#    define E_POINTER ((HRESULT)0x80004003L)
#  endif
#  ifndef E_INVALIDARG
#    define E_INVALIDARG ((HRESULT)0x80070057L)
#  endif
#  ifndef E_OUTOFMEMORY
#    define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#  endif
#  ifndef SUCCEEDED
#    define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#  endif
#  ifndef FAILED
#    define FAILED(hr) (((HRESULT)(hr)) < 0)
#  endif

/// A drawing surface: `height` rows of `width` pixels, 3 bytes a pixel in the
/// order blue, green, red. Row 0 is the top row; `stride` is the distance in
/// bytes from one row to the next (at least 3 * width). The caller owns the
/// pixels; drawing never writes outside width x height.
struct ktuSurface {
    LONG width;             ///< pixels in a row
    LONG height;            ///< rows
    LONG stride;            ///< bytes from one row to the next
    unsigned char* pixels;  ///< the top row's first byte
};

/// A picture decoded from a file image. Created with one reference; Release
/// frees it when the last reference goes.
struct IPicture {
    /// The picture's extent in HIMETRIC units, from the resolution stored in
    /// the file (96 dots per inch when it stores none).
    /// @{
    virtual HRESULT get_Width(OLE_XSIZE_HIMETRIC* width) = 0;
    virtual HRESULT get_Height(OLE_YSIZE_HIMETRIC* height) = 0;
    /// @}

    /// Draws the source rectangle (HIMETRIC, origin at the picture's bottom
    /// left corner, y growing upwards) into the destination rectangle x, y,
    /// cx, cy (surface pixels, y growing downwards). Negative extents mirror.
    /// The usual call draws the whole picture upright:
    ///   Render(dc, x, y, cx, cy, 0, hmHeight, hmWidth, -hmHeight, &bounds)
    /// Pixels falling outside the surface are clipped. `bounds` is accepted
    /// for metafile pictures and not used. E_INVALIDARG for a null surface
    /// or a zero source extent.
    virtual HRESULT Render(HDC dc, LONG x, LONG y, LONG cx, LONG cy, OLE_XPOS_HIMETRIC xSrc,
                           OLE_YPOS_HIMETRIC ySrc, OLE_XSIZE_HIMETRIC cxSrc, OLE_YSIZE_HIMETRIC cySrc,
                           LPCRECT bounds) = 0;

    /// Adds a reference; answers the new count.
    virtual ULONG AddRef() = 0;
    /// Drops a reference and frees the picture with the last one; answers the
    /// references left.
    virtual ULONG Release() = 0;

protected:
    virtual ~IPicture() {}
};

#endif
