// The clock on Windows: local time from GetLocalTime, calendar seconds from
// the C runtime's time().
#include <ctime>

#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

void localTime(SYSTEMTIME* now)
{
    if (now != nullptr) {
        ::GetLocalTime(now);
    }
}

int64_t unixTime()
{
    return static_cast<int64_t>(std::time(nullptr));
}

}  // namespace

ClockOps makeClockOps()
{
    ClockOps table{};
    table.localTime = localTime;
    table.unixTime = unixTime;
    return table;
}

}  // namespace platform
}  // namespace ktu
