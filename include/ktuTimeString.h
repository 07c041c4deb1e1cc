/// Dates and times as text in seven fixed layouts.
///
/// Before the version handshake getTimeString writes nothing.
#pragma once
#include "ktuExport.h"
#include "ktuWinTypes.h"

class KTU_API ktuTimeString {
public:
    /// The class holds no data and its members are static; objects exist only
    /// because every exported class can be made, copied, assigned and destroyed.
    /// None of these four asks for the version handshake or does anything.
    /// @{
    ktuTimeString();
    ktuTimeString(const ktuTimeString&);
    ktuTimeString& operator=(const ktuTimeString&);
    virtual ~ktuTimeString();
    /// @}

    /// Writes `time` into `out` in the layout `format` selects:
    ///
    /// | format | layout |
    /// |---|---|
    /// | 0 | `YY-MM-DD` (YY = year - 2000, two digits) |
    /// | 1 | `MM-DD-YY` |
    /// | 2 | `DD-MM-YY` |
    /// | 3 | `YYYY-MM-D` |
    /// | 4 | YYYY-MM-D\::hh:_m (minute padded with a blank) |
    /// | 5 | YYYY-MM-D\::hh:mm:ss |
    /// | 6 | YYYY-MM-D\::hh:mm:ss:mmm |
    ///
    /// (YY at least two digits.) Any other `format` writes nothing. The fields are not range-checked:
    /// each is written as the number it holds. For dates of the years 1000
    /// to 9999 the longest text has 24 characters (`out` must hold 25 bytes);
    /// for any SYSTEMTIME at all (every field up to 65535) it has 42
    /// characters, so `out` must hold 43 bytes. Does nothing before the
    /// handshake; a fault (a null `out`) is logged
    /// ("ktuTimeString::getTimeString", module "KSUtilityClasses").
    static void getTimeString(SYSTEMTIME time, int format, char* out);
};
