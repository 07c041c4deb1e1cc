// Time stamps against a clock the test sets, and the seven time layouts.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "ktuPlatform.h"
#include "ktuTestSupport.h"
#include "ktuTime.h"
#include "ktuTimeString.h"
#include "systemTestSupport.h"

namespace {

// The clock the stamps read: seconds and milliseconds set by the test.
int64_t g_seconds = 0;
WORD g_millis = 0;

ktuTime stampAt(int64_t seconds, WORD millis)
{
    g_seconds = seconds;
    g_millis = millis;
    return ktuTime();
}

SYSTEMTIME makeTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD millis)
{ return SYSTEMTIME{year, month, 0, day, hour, minute, second, millis}; }

TEST(Time, StampDifferencesResetSecondsAndLayouts)
{
    ktu::test::openGate();
    ktu::test::Overrides clock;
    clock.set(ktu::platform::ops().clock.unixTime, [] { return g_seconds; });
    clock.set(ktu::platform::ops().clock.localTime,
              [](SYSTEMTIME* now) { *now = SYSTEMTIME{0, 0, 0, 0, 0, 0, 0, g_millis}; });
    struct Case { int64_t laterSeconds; WORD laterMillis; int64_t earlierSeconds; WORD earlierMillis; int expected; };
    const Case cases[] = {
        {10, 900, 9, 950, 950}, {101, 500, 100, 0, 1500}, {100, 0, 101, 500, -1500},
        {3000000, 0, 0, 0, INT_MAX}, {0, 0, 3000000, 0, INT_MIN},  // beyond 24.8 days: held at the 32-bit ends
    };
    for (const Case& c : cases) {
        ktuTime later = stampAt(c.laterSeconds, c.laterMillis);
        ktuTime earlier;
        earlier = stampAt(c.earlierSeconds, c.earlierMillis);  // through the assignment
        EXPECT_EQ(later - earlier, c.expected) << c.laterSeconds << " - " << c.earlierSeconds;
    }

    // resetSeconds stops at zero.
    struct Reset { int64_t seconds; unsigned int back; long expected; };
    const Reset resets[] = {
        {3, 5, 0}, {10, 4, 6},
        {10, 0xFFFFFFFFu, 11},  // counts as -1: forward by one
        {2000000000, 0x80000000u, -147483648},  // forward past the top wraps: 2000000000 + 2^31 - 2^32
        {INT_MAX, 0xFFFFFFFFu, INT_MIN},
    };
    for (const Reset& c : resets) {
        ktuTime stamp = stampAt(c.seconds, 321);
        stamp.resetSeconds(c.back);
        EXPECT_EQ(stamp.getSeconds(), c.expected) << c.seconds << " back " << c.back;
        EXPECT_EQ(stamp.getMilliSeconds(), 321u);
    }

    // The seven layouts; other numbers are refused.
    struct Layout { SYSTEMTIME time; int format; const char* expected; };  // null: nothing written
    const SYSTEMTIME march = makeTime(2007, 3, 5, 9, 4, 7, 42);
    const SYSTEMTIME huge = makeTime(65535, 65535, 65535, 65535, 65535, 65535, 65535);
    const Layout layouts[] = {
        {march, 0, "07-03-05"}, {march, 1, "03-05-07"}, {march, 2, "05-03-07"}, {march, 3, "2007-03-5"},
        {march, 4, "2007-03-5::09: 4"}, {march, 5, "2007-03-5::09:04:07"}, {march, 6, "2007-03-5::09:04:07:042"},
        {makeTime(2010, 12, 31, 23, 5, 0, 0), 4, "2010-12-31::23: 5"},
        {makeTime(1999, 1, 2, 0, 0, 0, 0), 0, "-01-01-02"}, {march, 7, nullptr},
        // No range check: every field is written as it is, up to 42 characters.
        {huge, 6, "65535-65535-65535::65535:65535:65535:65535"}, {huge, 0, "63535-65535-65535"},
        {makeTime(0, 0, 0, 0, 0, 0, 0), 2, "00-00--2000"},
    };
    for (const Layout& c : layouts) {
        char out[64];
        std::memset(out, '#', sizeof out);
        std::strcpy(out, "untouched");
        ktuTimeString::getTimeString(c.time, c.format, out);
        EXPECT_STREQ(out, c.expected ? c.expected : "untouched") << "format " << c.format;
    }
    ktuTimeString::getTimeString(march, 9, nullptr);  // no layout: no fault
    ktuTimeString::getTimeString(march, 3, nullptr);
    EXPECT_EQ(ktu::test::desktopLogTexts().back(), "KSUtilityClasses-ktuTimeString::getTimeString");
}

}  // namespace
