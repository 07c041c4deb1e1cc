// Folder trees: deleting a folder's files, copying a tree, testing for an
// empty folder. All three walk a folder held open, by its entries' names
// (ktuFolderWalk.h).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ktuFilePathInternal.h"
#include "ktuFilePathUtils.h"
#include "ktuFolderWalk.h"
#include "ktuGuard.h"
#include "ktuPathChars.h"
#include "ktuPlatform.h"
#include "ktuText.h"

namespace {

using ktu::kPathBuffer;
constexpr auto kCopySite = ktu::site(ktu::kModKSUtility, "ktuFilePathUtils::copyFolder()");

using Place = std::vector<std::string>;

// The names of a path, split at its separators (empty names dropped).
Place namesOf(const std::string& path)
{
    Place names;
    std::string name;
    ktu::forEachChar(path.c_str(), path.size(), [&](std::size_t i) {
        std::size_t bytes = ktu::charBytes(path.c_str() + i);
        if (bytes == 1 && ktu::isSeparator(path[i])) {
            if (!name.empty()) {
                names.push_back(name);
            }
            name.clear();
        } else {
            name.append(path, i, bytes);
        }
        return true;
    });
    if (!name.empty()) {
        names.push_back(name);
    }
    return names;
}

// The final path of `path` (every link, "." and ".." resolved by the
// system); false when it leads to no existing entry.
bool finalPathOf(const std::string& path, std::string& out)
{
    auto& fs = ktu::platform::ops().fs;
    return ktu::systemText([&](char* buffer, uint32_t size) { return fs.finalPath(path.c_str(), buffer, size); }, out);
}

// Where a folder is, as a list of names that two spellings of one folder
// share: the final path of the longest leading part of `path` that exists,
// followed by the names of the rest, whose "." and ".." are applied to it
// (a relative path starts at the current folder). Names are lowered where
// the file system ignores letter case. False when not even the current
// folder can be resolved.
bool placeOf(const std::string& path, Place& place)
{
    std::string head = path;
    std::vector<std::string> rest;
    std::string resolved;
    while (!finalPathOf(head, resolved)) {
        std::size_t end = head.size();
        while (end > 0 && ktu::lastChar(head.c_str(), end, ktu::isSeparator, end - 1) != ktu::npos) {
            --end;  // separators at the end
        }
        std::size_t cut = ktu::lastChar(head.c_str(), end, ktu::isSeparator);
        if (cut == ktu::npos) {
            if (head == ".") {
                return false;
            }
            rest.insert(rest.begin(), head.substr(0, end));  // relative to the current folder
            head = ".";
            continue;
        }
        rest.insert(rest.begin(), head.substr(cut + 1, end - cut - 1));
        head.resize(cut + 1);  // "C:/" and "/" keep their separator: the root
        if (cut > 0 && !(cut == 2 && head[1] == ':')) {
            head.resize(cut);
        }
    }
    place = namesOf(resolved);
    for (const std::string& name : rest) {
        if (name == "..") {
            if (place.size() > 1) {
                place.pop_back();
            }
        } else if (!name.empty() && name != ".") {
            place.push_back(name);
        }
    }
    if (ktu::platform::ops().fs.namesIgnoreCase()) {
        for (std::string& name : place) {
            ktu::forEachChar(name.c_str(), name.size(), [&](std::size_t i) {
                if (ktu::charBytes(name.c_str() + i) == 1) {
                    name[i] = ktu::asciiLower(name[i]);
                }
                return true;
            });
        }
    }
    return true;
}

// True when `inner` is `outer` or lies below it.
bool withinOrSame(const Place& inner, const Place& outer)
{
    return inner.size() >= outer.size() && std::equal(outer.begin(), outer.end(), inner.begin());
}

// True when copying `source` to `destination` would copy a folder into
// itself or remove the source while clearing the destination: one of them
// is, or holds, the other, however the two are spelled. A source that does
// not exist cannot be harmed.
bool overlapping(const char* destination, const char* source)
{
    std::string resolved;
    if (!finalPathOf(source, resolved)) {
        return false;
    }
    Place from;
    Place to;
    if (!placeOf(source, from) || !placeOf(destination, to)) {
        return true;  // cannot be told apart: refused
    }
    return withinOrSame(to, from) || withinOrSame(from, to);
}

void copyLevel(const ktu::Folder& destination, const ktu::Folder& source, const std::string& to,
               const std::string& from);

// One sub-folder of the copy, under its own guard: a fault inside is logged
// there and the walk of its parent goes on. Its place in the destination is
// cleared and made anew (inside the destination held open), and the source's
// sub-folder is entered only when it is still a plain folder.
void copySubFolder(const ktu::Folder& destination, const ktu::Folder& source, const char* name,
                   const std::string& to, const std::string& from)
{
    ktu::guarded(kCopySite, [&] {
        auto& fs = ktu::platform::ops().fs;
        if (!fs.createEntryDir(destination.get(), name)) {
            ktu::removeEntryTree(destination, name, ktu::platform::kInvalidAttributes);
            fs.deleteEntry(destination.get(), name);
            fs.removeEntryDir(destination.get(), name);
            fs.createEntryDir(destination.get(), name);
        }
        ktu::Folder into = destination.child(name);
        ktu::Folder out = source.child(name);
        if (into && out) {
            copyLevel(into, out, to, from);
        }
        return false;
    }, false);
}

void copyLevel(const ktu::Folder& destination, const ktu::Folder& source, const std::string& to,
               const std::string& from)
{
    ktu::forEachEntry(source, [&](const ktu::platform::FindEntry& entry) {
        std::string fromPath = ktu::joinPath(from.c_str(), entry.name);
        std::string toPath = ktu::joinPath(to.c_str(), entry.name);
        if (fromPath.size() > kPathBuffer - 1 || toPath.size() > kPathBuffer - 1) {
            return;  // beyond the longest path the copy handles: left out
        }
        if (entry.attributes == ktu::platform::kAttrDirectory) {
            copySubFolder(destination, source, entry.name, toPath, fromPath);
        } else if (entry.attributes != ktu::platform::kInvalidAttributes) {
            // A link to a folder fails here as any folder does; a link to a
            // file gives a plain file with the content it leads to.
            ktu::platform::ops().fs.copyEntry(source.get(), entry.name, destination.get());
        }
    });
}

bool copyTree(const std::string& destination, const std::string& source)
{
    auto& fs = ktu::platform::ops().fs;
    std::string saved = ktu::currentFolder();
    if (fs.getAttributes(destination.c_str()) != ktu::platform::kInvalidAttributes) {
        // A link standing for the destination goes alone (see deleteFolder).
        ktuFilePathUtils::deleteFolder(destination.c_str(), saved.c_str());
    }
    fs.createDir(destination.c_str());
    {
        // The destination is written only as the folder just made: a link
        // put at its name meanwhile is not followed.
        ktu::Folder from = ktu::Folder::open(source.c_str(), true);
        ktu::Folder into = ktu::Folder::open(destination.c_str(), false);
        if (from && into && from.enter()) {
            copyLevel(into, from, destination, source);
        }
    }
    fs.setCurrentDir(saved.c_str());
    return false;
}

}  // namespace

bool ktuFilePathUtils::deleteFilesInFolder(const char* folder)
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, "ktuFilePathUtils::deleteFilesInFolder()"), false, [&] {
        // Held open, never through a link at its name.
        ktu::Folder files = ktu::Folder::open(ktu::require(folder), false);
        if (!files || !files.enter()) {
            return false;
        }
        auto& fs = ktu::platform::ops().fs;
        ktu::forEachEntry(files, [&](const ktu::platform::FindEntry& entry) {
            if (entry.attributes == ktu::platform::kAttrDirectory) {
                return;
            }
            fs.setEntryAttributes(files.get(), entry.name, ktu::platform::kAttrArchive);
            if (!fs.deleteEntry(files.get(), entry.name)) {
                fs.removeEntryDir(files.get(), entry.name);
            }
        });
        return false;
    });
}

bool ktuFilePathUtils::copyFolder(const char* destinationFolder, const char* sourceFolder)
{
    return ktu::enter(kCopySite, false, [&] {
        ktu::require(destinationFolder);
        ktu::require(sourceFolder);
        if (ktu::boundedLength(destinationFolder, kPathBuffer - 1) > kPathBuffer - 1 ||
            ktu::boundedLength(sourceFolder, kPathBuffer - 1) > kPathBuffer - 1) {
            return false;
        }
        // Clearing a destination that is or holds the source would remove
        // the source; a destination inside the source would be copied into
        // itself. Both are refused before anything is touched.
        if (overlapping(destinationFolder, sourceFolder)) {
            return false;
        }
        return copyTree(destinationFolder, sourceFolder);
    });
}

bool ktuFilePathUtils::isEmptyDirectory(const char* folder)
{
    return ktu::enter(ktu::site(ktu::kModKestrel, "ktuFilePathUtils::isEmptyDirectory()"), false, [&] {
        ktu::Folder examined = ktu::Folder::open(ktu::require(folder), true);
        if (!examined || !examined.enter()) {
            return true;
        }
        bool empty = true;
        ktu::forEachEntry(examined, [&](const ktu::platform::FindEntry&) { return empty = false; });
        return empty;
    });
}
