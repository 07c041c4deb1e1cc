// Path strings: names and extensions, separators, parents, and conversions
// between full paths and paths relative to a base folder. Nothing here
// touches the file system. Every scan steps over whole characters, so the
// second byte of a double-byte character is never changed or taken for a
// separator or a dot (ktuPathChars.h).
#include <cstdio>
#include <cstring>
#include <string>

#include "ktuFilePathUtils.h"
#include "ktuGuard.h"
#include "ktuPathChars.h"
#include "ktuPathSplit.h"
#include "ktuPlatform.h"
#include "ktuText.h"

namespace {

constexpr std::size_t kPathBuffer = 260;      // path inputs: up to 259 characters
constexpr std::size_t kConvertBuffer = 256;   // conversion inputs: up to 255
constexpr std::size_t kExtBuffer = 256;       // extensions: up to 255
constexpr const char kNotApplicable[] = "NA";

// Every single-byte '\\' becomes '/'.
void backToForward(char* text, std::size_t length)
{
    ktu::forEachChar(text, length, [&](std::size_t i) {
        if (text[i] == '\\' && ktu::charBytes(text + i) == 1) {
            text[i] = '/';
        }
        return true;
    });
}

void backToForward(std::string& text)
{
    backToForward(&text[0], text.size());
}

// Every run of '/' becomes one '/'; the same result as removing the second of
// two adjacent '/' and scanning again from the start, until none is left.
std::size_t collapseSlashes(char* text)
{
    std::size_t out = 0;
    bool afterSlash = false;
    for (std::size_t in = 0; text[in] != '\0';) {
        std::size_t bytes = ktu::charBytes(text + in);
        bool slash = bytes == 1 && text[in] == '/';
        if (!(slash && afterSlash)) {
            for (std::size_t k = 0; k < bytes; ++k) {
                text[out++] = text[in + k];
            }
        }
        afterSlash = slash;
        in += bytes;
    }
    text[out] = '\0';
    return out;
}

void collapseSlashes(std::string& text)
{
    text.resize(collapseSlashes(&text[0]));
}

// The form both conversions work on: '\' turned into '/', runs of '/' made one.
std::string normalised(const char* path)
{
    std::string text(path);
    backToForward(text);
    collapseSlashes(text);
    return text;
}

bool isSlash(char c)
{
    return c == '/';
}

bool holdsSlash(const std::string& path)
{
    return ktu::lastChar(path.c_str(), path.size(), isSlash) != ktu::npos;
}

// Everything before the last '/', or nothing.
std::string parentOf(const std::string& path)
{
    std::size_t cut = ktu::lastChar(path.c_str(), path.size(), isSlash);
    return cut == ktu::npos ? std::string() : path.substr(0, cut);
}

std::string lowered(std::string text)
{
    ktu::forEachChar(text.c_str(), text.size(), [&](std::size_t i) {
        if (ktu::charBytes(text.c_str() + i) == 1) {
            text[i] = ktu::asciiLower(text[i]);
        }
        return true;
    });
    return text;
}

bool startsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

void writeResult(char* out, const std::string& text)
{
    std::memcpy(out, text.c_str(), text.size() + 1);
}

}  // namespace

void ktuFilePathUtils::getFileNameAndExt(const char* fileName, char* name, char* ext)
{
    ktu::enter(ktu::rethrowingSite(ktu::kModKSUtility, "ktuFilePathUtils()::getFileNameAndExt()"), [&] {
        ktu::require(fileName);
        ktu::require(name);
        ktu::require(ext);
        std::size_t length = ktu::boundedLength(fileName, kPathBuffer - 1);
        std::size_t dot = length > kPathBuffer - 1
                              ? ktu::npos
                              : ktu::lastChar(fileName, length, [](char c) { return c == '.'; }, 1);
        if (dot == ktu::npos) {
            dot = length;
        }
        std::size_t extLength = dot < length ? length - dot - 1 : 0;
        if (length > kPathBuffer - 1 || extLength > kExtBuffer - 1) {
            name[0] = '\0';
            ext[0] = '\0';
            return;
        }
        std::memcpy(name, fileName, dot);
        name[dot] = '\0';
        if (dot < length) {
            std::memcpy(ext, fileName + dot + 1, extLength + 1);
        } else {
            ext[0] = '\0';
        }
    });
}

void ktuFilePathUtils::convertBackSlashToForward(char* path)
{
    if (!ktu::gateOpen() || path == nullptr) {
        return;
    }
    backToForward(path, std::strlen(path));
}

void ktuFilePathUtils::converForwardSlashToDoubleBackSlash(char* path)
{
    if (!ktu::gateOpen() || path == nullptr) {
        return;
    }
    ktu::guarded(
        ktu::rethrowingSite(ktu::kModKSUtility, "ktuFilePathUtils::converForwardSlashToDoubleBackSlash()"), [&] {
            std::size_t length = ktu::boundedLength(path, kPathBuffer - 1);
            if (length > kPathBuffer - 1) {
                return;
            }
            std::string grown;
            grown.reserve(2 * length + 1);
            ktu::forEachChar(path, length, [&](std::size_t i) {
                std::size_t bytes = ktu::charBytes(path + i);
                if (bytes == 1 && path[i] == '/') {
                    grown += "\\\\";
                } else {
                    grown.append(path + i, bytes);
                }
                return true;
            });
            writeResult(path, grown);
        });
}

void ktuFilePathUtils::removeContinuousSlashes(char* path)
{
    ktu::enter(ktu::site(ktu::kModKestrel, "ktuFilePathUtils::removeContinuousSlash()"), [&] {
        collapseSlashes(ktu::require(path));
    });
}

void ktuFilePathUtils::getParentDirectory(char* path, char* parent)
{
    ktu::enter(ktu::site(ktu::kModKestrel, "ktuFilePathUtils::getParentDirectory()"), [&] {
        ktu::require(path);
        ktu::require(parent);
        std::size_t length = ktu::boundedLength(path, kPathBuffer - 1);
        if (length > kPathBuffer - 1) {
            parent[0] = '\0';
            return;
        }
        writeResult(parent, parentOf(std::string(path, length)));
    });
}

bool ktuFilePathUtils::filePathSplit(const char* path, char* drive, char* folder, char* fileName, char* ext)
{
    if (!ktu::gateOpen() || path == nullptr) {
        return false;
    }
    ktu::PathParts parts;
    ktu::splitPath(path, parts);
    char* outputs[] = {drive, folder, fileName, ext};
    const char* results[] = {parts.drive, parts.folder, parts.name, parts.ext};
    for (int i = 0; i < 4; ++i) {
        if (outputs[i] != nullptr) {
            std::strcpy(outputs[i], results[i]);
        }
    }
    return false;
}

bool ktuFilePathUtils::checkRequiredFileExtension(const char* fileName, char* requiredExt)
{
    return ktu::enter(ktu::site(ktu::kModKestrel, "ktuFilePathUtils::checkRequiredFileExtension()"), false, [&] {
        ktu::require(fileName);
        ktu::require(requiredExt);
        if (ktu::boundedLength(fileName, kPathBuffer - 1) > kPathBuffer - 1 ||
            ktu::boundedLength(requiredExt, kExtBuffer - 2) > kExtBuffer - 2) {
            return false;
        }
        if (!checkFileExt(fileName)) {
            std::string suffix = std::string(".") + requiredExt;
            writeResult(requiredExt, suffix);
            return true;
        }
        char base[kPathBuffer];
        char ext[kExtBuffer];
        getFileNameAndExt(fileName, base, ext);
        if (std::strcmp(ext, requiredExt) == 0) {
            requiredExt[0] = '\0';
            return true;
        }
        char message[256];
        std::snprintf(message, sizeof message, "Please enter the file name with extention '%s'", requiredExt);
        ktu::platform::ops().ui.messageBox(nullptr, message, "Invalid File Path", 0);
        return false;
    });
}

void ktuFilePathUtils::convertToAbsolutePath(const char* baseFolder, const char* relativePath, char* fullPath,
                                             long* status)
{
    ktu::enter(ktu::site(ktu::kModKestrel, "ktuFilePathUtils::convertToAbsolutePath()"), nullptr, [&] {
        if (status != nullptr) {
            *status = -100;
        }
    }, [&] {
        ktu::require(baseFolder);
        ktu::require(relativePath);
        ktu::require(fullPath);
        ktu::require(status);
        if (ktu::boundedLength(baseFolder, kConvertBuffer - 1) > kConvertBuffer - 1 ||
            ktu::boundedLength(relativePath, kConvertBuffer - 1) > kConvertBuffer - 1) {
            writeResult(fullPath, kNotApplicable);
            *status = -105;
            return;
        }
        std::string base = normalised(baseFolder);
        std::string rest = normalised(relativePath);
        bool stepped = false;
        bool applicable = true;
        for (;;) {
            if (!holdsSlash(base)) {
                // At the drive: only a bare name without a dot may follow.
                applicable = ktu::lastChar(base.c_str(), base.size(), [](char c) { return c == ':'; }) != ktu::npos &&
                             ktu::lastChar(rest.c_str(), rest.size(), [](char c) { return c == '.' || c == '/'; }) ==
                                 ktu::npos;
                break;
            }
            if (startsWith(rest, "../")) {
                base = parentOf(base);
                rest.erase(0, 3);
            } else if (startsWith(rest, "./")) {
                rest.erase(0, 2);
            } else {
                break;
            }
            stepped = true;
        }
        std::string result = base + '/' + rest;
        if (!stepped || !applicable) {
            writeResult(fullPath, kNotApplicable);
            *status = -105;
            return;
        }
        writeResult(fullPath, result);
        *status = 100;
    });
}

void ktuFilePathUtils::convertToRelativePath(const char* baseFolder, const char* targetPath, char* relativePath,
                                             long* status)
{
    ktu::enter(ktu::site(ktu::kModKestrel, "ktuFilePathUtils::convertToRelativePath()"), nullptr, [&] {
        if (status != nullptr) {
            *status = -100;
        }
    }, [&] {
        ktu::require(baseFolder);
        ktu::require(targetPath);
        ktu::require(relativePath);
        ktu::require(status);
        auto refuse = [&] {
            writeResult(relativePath, kNotApplicable);
            *status = -105;
        };
        if (ktu::boundedLength(baseFolder, kConvertBuffer - 1) > kConvertBuffer - 1 ||
            ktu::boundedLength(targetPath, kConvertBuffer - 1) > kConvertBuffer - 1) {
            refuse();
            return;
        }
        std::string target = normalised(targetPath);
        std::string lowTarget = lowered(target);
        std::string lowBase = lowered(normalised(baseFolder));
        if (!lowBase.empty() && lowBase.back() == '/') {
            lowBase.pop_back();
        }
        // The base matches only where it ends at one of the target's
        // separators (or at its end): "C:/a" is not the start of "C:/ab/x".
        auto matches = [&] {
            return lowTarget.compare(0, lowBase.size(), lowBase) == 0 &&
                   (lowTarget.size() == lowBase.size() || lowTarget[lowBase.size()] == '/');
        };
        std::string result = "./";
        bool climbed = false;
        while (!matches()) {
            if (lowBase.empty()) {
                refuse();  // no common leading folder, such as another drive
                return;
            }
            result = climbed ? result + "../" : "../";
            climbed = true;
            lowBase = parentOf(lowBase);
        }
        std::size_t tailStart = lowBase.size() + 1;
        if (tailStart < target.size()) {
            result += target.substr(tailStart);
        }
        writeResult(relativePath, result);
    });
}
