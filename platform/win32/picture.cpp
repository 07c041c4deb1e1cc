// Files, memory blocks, pictures and bitmaps on Windows: the system's own
// calls (CreateFileA and friends, LocalAlloc, GlobalAlloc, COM streams,
// OleLoadPicture, LoadImageA, GetObjectA, DeleteObject, GetClientRect).
// BMP files whose headers do not fit the file are refused before the
// system's loader sees them (imaging/ktuBmpFormat.h: the same files the POSIX
// loader takes, core headers and RLE among them). A whole file is written by
// replacement: a temporary file (GetTempFileNameA) in the same folder,
// written, flushed (FlushFileBuffers) and moved over the old file
// (MoveFileExA with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
#include <cstring>
#include <string>

#include "ktuBmpFormat.h"
#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

FileHandle fromHandle(HANDLE handle)
{
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

FileHandle openForReading(const char* path)
{
    if (path == nullptr) {
        return nullptr;
    }
    return fromHandle(CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

bool replaceFile(const char* path, const WritePiece* pieces, std::size_t count)
{
    if (path == nullptr || (count > 0 && pieces == nullptr)) {
        return false;
    }
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        return false;
    }
    std::string folder(path);
    const std::size_t slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash + 1);
    char temp[MAX_PATH];
    if (GetTempFileNameA(folder.c_str(), "ktu", 0, temp) == 0) {
        return false;
    }
    HANDLE file = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool done = file != INVALID_HANDLE_VALUE;
    for (std::size_t i = 0; done && i < count; ++i) {
        const auto* bytes = static_cast<const unsigned char*>(pieces[i].data);
        uint64_t left = pieces[i].size;
        done = bytes != nullptr || left == 0;
        while (done && left > 0) {
            const DWORD piece = left < (1u << 30) ? static_cast<DWORD>(left) : (1u << 30);
            DWORD written = 0;
            done = WriteFile(file, bytes, piece, &written, nullptr) != FALSE && written == piece;
            bytes += piece;
            left -= piece;
        }
    }
    if (file != INVALID_HANDLE_VALUE) {
        done = FlushFileBuffers(file) != FALSE && done;
        done = CloseHandle(file) != FALSE && done;
    }
    if (done && MoveFileExA(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE) {
        return true;
    }
    DeleteFileA(temp);
    return false;
}

uint32_t fileSize(FileHandle file)
{
    return file == nullptr ? kInvalidFileSize : GetFileSize(static_cast<HANDLE>(file), nullptr);
}

bool readFile(FileHandle file, void* buffer, uint32_t size, uint32_t* done)
{
    DWORD count = 0;
    BOOL ok = file != nullptr && ReadFile(static_cast<HANDLE>(file), buffer, size, &count, nullptr);
    if (done != nullptr) {
        *done = count;
    }
    return ok != FALSE;
}

bool writeFile(FileHandle file, const void* data, uint32_t size)
{
    DWORD count = 0;
    return file != nullptr && WriteFile(static_cast<HANDLE>(file), data, size, &count, nullptr) != FALSE;
}

bool closeFile(FileHandle file)
{
    return file != nullptr && CloseHandle(static_cast<HANDLE>(file)) != FALSE;
}

void* localAlloc(std::size_t size)
{
    return LocalAlloc(LPTR, size);
}

void localFree(void* block)
{
    LocalFree(block);
}

MemoryBlock globalAlloc(std::size_t size)
{
    return GlobalAlloc(GMEM_MOVEABLE, size);
}

void* globalLock(MemoryBlock block)
{
    return GlobalLock(static_cast<HGLOBAL>(block));
}

void globalUnlock(MemoryBlock block)
{
    GlobalUnlock(static_cast<HGLOBAL>(block));
}

void globalFree(MemoryBlock block)
{
    GlobalFree(static_cast<HGLOBAL>(block));
}

HRESULT createStream(MemoryBlock block, bool deleteOnRelease, PictureStream* stream)
{
    IStream* made = nullptr;
    HRESULT result = CreateStreamOnHGlobal(static_cast<HGLOBAL>(block), deleteOnRelease ? TRUE : FALSE, &made);
    *stream = made;
    return result;
}

void releaseStream(PictureStream stream)
{
    if (stream != nullptr) {
        static_cast<IStream*>(stream)->Release();
    }
}

HRESULT loadPicture(PictureStream stream, LONG size, bool runMode, IPicture** picture)
{
    return OleLoadPicture(static_cast<IStream*>(stream), size, runMode ? TRUE : FALSE, IID_IPicture,
                          reinterpret_cast<void**>(picture));
}

// The system's loader trusts the headers: it reads past the end of a file
// whose pixel array is cut short. Files are therefore checked first.
bool headersFit(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    unsigned char headers[bmp::kBmpHeadersSize];
    LARGE_INTEGER size{};
    DWORD got = 0;
    bool read = GetFileSizeEx(file, &size) && ReadFile(file, headers, sizeof headers, &got, nullptr) &&
                (got == sizeof headers || got == static_cast<unsigned long long>(size.QuadPart));
    CloseHandle(file);
    BITMAP description{};
    bmp::BmpPixelArray pixels;
    return read && bmp::checkBmpHeaders(headers, static_cast<unsigned long long>(size.QuadPart), description, pixels);
}

HBITMAP loadBitmap(const char* path)
{
    if (path == nullptr || !headersFit(path)) {
        return nullptr;
    }
    return static_cast<HBITMAP>(
        LoadImageA(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE | LR_CREATEDIBSECTION));
}

bool describeBitmap(HBITMAP bitmap, BITMAP* description)
{
    return GetObjectA(bitmap, sizeof(BITMAP), description) != 0;
}

bool deleteBitmap(HBITMAP bitmap)
{
    return DeleteObject(bitmap) != FALSE;
}

bool copyPixelRows(HBITMAP bitmap, unsigned char* out, std::size_t rowBytes, std::size_t limit)
{
    BITMAP bm{};
    if (GetObjectA(bitmap, sizeof(BITMAP), &bm) == 0 || bm.bmBits == nullptr || bm.bmWidth <= 0 ||
        bm.bmHeight == 0) {
        return false;
    }
    const std::size_t stride = (static_cast<std::size_t>(bm.bmBitsPixel) * bm.bmWidth + 31) / 32 * 4;
    const std::size_t rows = static_cast<std::size_t>(bm.bmHeight < 0 ? -static_cast<long long>(bm.bmHeight)
                                                                       : bm.bmHeight);
    if (rowBytes == 0 || rowBytes > stride || limit > rows * rowBytes) {
        return false;
    }
    const unsigned char* row = static_cast<const unsigned char*>(bm.bmBits);
    for (std::size_t done = 0; done < limit; row += stride) {
        std::size_t take = limit - done < rowBytes ? limit - done : rowBytes;
        std::memcpy(out + done, row, take);
        done += take;
    }
    return true;
}

bool clientRect(HWND window, RECT* rect)
{
    return GetClientRect(window, rect) != FALSE;
}

}  // namespace

PictureOps makePictureOps()
{
    PictureOps table{};
    table.openForReading = openForReading;
    table.replaceFile = replaceFile;
    table.fileSize = fileSize;
    table.readFile = readFile;
    table.writeFile = writeFile;
    table.closeFile = closeFile;
    table.localAlloc = localAlloc;
    table.localFree = localFree;
    table.globalAlloc = globalAlloc;
    table.globalLock = globalLock;
    table.globalUnlock = globalUnlock;
    table.globalFree = globalFree;
    table.createStream = createStream;
    table.releaseStream = releaseStream;
    table.loadPicture = loadPicture;
    table.loadBitmap = loadBitmap;
    table.describeBitmap = describeBitmap;
    table.deleteBitmap = deleteBitmap;
    table.copyPixelRows = copyPixelRows;
    table.clientRect = clientRect;
    return table;
}

}  // namespace platform
}  // namespace ktu
