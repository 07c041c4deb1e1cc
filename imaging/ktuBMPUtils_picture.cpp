// ktuBMPUtils: loading picture files and drawing them.
#include <cstdint>
#include <cstdlib>

#include "ktuBMPUtils.h"
#include "ktuGuard.h"
#include "ktuPlatform.h"

namespace {

using ktu::platform::FileHandle;
using ktu::platform::MemoryBlock;
using ktu::platform::PictureStream;
using ktu::platform::ops;

// Releases a picture on every way out.
class HeldPicture {
public:
    HeldPicture() = default;
    ~HeldPicture()
    {
        if (picture_ != nullptr) {
            picture_->Release();
        }
    }
    HeldPicture(const HeldPicture&) = delete;
    HeldPicture& operator=(const HeldPicture&) = delete;
    IPicture** out() { return &picture_; }
    IPicture* operator->() const { return picture_; }

private:
    IPicture* picture_ = nullptr;
};

// Releases a stream (and with it the block it owns) on every way out.
class HeldStream {
public:
    explicit HeldStream(PictureStream stream) : stream_(stream) {}
    ~HeldStream()
    {
        if (stream_ != nullptr) {
            ops().picture.releaseStream(stream_);
        }
    }
    HeldStream(const HeldStream&) = delete;
    HeldStream& operator=(const HeldStream&) = delete;
    PictureStream get() const { return stream_; }

private:
    PictureStream stream_;
};

// Reads the whole file into a new movable block; null when any step fails
// (the block is then released).
MemoryBlock readIntoBlock(const char* path, uint32_t& size)
{
    const auto& pic = ops().picture;
    FileHandle file = pic.openForReading(path);
    if (file == nullptr) {
        return nullptr;
    }
    size = pic.fileSize(file);
    if (size == ktu::platform::kInvalidFileSize) {
        pic.closeFile(file);
        return nullptr;
    }
    MemoryBlock block = pic.globalAlloc(size);
    if (block == nullptr) {
        pic.closeFile(file);
        return nullptr;
    }
    void* bytes = pic.globalLock(block);
    if (bytes == nullptr) {
        pic.globalUnlock(block);
        pic.globalFree(block);
        pic.closeFile(file);
        return nullptr;
    }
    uint32_t got = 0;
    bool read = pic.readFile(file, bytes, size, &got);
    pic.globalUnlock(block);
    pic.closeFile(file);
    if (!read) {
        pic.globalFree(block);
        return nullptr;
    }
    return block;
}

LONG extent(LONG a, LONG b)
{
    long long span = static_cast<long long>(a) - b;
    span = span < 0 ? -span : span;
    return span > INT32_MAX ? INT32_MAX : static_cast<LONG>(span);
}

}  // namespace

bool ktuBMPUtils::LoadPictureFile(const char* path, IPicture** picture, HWND /*window*/)
{
    return ktu::enter(ktu::site(ktu::kModCommon, "ktuBMPUtils::LoadPictureFile()"), false, [&] {
        const auto& pic = ops().picture;
        uint32_t size = 0;
        MemoryBlock block = readIntoBlock(path, size);
        if (block == nullptr) {
            return false;
        }
        PictureStream made = nullptr;
        HRESULT created = pic.createStream(block, true, &made);
        HeldStream stream(made);
        if (FAILED(created) || made == nullptr) {
            if (made == nullptr) {
                pic.globalFree(block);  // no stream took it over
            }
            return false;
        }
        if (*ktu::require(picture) != nullptr) {
            (*picture)->Release();
        }
        HRESULT loaded = pic.loadPicture(stream.get(), static_cast<LONG>(size), false, picture);
        return SUCCEEDED(loaded) && *picture != nullptr;
    });
}

bool ktuBMPUtils::DrawImage(HDC dc, const char* path, POINT centre, HWND window, RECT target)
{
    return ktu::enter(ktu::site(ktu::kModCommon, "ktuBMPUtils::DrawImage()"), false, [&] {
        if (dc == nullptr || window == nullptr) {
            return false;
        }
        HeldPicture picture;
        if (!LoadPictureFile(path, picture.out(), window)) {
            return false;
        }
        OLE_XSIZE_HIMETRIC hmWidth = 0;
        OLE_YSIZE_HIMETRIC hmHeight = 0;
        picture->get_Width(&hmWidth);
        picture->get_Height(&hmHeight);
        const LONG width = extent(target.right, target.left);
        const LONG height = extent(target.bottom, target.top);
        const LONG x = static_cast<LONG>(centre.x - static_cast<long long>(width / 2));
        const LONG y = static_cast<LONG>(centre.y - static_cast<long long>(height / 2));
        RECT client{};
        ops().picture.clientRect(window, &client);
        const bool sized = width > 0 && height > 0;
        HRESULT rendered = picture->Render(dc, x, y, sized ? width : hmWidth, sized ? height : hmHeight, 0, hmHeight,
                                           hmWidth, -hmHeight, &client);
        return SUCCEEDED(rendered);
    });
}
