// The current INI file and its values.
#include "ktuINIFileUtils.h"

#include <cstring>

#include "ktuFilePathUtils.h"
#include "ktuGuard.h"
#include "ktuPlatform.h"
#include "ktuText.h"

namespace {

constexpr std::size_t kPathSize = 260;
constexpr std::size_t kPartSize = 256;
constexpr uint32_t kValueSize = 500;
constexpr const char* kZeroDefault = "0";

// The process-wide current file; empty when none is open.
char g_currentFile[kPathSize] = "";

}  // namespace

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
    if (!ktu::gateOpen()) {
        return 0;
    }
    return ktu::guarded(ktu::site(ktu::kModKSUtility, "ktuINIFileUtils::openFile"), [&]() -> long {
        if (path == nullptr || !ktu::copyIfFits(g_currentFile, kPathSize, path)) {
            return 0;
        }
        if (ktuFilePathUtils::checkFileExistence(g_currentFile)) {
            return 1;
        }
        char folder[kPartSize] = "";
        char fileName[kPartSize] = "";
        long status = 0;
        ktuFilePathUtils::getFileNameAndBasePathFromFullPath(g_currentFile, folder, fileName, &status);
        if (status < 0) {
            folder[0] = '\0';  // the split failed
        }
        if (folder[0] != '\0') {
            long code = 0;
            ktuFilePathUtils::createAllFolders(folder, false, &code);
        }
        return 1;
    }, 0L);
}

long ktuINIFileUtils::getTagValue(const char* section, const char* key, char* out, char* defaultValue)
{
    if (!ktu::gateOpen()) {
        return 0;
    }
    return ktu::guarded(ktu::site(ktu::kModKSUtility, "ktuINIFileUtils::getTagValue"), [&]() -> long {
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
    }, 0L);
}

long ktuINIFileUtils::setTagValue(const char* section, const char* key, const char* value)
{
    if (!ktu::gateOpen()) {
        return 0;
    }
    return ktu::guarded(ktu::site(ktu::kModKSUtility, "ktuINIFileUtils::setTagValue"), [&]() -> long {
        return ktu::platform::ops().profile.writeString(section, key, value, g_currentFile) ? 1 : -2;
    }, 0L);
}

long ktuINIFileUtils::clearFileContent()
{
    if (!ktu::gateOpen()) {
        return 0;
    }
    return ktu::guarded(ktu::site(ktu::kModKSUtility, "ktuINIFileUtils::clearFileContent"), [&]() -> long {
        auto& platform = ktu::platform::ops();
        platform.fs.deleteFile(g_currentFile);
        return platform.profile.createEmptyFile(g_currentFile) ? 1 : -1;
    }, 0L);
}

long ktuINIFileUtils::closeFile()
{
    if (!ktu::gateOpen()) {
        return 0;
    }
    return ktu::guarded(ktu::site(ktu::kModKSUtility, "ktuINIFileUtils::closeFile"), [&]() -> long {
        std::memset(g_currentFile, 0, sizeof g_currentFile);
        return 1;
    }, 0L);
}
