// Helpers of the system tests: a private settings store and log folder for
// the whole program, and runs as another user.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ktuTestSupport.h"

namespace ktu {
namespace test {

// The texts ("module-text") of the lines in Logs/output.log on the common
// desktop: on POSIX systems a temporary folder named by the program's own
// settings store (KTU_SETTINGS_DB).
std::vector<std::string> desktopLogTexts();

#if !defined(_WIN32)
// `body` here for root (0), else in a child that drops root's privileges for
// `user` (its group the same number): body's answer, or -1 when the child failed.
int runAs(unsigned user, const std::function<int()>& body);

// Forks a writer that calls write(0), write(1), ... and reports each call
// answered true (it ends at once when one answers false); after `reports`
// reports, runs `meanwhile` and kills the writer. The count of calls reported.
uint32_t killWriter(uint32_t reports, const std::function<bool(uint32_t)>& write,
                    const std::function<void()>& meanwhile = [] {});
#endif

}  // namespace test
}  // namespace ktu
