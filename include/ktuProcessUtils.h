/// Running processes found and ended by the file name of their program.
///
/// Before the version handshake checkIfProcessRunning answers 0 and
/// killAllRunningProcess ends nothing. A fault in killAllRunningProcess is
/// logged as "Failed in ktuProcessUtils::killAllRunningProcess" (module
/// "KSUtilityClasses", level 0).
#pragma once
#include "ktuExport.h"

/// Finds running processes by the file name of their program and ends them.
///
/// A process's name is its program's file name with extension and without
/// folder ("viewer.exe"); names compare whole and without regard to case. A
/// process whose name cannot be read (or that cannot be opened) is named
/// "<unknown>": on Linux, one whose executable (/proc/PID/exe) this caller
/// may not read, such as another user's process seen by an unprivileged
/// caller; its cut 15-character command name never stands in. At most the
/// first 1024 processes of the system's list are examined.
class KTU_API ktuProcessUtils {
public:
    /// The class holds no data and its members are static; objects exist only
    /// because every exported class can be made, copied, assigned and destroyed.
    /// None of these four asks for the version handshake or does anything.
    /// @{
    ktuProcessUtils();
    ktuProcessUtils(const ktuProcessUtils&);
    ktuProcessUtils& operator=(const ktuProcessUtils&);
    virtual ~ktuProcessUtils();
    /// @}

    /// The number of running processes named `name`; 0 when there are none,
    /// when the list cannot be taken, before the handshake, or when `name` is
    /// null or longer than 259 characters (no process can have such a name).
    static int checkIfProcessRunning(const char* name);

    /// Ends, with exit code 0, every running process named `name` that may be
    /// opened for termination, the calling process included when its name
    /// matches (it ends at its place in the list, at once, with exit code 0).
    /// On Linux another process is ended by SIGKILL, since its exit code
    /// cannot be chosen there. Does nothing before the handshake. A null
    /// `name` is a fault: "Failed in ktuProcessUtils::killAllRunningProcess"
    /// is logged with module "KSUtilityClasses".
    static void killAllRunningProcess(const char* name);
};
