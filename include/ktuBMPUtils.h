/// BMP files, picture loading and drawing, and the BMP-aligned resizes.
///
/// Before the version handshake the members return false (or nothing) at once
/// and write nothing; CreateBitmapInfoStruct, converImageDataToBMPFotmat and
/// checkBMPFormat ask no handshake. Faults are logged at level 0 with module
/// "Common" and the member's name (cropAndSaveImage: module "KSUtilityClasses",
/// text "iBMPUtils::cropAndSaveImage()"); the resize members pass the fault on
/// to the caller after logging it. Failures to open, load or write a file are
/// answered by the result only, not logged.
#pragma once
#include "ktuExport.h"
#include "ktuPicture.h"
#include "ktuWinTypes.h"

class KTU_API ktuBMPUtils {
public:
    /// The class holds no data and its members are static; objects exist only
    /// because every exported class can be made, copied, assigned and destroyed.
    /// None of these four asks for the version handshake or does anything.
    /// @{
    ktuBMPUtils();
    ktuBMPUtils(const ktuBMPUtils&);
    ktuBMPUtils& operator=(const ktuBMPUtils&);
    virtual ~ktuBMPUtils();
    /// @}

    /// ---- Resizes into BMP-aligned rasters -----------------------------
    /// Sources are packed rows (3 x width bytes); destinations get BMP-aligned
    /// rows of 3 x width + (width mod 4) bytes, the alignment bytes set to 0.
    /// Pixels are picked by nearest neighbour: destination (x, y) takes source
    /// column trunc(x * sx), row trunc(y * sy). A fault (a null raster or
    /// out-size, a negative source size with a non-empty result) is logged and
    /// passed on to the caller.
    ///
    /// The size for a maximum size: s = larger side / maxSize, result
    /// trunc(width / s) x trunc(height / s) in double precision, so the larger
    /// side can come out one short (1 x 1 to 93 gives 92 x 92). A 0 x 0 source
    /// gives 0 x 0; a quotient beyond the int range saturates.
    static void getScaledSize(int width, int height, int maxSize, int* scaledWidth, int* scaledHeight);
    /// Scales so that the larger side becomes about `maxSize` (the size that
    /// getScaledSize answers); `destination` must hold that many BMP-aligned
    /// rows.
    static void resizeImageAndReturnData(int width, int height, unsigned char* source, int maxSize,
                                         unsigned char* destination);
    /// Each axis by its own factor: sx = width / newWidth, sy = height /
    /// newHeight; the produced size trunc(width / sx) x trunc(height / sy) can
    /// likewise be one short of the request, and the destination's rows follow
    /// the produced width.
    static void resizeImageAndReturnData(int width, int height, unsigned char* source, int newWidth,
                                         int newHeight, unsigned char* destination);

    /// ---- BMP files, pictures and drawing --------------------------------
    /// Files are 24-bit uncompressed BMP files: a 14-byte file header, the
    /// 40-byte information header and the pixel array at offset 54, BMP-aligned
    /// rows (3 * width raised to a multiple of 4 bytes), bottom row first,
    /// bytes blue, green, red. The readers take the pixel array in the order it
    /// is stored; row 0 of every raster they return is the first stored row.
    /// Files of another bit depth, compressed files and files whose headers do
    /// not fit their size are refused by the readers (false), never read past.

    /// A new 40-byte information header for a 24-bit picture (zero-filled,
    /// then biSize 40, width, height, 1 plane, 24 bits, biSizeImage the aligned
    /// row length times the height). The caller releases it: LocalFree on
    /// Windows, free() elsewhere. Null when it cannot be allocated, or when the
    /// pixel array would not fit in 32 bits (negative or huge sizes).
    static BITMAPINFO* CreateBitmapInfoStruct(int width, int height);
    /// Writes file header, information header (with its biClrUsed colour
    /// entries, at most 256) and biSizeImage bytes of `pixels`, replacing any
    /// file at `path`. True when every write and the close succeeded.
    static bool CreateBMPFile(const char* const path, BITMAPINFO* header, const unsigned char* const pixels);
    /// CreateBitmapInfoStruct + CreateBMPFile; `pixels` is BMP-aligned.
    static bool saveAsBMP(int width, int height, const unsigned char* const pixels, const char* const path);
    /// Size in pixels. The file must be found by checkFileExistence (a full
    /// path in drive form).
    static bool getImageSize(const char* path, int* width, int* height);
    /// Size in HIMETRIC units of any picture LoadPictureFile accepts.
    static bool getImageSize2(const char* path, int* width, int* height);
    /// Packed raster (3 * width * height bytes) in stored row order. No
    /// existence test: any path the loader opens is read.
    static bool getImageData(const char* path, unsigned char* out);
    /// The first 3 * width * height bytes of the stored pixel array, unchanged.
    static bool getImageBitmapData(const char* path, unsigned char* out);
    /// The picture resized to newWidth x newHeight: a BMP-aligned raster when
    /// the size changes, a packed copy when it does not. True without writing
    /// anything when the file is not found or is empty. When the pixels cannot
    /// be read, a line is logged and a black picture of the file's size is
    /// resized instead.
    static bool getResizedImageData(const char* path, unsigned char* out, int newWidth, int newHeight);
    /// (3 * width + width mod 4) * height, the size of a 24-bit pixel array.
    static unsigned int getBMPFormatDataLen(unsigned int width, unsigned int height);
    /// Kept for callers built against older versions; does nothing.
    static void converImageDataToBMPFotmat(unsigned char* source, unsigned char* destination, unsigned int width,
                                           unsigned int height);
    /// Writes the region x, y, cropWidth, cropHeight (stored row order, y = 0
    /// the first stored row) of `source` to `destination`. The size is limited
    /// to the picture's; the part of the region beyond the picture is black.
    /// Negative coordinates or sizes are refused (false, nothing written).
    static bool cropAndSaveImage(const char* source, const char* destination, int x, int y, int cropWidth,
                                 int cropHeight);
    /// False only when byte 28 of the file (low byte of the bit count) is
    /// neither 24 nor 0; a missing or short file passes. Not gated.
    static bool checkBMPFormat(const char* path);

    /// Reads a picture file (BMP, JPEG, GIF and, outside Windows, PNG) into a
    /// new picture with one reference, stored in *picture; a picture already
    /// held there is released first, once the file has been read into memory
    /// (a missing or unreadable file leaves it untouched). The window is not
    /// used. The memory holding the file is released on every failure.
    static bool LoadPictureFile(const char* path, IPicture** picture, HWND window);
    /// Draws the picture file centred on `centre`, stretched to the size of
    /// `target` (its position is not used); with a zero-sized target the
    /// picture's HIMETRIC extent is taken as the size in device units.
    static bool DrawImage(HDC dc, const char* path, POINT centre, HWND window, RECT target);
};
