// Layout facts that applications compiled against the headers rely on, checked
// by the compiler for the target being built (the 32-bit build is the one
// applications use). Nothing here runs.
#include "KSUtilityClasses.h"

static_assert(sizeof(SYSTEMTIME) == 16, "SYSTEMTIME is eight 16-bit fields");
static_assert(sizeof(BITMAPFILEHEADER) == 14 && sizeof(BITMAPINFOHEADER) == 40, "BMP headers of 14 and 40 bytes");
// The data-less classes carry their virtual table pointer and nothing else; the library's own class is empty.
static_assert(sizeof(ktuLibVersionManagerUtils) == sizeof(void*) && sizeof(ktuLogUtils) == sizeof(void*) &&
                  sizeof(ktuFilePathUtils) == sizeof(void*) && sizeof(CKSUtilityClasses) == 1,
              "no data beside the vtable pointer");
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(void*) == 4, "the 32-bit build");
#endif
