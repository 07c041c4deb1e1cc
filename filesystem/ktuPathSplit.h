// Splitting a path into drive, folder, file name and extension.
//
// The drive is the first two characters when the second one is a colon; the
// folder runs from there up to and including the last '/' or '\'; the
// extension starts at the last '.' of what follows the folder (dot
// included); the file name lies between. Each part is cut at 255 characters.
// Texts are taken byte by byte: in UTF-8 and the other multi-byte encodings
// the library meets, no byte of a multi-byte character equals '/', '\' or '.'.
#pragma once

#include <cstddef>
#include <cstring>

#include "ktuText.h"

namespace ktu {

constexpr std::size_t kSplitPart = 256;

struct PathParts {
    char drive[kSplitPart];
    char folder[kSplitPart];
    char name[kSplitPart];
    char ext[kSplitPart];
};

namespace detail {

inline void copyCut(char* to, const char* from, std::size_t length)
{
    if (length > kSplitPart - 1) {
        length = kSplitPart - 1;
    }
    std::memcpy(to, from, length);
    to[length] = '\0';
}

}  // namespace detail

inline void splitPath(const char* path, PathParts& parts)
{
    const char* rest = path;
    if (rest[0] != '\0' && rest[1] == ':') {
        detail::copyCut(parts.drive, rest, 2);
        rest += 2;
    } else {
        parts.drive[0] = '\0';
    }
    const char* afterFolder = rest;
    for (const char* c = rest; *c != '\0'; ++c) {
        if (isSeparator(*c)) {
            afterFolder = c + 1;
        }
    }
    detail::copyCut(parts.folder, rest, static_cast<std::size_t>(afterFolder - rest));
    const char* dot = std::strrchr(afterFolder, '.');
    std::size_t tailLength = std::strlen(afterFolder);
    std::size_t nameLength = dot != nullptr ? static_cast<std::size_t>(dot - afterFolder) : tailLength;
    detail::copyCut(parts.name, afterFolder, nameLength);
    detail::copyCut(parts.ext, afterFolder + nameLength, tailLength - nameLength);
}

}  // namespace ktu
