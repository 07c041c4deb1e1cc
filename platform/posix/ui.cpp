// Message boxes and process end on POSIX systems.
//
// Without a display toolkit the default message box writes its caption and
// text to standard error and answers IDOK (1) at once; applications that want
// a real dialog install their own handler (ktuHostHooks.h).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

int messageBox(void* /*owner*/, const char* text, const char* caption, unsigned int /*style*/)
{
    std::fprintf(stderr, "[%s] %s\n", caption != nullptr ? caption : "", text != nullptr ? text : "");
    std::fflush(stderr);
    return 1;
}

void exitProcess(int code)
{
    std::fflush(nullptr);
    ::_exit(code);
}

bool copyOut(const std::string& value, char* buffer, uint32_t size)
{
    if (buffer == nullptr || value.empty() || value.size() + 1 > size) {
        return false;
    }
    value.copy(buffer, value.size());
    buffer[value.size()] = '\0';
    return true;
}

// $XDG_DESKTOP_DIR, else $HOME/Desktop.
bool fallbackDesktopDir(char* buffer, uint32_t size)
{
    const char* xdg = std::getenv("XDG_DESKTOP_DIR");
    if (xdg != nullptr && xdg[0] != '\0') {
        return copyOut(xdg, buffer, size);
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return copyOut(std::string(home) + "/Desktop", buffer, size);
    }
    return false;
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
