// Walking folder trees through open folders, as the folder operations do.
//
// A walk holds each folder it works in open (platform::FolderHandle) and acts
// on the entries of that folder by their bare names, never through a link
// and never by a path that could lead somewhere else by the time it is used:
// an entry exchanged for a link, or the tree renamed away and back while the
// walk runs, cannot make it act outside the tree it was given.
#pragma once

#include <cstring>
#include <string>
#include <type_traits>
#include <utility>

#include "ktuPlatform.h"

namespace ktu {

// "%s/%s" of a folder and a name.
inline std::string joinPath(const char* folder, const char* name)
{
    std::string joined(folder);
    joined += '/';
    joined += name;
    return joined;
}

// An open folder, closed when it goes out of scope.
class Folder {
public:
    Folder() = default;
    explicit Folder(platform::FolderHandle handle) : handle_(handle) {}
    ~Folder() { close(); }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    Folder(Folder&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

    // The folder at `path`; a link as its last name is followed only with
    // `followLast`.
    static Folder open(const char* path, bool followLast)
    {
        return Folder(platform::ops().fs.openFolder(path, followLast));
    }
    // The plain folder `name` of this folder (never a link).
    Folder child(const char* name) const { return Folder(platform::ops().fs.openChild(handle_, name)); }
    bool enter() const { return platform::ops().fs.enterFolder(handle_); }
    void close()
    {
        if (handle_ != nullptr) {
            platform::ops().fs.closeFolder(std::exchange(handle_, nullptr));
        }
    }
    platform::FolderHandle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    platform::FolderHandle handle_ = nullptr;
};

// Calls `visit(entry)` for every entry of `folder`, "." and ".." passed over,
// in listing order, until a visit answers false (a visit that answers nothing
// goes on). The listing is closed on every path, a fault raised by `visit`
// included. Returns false when no listing could be started.
template <class Visit>
bool forEachEntry(const Folder& folder, Visit&& visit)
{
    auto& fs = platform::ops().fs;
    platform::FindEntry entry;
    platform::FindHandle handle = fs.listFolder(folder.get(), &entry);
    if (handle == nullptr) {
        return false;
    }
    struct Closer {
        platform::FindHandle handle;
        ~Closer() { platform::ops().fs.findClose(handle); }
    } closer{handle};
    do {
        if (std::strcmp(entry.name, ".") == 0 || std::strcmp(entry.name, "..") == 0) {
            continue;
        }
        if constexpr (std::is_same_v<decltype(visit(entry)), bool>) {
            if (!visit(static_cast<const platform::FindEntry&>(entry))) {
                break;
            }
        } else {
            visit(static_cast<const platform::FindEntry&>(entry));
        }
    } while (fs.findNext(handle, &entry));
    return true;
}

// Removes everything inside `folder`, depth first, as deleteFolder does: a
// plain folder (attribute value exactly 16) is emptied and removed, each
// under deleteFolder's guard; anything else gets the attribute value 32 and
// is deleted, or removed as a folder when it cannot be deleted.
void emptyFolder(const Folder& folder, int depth = 0);

// Removes the entry `name` of `parent` as deleteFolder removes a folder it is
// given: a link alone, a plain folder with everything in it.
void removeEntryTree(const Folder& parent, const char* name, uint32_t attributes);

}  // namespace ktu
