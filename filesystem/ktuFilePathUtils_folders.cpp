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
constexpr auto kCreateSite = ktu::site(ktu::kModKSUtility, "ktuFilePathUtils::createNewFolder()");
constexpr auto kCheckInSite = ktu::site(ktu::kModKSUtility, "ktuFilePathUtils()::checkOrCreateFolder()");
constexpr auto kCheckPathSite = ktu::site(ktu::kModKSUtility, "ktuFilePathUtils::checkOrCreateFolder()");
constexpr auto kChainSite = ktu::site(ktu::kModKSUtility, "ktuFilePathUtils()::createAllFolders()");
constexpr auto kDeleteSite = ktu::site(ktu::kModKSUtility, "ktuFilePathUtils::deleteFolder()");

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
    bool result = true;
    return ktu::enter(kCreateSite, false, [&] { return result; }, [&] {
        std::string joined = ktu::joinPath(ktu::require(baseFolder), ktu::require(folderName));
        result = ktu::platform::ops().fs.createDir(joined.c_str());
        return result;
    });
}

// A base folder longer than 259 characters is refused (false) before any
// folder is entered.
bool ktuFilePathUtils::checkOrCreateFolder(const char* baseFolder, const char* folderName, bool recreate)
{
    bool found = false;
    return ktu::enter(kCheckInSite, false, [&] { return found; }, [&] {
        ktu::require(baseFolder);
        ktu::require(folderName);
        if (ktu::boundedLength(baseFolder, kPathBuffer - 1) > kPathBuffer - 1) {
            return false;
        }
        ktu::Folder base = ktu::Folder::open(baseFolder, true);
        if (!base || !base.enter()) {
            return false;
        }
        ktu::forEachEntry(base, [&](const ktu::platform::FindEntry& entry) {
            if (std::strcmp(entry.name, folderName) != 0) {
                return;
            }
            // Only a plain folder is found. To recreate, a link to a folder
            // that stands at the name is removed as well (the link alone),
            // so that a plain empty folder takes its place and nothing that
            // the link led to is touched.
            bool folderLink = entry.attributes == (ktu::platform::kAttrDirectory | ktu::platform::kAttrReparsePoint);
            if (entry.attributes != ktu::platform::kAttrDirectory && !(recreate && folderLink)) {
                return;
            }
            if (!recreate) {
                found = true;
                return;
            }
            char joined[kPathBuffer];
            int n = std::snprintf(joined, sizeof joined, "%s/%s", baseFolder, entry.name);
            if (n < 0 || static_cast<std::size_t>(n) >= sizeof joined) {
                ktu::raiseFault("joined path too long");
            }
            // Removed inside the base folder held open, as deleteFolder
            // would remove the joined path.
            ktu::guarded(kDeleteSite, [&] { ktu::removeEntryTree(base, entry.name, entry.attributes); });
        });
        if (!found) {
            found = createNewFolder(baseFolder, folderName);
        }
        return found;
    });
}

// A path longer than 259 characters is refused (false).
bool ktuFilePathUtils::checkOrCreateFolder(const char* folderPath, bool recreate)
{
    return ktu::enter(kCheckPathSite, false, true, [&] {
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
    });
}

// A path longer than 255 characters is refused with status -102, before any
// folder is touched.
void ktuFilePathUtils::createAllFolders(const char* folderPath, bool recreate, long* status)
{
    auto faulted = [&] {
        if (status != nullptr) {
            *status = -100;
        }
    };
    ktu::enter(kChainSite, faulted, faulted, [&] {
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
    });
}

bool ktuFilePathUtils::deleteFolder(const char* folder, const char* holdingFolder)
{
    return ktu::enter(kDeleteSite, false, [&] {
        ktu::require(folder);
        ktu::require(holdingFolder);
        auto& fs = ktu::platform::ops().fs;
        uint32_t attributes = fs.getAttributes(folder);
        if (attributes != ktu::platform::kInvalidAttributes && (attributes & ktu::platform::kAttrReparsePoint) != 0) {
            // A link named as the folder goes alone; its target is not entered.
            fs.setCurrentDir(holdingFolder);
            return fs.deleteFile(folder) || fs.removeDir(folder);
        }
        // Held open, never through a link at its name: should the folder be
        // exchanged for a link now, it is not entered at all.
        ktu::Folder tree = ktu::Folder::open(folder, false);
        if (!tree) {
            return false;
        }
        ktu::emptyFolder(tree);
        tree.close();
        fs.setCurrentDir(holdingFolder);
        return fs.removeDir(folder);
    });
}

namespace ktu {

// Deeper than any path the system can name: left where it is, so that a
// walk never runs out of stack or open folders.
constexpr int kMaxDepth = 400;

void emptyFolder(const Folder& folder, int depth)
{
    auto& fs = platform::ops().fs;
    forEachEntry(folder, [&](const platform::FindEntry& entry) {
        // A link reads 16 + 1024 or 32 + 1024: it is removed as a file, the
        // link alone (a link to a folder by the folder removal).
        if (entry.attributes == platform::kAttrDirectory) {
            // Each sub-folder under the guard of its own removal: a fault
            // there is logged and the walk of this folder goes on.
            guarded(kDeleteSite, [&] {
                Folder inner = folder.child(entry.name);
                if (!inner || depth >= kMaxDepth) {
                    return false;
                }
                emptyFolder(inner, depth + 1);
                inner.close();
                return fs.removeEntryDir(folder.get(), entry.name);
            }, false);
        } else {
            fs.setEntryAttributes(folder.get(), entry.name, platform::kAttrArchive);
            if (!fs.deleteEntry(folder.get(), entry.name)) {
                fs.removeEntryDir(folder.get(), entry.name);
            }
        }
    });
}

void removeEntryTree(const Folder& parent, const char* name, uint32_t attributes)
{
    auto& fs = platform::ops().fs;
    if (attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReparsePoint) != 0) {
        if (!fs.deleteEntry(parent.get(), name)) {
            fs.removeEntryDir(parent.get(), name);
        }
        return;
    }
    Folder inner = parent.child(name);
    if (inner) {
        emptyFolder(inner);
        inner.close();
        fs.removeEntryDir(parent.get(), name);
    }
}

}  // namespace ktu
