// File dialogs on POSIX systems: the desktop's file chooser, run as
// `zenity --file-selection`.
//
// The chooser is used when a display is present (DISPLAY or WAYLAND_DISPLAY)
// and a `zenity` program is found on PATH; otherwise the dialog answers
// "nothing chosen" at once. The request maps onto the chooser as follows:
//   - each filter pair becomes one --file-filter="description | patterns"
//     (';' between patterns becomes ' ', and "*.*" becomes "*", which is what
//     it means on Windows); the pair that the filter index names comes first,
//     so the chooser preselects it;
//   - the title becomes --title; a save dialog adds --save;
//   - a save dialog appends "." and the default extension to a chosen name
//     whose last component has no '.' (as the Windows dialog does);
//   - with the file-must-exist flag a choice that is not an existing file
//     (after the extension was added), with the path-must-exist flag one
//     whose folder does not exist, counts as nothing chosen;
//   - the owner window has no counterpart here (a window of this library's
//     POSIX form is described by its client rectangle alone).
// The chosen path is handed back in drive form ("C:/home/u/a.bmp", or the
// letter of the KTU_DRIVES entry whose root holds it), so that the path
// operations of the library accept it; a path that does not fit `size`
// bytes counts as nothing chosen.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drives.h"
#include "ktuPlatform.h"

extern char** environ;

namespace ktu {
namespace platform {
namespace {

constexpr uint32_t kPathMustExist = 0x800;
constexpr uint32_t kFileMustExist = 0x1000;
constexpr std::size_t kOutputLimit = 64 * 1024;

bool displayPresent()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') {
            return true;
        }
    }
    return false;
}

// The first executable `zenity` along PATH; empty when there is none.
std::string findChooser()
{
    const char* path = std::getenv("PATH");
    if (path == nullptr) {
        return std::string();
    }
    std::string list(path);
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        std::string folder = list.substr(start, end - start);
        std::string candidate = (folder.empty() ? std::string(".") : folder) + "/zenity";
        struct stat st;
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return std::string();
}

std::string filterArgument(const char* description, const char* patterns)
{
    std::string name(description);
    for (char& c : name) {
        if (c == '|') {
            c = '/';  // the chooser splits name and patterns at '|'
        }
    }
    std::string globs;
    std::string pattern;
    auto flush = [&] {
        if (pattern == "*.*") {
            pattern = "*";
        }
        if (!pattern.empty()) {
            globs += globs.empty() ? "" : " ";
            globs += pattern;
        }
        pattern.clear();
    };
    for (const char* c = patterns; *c != '\0'; ++c) {
        if (*c == ';' || *c == ' ') {
            flush();
        } else {
            pattern += *c;
        }
    }
    flush();
    return "--file-filter=" + name + " | " + globs;
}

std::vector<std::string> chooserArguments(const ktuFilePickRequest& request)
{
    std::vector<std::string> args{"zenity", "--file-selection"};
    if (request.save != 0) {
        args.emplace_back("--save");
    }
    if (request.title != nullptr && request.title[0] != '\0') {
        args.emplace_back(std::string("--title=") + request.title);
    }
    std::vector<std::string> filters;
    if (request.filter != nullptr) {
        for (const char* c = request.filter; *c != '\0';) {
            const char* description = c;
            const char* patterns = description + std::strlen(description) + 1;
            if (*patterns == '\0') {
                break;  // a description without patterns ends the list
            }
            filters.push_back(filterArgument(description, patterns));
            c = patterns + std::strlen(patterns) + 1;
        }
    }
    std::size_t first = request.filterIndex >= 1 ? request.filterIndex - 1 : 0;
    if (first < filters.size()) {
        args.push_back(filters[first]);
    }
    for (std::size_t i = 0; i < filters.size(); ++i) {
        if (i != first) {
            args.push_back(filters[i]);
        }
    }
    return args;
}

// Runs the chooser; its standard output (bounded) and whether it exited with 0.
bool runChooser(const std::string& program, const std::vector<std::string>& args, std::string& output)
{
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const auto& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        return false;
    }
    char chunk[4096];
    for (;;) {
        ssize_t got = ::read(pipeEnds[0], chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        if (output.size() < kOutputLimit) {
            output.append(chunk, static_cast<std::size_t>(got));
        }
    }
    ::close(pipeEnds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The native path in drive form: the drive whose root holds it (the longest
// such root wins), '/' separators.
bool toDrivePath(const std::string& native, std::string& out)
{
    std::string list = posix::logicalDriveList();
    std::size_t bestLength = 0;
    bool found = false;
    for (const char* root = list.c_str(); *root != '\0'; root += std::strlen(root) + 1) {
        std::string folder = posix::driveRoot(root[0]);
        bool holds = folder == "/" ? !native.empty() && native[0] == '/'
                                   : native.compare(0, folder.size(), folder) == 0 &&
                                         (native.size() == folder.size() || native[folder.size()] == '/');
        if (holds && (!found || folder.size() > bestLength)) {
            std::string rest = folder == "/" ? native : native.substr(folder.size());
            out = std::string(1, root[0]) + ":" + (rest.empty() ? "/" : rest);
            bestLength = folder.size();
            found = true;
        }
    }
    return found;
}

bool isExistingFile(const std::string& native)
{
    struct stat st;
    return ::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isExistingFolder(const std::string& native)
{
    struct stat st;
    return ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool showFileDialog(const ktuFilePickRequest* request, char* path, uint32_t size)
{
    if (request == nullptr || path == nullptr || size == 0 || !displayPresent()) {
        return false;
    }
    std::string program = findChooser();
    if (program.empty()) {
        return false;
    }
    std::string output;
    if (!runChooser(program, chooserArguments(*request), output)) {
        return false;
    }
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) {
        output.pop_back();
    }
    if (output.empty() || output.find('\n') != std::string::npos || output[0] != '/') {
        return false;
    }
    if (request->save != 0 && request->defaultExt != nullptr && request->defaultExt[0] != '\0') {
        std::size_t lastPart = output.rfind('/') + 1;
        if (output.find('.', lastPart) == std::string::npos) {
            output += '.';
            output += request->defaultExt;
        }
    }
    if ((request->flags & kFileMustExist) != 0 && !isExistingFile(output)) {
        return false;
    }
    if ((request->flags & kPathMustExist) != 0 && !isExistingFolder(output.substr(0, output.rfind('/') + 1))) {
        return false;
    }
    std::string chosen;
    if (!toDrivePath(output, chosen) || chosen.size() + 1 > size) {
        return false;
    }
    std::memcpy(path, chosen.c_str(), chosen.size() + 1);
    return true;
}

}  // namespace platform
}  // namespace ktu
