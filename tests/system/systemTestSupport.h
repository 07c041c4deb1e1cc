// Helpers of the system tests: a private settings store and log folder for
// the whole program, unique names, and child processes the tests start.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace ktu {
namespace test {

// The texts ("module-text") of the lines in Logs/output.log on the common
// desktop. On POSIX systems that desktop is a temporary folder named by the
// program's own settings store (KTU_SETTINGS_DB).
std::vector<std::string> desktopLogTexts();

// `prefix` with the process id and a counter.
std::string uniqueName(const std::string& prefix);

// A copy, named `fileName` in `folder`, of a small program that waits until
// it is ended.
std::filesystem::path makeSleeperProgram(const std::filesystem::path& folder, const std::string& fileName);

struct Child {
    int64_t id = 0;          // process id
    void* handle = nullptr;  // Windows process handle
};

bool startChild(const std::filesystem::path& program, Child& child);  // false when it cannot start
bool waitChild(Child& child, int seconds);                            // true when it ended in time
void endChild(Child& child);                                          // ends it if it runs, and collects it

#if !defined(_WIN32)
// `body` here for root (0), else in a child that drops root's privileges for
// `user` (its group the same number): body's answer, or -1 when the child failed.
int runAs(unsigned user, const std::function<int()>& body);
#endif

}  // namespace test
}  // namespace ktu
