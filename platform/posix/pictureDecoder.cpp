// stb_image compiled into the library, its allocations counted against the
// budget of the decode in progress on the calling thread (pictureDecoder.h).
#include "pictureDecoder.h"
#include <algorithm>
#include <climits>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace ktu {
namespace platform {
namespace posix {
namespace {

struct Budget {
    std::size_t limit;
    std::size_t used = 0;
    std::size_t peak = 0;
    bool refused = false;
};

thread_local Budget* current = nullptr;
thread_local std::size_t lastPeak = 0;
thread_local bool lastRefused = false;

// Every block carries its size in front, so that a release and a resize know
// what they give back.
constexpr std::size_t kHeader = alignof(std::max_align_t) > sizeof(std::size_t) ? alignof(std::max_align_t)
                                                                                 : sizeof(std::size_t);

bool admit(std::size_t give, std::size_t take)
{
    Budget* b = current;
    if (b == nullptr) {
        return true;
    }
    const std::size_t after = b->used - give;
    if (take > b->limit || after > b->limit - take) {
        b->refused = true;
        return false;
    }
    b->used = after + take;
    b->peak = b->used > b->peak ? b->used : b->peak;
    return true;
}

void giveBack(std::size_t size)
{
    if (current != nullptr) {
        current->used -= size <= current->used ? size : current->used;
    }
}

std::size_t sizeOf(void* block)
{
    std::size_t size;
    std::memcpy(&size, static_cast<unsigned char*>(block) - kHeader, sizeof size);
    return size;
}

void* budgetMalloc(std::size_t size)
{
    if (size > SIZE_MAX - kHeader || !admit(0, size)) {
        return nullptr;
    }
    // Zeroed: a damaged file can make the decoder read parts of its state
    // that the file never filled in (a Huffman table that no segment
    // defined, say); they then read as zeros, the same on every run, and
    // never as whatever the heap held before.
    auto* raw = static_cast<unsigned char*>(std::calloc(1, size + kHeader));
    if (raw == nullptr) {
        giveBack(size);
        return nullptr;
    }
    std::memcpy(raw, &size, sizeof size);
    return raw + kHeader;
}

void budgetFree(void* block)
{
    if (block != nullptr) {
        giveBack(sizeOf(block));
        std::free(static_cast<unsigned char*>(block) - kHeader);
    }
}

void* budgetRealloc(void* block, std::size_t size)
{
    if (block == nullptr) {
        return budgetMalloc(size);
    }
    const std::size_t old = sizeOf(block);
    if (size > SIZE_MAX - kHeader || !admit(old, size)) {
        return nullptr;  // the old block stays with the decoder, which frees it
    }
    auto* raw = static_cast<unsigned char*>(std::realloc(static_cast<unsigned char*>(block) - kHeader, size + kHeader));
    if (raw == nullptr) {
        admit(size, old);
        return nullptr;
    }
    std::memcpy(raw, &size, sizeof size);
    if (size > old) {
        std::memset(raw + kHeader + old, 0, size - old);
    }
    return raw + kHeader;
}

// Runs one step of the decoder under a budget of `limit` bytes.
class BudgetScope {
public:
    explicit BudgetScope(std::size_t limit) : budget_{limit}, outer_(current) { current = &budget_; }
    ~BudgetScope()
    {
        current = outer_;
        lastPeak = budget_.peak;
        lastRefused = budget_.refused;
    }
    BudgetScope(const BudgetScope&) = delete;
    BudgetScope& operator=(const BudgetScope&) = delete;

private:
    Budget budget_;
    Budget* outer_;
};

}  // namespace
}  // namespace posix
}  // namespace platform
}  // namespace ktu

#define STBI_MALLOC(size) ktu::platform::posix::budgetMalloc(size)
#define STBI_REALLOC(block, size) ktu::platform::posix::budgetRealloc(block, size)
#define STBI_FREE(block) ktu::platform::posix::budgetFree(block)
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_ONLY_GIF
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_FAILURE_STRINGS

#if defined(__GNUC__)
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Wunused-function"
#  pragma GCC diagnostic ignored "-Wunused-parameter"
#  pragma GCC diagnostic ignored "-Wsign-compare"
#  pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#  pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#  pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#  pragma GCC diagnostic ignored "-Wtype-limits"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#  pragma GCC diagnostic pop
#endif

namespace ktu {
namespace platform {
namespace posix {

std::size_t decodeBudget(std::size_t fileBytes, int width, int height)
{
    const auto padded = [](int side) { return static_cast<std::size_t>(side < 0 ? 0 : side) + 16; };
    return kHeaderBudget + 2 * fileBytes + kBytesPerPixel * padded(width) * padded(height);
}

namespace {

bool isPng(const unsigned char* data, std::size_t size)
{
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return size >= sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0;
}

// The decoder trusts the sixteen code counts of a JPEG Huffman table: counts
// that add up to more than 256 symbols would be written beyond its tables.
// Walks the file's segments as the decoder does (entropy-coded data up to the
// next marker) and answers false when any table segment holds such counts.
bool jpegTablesFit(const unsigned char* data, std::size_t size)
{
    if (size < 2 || data[0] != 0xFF || data[1] != 0xD8) {
        return true;  // not a JPEG file
    }
    std::size_t at = 2;
    while (at + 1 < size) {
        const unsigned char marker = data[at + 1];
        if (data[at] != 0xFF || marker == 0xFF) {
            ++at;  // entropy-coded data, or a fill byte before a marker
            continue;
        }
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            at += 2;  // a stuffed 0xFF, or a marker without a segment
            continue;
        }
        if (marker == 0xD9 || at + 3 >= size) {
            return true;
        }
        const std::size_t length = static_cast<std::size_t>(data[at + 2]) << 8 | data[at + 3];
        if (marker == 0xC4) {
            // As the decoder reads them: tables follow one another while the
            // segment's length lasts, and bytes past the file's end read as 0.
            const auto byteAt = [&](std::size_t i) { return i < size ? data[i] : 0u; };
            long long remaining = static_cast<long long>(length) - 2;
            for (std::size_t table = at + 4; remaining > 0;) {
                std::size_t symbols = 0;
                for (std::size_t i = 1; i <= 16; ++i) {
                    symbols += byteAt(table + i);
                }
                if (symbols > 256) {
                    return false;
                }
                table += 17 + symbols;
                remaining -= static_cast<long long>(17 + symbols);
            }
        }
        at += 2 + length;
    }
    return true;
}

}  // namespace

std::size_t pngDecodeBudget(std::size_t fileBytes, int width, int height)
{
    return std::min(decodeBudget(fileBytes, width, height), kHeaderBudget + 2 * fileBytes + kPngBytesPerFileByte * fileBytes);
}

bool pictureSize(const unsigned char* data, std::size_t size, int* width, int* height)
{
    if (data == nullptr || size == 0 || size > static_cast<std::size_t>(INT32_MAX) || !jpegTablesFit(data, size)) {
        return false;
    }
    BudgetScope scope(kHeaderBudget);
    int channels = 0;
    if (stbi_info_from_memory(data, static_cast<int>(size), width, height, &channels) == 0) {
        return false;
    }
    // The decoder's header reader gives a top-down BMP file (stored top row
    // first) its negative height; its loader decodes such a file whole.
    if (size >= 2 && data[0] == 'B' && data[1] == 'M' && *height < 0 && *height != INT_MIN) {
        *height = -*height;
    }
    return *width > 0 && *height > 0;
}

unsigned char* decodeBgr(const unsigned char* data, std::size_t size, int* width, int* height)
{
    int w = 0;
    int h = 0;
    if (!pictureSize(data, size, &w, &h) || static_cast<long long>(w) * h > kMaxPicturePixels) {
        return nullptr;
    }
    unsigned char* pixels = nullptr;
    int channels = 0;
    {
        BudgetScope scope(isPng(data, size) ? pngDecodeBudget(size, w, h) : decodeBudget(size, w, h));
        pixels = stbi_load_from_memory(data, static_cast<int>(size), width, height, &channels, 3);
    }
    if (pixels == nullptr) {
        return nullptr;
    }
    if (*width != w || *height != h) {  // the headers said otherwise: not the picture measured
        budgetFree(pixels);
        return nullptr;
    }
    const std::size_t bytes = static_cast<std::size_t>(w) * h * 3;
    for (std::size_t i = 0; i < bytes; i += 3) {
        const unsigned char red = pixels[i];
        pixels[i] = pixels[i + 2];
        pixels[i + 2] = red;
    }
    return pixels;
}

void releasePixels(unsigned char* pixels)
{
    budgetFree(pixels);
}

std::size_t lastDecodePeak()
{
    return lastPeak;
}

bool lastDecodeOverBudget()
{
    return lastRefused;
}

}  // namespace posix
}  // namespace platform
}  // namespace ktu
