// Walking the entries of the current folder, as the folder operations do.
#pragma once

#include <cstring>
#include <string>

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

// Calls `visit(name)` for every entry of the current folder that the pattern
// "*.*" lists, "." and ".." passed over, in listing order. The listing is
// closed on every path, a fault raised by `visit` included. Returns false
// when no listing could be started.
template <class Visit>
bool forEachEntry(Visit&& visit)
{
    auto& fs = platform::ops().fs;
    platform::FindEntry entry;
    platform::FindHandle handle = fs.findFirst("*.*", &entry);
    if (handle == nullptr) {
        return false;
    }
    struct Closer {
        platform::FindHandle handle;
        ~Closer() { platform::ops().fs.findClose(handle); }
    } closer{handle};
    do {
        if (std::strcmp(entry.name, ".") != 0 && std::strcmp(entry.name, "..") != 0) {
            visit(static_cast<const char*>(entry.name));
        }
    } while (fs.findNext(handle, &entry));
    return true;
}

}  // namespace ktu
