// ktuBMPUtils: writing and reading 24-bit BMP files, cropping, format check.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ktuBMPUtils.h"
#include "ktuFilePathUtils.h"
#include "ktuGuard.h"
#include "ktuPlatform.h"
#include "common/checkedSize.h"

namespace {

using ktu::platform::FileHandle;
using ktu::platform::WritePiece;
using ktu::platform::ops;

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;

// Row length of a 24-bit BMP pixel array: 3 * width raised to a multiple of 4.
inline std::size_t alignedRow(std::size_t width)
{
    return (3 * width + 3) & ~static_cast<std::size_t>(3);
}

void putLe16(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void putLe32(unsigned char* p, uint32_t v)
{
    putLe16(p, v);
    putLe16(p + 2, v >> 16);
}

// A header block of CreateBitmapInfoStruct, released on every way out.
class HeaderBlock {
public:
    explicit HeaderBlock(BITMAPINFO* block) : block_(block) {}
    ~HeaderBlock()
    {
        if (block_ != nullptr) {
            ops().picture.localFree(block_);
        }
    }
    HeaderBlock(const HeaderBlock&) = delete;
    HeaderBlock& operator=(const HeaderBlock&) = delete;
    BITMAPINFO* get() const { return block_; }

private:
    BITMAPINFO* block_;
};

// A bitmap from the image loader, deleted on every way out. The readers use
// it only when it holds a 24-bit pixel array, which they index with the
// aligned 24-bit row length.
class LoadedBitmap {
public:
    explicit LoadedBitmap(const char* path) : handle_(ops().picture.loadBitmap(path))
    {
        if (handle_ != nullptr && !ops().picture.describeBitmap(handle_, &info_)) {
            ops().picture.deleteBitmap(handle_);
            handle_ = nullptr;
        }
    }
    ~LoadedBitmap()
    {
        if (handle_ != nullptr) {
            ops().picture.deleteBitmap(handle_);
        }
    }
    LoadedBitmap(const LoadedBitmap&) = delete;
    LoadedBitmap& operator=(const LoadedBitmap&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    bool has24BitPixels() const
    {
        return loaded() && info_.bmBitsPixel == 24 && info_.bmWidth > 0 && info_.bmHeight > 0;
    }
    std::size_t width() const { return static_cast<std::size_t>(info_.bmWidth); }
    std::size_t height() const { return static_cast<std::size_t>(info_.bmHeight); }
    const BITMAP& info() const { return info_; }
    // The first `rowBytes` of each stored row into `out`, `limit` bytes in all.
    bool copyRows(unsigned char* out, std::size_t rowBytes, std::size_t limit) const
    {
        return ops().picture.copyPixelRows(handle_, out, rowBytes, limit);
    }

private:
    HBITMAP handle_;
    BITMAP info_{};
};

// The readers' common part: 3 * width * height bytes of the stored rows into
// `out`, each row cut to 3 * width bytes (`packed`) or taken whole, so that
// the copy stops inside the last row.
bool readPixels(const char* path, unsigned char* out, bool packed)
{
    LoadedBitmap bitmap(path);
    if (!bitmap.has24BitPixels()) {
        return false;
    }
    std::size_t packedRow = 0;
    std::size_t limit = 0;
    if (!ktu::checkedMul(3, bitmap.width(), packedRow) || !ktu::checkedMul(packedRow, bitmap.height(), limit)) {
        return false;
    }
    const std::size_t rowBytes = packed ? packedRow : alignedRow(bitmap.width());
    return bitmap.copyRows(ktu::require(out), rowBytes, limit);
}

}  // namespace

BITMAPINFO* ktuBMPUtils::CreateBitmapInfoStruct(int width, int height)
{
    // The row length of the format's formula, ((24 * width + 31) >> 3) & ~3;
    // it is 0 for width -1 and counts as 0 for smaller widths. A negative
    // height describes a top-down picture of -height rows. The product is a
    // 32-bit field, kept modulo 2^32 as the format keeps it.
    const int64_t row = ((24 * static_cast<int64_t>(width) + 31) >> 3) & ~int64_t{3};
    const uint64_t rows = height < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(height)) : height;
    const uint64_t imageSize = row > 0 ? static_cast<uint64_t>(row) * rows : 0;
    auto* block = static_cast<BITMAPINFO*>(ops().picture.localAlloc(kInfoHeaderSize));
    if (block == nullptr) {
        return nullptr;
    }
    BITMAPINFOHEADER& h = block->bmiHeader;
    h.biSize = kInfoHeaderSize;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = 24;
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<DWORD>(imageSize);
    return block;
}

bool ktuBMPUtils::CreateBMPFile(const char* const path, BITMAPINFO* header, const unsigned char* const pixels)
{
    return ktu::enter(ktu::site(ktu::kModCommon, "ktuBMPUtils::CreateBMPFile()"), false, [&] {
        const BITMAPINFOHEADER& info = ktu::require(header)->bmiHeader;
        // The file header's fields are 32 bits wide and wrap as the format's
        // arithmetic does; the byte counts written are exact.
        const uint32_t tables = info.biSize + 4 * info.biClrUsed;
        unsigned char fileHeader[kFileHeaderSize] = {'B', 'M'};
        putLe32(fileHeader + 2, tables + info.biSizeImage + kFileHeaderSize);
        putLe32(fileHeader + 10, tables + kFileHeaderSize);
        const uint64_t tableBytes = kInfoHeaderSize + 4 * static_cast<uint64_t>(info.biClrUsed);
        // The file is replaced, never rewritten where it stands: when the
        // write fails (a full disk) the old picture stays as it was, and a
        // file cut short never appears.
        const WritePiece pieces[] = {{fileHeader, kFileHeaderSize}, {header, tableBytes}, {pixels, info.biSizeImage}};
        return ops().picture.replaceFile(path, pieces, 3);
    });
}

bool ktuBMPUtils::saveAsBMP(int width, int height, const unsigned char* const pixels, const char* const path)
{
    return ktu::enter(ktu::site(ktu::kModCommon, "ktuBMPUtils::saveAsBMP()"), false, [&] {
        HeaderBlock header(CreateBitmapInfoStruct(width, height));
        return CreateBMPFile(path, header.get(), pixels);
    });
}

bool ktuBMPUtils::getImageSize(const char* path, int* width, int* height)
{
    return ktu::enter(ktu::site(ktu::kModCommon, "ktuBMPUtils::getImageSize()"), false, [&] {
        if (!ktuFilePathUtils::checkFileExistence(path)) {
            return false;
        }
        LoadedBitmap bitmap(path);
        if (!bitmap.loaded()) {
            return false;
        }
        *ktu::require(width) = bitmap.info().bmWidth;
        *ktu::require(height) = bitmap.info().bmHeight;
        return true;
    });
}

bool ktuBMPUtils::getImageData(const char* path, unsigned char* out)
{
    return ktu::enter(ktu::site(ktu::kModCommon, "ktuBMPUtils::getImageData()"), false,
                      [&] { return readPixels(path, out, true); });
}

bool ktuBMPUtils::getImageBitmapData(const char* path, unsigned char* out)
{
    return ktu::enter(ktu::site(ktu::kModCommon, "ktuBMPUtils::getImageBitmapData()"), false,
                      [&] { return readPixels(path, out, false); });
}

bool ktuBMPUtils::getResizedImageData(const char* path, unsigned char* out, int newWidth, int newHeight)
{
    return ktu::enter(ktu::site(ktu::kModCommon, "ktuBMPUtils::getResizedImageData()"), false, [&] {
        int width = 0;
        int height = 0;
        if (!getImageSize(path, &width, &height) || width <= 0 || height <= 0) {
            return true;
        }
        // Zero-filled, so that a picture whose pixels cannot be read is
        // resized as a black one.
        std::vector<unsigned char> packed(ktu::allocationSize(3, width, height));
        if (!getImageData(path, packed.data())) {
            ktuLogUtils::writeLog(ktu::kModCommon, "ktuBMPUtils::getResizedImageData() - Image Data not found", 0);
        }
        if (width == newWidth && height == newHeight) {
            std::memcpy(ktu::require(out), packed.data(), packed.size());
        } else {
            resizeImageAndReturnData(width, height, packed.data(), newWidth, newHeight, out);
        }
        return true;
    });
}

bool ktuBMPUtils::getImageSize2(const char* path, int* width, int* height)
{
    return ktu::enter(ktu::site(ktu::kModCommon, "ktuBMPUtils::getImageSize2()"), false, [&] {
        if (!ktuFilePathUtils::checkFileExistence(path)) {
            return false;
        }
        IPicture* picture = nullptr;
        if (!LoadPictureFile(path, &picture, nullptr)) {
            return false;
        }
        OLE_XSIZE_HIMETRIC hmWidth = 0;
        OLE_YSIZE_HIMETRIC hmHeight = 0;
        picture->get_Width(&hmWidth);
        picture->get_Height(&hmHeight);
        picture->Release();
        *ktu::require(width) = hmWidth;
        *ktu::require(height) = hmHeight;
        return true;
    });
}

unsigned int ktuBMPUtils::getBMPFormatDataLen(unsigned int width, unsigned int height)
{
    return ktu::enter(ktu::site(ktu::kModCommon, "ktuBMPUtils::getBMPFormatDataLen()"), 0u,
                      [&] { return (3 * width + width % 4) * height; });
}

void ktuBMPUtils::converImageDataToBMPFotmat(unsigned char*, unsigned char*, unsigned int, unsigned int) {}

bool ktuBMPUtils::cropAndSaveImage(const char* source, const char* destination, int x, int y, int cropWidth,
                                   int cropHeight)
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, "iBMPUtils::cropAndSaveImage()"), false, [&] {
        if (x < 0 || y < 0 || cropWidth < 0 || cropHeight < 0) {
            return false;
        }
        if (!ktuFilePathUtils::checkFileExistence(source)) {
            return false;
        }
        int width = 0;
        int height = 0;
        if (!getImageSize(source, &width, &height) || width < 0 || height < 0) {
            return false;
        }
        std::vector<unsigned char> picture(ktu::allocationSize(3, width, height));
        if (!getImageData(source, picture.data())) {
            return false;
        }
        cropWidth = std::min(cropWidth, width);
        cropHeight = std::min(cropHeight, height);
        const std::size_t row = alignedRow(static_cast<std::size_t>(cropWidth));
        std::vector<unsigned char> cropped(ktu::allocationSize(row, cropHeight));
        const long long xEnd = std::min<long long>(width, static_cast<long long>(x) + cropWidth);
        const long long yEnd = std::min<long long>(height, static_cast<long long>(y) + cropHeight);
        for (long long r = y; r < yEnd && x < xEnd; ++r) {
            std::memcpy(cropped.data() + row * (r - y), picture.data() + 3 * (r * width + x),
                        static_cast<std::size_t>(3 * (xEnd - x)));
        }
        HeaderBlock header(CreateBitmapInfoStruct(cropWidth, cropHeight));
        return CreateBMPFile(destination, header.get(), cropped.data());
    });
}

bool ktuBMPUtils::checkBMPFormat(const char* path)
{
    unsigned char headers[kFileHeaderSize + kInfoHeaderSize] = {};
    FileHandle file = ops().picture.openForReading(path);
    if (file != nullptr) {
        uint32_t got = 0;
        ops().picture.readFile(file, headers, sizeof headers, &got);
        ops().picture.closeFile(file);
    }
    return headers[28] == 24 || headers[28] == 0;
}
