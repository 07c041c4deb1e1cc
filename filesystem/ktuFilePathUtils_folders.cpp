// Folder creation and removal: the drive test, the refused characters, one
// folder, a folder chain, and a folder tree's removal.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ktuClassShape.h"
#include "ktuFilePathUtils.h"
#include "ktuFolderWalk.h"
#include "ktuGuard.h"
#include "ktuPathChars.h"
#include "ktuPlatform.h"
#include "ktuText.h"

namespace {

constexpr std::size_t kPathBuffer = 260;
constexpr std::size_t kChainBuffer = 256;
constexpr uint32_t kDriveListSize = 1024;
constexpr const char kRefused[] = "`~!@#$%^&*()-+=|{}[]:;\"'<>,.?";

}  // namespace

KTU_DATALESS_CLASS_SHAPE(ktuFilePathUtils)

// Drives longer than 258 characters are refused (false).
bool ktuFilePathUtils::checkForLocalDrive(const char* drive)
{
    if (!ktu::gateOpen() || drive == nullptr) {
        return false;
    }
    char copy[kPathBuffer];
    if (ktu::boundedLength(drive, kPathBuffer - 2) > kPathBuffer - 2) {
        return false;
    }
    std::strcpy(copy, drive);
    std::size_t n = std::strlen(copy);
    if (n > 0 && copy[n - 1] == ':') {
        copy[n] = '\\';
        copy[n + 1] = '\0';
    }
    char roots[kDriveListSize];
    uint32_t got = ktu::platform::ops().fs.logicalDriveStrings(roots, kDriveListSize);
    if (got == 0 || got >= kDriveListSize) {
        return false;
    }
    roots[kDriveListSize - 1] = '\0';
    for (const char* root = roots; *root != '\0' && root < roots + got; root += std::strlen(root) + 1) {
        if (ktu::equalsIgnoreCase(copy, root)) {
            return true;
        }
    }
    return false;
}

// A null text is not vouched for: false.
bool ktuFilePathUtils::checkForSpecialCharacters(const char* text)
{
    if (!ktu::gateOpen() || text == nullptr) {
        return false;
    }
    // The second byte of a double-byte character is part of its character,
    // not a refused one.
    auto refused = [](char c) { return c != '\0' && std::strchr(kRefused, c) != nullptr; };
    return ktu::lastChar(text, std::strlen(text), refused) == ktu::npos;
}

bool ktuFilePathUtils::createNewFolder(const char* baseFolder, const char* folderName)
{
    if (!ktu::gateOpen()) {
        return false;
    }
    bool result = true;
    return ktu::guarded(ktu::site(ktu::kModKSUtility, "ktuFilePathUtils::createNewFolder()"), [&] {
        std::string joined = ktu::joinPath(ktu::require(baseFolder), ktu::require(folderName));
        result = ktu::platform::ops().fs.createDir(joined.c_str());
        return result;
    }, [&] { return result; });
}

// A base folder longer than 259 characters is refused (false) before any
// folder is entered.
bool ktuFilePathUtils::checkOrCreateFolder(const char* baseFolder, const char* folderName, bool recreate)
{
    if (!ktu::gateOpen()) {
        return false;
    }
    bool found = false;
    return ktu::guarded(ktu::site(ktu::kModKSUtility, "ktuFilePathUtils()::checkOrCreateFolder()"), [&] {
        ktu::require(baseFolder);
        ktu::require(folderName);
        if (ktu::boundedLength(baseFolder, kPathBuffer - 1) > kPathBuffer - 1) {
            return false;
        }
        auto& fs = ktu::platform::ops().fs;
        if (!fs.setCurrentDir(baseFolder)) {
            return false;
        }
        ktu::forEachEntry([&](const char* name) {
            if (std::strcmp(name, folderName) != 0) {
                return;
            }
            // Only a plain folder is found. To recreate, a link to a folder
            // that stands at the name is removed as well (the link alone),
            // so that a plain empty folder takes its place and nothing that
            // the link led to is touched.
            uint32_t attributes = fs.getAttributes(name);
            bool folderLink = attributes == (ktu::platform::kAttrDirectory | ktu::platform::kAttrReparsePoint);
            if (attributes != ktu::platform::kAttrDirectory && !(recreate && folderLink)) {
                return;
            }
            if (!recreate) {
                found = true;
                return;
            }
            char joined[kPathBuffer];
            int n = std::snprintf(joined, sizeof joined, "%s/%s", baseFolder, name);
            if (n < 0 || static_cast<std::size_t>(n) >= sizeof joined) {
                ktu::raiseFault("joined path too long");
            }
            deleteFolder(joined, baseFolder);
        });
        if (!found) {
            found = createNewFolder(baseFolder, folderName);
        }
        return found;
    }, [&] { return found; });
}

// A path longer than 259 characters is refused (false).
bool ktuFilePathUtils::checkOrCreateFolder(const char* folderPath, bool recreate)
{
    if (!ktu::gateOpen()) {
        return false;
    }
    return ktu::guarded(ktu::site(ktu::kModKSUtility, "ktuFilePathUtils::checkOrCreateFolder()"), [&] {
        ktu::require(folderPath);
        std::size_t length = ktu::boundedLength(folderPath, kPathBuffer - 1);
        if (length > kPathBuffer - 1) {
            return false;
        }
        long split = -1;
        if (length >= 2) {
            std::size_t found = ktu::lastChar(folderPath, length - 1, ktu::isSeparator);
            split = found == ktu::npos ? -1 : static_cast<long>(found);
        }
        if (split <= 0) {
            return checkForLocalDrive(folderPath);
        }
        char parent[kPathBuffer];
        std::memcpy(parent, folderPath, static_cast<std::size_t>(split));
        parent[split] = '\0';
        if (parent[split - 1] == ':') {
            parent[split] = '/';
            parent[split + 1] = '\0';
        }
        return checkOrCreateFolder(parent, folderPath + split + 1, recreate);
    }, true);
}

// A path longer than 255 characters is refused with status -102, before any
// folder is touched.
void ktuFilePathUtils::createAllFolders(const char* folderPath, bool recreate, long* status)
{
    if (!ktu::gateOpen()) {
        return;
    }
    ktu::guarded(ktu::site(ktu::kModKSUtility, "ktuFilePathUtils()::createAllFolders()"), [&] {
        ktu::require(folderPath);
        ktu::require(status);
        std::size_t length = ktu::boundedLength(folderPath, kChainBuffer - 1);
        if (length > kChainBuffer - 1) {
            *status = -102;
            return;
        }
        char drive[3] = {0, 0, 0};
        std::memcpy(drive, folderPath, length < 2 ? length : 2);
        if (length < 2 || !checkForLocalDrive(drive)) {
            *status = -101;
            return;
        }
        if (!checkForSpecialCharacters(folderPath + 2)) {
            *status = -106;
            return;
        }
        std::vector<std::size_t> boundaries;
        ktu::forEachChar(folderPath, length, [&](std::size_t i) {
            if (ktu::charBytes(folderPath + i) == 1 && ktu::isSeparator(folderPath[i])) {
                boundaries.push_back(i);
            }
            return true;
        });
        boundaries.push_back(length);
        char level[kChainBuffer];
        for (std::size_t b = 1; b < boundaries.size(); ++b) {
            std::size_t i = boundaries[b];
            std::memcpy(level, folderPath, i);
            level[i] = '\0';
            if (!checkOrCreateFolder(level, recreate)) {
                *status = -102;
            }
        }
    }, [&] {
        if (status != nullptr) {
            *status = -100;
        }
    });
}

bool ktuFilePathUtils::deleteFolder(const char* folder, const char* holdingFolder)
{
    if (!ktu::gateOpen()) {
        return false;
    }
    return ktu::guarded(ktu::site(ktu::kModKSUtility, "ktuFilePathUtils::deleteFolder()"), [&] {
        ktu::require(folder);
        ktu::require(holdingFolder);
        auto& fs = ktu::platform::ops().fs;
        uint32_t attributes = fs.getAttributes(folder);
        if (attributes != ktu::platform::kInvalidAttributes && (attributes & ktu::platform::kAttrReparsePoint) != 0) {
            // A link named as the folder goes alone; its target is not entered.
            fs.setCurrentDir(holdingFolder);
            return fs.deleteFile(folder) || fs.removeDir(folder);
        }
        if (!fs.setCurrentDir(folder)) {
            return false;
        }
        ktu::forEachEntry([&](const char* name) {
            // A link reads 16 + 1024 or 32 + 1024: it is removed as a file,
            // the link alone (a link to a folder by the folder removal).
            std::string joined = ktu::joinPath(folder, name);
            if (fs.getAttributes(name) == ktu::platform::kAttrDirectory) {
                deleteFolder(joined.c_str(), holdingFolder);
                fs.setCurrentDir(folder);
            } else {
                fs.setAttributes(name, ktu::platform::kAttrArchive);
                if (!fs.deleteFile(name)) {
                    fs.removeDir(joined.c_str());
                }
            }
        });
        fs.setCurrentDir(holdingFolder);
        return fs.removeDir(folder);
    }, false);
}
