#include <time.h>

#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

void localTime(SYSTEMTIME* now)
{
    if (now == nullptr) {
        return;
    }
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    struct tm parts;
    time_t seconds = ts.tv_sec;
    ::localtime_r(&seconds, &parts);
    now->wYear = static_cast<WORD>(parts.tm_year + 1900);
    now->wMonth = static_cast<WORD>(parts.tm_mon + 1);
    now->wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    now->wDay = static_cast<WORD>(parts.tm_mday);
    now->wHour = static_cast<WORD>(parts.tm_hour);
    now->wMinute = static_cast<WORD>(parts.tm_min);
    now->wSecond = static_cast<WORD>(parts.tm_sec > 59 ? 59 : parts.tm_sec);
    now->wMilliseconds = static_cast<WORD>(ts.tv_nsec / 1000000);
}

int64_t unixTime()
{
    return static_cast<int64_t>(::time(nullptr));
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
