// Splitting a full path, and the existence and extension tests.
#include <cstring>
#include <string>
#include <vector>

#include "ktuFilePathInternal.h"
#include "ktuFilePathUtils.h"
#include "ktuGuard.h"
#include "ktuPathChars.h"
#include "ktuPathSplit.h"
#include "ktuPlatform.h"
#include "ktuText.h"

namespace {

using ktu::kPathBuffer;

}  // namespace

void ktuFilePathUtils::getFileNameAndBasePathFromFullPath(const char* fullPath, char* basePath, char* fileName,
                                                          long* status)
{
    ktu::enter(ktu::site(ktu::kModKSUtility, "ktuFilePathUtils()::getFileNameAndBasePathFromFullPath()"), nullptr, [&] {
        if (status != nullptr) {
            *status = -100;
        }
    }, [&] {
        ktu::require(fullPath);
        ktu::require(status);
        if (ktu::boundedLength(fullPath, kPathBuffer - 1) > kPathBuffer - 1) {
            ktu::raiseFault("path longer than 259 characters");
        }
        ktu::PathParts parts;
        ktu::splitPath(fullPath, parts);
        if (parts.drive[0] == '\0') {
            *status = -101;
            return;
        }
        if (!ktu::isSeparator(parts.folder[0])) {
            *status = -102;
            return;
        }
        if (parts.name[0] == '\0') {
            *status = -103;
            return;
        }
        if (std::strcmp(parts.ext, ".") == 0) {
            *status = -104;
            return;
        }
        ktu::require(basePath);
        ktu::require(fileName);
        // The path is at most 259 characters long, so both results fit 260 bytes.
        std::size_t folderLength = std::strlen(parts.folder);
        std::memcpy(basePath, parts.drive, 2);
        std::memcpy(basePath + 2, parts.folder, folderLength - 1);
        basePath[2 + folderLength - 1] = '\0';
        std::size_t nameLength = std::strlen(parts.name);
        std::memcpy(fileName, parts.name, nameLength);
        std::strcpy(fileName + nameLength, parts.ext);
        *status = 100;
    });
}

bool ktuFilePathUtils::checkFileExistence(const char* fullPath)
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, "ktuFilePathUtils::ktuFilePathUtils()"), false, [&] {
        if (ktu::require(fullPath)[0] == '\0') {
            return false;
        }
        ktu::FullPathSplit split;
        return split.of(fullPath) && checkFileExistance(split.basePath, split.fileName);
    });
}

bool ktuFilePathUtils::checkFileExistance(const char* folder, const char* fileName)
{
    if (!ktu::gateOpen() || folder == nullptr || fileName == nullptr || folder[0] == '\0') {
        return false;
    }
    char copy[kPathBuffer];
    std::size_t length = ktu::boundedLength(folder, kPathBuffer - 2);
    if (length > kPathBuffer - 2 || ktu::boundedLength(fileName, kPathBuffer - 1) > kPathBuffer - 1) {
        return false;
    }
    std::memcpy(copy, folder, length + 1);
    if (ktu::lastChar(copy, length, ktu::isSeparator, length - 1) == ktu::npos) {
        copy[length] = '/';
        copy[length + 1] = '\0';
    }
    // Without the current folder in hand it could not be restored: refuse
    // before changing it.
    std::string saved = ktu::currentFolder();
    if (saved.empty()) {
        return false;
    }
    auto& fs = ktu::platform::ops().fs;
    bool found = false;
    if (fs.setCurrentDir(copy)) {
        ktu::platform::FindEntry entry;
        ktu::platform::FindHandle handle = fs.findFirst(fileName, &entry);
        if (handle != nullptr) {
            found = true;
            fs.findClose(handle);
        }
    }
    fs.setCurrentDir(saved.c_str());
    return found;
}

bool ktuFilePathUtils::checkForFile_Path_Existence(const char* fullPath)
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, "ktuFilePathUtils()::checkForFile_Path_Existence()"), false, [&] {
        ktu::require(fullPath);
        ktu::FullPathSplit split;
        return split.of(fullPath) && checkFileExt(split.fileName) &&
               checkFileExistance(split.basePath, split.fileName);
    });
}

bool ktuFilePathUtils::checkFileExt(const char* fileName)
{
    if (!ktu::gateOpen() || fileName == nullptr) {
        return false;
    }
    return ktu::lastChar(fileName, std::strlen(fileName), [](char c) { return c == '.'; }, 1) != ktu::npos;
}
