// Fault injection through the platform seam.
//
// While a FaultInjector lives, every entry of the seam's table that can fail
// is replaced by a trampoline that counts the call and, when the count
// reaches the chosen number, answers with the entry's failure instead of
// calling the entry that was in force before (a real one or a test's fake).
//
// Entries that only release or report (findClose, localFree, lastError, ...)
// are never failed. Entries that close something fail after the close has
// been done, as a close that reports an error still gives the handle back.
#pragma once

#include <string>

#include "ktuPlatform.h"

namespace ktu {
namespace test {

class FaultInjector {
public:
    enum class Mode {
        Once,       // only call number `failAt` fails: a passing refusal
        FromThenOn  // that call and every later one fail: a system that stays broken
    };

    // Seam call number `failAt` (counted from 1) fails; the first entry that
    // fails is named ("area.entry") in `firstFailed`, which starts empty.
    FaultInjector(long failAt, Mode mode, std::string& firstFailed);
    ~FaultInjector();
    FaultInjector(const FaultInjector&) = delete;
    FaultInjector& operator=(const FaultInjector&) = delete;

    static int failableEntries();

    // Used by the trampolines.
    static FaultInjector* active() { return active_; }
    bool shouldFail(const char* entry);
    const platform::Ops& original() const { return saved_; }

private:
    static FaultInjector* active_;
    platform::Ops saved_;
    long failAt_;
    Mode mode_;
    long calls_ = 0;
    std::string& firstFailed_;
};

}  // namespace test
}  // namespace ktu
