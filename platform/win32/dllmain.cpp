// The DLL entry point. The library has no start-up or shut-down work: its
// process-wide state starts from constant values, so every call (process and
// thread attach and detach) succeeds and does nothing.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
