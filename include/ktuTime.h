/// A time stamp with millisecond resolution: whole seconds of calendar time
/// and the millisecond part of the local clock, read just after them.
///
/// Before the version handshake the getters and operator- answer 0,
/// resetSeconds and setCurrentTime change nothing, and an assignment sets both
/// fields to 0. The copy constructor and the destructor ask no handshake.
#pragma once
#include "ktuExport.h"

class KTU_API ktuTime {
public:
    /// Takes the current time once the handshake has been made; before it
    /// the stamp is 0 s 0 ms.
    ktuTime();
    /// Copies both fields; asks no handshake.
    ktuTime(const ktuTime& other);
    virtual ~ktuTime();

    /// Copies `other` through its (gated) getters: before the handshake the
    /// stamp becomes 0 s 0 ms.
    ktuTime& operator=(const ktuTime& other);

    /// seconds := calendar seconds since 1970 (held to the 32-bit range),
    /// then milliseconds := the millisecond part of the local time.
    void setCurrentTime();

    /// Moves the stamp back by `seconds`, stopping at 0: when the stamp's
    /// seconds are at most `seconds` taken as a signed 32-bit number, they
    /// become 0; otherwise they become seconds - `seconds` in 32-bit
    /// two's-complement arithmetic. So a count from 2^31 up (a negative
    /// number) moves the stamp forward, and a move past the largest 32-bit
    /// value wraps round to a negative one. Milliseconds stay. Does nothing
    /// before the handshake; a fault is logged ("ktuTime::resetSeconds()",
    /// module "Common") and passed on to the caller.
    void resetSeconds(unsigned int seconds);

    /// The millisecond part (0 to 999); 0 before the handshake.
    unsigned int getMilliSeconds() const;
    /// The whole seconds since 1970; 0 before the handshake.
    long getSeconds() const;

    /// Milliseconds from `other` to this stamp (negative when `other` is
    /// later). A difference beyond the 32-bit range (about 24.8 days) is held
    /// at INT_MAX or INT_MIN.
    int operator-(ktuTime other);

private:
    int seconds_;
    unsigned int milliSeconds_;
};
