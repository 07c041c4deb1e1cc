// Pixel engines. The resizes and the zoom share one idea: for a strip of up
// to kSegment destination pixels, work out once which source byte every
// destination byte takes (a column plan); then each destination row is either
// produced from its source row through that plan, or, when it repeats the row
// above it, copied from that row with memcpy.
//
// A plan row is produced by 16-byte windows: each window of the destination
// row is one unaligned 16-byte load from the source row and one byte shuffle
// (SSSE3 pshufb, or two windows per AVX2 vpshufb). That works whenever the 16
// bytes of every window come from 16 consecutive source bytes, which holds for
// every enlargement (no source pixel skipped). Otherwise, and on processors
// without SSSE3, rows are gathered pixel by pixel with overlapping 4-byte
// copies.
//
// A zoom by two across (every source pixel doubled, the usual digital zoom)
// has an engine of its own: three shuffles give 16 source pixels' 96 bytes
// of destination, stored into every destination row of the block straight
// from the registers.
//
// Zooms and reversals read each source row once, front to back, and ask for
// the next source rows while they work on one (prefetch); in large frames
// the reversal also asks for the destination a few rows ahead (see
// kWriteAhead).
// Streaming stores are there for measurements (see streamingThreshold).
#include "ktuRasterKernels.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#  define KTU_X86_SIMD 1
#  include <immintrin.h>
#  if defined(__i386__)
// 32-bit Windows callers may hand over a stack aligned to 4 bytes only.
#    define KTU_SIMD_FN(isa) __attribute__((target(isa), force_align_arg_pointer))
#  else
#    define KTU_SIMD_FN(isa) __attribute__((target(isa)))
#  endif
#else
#  define KTU_X86_SIMD 0
#endif

namespace ktu {
namespace raster {

namespace {

using std::size_t;
using std::uint8_t;

Kernel detectKernel()
{
#if KTU_X86_SIMD
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        return Kernel::Avx2;
    }
    if (__builtin_cpu_supports("ssse3")) {
        return Kernel::Ssse3;
    }
#endif
    return Kernel::Plain;
}

Kernel detectedKernel()
{
    static const Kernel best = detectKernel();
    return best;
}

std::atomic<int>& kernelInUse()
{
    static std::atomic<int> inUse{static_cast<int>(detectedKernel())};
    return inUse;
}

// Destination frames of at least this many bytes are written with streaming
// stores (see streamPattern*); by default none is. Measured on frames in and
// out of the cache, streaming lost to ordinary stores at both sizes measured
// (1920 x 1080 and 640 x 480): in the cache every streamed line goes out to
// memory (2 x memcpy at 640 x 480), and out of the cache the zoom through the
// row buffer streamed took 1.45 to 1.55 x memcpy against 1.06 to 1.28 x with
// ordinary stores. Kept for measurements and tests.
std::atomic<size_t>& streamingThreshold()
{
    static std::atomic<size_t> bytes{SIZE_MAX};
    return bytes;
}

inline void copy3(uint8_t* d, const uint8_t* s)
{
    std::memcpy(d, s, 3);
}

// Copies one pixel and one byte more; the extra byte lands on the next
// destination pixel, which is written afterwards.
inline void copy4(uint8_t* d, const uint8_t* s)
{
    std::memcpy(d, s, 4);
}

// Asks for the cache lines of n bytes at p to be loaded ahead of their use.
inline void prefetchSpan(const uint8_t* p, size_t n)
{
#if defined(__GNUC__) || defined(__clang__)
    if (n == 0) {
        return;
    }
    for (size_t i = 0; i < n; i += 64) {
        __builtin_prefetch(p + i);
    }
    __builtin_prefetch(p + n - 1);
#else
    (void)p;
    (void)n;
#endif
}

// Reads one byte at p. Frames fresh from memory lie on 4 KiB pages whose
// translations are not cached either. A prefetch hint that misses the
// translation cache did next to nothing here, while a load is never
// dropped: it makes the processor walk the page tables and fetch the line
// while the rows before it are worked on. One load a few rows ahead of the
// reads and writes of a frame pass hides most of the cost of a new page:
// the 640x480 zoom by two went from 1.35 to 1.07 x memcpy on frames not in
// the cache, the reversal from 1.55 to 1.18, with no change in the cache.
inline void touch(const uint8_t* p)
{
    static_cast<void>(*static_cast<const volatile uint8_t*>(p));
}

// How many rows ahead the source is touched, and how many bytes ahead of
// the row being written the destination is (more than the two rows a source
// row of a zoom by two writes, so that each page is reached once before it
// is written).
constexpr size_t kTouchRowsAhead = 4;
constexpr size_t kTouchBytesAhead = 16384;

// ---- Shuffle engines ---------------------------------------------------------

#if KTU_X86_SIMD
KTU_SIMD_FN("ssse3")
void windowsSsse3(const uint8_t* src, uint8_t* dst, const size_t* base, const uint8_t (*mask)[16], size_t n)
{
    for (size_t k = 0; k < n; ++k) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + base[k]));
        __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask[k]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16 * k), _mm_shuffle_epi8(v, m));
    }
}

KTU_SIMD_FN("avx2")
void windowsAvx2(const uint8_t* src, uint8_t* dst, const size_t* base, const uint8_t (*mask)[16], size_t n)
{
    size_t k = 0;
    for (; k + 2 <= n; k += 2) {
        __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + base[k]));
        __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + base[k + 1]));
        __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
        __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mask[k]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 16 * k), _mm256_shuffle_epi8(v, m));
    }
    if (k < n) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + base[k]));
        __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask[k]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16 * k), _mm_shuffle_epi8(v, m));
    }
}

// Processors with AVX-512 byte permutes: 21 pixels per step, one 64-byte
// load, one permute, one 64-byte store whose last byte is rewritten by the
// next step (or by the caller's tail). Returns the bytes done.
bool hasBytePermutes()
{
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512vbmi");
    return has;
}

KTU_SIMD_FN("avx512f,avx512bw,avx512vbmi")
size_t reverseRowVbmi(const uint8_t* src, uint8_t* dst, size_t rowBytes)
{
    alignas(64) static const uint8_t order[64] = {
        2,  1,  0,  5,  4,  3,  8,  7,  6,  11, 10, 9,  14, 13, 12, 17, 16, 15, 20, 19, 18, 23,
        22, 21, 26, 25, 24, 29, 28, 27, 32, 31, 30, 35, 34, 33, 38, 37, 36, 41, 40, 39, 44, 43,
        42, 47, 46, 45, 50, 49, 48, 53, 52, 51, 56, 55, 54, 59, 58, 57, 62, 61, 60, 63};
    const __m512i permute = _mm512_load_si512(order);
    size_t i = 0;
    for (; i + 64 <= rowBytes; i += 63) {
        const __m512i v = _mm512_loadu_si512(src + i);
        _mm512_storeu_si512(dst + i, _mm512_maskz_permutexvar_epi8(~__mmask64{0}, permute, v));
    }
    return i;
}

// Five pixels per step: a 16-byte load, the bytes of each pixel reversed, a
// 16-byte store whose last byte is rewritten by the next step.
KTU_SIMD_FN("ssse3")
size_t reverseRowSsse3(const uint8_t* src, uint8_t* dst, size_t rowBytes)
{
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    size_t i = 0;
    for (; i + 31 <= rowBytes; i += 30) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 15));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_shuffle_epi8(a, order));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 15), _mm_shuffle_epi8(b, order));
    }
    for (; i + 16 <= rowBytes; i += 15) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_shuffle_epi8(a, order));
    }
    return i / 3;  // the first pixel still to do
}

// Two 16-byte loads as the low and high halves of one register.
KTU_SIMD_FN("avx2")
inline __m256i loadPair(const uint8_t* lo, const uint8_t* hi)
{
    // Two broadcast loads and a blend: no shuffle unit is used, they are
    // left to the byte shuffles.
    const __m256i a = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo)));
    const __m256i b = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(hi)));
    return _mm256_blend_epi32(a, b, 0xF0);
}

KTU_SIMD_FN("sse2")
void swapBytesSse2(uint8_t* a, uint8_t* b, size_t n)
{
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i + 16));
        __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(a + i), b0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(a + i + 16), b1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(b + i), a0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(b + i + 16), a1);
    }
    for (; i < n; ++i) {
        const uint8_t t = a[i];
        a[i] = b[i];
        b[i] = t;
    }
}

KTU_SIMD_FN("avx2")
void swapBytesAvx2(uint8_t* a, uint8_t* b, size_t n)
{
    size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
        __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i + 32));
        __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i + 32));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(a + i), b0);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(a + i + 32), b1);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(b + i), a0);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(b + i + 32), a1);
    }
    swapBytesSse2(a + i, b + i, n - i);
}

// Writes n bytes at d: the pattern of `period` bytes repeated from its
// start. `pattern` holds period + 64 bytes (the pattern and then its first 64
// bytes again) and period >= 64. Whole 64-byte lines of d are written with
// streaming stores, which skip the cache: a line that is only written is not
// first read in from memory, and the frame does not push other data out of
// the cache. The partial lines at both ends get ordinary stores. With
// period == n it is a plain copy of n bytes, and `pattern` needs no more.
KTU_SIMD_FN("sse2")
void streamPatternSse2(uint8_t* d, size_t n, const uint8_t* pattern, size_t period)
{
    size_t head = (64 - reinterpret_cast<std::uintptr_t>(d) % 64) % 64;
    if (head >= n) {
        std::memcpy(d, pattern, n);
        return;
    }
    std::memcpy(d, pattern, head);
    size_t off = head;
    size_t i = head;
    for (; i + 64 <= n; i += 64) {
        const uint8_t* p = pattern + off;
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
        __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
        _mm_stream_si128(reinterpret_cast<__m128i*>(d + i), a);
        _mm_stream_si128(reinterpret_cast<__m128i*>(d + i + 16), b);
        _mm_stream_si128(reinterpret_cast<__m128i*>(d + i + 32), c);
        _mm_stream_si128(reinterpret_cast<__m128i*>(d + i + 48), e);
        off += 64;
        if (off >= period) {
            off -= period;
        }
    }
    std::memcpy(d + i, pattern + off, n - i);
}

KTU_SIMD_FN("avx2")
void streamPatternAvx2(uint8_t* d, size_t n, const uint8_t* pattern, size_t period)
{
    size_t head = (64 - reinterpret_cast<std::uintptr_t>(d) % 64) % 64;
    if (head >= n) {
        std::memcpy(d, pattern, n);
        return;
    }
    std::memcpy(d, pattern, head);
    size_t off = head;
    size_t i = head;
    for (; i + 64 <= n; i += 64) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pattern + off));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pattern + off + 32));
        _mm256_stream_si256(reinterpret_cast<__m256i*>(d + i), a);
        _mm256_stream_si256(reinterpret_cast<__m256i*>(d + i + 32), b);
        off += 64;
        if (off >= period) {
            off -= period;
        }
    }
    std::memcpy(d + i, pattern + off, n - i);
}

// ---- Pixel doubling ------------------------------------------------------------
//
// A zoom by two across: every source pixel twice. 16 source pixels (48 bytes)
// give 96 destination bytes, six 16-byte windows whose loads start at source
// bytes 0, 6, 15, 24, 30 and 39; the shuffle pattern repeats every three
// windows, 24 source bytes on. Each result is stored into every destination
// row of the block straight from the register, so the repeated rows cost
// stores only (no second pass reading the first row back).

struct DoublingMasks {
    uint8_t window[3][16];
};

const DoublingMasks& doublingMasks()
{
    static const DoublingMasks masks = [] {
        DoublingMasks m{};
        for (unsigned w = 0; w < 3; ++w) {
            const unsigned base = 3 * (16 * w / 6);
            for (unsigned j = 0; j < 16; ++j) {
                const unsigned o = 16 * w + j;
                m.window[w][j] = static_cast<uint8_t>(3 * (o / 6) + o % 3 - base);
            }
        }
        return m;
    }();
    return masks;
}

// Doubles source pixels from `src` into `rows` destination rows `stride`
// bytes apart, 16 pixels a step, reading at most `readable` bytes from `src`.
// Returns the number of source pixels done (at most `pixels`).
KTU_SIMD_FN("ssse3")
size_t doublePixelsSsse3(const uint8_t* src, size_t readable, size_t pixels, uint8_t* dst, size_t rows,
                         size_t stride)
{
    const DoublingMasks& dm = doublingMasks();
    const __m128i m0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dm.window[0]));
    const __m128i m1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dm.window[1]));
    const __m128i m2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dm.window[2]));
    size_t i = 0;
    for (; i + 48 <= 3 * pixels && i + 55 <= readable; i += 48) {
        const uint8_t* s = src + i;
        const __m128i v[6] = {
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), m0),
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 6)), m1),
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 15)), m2),
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 24)), m0),
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 30)), m1),
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 39)), m2),
        };
        uint8_t* d = dst + 2 * i;
        for (size_t r = 0; r < rows; ++r, d += stride) {
            for (int k = 0; k < 6; ++k) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16 * k), v[k]);
            }
        }
    }
    return i / 3;
}

KTU_SIMD_FN("avx2")
size_t doublePixelsAvx2(const uint8_t* src, size_t readable, size_t pixels, uint8_t* dst, size_t rows,
                        size_t stride)
{
    const DoublingMasks& dm = doublingMasks();
    const __m256i m01 = loadPair(dm.window[0], dm.window[1]);
    const __m256i m20 = loadPair(dm.window[2], dm.window[0]);
    const __m256i m12 = loadPair(dm.window[1], dm.window[2]);
    size_t i = 0;
    for (; i + 48 <= 3 * pixels && i + 55 <= readable; i += 48) {
        const uint8_t* s = src + i;
        const __m256i a = _mm256_shuffle_epi8(loadPair(s, s + 6), m01);
        const __m256i b = _mm256_shuffle_epi8(loadPair(s + 15, s + 24), m20);
        const __m256i c = _mm256_shuffle_epi8(loadPair(s + 30, s + 39), m12);
        uint8_t* d = dst + 2 * i;
        for (size_t r = 0; r < rows; ++r, d += stride) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), a);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 32), b);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 64), c);
        }
    }
    return i / 3;
}

KTU_SIMD_FN("sse2")
void streamFence()
{
    _mm_sfence();
}
#endif

// ---- Column plans ------------------------------------------------------------

constexpr size_t kSegment = 2048;
constexpr size_t kMaxWindows = kSegment * 3 / 16;

struct ColumnPlan {
    size_t count = 0;           // destination pixels of the strip
    size_t offset[kSegment];    // source byte offset (3 x column) of each
    size_t lastRowSafe = 0;     // pixels copyable with 4-byte loads in the last source row
    size_t windows = 0;         // shuffle windows per row; 0: gather pixel by pixel
    size_t base[kMaxWindows];   // source byte where each window's load starts
    uint8_t mask[kMaxWindows][16];

    // `rowBytes`: bytes in one source row. Call once `count` and `offset` are set.
    void finish(size_t rowBytes, Kernel kernel)
    {
        lastRowSafe = 0;
        while (lastRowSafe + 1 < count && offset[lastRowSafe] + 4 <= rowBytes) {
            ++lastRowSafe;
        }
        windows = 0;
        if (kernel == Kernel::Plain || rowBytes < 16 || count * 3 < 16) {
            return;
        }
        const size_t n = count * 3 / 16;
        size_t pixel = 0;
        size_t component = 0;
        for (size_t k = 0; k < n; ++k) {
            size_t from[16];
            size_t lo = SIZE_MAX;
            size_t hi = 0;
            for (size_t j = 0; j < 16; ++j) {
                from[j] = offset[pixel] + component;
                lo = std::min(lo, from[j]);
                hi = std::max(hi, from[j]);
                if (++component == 3) {
                    component = 0;
                    ++pixel;
                }
            }
            if (hi - lo >= 16) {
                return;  // this row skips source pixels: gather instead
            }
            base[k] = std::min(lo, rowBytes - 16);
            for (size_t j = 0; j < 16; ++j) {
                mask[k][j] = static_cast<uint8_t>(from[j] - base[k]);
            }
        }
        windows = n;
    }

    // Produces the strip's pixels of one destination row from `srcRow`.
    void copyRow(const uint8_t* srcRow, bool lastSourceRow, uint8_t* dst, Kernel kernel) const
    {
        size_t x = 0;
#if KTU_X86_SIMD
        if (windows != 0) {
            if (kernel == Kernel::Avx2) {
                windowsAvx2(srcRow, dst, base, mask, windows);
            } else {
                windowsSsse3(srcRow, dst, base, mask, windows);
            }
            x = windows * 16 / 3;  // the pixel that the last window may have cut
        }
#else
        (void)kernel;
#endif
        if (x == 0 && count > 0) {
            const size_t fast = lastSourceRow ? lastRowSafe : count - 1;
            for (; x < fast; ++x) {
                copy4(dst + 3 * x, srcRow + offset[x]);
            }
        }
        for (; x < count; ++x) {
            copy3(dst + 3 * x, srcRow + offset[x]);
        }
    }
};

}  // namespace

Kernel bestKernel()
{
    return detectedKernel();
}

Kernel activeKernel()
{
    return static_cast<Kernel>(kernelInUse().load(std::memory_order_relaxed));
}

Kernel useKernel(Kernel wanted)
{
    Kernel chosen = static_cast<int>(wanted) <= static_cast<int>(detectedKernel()) ? wanted : detectedKernel();
    kernelInUse().store(static_cast<int>(chosen), std::memory_order_relaxed);
    return chosen;
}

size_t useStreamingThreshold(size_t bytes)
{
    return streamingThreshold().exchange(bytes, std::memory_order_relaxed);
}

unsigned truncToRange(double value, unsigned limit)
{
    if (!(value > 0.0)) {
        return 0;
    }
    if (value >= static_cast<double>(limit)) {
        return limit;
    }
    return static_cast<unsigned>(value);
}

int truncToInt(double value)
{
    if (value != value) {
        return 0;
    }
    if (value >= static_cast<double>(INT_MAX)) {
        return INT_MAX;
    }
    if (value <= static_cast<double>(INT_MIN)) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

ScaledSize scaleForMaxSize(int width, int height, int maxSize)
{
    const int larger = width > height ? width : height;
    const double scale = static_cast<double>(larger) / static_cast<double>(maxSize);
    return ScaledSize{truncToInt(static_cast<double>(width) / scale), truncToInt(static_cast<double>(height) / scale),
                      scale};
}

void zoom(const uint8_t* source, uint8_t* destination, const ZoomGeometry& g)
{
    const unsigned width = g.width;
    const unsigned height = g.height;
    const unsigned rowEnd = std::min(g.rowEnd, height);
    const unsigned colEnd = std::min(g.colEnd, width);
    if (g.firstRow >= rowEnd || g.firstCol >= colEnd) {
        return;
    }
    const Kernel kernel = activeKernel();
    const size_t rowBytes = size_t{3} * width;
    ColumnPlan plan;
#if KTU_X86_SIMD
    const bool stream = kernel != Kernel::Plain && rowBytes >= 64 &&
                        rowBytes * height >= streamingThreshold().load(std::memory_order_relaxed);
    alignas(64) uint8_t pattern[3 * kSegment + 64];
#else
    const bool stream = false;
#endif

    for (size_t segStart = 0; segStart < width; segStart += kSegment) {
        const size_t segEnd = std::min<size_t>(segStart + kSegment, width);
        // Source column q fills destination columns [x0, x1); the blocks
        // follow one another from column 0 without gaps.
        // The end of one block is the start of the next (the first starts
        // at 0), so each bound is computed once.
        size_t covered = segStart;
        size_t x1 = 0;
        for (unsigned q = g.firstCol; q < colEnd; ++q) {
            const unsigned k = q - g.firstCol;
            const size_t x0 = x1;
            x1 = truncToRange(static_cast<double>(k + 1u) * g.horizontalFactor, width);
            if (x0 >= segEnd) {
                break;
            }
            const size_t lo = std::max(x0, segStart);
            const size_t hi = std::min(x1, segEnd);
            for (size_t x = lo; x < hi; ++x) {
                plan.offset[x - segStart] = size_t{3} * q;
            }
            covered = std::max(covered, hi);
        }
        plan.count = covered - segStart;
        if (plan.count == 0) {
            break;
        }
        // A strip that doubles every source pixel (a zoom by two across)
        // takes the doubling engine and needs no shuffle windows.
        bool doubled = kernel != Kernel::Plain && plan.count >= 32;
        for (size_t x = 0; doubled && x < plan.count; ++x) {
            doubled = plan.offset[x] == plan.offset[0] + 3 * (x / 2);
        }
        if (!doubled) {
            plan.finish(rowBytes, kernel);
        }
        // The source bytes that the strip reads in each row, and how many
        // rows ahead they are asked for: at least 8 KiB ahead, so that the
        // memory has the time of a few rows to deliver them.
        const size_t spanStart = plan.offset[0];
        const size_t spanBytes = plan.offset[plan.count - 1] + 3 - spanStart;
        const unsigned ahead = static_cast<unsigned>(std::min<size_t>(8, 1 + 8192 / spanBytes));
        for (unsigned r = g.firstRow + 1; r < rowEnd && r < g.firstRow + ahead; ++r) {
            prefetchSpan(source + r * rowBytes + spanStart, spanBytes);
        }

        for (unsigned r = g.firstRow; r < rowEnd; ++r) {
            const unsigned k = r - g.firstRow;
            const size_t y0 = truncToRange(static_cast<double>(k) * g.verticalFactor, height);
            const size_t y1 = truncToRange(static_cast<double>(k + 1u) * g.verticalFactor, height);
            if (y0 >= height) {
                break;
            }
            if (y0 >= y1) {
                continue;
            }
            uint8_t* first = destination + y0 * rowBytes + 3 * segStart;
            if (r + kTouchRowsAhead < rowEnd) {
                touch(source + (r + kTouchRowsAhead) * rowBytes + spanStart);
            }
            if (y0 * rowBytes + kTouchBytesAhead < height * rowBytes) {
                touch(destination + y0 * rowBytes + kTouchBytesAhead);
            }
            if (rowEnd - r > ahead) {
                // Later source rows are read while this one is written out:
                // a frame fresh from memory otherwise stalls on every row.
                prefetchSpan(source + (r + ahead) * rowBytes + spanStart, spanBytes);
            }
#if KTU_X86_SIMD
            if (doubled) {
                const uint8_t* srcRow = source + r * rowBytes;
                const size_t pairs = plan.count / 2;
                const size_t done = kernel == Kernel::Avx2
                                        ? doublePixelsAvx2(srcRow + spanStart, rowBytes - spanStart, pairs, first,
                                                           y1 - y0, rowBytes)
                                        : doublePixelsSsse3(srcRow + spanStart, rowBytes - spanStart, pairs, first,
                                                            y1 - y0, rowBytes);
                // The pixels after the last whole step, into the first row
                // and copied to the others.
                const size_t from = 2 * done;
                for (size_t x = from; x < plan.count; ++x) {
                    copy3(first + 3 * x, srcRow + plan.offset[x]);
                }
                for (size_t y = y0 + 1; y < y1 && from < plan.count; ++y) {
                    std::memcpy(destination + y * rowBytes + 3 * (segStart + from), first + 3 * from,
                                3 * (plan.count - from));
                }
                continue;
            }
            if (stream && 3 * plan.count >= 64) {
                // The row is produced once into `pattern`, in the cache, and
                // streamed from there into each of its destination rows; when
                // the strip is the whole row, those rows are one run of memory.
                plan.copyRow(source + r * rowBytes, r + 1 == height, pattern, kernel);
                const size_t period = 3 * plan.count;
                std::memcpy(pattern + period, pattern, 64);
                auto write = kernel == Kernel::Avx2 ? streamPatternAvx2 : streamPatternSse2;
                if (period == rowBytes) {
                    write(first, (y1 - y0) * rowBytes, pattern, period);
                } else {
                    for (size_t y = y0; y < y1; ++y) {
                        write(destination + y * rowBytes + 3 * segStart, period, pattern, period);
                    }
                }
                continue;
            }
#endif
            plan.copyRow(source + r * rowBytes, r + 1 == height, first, kernel);
            for (size_t y = y0 + 1; y < y1; ++y) {
                std::memcpy(destination + y * rowBytes + 3 * segStart, first, 3 * plan.count);
            }
        }
    }
#if KTU_X86_SIMD
    if (stream) {
        streamFence();  // streaming stores are ordered with later ones only by a fence
    }
#endif
}

bool resizeNearest(const uint8_t* source, int sourceWidth, int sourceHeight, double sx, double sy, int outWidth,
                   int outHeight, uint8_t* destination, bool zeroAlignment)
{
    if (outWidth <= 0 || outHeight <= 0) {
        return true;
    }
    if (sourceWidth <= 0 || sourceHeight <= 0 || source == nullptr || destination == nullptr) {
        return false;
    }
    // Picked columns and rows grow with x and y: checking the last ones
    // checks them all.
    const double lastCol = static_cast<double>(outWidth - 1) * sx;
    const double lastRow = static_cast<double>(outHeight - 1) * sy;
    if (!(lastCol >= 0.0 && lastCol < sourceWidth && lastRow >= 0.0 && lastRow < sourceHeight && sx >= 0.0 &&
          sy >= 0.0)) {
        return false;
    }
    const Kernel kernel = activeKernel();
    const size_t srcRowBytes = size_t{3} * static_cast<size_t>(sourceWidth);
    const size_t width = static_cast<size_t>(outWidth);
    const size_t pad = width % 4;
    const size_t dstStride = 3 * width + pad;
    ColumnPlan plan;

    for (size_t segStart = 0; segStart < width; segStart += kSegment) {
        const size_t segEnd = std::min(segStart + kSegment, width);
        plan.count = segEnd - segStart;
        for (size_t x = segStart; x < segEnd; ++x) {
            const int column = static_cast<int>(static_cast<double>(x) * sx);
            plan.offset[x - segStart] = size_t{3} * static_cast<size_t>(column);
        }
        plan.finish(srcRowBytes, kernel);
        int previous = -1;
        for (int y = 0; y < outHeight; ++y) {
            const int r = static_cast<int>(static_cast<double>(y) * sy);
            uint8_t* row = destination + static_cast<size_t>(y) * dstStride + 3 * segStart;
            if (r == previous) {
                std::memcpy(row, row - dstStride, 3 * plan.count);
            } else {
                plan.copyRow(source + static_cast<size_t>(r) * srcRowBytes, r + 1 == sourceHeight, row, kernel);
            }
            previous = r;
        }
    }
    if (zeroAlignment && pad != 0) {
        for (size_t y = 0; y < static_cast<size_t>(outHeight); ++y) {
            std::memset(destination + y * dstStride + 3 * width, 0, pad);
        }
    }
    return true;
}

namespace {

// Reverses the bytes of every pixel of n bytes (whole pixels) from s to d.
void reversePixels(const uint8_t* s, uint8_t* d, size_t n, Kernel kernel)
{
    size_t x = 0;
#if KTU_X86_SIMD
    if (kernel == Kernel::Avx2 && hasBytePermutes()) {
        const size_t done = reverseRowVbmi(s, d, n);
        s += done;
        d += done;
        n -= done;
    }
    if (kernel != Kernel::Plain) {
        x = reverseRowSsse3(s, d, n);
    }
#else
    (void)kernel;
#endif
    for (; 3 * x < n; ++x) {
        const uint8_t b0 = s[3 * x];
        const uint8_t b1 = s[3 * x + 1];
        const uint8_t b2 = s[3 * x + 2];
        d[3 * x] = b2;
        d[3 * x + 1] = b1;
        d[3 * x + 2] = b0;
    }
}

}  // namespace

void reverseRowsAndPixels(const uint8_t* source, uint8_t* destination, size_t width, size_t height)
{
    const size_t rowBytes = 3 * width;
    const Kernel kernel = activeKernel();
#if KTU_X86_SIMD
    // As in the zoom: destinations from the streaming threshold up are
    // written past the cache, each piece of a row reversed into `piece` (in
    // the cache) and streamed out.
    const bool stream =
        kernel != Kernel::Plain && rowBytes * height >= streamingThreshold().load(std::memory_order_relaxed);
    alignas(64) uint8_t piece[3 * kSegment];
#else
    const bool stream = false;
#endif
    // Destination rows are written from the last one backwards, so the
    // destination row a few on is touched like the source's next rows.
    for (size_t r = 0; r < height; ++r) {
        const uint8_t* s = source + r * rowBytes;
        uint8_t* d = destination + (height - 1 - r) * rowBytes;
        if (r + 1 < height) {
            prefetchSpan(s + rowBytes, rowBytes);
        }
        if (r + kTouchRowsAhead < height) {
            touch(d - kTouchRowsAhead * rowBytes);
        }
#if KTU_X86_SIMD
        if (stream) {
            for (size_t done = 0; done < rowBytes; done += sizeof piece) {
                const size_t n = std::min(sizeof piece, rowBytes - done);
                reversePixels(s + done, piece, n, kernel);
                (kernel == Kernel::Avx2 ? streamPatternAvx2 : streamPatternSse2)(d + done, n, piece, n);
            }
            continue;
        }
#endif
        reversePixels(s, d, rowBytes, kernel);
    }
#if KTU_X86_SIMD
    if (stream) {
        streamFence();
    }
#endif
}

void flipRows(uint8_t* raster, size_t width, size_t height)
{
    const size_t rowBytes = 3 * width;
    const Kernel kernel = activeKernel();
    uint8_t hold[4096];
    for (size_t i = 0; i < height / 2; ++i) {
        uint8_t* a = raster + i * rowBytes;
        uint8_t* b = raster + (height - 1 - i) * rowBytes;
#if KTU_X86_SIMD
        if (kernel == Kernel::Avx2) {
            swapBytesAvx2(a, b, rowBytes);
            continue;
        }
        if (kernel == Kernel::Ssse3) {
            swapBytesSse2(a, b, rowBytes);
            continue;
        }
#else
        (void)kernel;
#endif
        for (size_t done = 0; done < rowBytes; done += sizeof hold) {
            const size_t n = std::min(sizeof hold, rowBytes - done);
            std::memcpy(hold, a + done, n);
            std::memcpy(a + done, b + done, n);
            std::memcpy(b + done, hold, n);
        }
    }
}

}  // namespace raster
}  // namespace ktu
