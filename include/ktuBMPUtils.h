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
    /// getImageSize also answers for the other BMP files the Windows loader
    /// reads: 1 to 32 bits a pixel, the 12-byte core header, RLE8 and RLE4
    /// data. The pixel readers (getImageData, getImageBitmapData, the crop)
    /// take 24-bit pixels only and answer false for the others. Files whose
    /// headers do not fit their size are refused (false), never read past.
    /// What a file can make a reader allocate does not follow what its headers
    /// claim: outside Windows a reader holds at most 64 KiB and one row of the
    /// file beyond the caller's buffer, and getResizedImageData and
    /// cropAndSaveImage add a packed copy of the picture (3 x width x height
    /// bytes), where width x height is at most 8 x the file's size for an
    /// uncompressed file and 2^26 for an RLE file (docs/platforms.md).

    /// A new 40-byte information header for a 24-bit picture: zero-filled,
    /// then biSize 40, the width and height as given, 1 plane, 24 bits, and
    /// biSizeImage = (((24 * width + 31) >> 3) & ~3) * |height|, the aligned
    /// row length times the row count, kept modulo 2^32 like the field. No
    /// size is refused: width -1 gives row length 0 (and smaller widths count
    /// as 0), so biSizeImage is 0; a negative height is a top-down picture.
    /// The caller releases the block: LocalFree on Windows, free() elsewhere.
    /// Null only when the 40 bytes cannot be allocated. Asks no handshake.
    static BITMAPINFO* CreateBitmapInfoStruct(int width, int height);
    /// Writes the 14-byte file header (bfSize and bfOffBits from biSize,
    /// biClrUsed and biSizeImage, 32-bit fields that wrap as the format's
    /// do), then 40 + 4 * biClrUsed bytes of `header` (the information header
    /// and its colour table, of any length), then biSizeImage bytes of
    /// `pixels`, replacing any file at `path`. The header block and the pixel
    /// array must hold that many bytes; the library cannot see their extent.
    /// Memory that cannot be read at all makes the system's write fail rather
    /// than fault. True when every write and the close succeeded; false when
    /// the file cannot be created or a write fails, without a log line. A
    /// file that could not be written whole is deleted, so no file is left
    /// whose header claims more than it holds. A null header is a fault: logged
    /// ("ktuBMPUtils::CreateBMPFile()"), false.
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
    /// the size changes (the six-argument resizeImageAndReturnData), a packed
    /// copy when it does not. True without writing anything when the file is
    /// not found or is empty. When the pixels cannot be read, the line
    /// "ktuBMPUtils::getResizedImageData() - Image Data not found" is logged
    /// and a black picture of the file's size is resized instead. `out` is
    /// used only where a pixel is written: a resize to 0 x 0 needs none. A
    /// fault in the resize (a null `out`, for instance) is logged twice, by
    /// the resize and then here, and answered false.
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
    /// Outside Windows at most 2^26 pixels are decoded, and the decoder holds
    /// no more than 1 MiB + 2 x the file's size + 32 x (width + 16) x
    /// (height + 16) bytes at once, whatever the file claims; a file that
    /// needs more is refused (false, no log line).
    static bool LoadPictureFile(const char* path, IPicture** picture, HWND window);
    /// Draws the picture file centred on `centre`, stretched to the size of
    /// `target` (its position is not used); with a zero-sized target the
    /// picture's HIMETRIC extent is taken as the size in device units.
    static bool DrawImage(HDC dc, const char* path, POINT centre, HWND window, RECT target);
};
