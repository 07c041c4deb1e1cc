// The current INI file and its values.
#include "ktuINIFileUtils.h"

#include <cstring>

#include "ktuFilePathUtils.h"
#include "ktuGuard.h"
#include "ktuIniPath.h"
#include "ktuPlatform.h"
#include "ktuText.h"

namespace {

constexpr std::size_t kPathSize = 260;
constexpr std::size_t kPartSize = ktu::kIniPartSize;
constexpr uint32_t kValueSize = 500;
constexpr const char* kZeroDefault = "0";

// The process-wide current file; empty when none is open.
char g_currentFile[kPathSize] = "";

// The parts of a path as the split sees them: the folder runs up to and
// including the last separator, the extension from the last '.' after it.
struct PartLengths {
    std::size_t folder;
    std::size_t name;
    std::size_t ext;
};

PartLengths partLengths(const char* rest)
{
    std::size_t length = std::strlen(rest);
    std::size_t folder = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (ktu::isSeparator(rest[i])) {
            folder = i + 1;
        }
    }
    const char* tail = rest + folder;
    const char* dot = std::strrchr(tail, '.');
    std::size_t tailLength = length - folder;
    std::size_t name = dot != nullptr ? static_cast<std::size_t>(dot - tail) : tailLength;
    return PartLengths{folder, name, tailLength - name};
}

// True when every part, and the folder and file name made of them, fit the
// 256-byte buffers of the split. `drive` is the length of the drive (0 or 2).
bool partsFit(const PartLengths& parts, std::size_t drive)
{
    constexpr std::size_t kLongest = kPartSize - 1;
    std::size_t folderText = parts.folder > 0 ? drive + parts.folder - 1 : drive;
    return parts.folder <= kLongest && parts.name <= kLongest && parts.ext <= kLongest && folderText <= kLongest &&
           parts.name + parts.ext <= kLongest;
}

// Makes every missing level of a folder given without a drive ("/srv/x"),
// under the rule that createAllFolders applies to drive-form folders: a
// folder holding a refused character (a '.', for one) makes nothing.
void makeRootedFolders(const char* folder)
{
    if (!ktuFilePathUtils::checkForSpecialCharacters(folder)) {
        return;
    }
    auto& fs = ktu::platform::ops().fs;
    std::size_t length = std::strlen(folder);
    char level[kPartSize];
    for (std::size_t end = 1; end <= length; ++end) {
        if (end < length && !ktu::isSeparator(folder[end])) {
            continue;
        }
        if (ktu::isSeparator(folder[end - 1])) {
            continue;  // a repeated or trailing separator names no new level
        }
        std::memcpy(level, folder, end);
        level[end] = '\0';
        uint32_t attributes = fs.getAttributes(level);
        if (attributes != ktu::platform::kInvalidAttributes && (attributes & ktu::platform::kAttrDirectory) != 0) {
            continue;
        }
        fs.createDir(level);
    }
}

}  // namespace

bool ktu::splitIniPath(const char* path, char* folder, char* fileName)
{
    if (path == nullptr || folder == nullptr || fileName == nullptr ||
        boundedLength(path, kPathSize - 1) >= kPathSize) {
        return false;
    }
    bool hasDrive = path[0] != '\0' && path[1] == ':';
    if (hasDrive) {
        if (!partsFit(partLengths(path + 2), 2)) {
            return false;
        }
        char base[kPathSize] = "";
        char name[kPathSize] = "";
        long status = 0;
        ktuFilePathUtils::getFileNameAndBasePathFromFullPath(path, base, name, &status);
        if (status != 100 || boundedLength(base, kPartSize) >= kPartSize ||
            boundedLength(name, kPartSize) >= kPartSize) {
            return false;
        }
        std::memcpy(folder, base, std::strlen(base) + 1);
        std::memcpy(fileName, name, std::strlen(name) + 1);
        return true;
    }
    if (!isSeparator(path[0])) {
        return false;  // relative: no folder to make
    }
    PartLengths parts = partLengths(path);
    if (!partsFit(parts, 0) || parts.name == 0 || parts.ext == 1) {
        return false;  // too long, no file name, or a lone '.' as extension
    }
    std::size_t nameLength = parts.name + parts.ext;
    std::memcpy(folder, path, parts.folder - 1);
    folder[parts.folder - 1] = '\0';
    std::memcpy(fileName, path + parts.folder, nameLength);
    fileName[nameLength] = '\0';
    return true;
}

ktuINIFileUtils::ktuINIFileUtils()
{
    g_currentFile[0] = '\0';
}

ktuINIFileUtils::ktuINIFileUtils(const ktuINIFileUtils&) {}

ktuINIFileUtils& ktuINIFileUtils::operator=(const ktuINIFileUtils&)
{
    return *this;
}

ktuINIFileUtils::~ktuINIFileUtils() {}

long ktuINIFileUtils::openFile(const char* path)
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, "ktuINIFileUtils::openFile"), 0L, [&]() -> long {
        if (path == nullptr || !ktu::copyIfFits(g_currentFile, kPathSize, path)) {
            return 0;
        }
        if (ktuFilePathUtils::checkFileExistence(g_currentFile)) {
            return 1;
        }
        char folder[kPartSize] = "";
        char fileName[kPartSize] = "";
        if (!ktu::splitIniPath(g_currentFile, folder, fileName) || folder[0] == '\0') {
            return 1;  // the split failed, or there is no folder to make
        }
        if (ktu::isSeparator(folder[0])) {
            makeRootedFolders(folder);
        } else {
            long code = 0;
            ktuFilePathUtils::createAllFolders(folder, false, &code);
        }
        return 1;
    });
}

long ktuINIFileUtils::getTagValue(const char* section, const char* key, char* out, char* defaultValue)
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, "ktuINIFileUtils::getTagValue"), 0L, [&]() -> long {
        char buffer[kValueSize];
        std::memset(buffer, 0, sizeof buffer);
        if (ktu::require(defaultValue)[0] == '\0') {
            std::memcpy(defaultValue, kZeroDefault, std::strlen(kZeroDefault) + 1);
        }
        uint32_t read = ktu::platform::ops().profile.getString(section, key, defaultValue, buffer, kValueSize,
                                                               g_currentFile);
        if (read == 0) {
            return -2;
        }
        buffer[kValueSize - 1] = '\0';
        std::memcpy(ktu::require(out), buffer, std::strlen(buffer) + 1);
        return 1;
    });
}

long ktuINIFileUtils::setTagValue(const char* section, const char* key, const char* value)
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, "ktuINIFileUtils::setTagValue"), 0L, [&]() -> long {
        return ktu::platform::ops().profile.writeString(section, key, value, g_currentFile) ? 1 : -2;
    });
}

long ktuINIFileUtils::clearFileContent()
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, "ktuINIFileUtils::clearFileContent"), 0L, [&]() -> long {
        auto& platform = ktu::platform::ops();
        platform.fs.deleteFile(g_currentFile);
        return platform.profile.createEmptyFile(g_currentFile) ? 1 : -1;
    });
}

long ktuINIFileUtils::closeFile()
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, "ktuINIFileUtils::closeFile"), 0L, [&]() -> long {
        std::memset(g_currentFile, 0, sizeof g_currentFile);
        return 1;
    });
}
