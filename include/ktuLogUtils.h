/// The log writer: one time-stamped line per call in "output.log" of the log folder.
///
/// Before the version handshake every member returns at once: setLogsDir
/// answers false, no line is written, no message box is shown and the logging
/// switch keeps its value. A fault inside a member ends it quietly (setLogsDir
/// then answers false); the log writer never logs its own faults. A null
/// `module` or `text` writes nothing at any level.
///
/// Platforms: the default folder is "Logs" on the common desktop (the registry's
/// "Common Desktop" value; on Linux $XDG_DESKTOP_DIR, else $HOME/Desktop). The
/// message boxes of levels 1 and 2 go to the application's handler
/// (ktuSetMessageBoxHandler) where one is installed.
#pragma once
#include "ktuExport.h"

class KTU_API ktuLogUtils {
public:
    /// The class holds no data and its members are static; objects exist only
    /// because every exported class can be made, copied, assigned and destroyed.
    /// None of these four asks for the version handshake or does anything.
    /// @{
    ktuLogUtils();
    ktuLogUtils(const ktuLogUtils&);
    ktuLogUtils& operator=(const ktuLogUtils&);
    virtual ~ktuLogUtils();
    /// @}

    /// Chooses the log folder (made when missing). On success the process's
    /// current directory is `folder`. Folders longer than 255 characters (the
    /// stored folder keeps 256 characters with its trailing '/') are refused.
    static bool setLogsDir(const char* folder);

    /// Appends "MM/DD/YYYY - hh:mm::ss.mmm : module-text" to output.log, then
    /// level 1 shows an error box and level 2 shows one and ends the process
    /// with exit code 100.
    static void writeLog(const char* module, const char* text, int level);

    /// Appends the same line to `fileName` in the log folder.
    static void writeDebugLog(const char* fileName, const char* module, const char* text);

    /// Switches logging: while disabled, writeLog and writeDebugLog write no
    /// line, show no message box and end no process. Logging starts enabled;
    /// before the handshake the switch keeps its value.
    static void enableDisableLogs(bool enable);

private:
    static void getLogsDir(char* folder);
    static void getDesktopDir(char* folder);
};
