// Helpers of the system tests: a private settings store and desktop, runs as another user, killed writers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ktuTestSupport.h"

namespace ktu {
namespace test {

// The texts ("module-text") of the lines in Logs/output.log on the common desktop (the program's own on POSIX).
std::vector<std::string> desktopLogTexts();

#if !defined(_WIN32)
// `body` here for root (0), else in a child running as `user` (group alike): its answer, or -1 on failure.
int runAs(unsigned user, const std::function<int()>& body);

// Forks a writer calling write(0), write(1)... until one is false, reporting each; after `reports` reports,
// runs `meanwhile` and kills it. The count of calls reported true.
uint32_t killWriter(uint32_t reports, const std::function<bool(uint32_t)>& write,
                    const std::function<void()>& meanwhile = [] {});
#endif

}  // namespace test
}  // namespace ktu
