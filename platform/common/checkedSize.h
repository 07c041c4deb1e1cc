// Sizes computed from numbers that come from outside (a file's header, a
// frame's length field, a caller's width and height), in the width of
// size_t on the machine the library runs on. On a 32-bit target 3 * W * H
// wraps at 2^32 long before the numbers look suspicious, and a wrapped size
// makes a small buffer that the code then fills as if it were large. Every
// such size goes through these, which say when it does not fit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

namespace ktu {

// a * b, false when it does not fit a size_t (`out` is then unchanged).
inline bool checkedMul(std::size_t a, std::size_t b, std::size_t& out)
{
    if (b != 0 && a > SIZE_MAX / b) {
        return false;
    }
    out = a * b;
    return true;
}

// a + b, false when it does not fit a size_t (`out` is then unchanged).
inline bool checkedAdd(std::size_t a, std::size_t b, std::size_t& out)
{
    if (a > SIZE_MAX - b) {
        return false;
    }
    out = a + b;
    return true;
}

// The product of all the factors, false when it does not fit a size_t.
template <typename... Factors>
bool checkedProduct(std::size_t& out, std::size_t first, Factors... rest)
{
    std::size_t product = first;
    bool fits = true;
    ((fits = fits && checkedMul(product, static_cast<std::size_t>(rest), product)), ...);
    if (fits) {
        out = product;
    }
    return fits;
}

// The size of a block to allocate: the product of the factors, or
// std::bad_alloc when it does not fit a size_t, as when the allocation of so
// much memory fails (a machine with a wider size_t may have the block; this
// one cannot).
template <typename... Factors>
std::size_t allocationSize(std::size_t first, Factors... rest)
{
    std::size_t size = 0;
    if (!checkedProduct(size, first, static_cast<std::size_t>(rest)...)) {
        throw std::bad_alloc();
    }
    return size;
}

}  // namespace ktu
