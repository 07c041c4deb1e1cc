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

    /// Writes `time` into `out` (25 bytes) in the layout `format` selects:
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
    /// Any other `format` writes nothing. Fields are not range-checked; a text
    /// that would not fit 24 characters (fields far out of range) is not
    /// written at all.
    static void getTimeString(SYSTEMTIME time, int format, char* out);
};
