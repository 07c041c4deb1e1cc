// Helpers shared by the file and folder operations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ktuFilePathUtils.h"
#include "ktuPlatform.h"

namespace ktu {

constexpr std::size_t kPathBuffer = 260;

// A text that the system writes into a buffer, answering its length, 0 on
// failure, or the size needed when the buffer is too small (as
// GetCurrentDirectoryA does): asked with a buffer that grows until the
// answer fits, a few times at most (the text may change between calls).
template <class Ask>
bool systemText(Ask&& ask, std::string& out)
{
    std::vector<char> buffer(kPathBuffer);
    for (int attempt = 0; attempt < 4; ++attempt) {
        uint32_t got = ask(buffer.data(), static_cast<uint32_t>(buffer.size()));
        if (got == 0) {
            return false;
        }
        if (got < buffer.size()) {
            out.assign(buffer.data(), got);
            return true;
        }
        buffer.resize(got + 1);
    }
    return false;
}

// The process's current folder, whatever its length; empty when it cannot be
// read.
inline std::string currentFolder()
{
    std::string folder;
    if (!systemText(platform::ops().fs.getCurrentDir, folder)) {
        folder.clear();
    }
    return folder;
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
