// Helpers of the system tests: a private settings store and log folder for
// the whole test program, the lines logged there, unique names, and child
// processes that the tests start themselves.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ktu {
namespace test {

// The texts ("module-text") of the lines in the default log file (Logs on the
// common desktop). On POSIX systems the program's own settings store (a
// temporary file, KTU_SETTINGS_DB) points the common desktop at a temporary
// folder, so nothing reaches the user's configuration or desktop.
std::vector<std::string> desktopLogTexts();

// A name no other test (or earlier run) uses: `prefix` with the process id
// and a counter.
std::string uniqueName(const std::string& prefix);

// A copy of a small program that waits until it is ended, named `fileName`
// and placed in `folder`. Start copies with startChild.
std::filesystem::path makeSleeperProgram(const std::filesystem::path& folder, const std::string& fileName);

struct Child {
    int64_t id = 0;      // process id
    void* handle = nullptr;  // Windows process handle
};

// Starts `program` (made by makeSleeperProgram); false when it cannot start.
bool startChild(const std::filesystem::path& program, Child& child);
// Waits for the child's end (at most `seconds`); true when it ended.
bool waitChild(Child& child, int seconds);
// Ends the child if it still runs, and collects it.
void endChild(Child& child);

}  // namespace test
}  // namespace ktu
