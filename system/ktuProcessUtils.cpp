// Running processes counted and ended by program name.
#include "ktuProcessUtils.h"

#include <cstring>

#include "ktuClassShape.h"
#include "ktuGuard.h"
#include "ktuPlatform.h"
#include "ktuText.h"

namespace {

constexpr uint32_t kMaxProcesses = 1024;  // a 4096-byte list
constexpr std::size_t kNameSize = 260;
constexpr const char* kUnknown = "<unknown>";

// Calls `onMatch(handle)` for every listed process named `name` (the handle
// may be null: a process that could not be opened is "<unknown>"). False when
// the list cannot be taken.
template <class OnMatch>
bool forEachNamed(const char* name, uint32_t access, OnMatch onMatch)
{
    auto& process = ktu::platform::ops().process;
    uint32_t ids[kMaxProcesses];
    uint32_t bytes = 0;
    if (!process.enumProcesses(ids, sizeof ids, &bytes)) {
        return false;
    }
    uint32_t count = bytes / sizeof(uint32_t);
    if (count > kMaxProcesses) {
        count = kMaxProcesses;
    }
    for (uint32_t i = 0; i < count; ++i) {
        char found[kNameSize];
        std::memset(found, 0, sizeof found);
        std::memcpy(found, kUnknown, std::strlen(kUnknown));
        ktu::platform::ProcessHandle handle = process.openProcess(access, ids[i]);
        if (handle != nullptr && !process.mainModuleName(handle, found, kNameSize)) {
            std::memset(found, 0, sizeof found);
            std::memcpy(found, kUnknown, std::strlen(kUnknown));
        }
        found[kNameSize - 1] = '\0';
        if (ktu::equalsIgnoreCase(name, found)) {
            onMatch(handle);
        }
        if (handle != nullptr) {
            process.close(handle);
        }
    }
    return true;
}

}  // namespace

KTU_DATALESS_CLASS_SHAPE(ktuProcessUtils)

int ktuProcessUtils::checkIfProcessRunning(const char* name)
{
    if (!ktu::gateOpen() || name == nullptr || ktu::boundedLength(name, kNameSize - 1) >= kNameSize) {
        return 0;
    }
    int count = 0;
    if (!forEachNamed(name, ktu::platform::kProcessQuery, [&](ktu::platform::ProcessHandle) { ++count; })) {
        return 0;
    }
    return count;
}

void ktuProcessUtils::killAllRunningProcess(const char* name)
{
    ktu::enter(ktu::site(ktu::kModKSUtility, "Failed in ktuProcessUtils::killAllRunningProcess"), [&] {
        ktu::require(name);
        if (ktu::boundedLength(name, kNameSize - 1) >= kNameSize) {
            return;  // no process has so long a name
        }
        auto& process = ktu::platform::ops().process;
        forEachNamed(name, ktu::platform::kProcessTerminate, [&](ktu::platform::ProcessHandle handle) {
            if (handle != nullptr) {
                process.terminate(handle, 0);
            }
        });
    });
}
