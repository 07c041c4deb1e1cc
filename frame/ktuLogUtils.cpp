// The log writer.
#include "ktuLogUtils.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "ktuClassShape.h"
#include "ktuFilePathUtils.h"
#include "ktuGuard.h"
#include "ktuPlatform.h"
#include "ktuText.h"

namespace {

constexpr std::size_t kStoredFolderSize = 257;  // 256 characters and the terminator
constexpr std::size_t kWorkSize = 260;
constexpr const char* kDesktopKey = "SOFTWARE\\Microsoft\\WINDOWS\\CurrentVersion\\Explorer\\Shell folders";
constexpr const char* kDesktopValue = "Common Desktop";
constexpr const char* kDefaultFolderName = "Logs";
constexpr const char* kOutputFile = "output.log";
constexpr const char* kBoxCaption = "Error";
constexpr const char* kLevel1Text = "Application is unable to complete the task. Please try again.";
constexpr const char* kLevel2Text = "Fatal Error has occurred. Application will Exit. Error log is written.";
constexpr unsigned int kMbOk = 0;
constexpr int kFatalExitCode = 100;

bool g_loggingEnabled = true;
bool g_folderSet = false;
char g_folder[kStoredFolderSize] = "";

// A line whose folder lookup faults inside the log writer is not logged
// again from within that lookup.
thread_local int t_depth = 0;

struct DepthScope {
    DepthScope() { ++t_depth; }
    ~DepthScope() { --t_depth; }
};

// The log writer's own faults end the operation quietly, without a line.
constexpr ktu::GuardSite kQuiet{nullptr, nullptr, false};

void toForwardSlashes(char* text)
{
    for (; *text != '\0'; ++text) {
        if (*text == '\\') {
            *text = '/';
        }
    }
}

// Appends '/' unless the text already ends in one (and there is room).
void endWithSlash(char* text, std::size_t size)
{
    std::size_t n = std::strlen(text);
    if (n == 0 || text[n - 1] != '/') {
        ktu::appendIfFits(text, size, "/");
    }
}

// The folder text as it would be stored: '\' turned into '/', one trailing
// '/'. False when it does not fit the stored folder.
bool normalisedFolder(const char* folder, char* out)
{
    if (!ktu::copyIfFits(out, kStoredFolderSize, folder)) {
        return false;
    }
    toForwardSlashes(out);
    std::size_t n = std::strlen(out);
    if (n == 0 || out[n - 1] != '/') {
        return ktu::appendIfFits(out, kStoredFolderSize, "/");
    }
    return true;
}

}  // namespace

KTU_DATALESS_CLASS_SHAPE(ktuLogUtils)

bool ktuLogUtils::setLogsDir(const char* folder)
{
    return ktu::enter(kQuiet, false, [&] {
        ktu::require(folder);
        char stored[kStoredFolderSize];
        if (!normalisedFolder(folder, stored)) {
            return false;  // longer than the stored folder can hold
        }
        auto& fs = ktu::platform::ops().fs;
        if (!fs.setCurrentDir(folder)) {
            long code = 0;
            ktuFilePathUtils::createAllFolders(folder, false, &code);
            if (code == -101 || code == -102 || code == -106) {
                return false;
            }
            if (!fs.setCurrentDir(folder)) {
                return false;
            }
        }
        std::memcpy(g_folder, stored, sizeof stored);
        g_folderSet = true;
        return true;
    });
}

void ktuLogUtils::writeLog(const char* module, const char* text, int level)
{
    ktu::enter(kQuiet, [&] {
        if (module == nullptr || text == nullptr || !g_loggingEnabled) {
            return;
        }
        writeDebugLog(kOutputFile, module, text);
        auto& ui = ktu::platform::ops().ui;
        if (level == 1) {
            ui.messageBox(nullptr, kLevel1Text, kBoxCaption, kMbOk);
        } else if (level == 2) {
            ui.messageBox(nullptr, kLevel2Text, kBoxCaption, kMbOk);
            ui.exitProcess(kFatalExitCode);
        }
    });
}

void ktuLogUtils::writeDebugLog(const char* fileName, const char* module, const char* text)
{
    ktu::enter(kQuiet, [&] {
        if (fileName == nullptr || module == nullptr || text == nullptr || !g_loggingEnabled) {
            return;
        }
        if (t_depth > 0) {
            return;  // a fault inside our own folder lookup
        }
        DepthScope depth;

        char path[kWorkSize] = "";
        getLogsDir(path);
        if (!ktu::appendIfFits(path, kWorkSize, fileName)) {
            return;  // the file path would not fit: no line rather than a cut name
        }

        SYSTEMTIME now{};
        ktu::platform::ops().clock.localTime(&now);
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "%.2d/%.2d/%.4d - %.2d:%.2d::%.2d.%.3d", now.wMonth, now.wDay,
                      now.wYear, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);

        // The whole line is formed first and leaves in one append, so lines
        // of any length from any number of processes never mix, and a line
        // that finds the disk full leaves nothing of itself behind.
        std::string line;
        line.reserve(std::strlen(stamp) + std::strlen(module) + std::strlen(text) + 5);
        line.append(stamp).append(" : ").append(module).append("-").append(text).append("\n");
        ktu::platform::ops().fs.appendText(path, line.data(), line.size());
    });
}

void ktuLogUtils::enableDisableLogs(bool enable)
{
    ktu::enter(kQuiet, [&] { g_loggingEnabled = enable; });
}

void ktuLogUtils::getLogsDir(char* folder)
{
    ktu::enter(kQuiet, [&] {
        if (folder == nullptr) {
            return;
        }
        if (g_folderSet) {
            std::memcpy(folder, g_folder, std::strlen(g_folder) + 1);
            return;
        }
        getDesktopDir(folder);
        if (ktuFilePathUtils::checkOrCreateFolder(folder, kDefaultFolderName, false)) {
            char candidate[kWorkSize];
            std::memcpy(candidate, folder, std::strlen(folder) + 1);
            if (ktu::appendIfFits(candidate, kWorkSize, "/Logs") && ktu::appendIfFits(candidate, kWorkSize, "/")) {
                std::memcpy(folder, candidate, std::strlen(candidate) + 1);
            }
        }
    });
}

// The "Common Desktop" value of the registry; when it cannot be read, the
// platform's desktop folder (on POSIX systems $XDG_DESKTOP_DIR or
// $HOME/Desktop), and when there is none either, the current folder.
void ktuLogUtils::getDesktopDir(char* folder)
{
    ktu::enter(kQuiet, [&] {
        if (folder == nullptr) {
            return;
        }
        auto& platform = ktu::platform::ops();
        char value[kWorkSize] = "";
        if (!platform.registry.readMachineString(kDesktopKey, kDesktopValue, value, kWorkSize) || value[0] == '\0') {
            if (!platform.ui.fallbackDesktopDir(value, kWorkSize)) {
                uint32_t n = platform.fs.getCurrentDir(value, kWorkSize);
                if (n == 0 || n >= kWorkSize) {
                    value[0] = '\0';
                }
            }
        }
        value[kWorkSize - 1] = '\0';
        toForwardSlashes(value);
        endWithSlash(value, kWorkSize);
        std::memcpy(folder, value, std::strlen(value) + 1);
    });
}
