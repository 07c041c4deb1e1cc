/// The version handshake: the process-wide gate in front of the library.
#pragma once
#include "ktuExport.h"

class KTU_API ktuLibVersionManagerUtils {
public:
    ktuLibVersionManagerUtils();
    ktuLibVersionManagerUtils(const ktuLibVersionManagerUtils&);
    ktuLibVersionManagerUtils& operator=(const ktuLibVersionManagerUtils&);
    virtual ~ktuLibVersionManagerUtils();

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
