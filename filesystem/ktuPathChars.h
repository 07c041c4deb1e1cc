// Stepping through path texts character by character.
//
// Paths are in the system code page. In a double-byte code page (932, 936,
// 949, 950) the second byte of a character may be 0x5C, the byte of '\', or
// any other byte from 0x40 up: it must never be taken for a separator, a dot
// or a refused character. Every scan of a path text therefore steps over
// whole characters, asking the seam which bytes start a double-byte one. On
// POSIX systems no byte does (UTF-8 never uses bytes below 0x80 inside a
// multi-byte character), so there the steps are single bytes.
#pragma once

#include <cstddef>

#include "ktuPlatform.h"

namespace ktu {

// The number of bytes of the character at `text`: 2 for a double-byte
// character, 1 for any other, 0 at the terminator. A lead byte right before
// the terminator counts as a character of its own.
inline std::size_t charBytes(const char* text)
{
    if (*text == '\0') {
        return 0;
    }
    if (text[1] != '\0' && platform::ops().fs.isLeadByte(static_cast<unsigned char>(*text))) {
        return 2;
    }
    return 1;
}

// Calls `visit(index)` for the first byte of every character of `text`, in
// order, up to the terminator or `length` bytes; stops early when `visit`
// answers false.
template <class Visit>
void forEachChar(const char* text, std::size_t length, Visit&& visit)
{
    for (std::size_t i = 0; i < length && text[i] != '\0';) {
        if (!visit(i)) {
            return;
        }
        std::size_t step = charBytes(text + i);
        i += (i + step > length) ? 1 : step;
    }
}

// The index of the last single-byte character of `text` (within `length`
// bytes) that `wanted` accepts, from `from` on; `npos` when there is none.
constexpr std::size_t npos = static_cast<std::size_t>(-1);

template <class Wanted>
std::size_t lastChar(const char* text, std::size_t length, Wanted&& wanted, std::size_t from = 0)
{
    std::size_t found = npos;
    forEachChar(text, length, [&](std::size_t i) {
        if (i >= from && charBytes(text + i) == 1 && wanted(text[i])) {
            found = i;
        }
        return true;
    });
    return found;
}

}  // namespace ktu
