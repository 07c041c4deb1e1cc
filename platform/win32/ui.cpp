// Message boxes and process end on Windows.
//
// The desktop folder used when the registry holds no "Common Desktop" value
// is the Desktop folder of the shared user profile: %PUBLIC%\Desktop (Windows
// Vista and later), else %ALLUSERSPROFILE%\Desktop (the older layout). Both
// are what the common desktop is on a default installation; when neither
// variable is set there is no fallback.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

int messageBox(void* owner, const char* text, const char* caption, unsigned int style)
{
    return ::MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}

void exitProcess(int code)
{
    std::fflush(nullptr);
    ::ExitProcess(static_cast<UINT>(code));
}

// Writes `base` + "\Desktop" into `buffer` when it fits.
bool desktopBelow(const char* base, char* buffer, uint32_t size)
{
    static const char kLeaf[] = "\\Desktop";
    if (base == nullptr || base[0] == '\0') {
        return false;
    }
    std::size_t length = std::strlen(base);
    if (length + sizeof kLeaf > size) {
        return false;
    }
    std::memcpy(buffer, base, length);
    std::memcpy(buffer + length, kLeaf, sizeof kLeaf);
    return true;
}

bool fallbackDesktopDir(char* buffer, uint32_t size)
{
    if (buffer == nullptr) {
        return false;
    }
    return desktopBelow(std::getenv("PUBLIC"), buffer, size) ||
           desktopBelow(std::getenv("ALLUSERSPROFILE"), buffer, size);
}

}  // namespace

UiOps makeUiOps()
{
    UiOps table{};
    table.messageBox = messageBox;
    table.exitProcess = exitProcess;
    table.fallbackDesktopDir = fallbackDesktopDir;
    return table;
}

}  // namespace platform
}  // namespace ktu
