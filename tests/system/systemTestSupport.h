// Helpers of the system tests: a private settings store and log folder for
// the whole program, and runs as another user.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ktuTestSupport.h"

namespace ktu {
namespace test {

// The texts ("module-text") of the lines in Logs/output.log on the common
// desktop. On POSIX systems that desktop is a temporary folder named by the
// program's own settings store (KTU_SETTINGS_DB).
std::vector<std::string> desktopLogTexts();

#if !defined(_WIN32)
// `body` here for root (0), else in a child that drops root's privileges for
// `user` (its group the same number): body's answer, or -1 when the child failed.
int runAs(unsigned user, const std::function<int()>& body);
#endif

}  // namespace test
}  // namespace ktu
