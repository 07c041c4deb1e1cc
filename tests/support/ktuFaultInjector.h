// Fault injection through the platform seam: while a FaultInjector lives, the
// seam entries that can fail count their calls and, at the chosen count, give
// the entry's failure instead of calling the entry in force before (a real one
// or a test's fake); entries that close something fail after the close.
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
};

}  // namespace test
}  // namespace ktu
