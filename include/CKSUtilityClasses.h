/// The library's own empty class and its one plain exported function.
#pragma once
#include "ktuExport.h"

class KTU_API CKSUtilityClasses {
public:
    /// Does nothing: the class holds no data and has no virtual table.
    CKSUtilityClasses();
    /// Assigns nothing (the class holds no data) and returns this object.
    CKSUtilityClasses& operator=(const CKSUtilityClasses&);
};

/// Same as ktuLibVersionManagerUtils::getVersion (writes "4.02" into `version`,
/// which must hold 5 bytes; false for a null pointer), exported under this
/// undecorated name with the system calling convention.
extern "C" KTU_API bool KTU_STDCALL KsUtils_getVersion(char* version);
