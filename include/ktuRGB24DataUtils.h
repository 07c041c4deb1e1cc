/// Operations on raw 24-bit rasters in caller-owned memory: 3 bytes a pixel,
/// packed rows of 3 x width bytes unless said otherwise. Each writes a status
/// through `status`: 200 done, -200 a fault was caught, -201 a null raster,
/// -202 a negative size. Without the handshake they return false and write
/// nothing.
///
/// Raster status codes written through `long*`: 200 done, -200 a caught fault,
/// -201 a null raster pointer, -202 a negative width, height or size. Before the
/// version handshake the members answer false and write neither status, sizes
/// nor rasters. Faults are logged at level 0 with module "Common" and the
/// member's name.
#pragma once
#include "ktuExport.h"

class KTU_API ktuRGB24DataUtils {
public:
    /// The class holds no data and its members are static; objects exist only
    /// because every exported class can be made, copied, assigned and destroyed.
    /// None of these four asks for the version handshake or does anything.
    /// @{
    ktuRGB24DataUtils();
    ktuRGB24DataUtils(const ktuRGB24DataUtils&);
    ktuRGB24DataUtils& operator=(const ktuRGB24DataUtils&);
    virtual ~ktuRGB24DataUtils();
    /// @}

    /// Copies `source` into `destination` (a distinct buffer of the same size)
    /// with the row order reversed and the first and third byte of every pixel
    /// exchanged (B,G,R <-> R,G,B).
    static bool reverseData(unsigned char* source, unsigned char* destination, unsigned int width,
                            unsigned int height, long* status);

    /// Nearest-neighbour scaling so that the larger side becomes `maxSize`
    /// (see ktuBMPUtils::getScaledSize). The new size is stored before the copy;
    /// `destination` gets BMP-aligned rows of 3 x newWidth + (newWidth mod 4)
    /// bytes, whose alignment bytes are left as they were. A source of 0 x 0
    /// gives 0 x 0 and copies nothing. Null out-sizes are a fault (-200).
    static bool resizeData(int width, int height, unsigned char* source, int maxSize, int* newWidth,
                           int* newHeight, unsigned char* destination, long* status);

    /// Mirrors the rows in place (row i with row height-1-i); with an odd
    /// height the middle row stays.
    static bool flipData(unsigned char* raster, int width, int height, long* status);
};
