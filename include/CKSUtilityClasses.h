/// The library's own empty class and its one plain exported function.
#pragma once
#include "ktuExport.h"

class KTU_API CKSUtilityClasses {
public:
    CKSUtilityClasses();
    CKSUtilityClasses& operator=(const CKSUtilityClasses&);
};

/// Same as ktuLibVersionManagerUtils::getVersion, exported under this
/// undecorated name with the system calling convention.
extern "C" KTU_API bool KTU_STDCALL KsUtils_getVersion(char* version);
