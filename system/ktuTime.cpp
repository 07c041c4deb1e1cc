// Time stamps in milliseconds and the seven time string layouts.
#include "ktuTime.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ktuClassShape.h"
#include "ktuGuard.h"
#include "ktuPlatform.h"
#include "ktuTimeString.h"

namespace {

int32_t clampToInt32(int64_t value)
{
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

}  // namespace

ktuTime::ktuTime() : seconds_(0), milliSeconds_(0)
{
    if (ktu::gateOpen()) {
        setCurrentTime();
    }
}

ktuTime::ktuTime(const ktuTime& other) : seconds_(other.seconds_), milliSeconds_(other.milliSeconds_) {}

ktuTime::~ktuTime() {}

ktuTime& ktuTime::operator=(const ktuTime& other)
{
    return ktu::guarded(ktu::site(ktu::kModCommon, "ktuTime::operator =()"), [&]() -> ktuTime& {
        seconds_ = static_cast<int>(other.getSeconds());
        milliSeconds_ = other.getMilliSeconds();
        return *this;
    }, [&]() -> ktuTime& { return *this; });
}

void ktuTime::setCurrentTime()
{
    ktu::enter(ktu::rethrowingSite(ktu::kModCommon, "ktuTime::setCurrentTime()"), [&] {
        auto& clock = ktu::platform::ops().clock;
        seconds_ = clampToInt32(clock.unixTime());
        SYSTEMTIME now{};
        clock.localTime(&now);
        milliSeconds_ = now.wMilliseconds;
    });
}

void ktuTime::resetSeconds(unsigned int seconds)
{
    ktu::enter(ktu::rethrowingSite(ktu::kModCommon, "ktuTime::resetSeconds()"), [&] {
        int32_t back = static_cast<int32_t>(seconds);
        if (seconds_ <= back) {
            seconds_ = 0;
        } else {
            // 32-bit two's-complement subtraction: a "negative" count moves
            // the stamp forward, and past the top it wraps round.
            seconds_ = static_cast<int32_t>(static_cast<uint32_t>(seconds_) - static_cast<uint32_t>(back));
        }
    });
}

unsigned int ktuTime::getMilliSeconds() const
{
    return ktu::gateOpen() ? milliSeconds_ : 0;
}

long ktuTime::getSeconds() const
{
    return ktu::gateOpen() ? seconds_ : 0;
}

int ktuTime::operator-(ktuTime other)
{
    return ktu::enter(ktu::site(ktu::kModCommon, "ktuTime::operator -()"), 0, [&] {
        int64_t difference = (static_cast<int64_t>(seconds_) - other.seconds_) * 1000 +
                             static_cast<int64_t>(milliSeconds_) - static_cast<int64_t>(other.milliSeconds_);
        return clampToInt32(difference);
    });
}

KTU_DATALESS_CLASS_SHAPE(ktuTimeString)

void ktuTimeString::getTimeString(SYSTEMTIME time, int format, char* out)
{
    ktu::enter(ktu::site(ktu::kModKSUtility, "ktuTimeString::getTimeString"), [&] {
        char text[80];  // the longest text, of layout 6 with every field 65535, has 42 characters
        int y = time.wYear, mo = time.wMonth, d = time.wDay;
        int h = time.wHour, mi = time.wMinute, s = time.wSecond, ms = time.wMilliseconds;
        int n = -1;
        switch (format) {
        case 0: n = std::snprintf(text, sizeof text, "%.2d-%.2d-%.2d", y - 2000, mo, d); break;
        case 1: n = std::snprintf(text, sizeof text, "%.2d-%.2d-%.2d", mo, d, y - 2000); break;
        case 2: n = std::snprintf(text, sizeof text, "%.2d-%.2d-%.2d", d, mo, y - 2000); break;
        case 3: n = std::snprintf(text, sizeof text, "%.4d-%.2d-%d", y, mo, d); break;
        case 4: n = std::snprintf(text, sizeof text, "%.4d-%.2d-%d::%.2d:%2d", y, mo, d, h, mi); break;
        case 5: n = std::snprintf(text, sizeof text, "%.4d-%.2d-%d::%.2d:%.2d:%.2d", y, mo, d, h, mi, s); break;
        case 6:
            n = std::snprintf(text, sizeof text, "%.4d-%.2d-%d::%.2d:%.2d:%.2d:%.3d", y, mo, d, h, mi, s, ms);
            break;
        default: return;  // no such layout: nothing is written
        }
        ktu::require(out);
        if (n < 0) {
            return;
        }
        std::memcpy(out, text, static_cast<std::size_t>(n) + 1);
    });
}
