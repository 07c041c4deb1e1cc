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

/// Drawing surface: a caller-owned 24-bit raster (see ktuSurface in the
/// picture support).
struct ktuSurface;
typedef struct ktuSurface* HDC;

/// The picture object of the picture loader; declared in ktuPicture.h.
struct IPicture;
#endif
