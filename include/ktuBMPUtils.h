// BMP files, picture loading and drawing, and the BMP-aligned resizes.
#pragma once
#include "ktuExport.h"
#include "ktuWinTypes.h"

class KTU_API ktuBMPUtils {
public:
    ktuBMPUtils();
    ktuBMPUtils(const ktuBMPUtils&);
    ktuBMPUtils& operator=(const ktuBMPUtils&);
    virtual ~ktuBMPUtils();

    // ---- Resizes into BMP-aligned rasters -----------------------------
    static void getScaledSize(int width, int height, int maxSize, int* scaledWidth, int* scaledHeight);
    static void resizeImageAndReturnData(int width, int height, unsigned char* source, int maxSize,
                                         unsigned char* destination);
    static void resizeImageAndReturnData(int width, int height, unsigned char* source, int newWidth,
                                         int newHeight, unsigned char* destination);

    // ---- BMP files, pictures and drawing --------------------------------
};
