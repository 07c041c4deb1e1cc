// Splitting a path into drive, folder, file name and extension.
//
// The drive is the first two characters when the second one is a colon; the
// folder runs from there up to and including the last '/' or '\'; the
// extension starts at the last '.' of what follows the folder (dot
// included); the file name lies between. Each part is cut at 255 characters.
// The scan steps over whole characters (ktuPathChars.h): the second byte of a
// double-byte character is never taken for a separator or a dot.
#pragma once

#include <cstddef>
#include <cstring>

#include "ktuPathChars.h"
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
    if (rest[0] != '\0' && charBytes(rest) == 1 && rest[1] == ':') {
        detail::copyCut(parts.drive, rest, 2);
        rest += 2;
    } else {
        parts.drive[0] = '\0';
    }
    std::size_t restLength = std::strlen(rest);
    std::size_t separator = lastChar(rest, restLength, isSeparator);
    const char* afterFolder = separator == npos ? rest : rest + separator + 1;
    detail::copyCut(parts.folder, rest, static_cast<std::size_t>(afterFolder - rest));
    std::size_t tailLength = std::strlen(afterFolder);
    std::size_t dot = lastChar(afterFolder, tailLength, [](char c) { return c == '.'; });
    std::size_t nameLength = dot != npos ? dot : tailLength;
    detail::copyCut(parts.name, afterFolder, nameLength);
    detail::copyCut(parts.ext, afterFolder + nameLength, tailLength - nameLength);
}

}  // namespace ktu
