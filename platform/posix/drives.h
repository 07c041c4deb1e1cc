// Drive letters on POSIX systems.
//
// "C:" is the root of the file system unless the environment variable
// KTU_DRIVES says otherwise; KTU_DRIVES also adds further drives, as
// "C=/srv/root;D=/mnt/data". The map is read afresh at every use, so a
// program (or a test) may change it while it runs.
#pragma once

#include <string>

namespace ktu {
namespace platform {
namespace posix {

// Root folder of `letter` (upper or lower case); empty when not mapped.
std::string driveRoot(char letter);

// The configured drives as "C:\" roots, each ended by a zero byte, the list
// ended by an empty string.
std::string logicalDriveList();

// Turns a path in drive form ("C:/x", "C:\x", "C:") into a POSIX path below
// the drive's root; '\' separators become '/'. Plain paths pass unchanged.
// False when the drive is not mapped.
bool toNativePath(const char* path, std::string& out);

}  // namespace posix
}  // namespace platform
}  // namespace ktu
