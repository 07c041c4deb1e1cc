// Small text helpers shared by the library's operations.
#pragma once

#include <cstddef>
#include <cstring>

namespace ktu {

// Letters A-Z compared without regard to case, other bytes as they are.
inline char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool equalsIgnoreCase(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (asciiLower(*a) != asciiLower(*b)) {
            return false;
        }
    }
    return *a == *b;
}

// Length of `text`, or `limit` + 1 when it is longer than `limit` (reads at
// most limit + 1 bytes).
inline std::size_t boundedLength(const char* text, std::size_t limit)
{
    std::size_t n = 0;
    while (n <= limit && text[n] != '\0') {
        ++n;
    }
    return n;
}

// Copies `text` into `buffer` of `size` bytes when it fits with its
// terminator; false (and nothing written) otherwise.
inline bool copyIfFits(char* buffer, std::size_t size, const char* text)
{
    std::size_t n = boundedLength(text, size);
    if (n >= size) {
        return false;
    }
    std::memcpy(buffer, text, n + 1);
    return true;
}

// Appends `text` when the result fits into `size` bytes; false otherwise.
inline bool appendIfFits(char* buffer, std::size_t size, const char* text)
{
    std::size_t used = boundedLength(buffer, size);
    if (used >= size) {
        return false;
    }
    return copyIfFits(buffer + used, size - used, text);
}

inline bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

}  // namespace ktu
