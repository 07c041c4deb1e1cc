// Folder trees: deleting a folder's files, copying a tree, testing for an
// empty folder. All three walk the current folder's entries by bare name.
#include <cstring>
#include <string>
#include <vector>

#include "ktuFilePathInternal.h"
#include "ktuFilePathUtils.h"
#include "ktuFolderWalk.h"
#include "ktuGuard.h"
#include "ktuPlatform.h"
#include "ktuText.h"

namespace {

using ktu::kPathBuffer;
constexpr auto kCopySite = ktu::site(ktu::kModKSUtility, "ktuFilePathUtils::copyFolder()");

// A path in the form used to compare two of them: '/' separators, no runs
// of them, no trailing one, letters A-Z lowered (as Windows compares names).
std::string comparable(const std::string& path)
{
    std::string out;
    for (char c : path) {
        c = c == '\\' ? '/' : ktu::asciiLower(c);
        if (c == '/' && !out.empty() && out.back() == '/') {
            continue;
        }
        out += c;
    }
    if (out.size() > 1 && out.back() == '/') {
        out.pop_back();
    }
    return out;
}

bool withinOrSame(const std::string& inner, const std::string& outer)
{
    return inner.compare(0, outer.size(), outer) == 0 &&
           (inner.size() == outer.size() || inner[outer.size()] == '/' || outer.back() == '/');
}

bool copyTree(const std::string& destination, const std::string& source, const std::string& excluded);

// One level of the copy under its own guard: a fault inside a sub-folder is
// logged there and the walk of its parent goes on.
void copyLevel(const std::string& destination, const std::string& source, const std::string& excluded)
{
    ktu::guarded(kCopySite, [&] { return copyTree(destination, source, excluded); }, false);
}

bool copyTree(const std::string& destination, const std::string& source, const std::string& excluded)
{
    auto& fs = ktu::platform::ops().fs;
    std::string saved = ktu::currentFolder();
    if (fs.setCurrentDir(destination.c_str())) {
        ktuFilePathUtils::deleteFolder(destination.c_str(), saved.c_str());
    }
    fs.createDir(destination.c_str());
    auto restore = [&] {
        fs.setCurrentDir(saved.c_str());
        return false;
    };
    if (!fs.setCurrentDir(source.c_str())) {
        return restore();
    }
    ktu::forEachEntry([&](const char* name) {
        std::string from = ktu::joinPath(source.c_str(), name);
        std::string to = ktu::joinPath(destination.c_str(), name);
        if (from.size() > kPathBuffer - 1 || to.size() > kPathBuffer - 1) {
            return;  // beyond the longest path the copy handles: left out
        }
        if (fs.getAttributes(name) == ktu::platform::kAttrDirectory) {
            if (comparable(from) != excluded) {
                copyLevel(to, from, excluded);
            }
            fs.setCurrentDir(source.c_str());
        } else {
            fs.copyFile(from.c_str(), to.c_str(), false);
        }
    });
    return restore();
}

}  // namespace

bool ktuFilePathUtils::deleteFilesInFolder(const char* folder)
{
    if (!ktu::gateOpen()) {
        return false;
    }
    return ktu::guarded(ktu::site(ktu::kModKSUtility, "ktuFilePathUtils::deleteFilesInFolder()"), [&] {
        auto& fs = ktu::platform::ops().fs;
        if (!fs.setCurrentDir(ktu::require(folder))) {
            return false;
        }
        ktu::forEachEntry([&](const char* name) {
            if (fs.getAttributes(name) == ktu::platform::kAttrDirectory) {
                return;
            }
            fs.setAttributes(name, ktu::platform::kAttrArchive);
            if (!fs.deleteFile(name)) {
                fs.removeDir(ktu::joinPath(folder, name).c_str());
            }
        });
        return false;
    }, false);
}

bool ktuFilePathUtils::copyFolder(const char* destinationFolder, const char* sourceFolder)
{
    if (!ktu::gateOpen()) {
        return false;
    }
    return ktu::guarded(kCopySite, [&] {
        ktu::require(destinationFolder);
        ktu::require(sourceFolder);
        if (ktu::boundedLength(destinationFolder, kPathBuffer - 1) > kPathBuffer - 1 ||
            ktu::boundedLength(sourceFolder, kPathBuffer - 1) > kPathBuffer - 1) {
            return false;
        }
        // Copying a folder onto itself would remove the source before the
        // copy; a destination inside the source is left out of the walk, so
        // the copy never reaches its own entries.
        std::string destination = comparable(destinationFolder);
        std::string source = comparable(sourceFolder);
        if (destination == source) {
            return false;
        }
        std::string excluded = withinOrSame(destination, source) ? destination : std::string();
        return copyTree(destinationFolder, sourceFolder, excluded);
    }, false);
}

bool ktuFilePathUtils::isEmptyDirectory(const char* folder)
{
    if (!ktu::gateOpen()) {
        return false;
    }
    return ktu::guarded(ktu::site(ktu::kModKestrel, "ktuFilePathUtils::isEmptyDirectory()"), [&] {
        auto& fs = ktu::platform::ops().fs;
        if (!fs.setCurrentDir(ktu::require(folder))) {
            return true;
        }
        ktu::platform::FindEntry entry;
        ktu::platform::FindHandle handle = fs.findFirst("*.*", &entry);
        if (handle == nullptr) {
            return true;
        }
        struct Closer {
            ktu::platform::FindHandle handle;
            ~Closer() { ktu::platform::ops().fs.findClose(handle); }
        } closer{handle};
        do {
            if (std::strcmp(entry.name, ".") != 0 && std::strcmp(entry.name, "..") != 0) {
                return false;
            }
        } while (fs.findNext(handle, &entry));
        return true;
    }, false);
}
