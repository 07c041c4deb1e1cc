/* A 32-bit C caller as older applications wrote them: the function is
   declared stdcall by hand, so the compiler looks for _KsUtils_getVersion@4,
   which the import library binds to the DLL's plain export. */
#include <stdbool.h>
#include <string.h>

__declspec(dllimport) bool __stdcall KsUtils_getVersion(char* version);

int main(void)
{
    char version[8] = "xxxxxxx";
    if (!KsUtils_getVersion(version) || KsUtils_getVersion(0)) {
        return 1;
    }
    return memcmp(version, "4.02\0xx", 8) == 0 ? 0 : 2;
}
