// Helpers shared by the file and folder operations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ktuFilePathUtils.h"
#include "ktuPlatform.h"

namespace ktu {

constexpr std::size_t kPathBuffer = 260;

// The process's current folder, whatever its length; empty when it cannot be
// read.
inline std::string currentFolder()
{
    auto& fs = platform::ops().fs;
    std::vector<char> buffer(kPathBuffer);
    for (int attempt = 0; attempt < 4; ++attempt) {
        uint32_t got = fs.getCurrentDir(buffer.data(), static_cast<uint32_t>(buffer.size()));
        if (got == 0) {
            return std::string();
        }
        if (got < buffer.size()) {
            return std::string(buffer.data(), got);
        }
        buffer.resize(got + 1);  // the folder changed length between calls: ask again
    }
    return std::string();
}

// A full path split into its base path and file name; false unless the split
// reports success.
struct FullPathSplit {
    char basePath[kPathBuffer];
    char fileName[kPathBuffer];

    bool of(const char* fullPath)
    {
        long status = 0;
        ktuFilePathUtils::getFileNameAndBasePathFromFullPath(fullPath, basePath, fileName, &status);
        return status == 100;
    }
};

}  // namespace ktu
