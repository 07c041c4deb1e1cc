/// The Windows types that appear in the library's signatures.
///
/// On Windows they are the system's own (the header pulls in the Winsock and
/// Windows headers in the order Winsock needs). Elsewhere this header declares
/// portable stand-ins with the same names, field names and sizes, so that the
/// public headers read the same on every platform.
#pragma once

#if defined(_WIN32)
#  ifndef NOMINMAX
#    define NOMINMAX
#  endif
#  include <winsock2.h>
#  include <windows.h>
#  include <ole2.h>
#  include <olectl.h>
#else
#  include <cstddef>
#  include <cstdint>

typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef int32_t HRESULT;
typedef int16_t SHORT;

#  ifndef TRUE
#    define TRUE 1
#  endif
#  ifndef FALSE
#    define FALSE 0
#  endif

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT;

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME;

/// A socket is a file descriptor on POSIX systems.
typedef int SOCKET;
#  define INVALID_SOCKET (-1)
#  define SOCKET_ERROR (-1)

#  pragma pack(push, 2)
typedef struct tagBITMAPFILEHEADER {
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
} BITMAPFILEHEADER;
#  pragma pack(pop)

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER;

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO, *PBITMAPINFO, *LPBITMAPINFO;

#  ifndef BI_RGB
#    define BI_RGB 0
#  endif

static_assert(sizeof(BITMAPFILEHEADER) == 14, "BMP file header is 14 bytes");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BMP info header is 40 bytes");

/// A loaded bitmap (the image loader's handle) and its description.
struct ktuBitmap;
typedef struct ktuBitmap* HBITMAP;

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    void* bmBits;
} BITMAP;

/// Window handle: on POSIX systems a window is described by its client
/// rectangle only (what the drawing operations ask of it).
typedef struct ktuWindow {
    RECT clientRect;  ///< the drawing area, left and top 0
} *HWND;

/// Drawing surface: a caller-owned 24-bit raster (ktuSurface below).
struct ktuSurface;
typedef struct ktuSurface* HDC;

// The picture types (on Windows the system's OLE Automation ones).
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
