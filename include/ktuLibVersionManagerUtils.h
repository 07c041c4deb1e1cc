/// The version handshake: the process-wide gate in front of the library.
#pragma once
#include "ktuExport.h"

class KTU_API ktuLibVersionManagerUtils {
public:
    /// The class holds no data and its members are static; objects exist only
    /// because every exported class can be made, copied, assigned and destroyed.
    /// None of these four asks for the version handshake or does anything.
    /// @{
    ktuLibVersionManagerUtils();
    ktuLibVersionManagerUtils(const ktuLibVersionManagerUtils&);
    ktuLibVersionManagerUtils& operator=(const ktuLibVersionManagerUtils&);
    virtual ~ktuLibVersionManagerUtils();
    /// @}

    /// Accepts the caller when the whole-number part of its version text equals
    /// the library's (4 for "4.02"). Once accepted, the gate stays open for the
    /// life of the process. A null pointer is ignored and never opens the gate.
    static void validateVersion(char* version);

    /// True once a handshake has been accepted.
    static bool isValidVersion();

    /// Copies "4.02" and its terminator (five bytes) into `version`.
    /// Returns false and writes nothing when `version` is null. Not gated.
    static bool getVersion(char* version);
};
