// Processes on Linux, through /proc.
//
// The list is the numeric entries of /proc in ascending order. A process's
// name is the file name of its executable (/proc/<pid>/exe, without the
// " (deleted)" that marks a replaced program). When that link may not be
// read (another user's process seen by an unprivileged caller, a kernel
// thread) the name cannot be read, as on Windows, where such a process
// cannot be opened for reading either; the caller then sees "<unknown>".
// Nothing else stands in for it: the command name (/proc/<pid>/comm) is cut
// at 15 characters and may be changed by the process itself, and argv[0] is
// whatever its parent chose, so neither is the program's file name. A
// process that has ended but was not yet collected by its parent (a zombie)
// has no program any more; its name cannot be read either.
//
// Opening for termination asks the system whether a signal may be sent; a
// process that may not be signalled cannot be opened that way. Where the
// kernel offers process descriptors, the handle holds one, so that a handle
// keeps naming its process even if the number is reused. Termination of
// another process is SIGKILL, which ends it at once as TerminateProcess
// does; its exit status is then "killed by signal 9", since one process
// cannot choose another's exit code on POSIX systems. A process that
// terminates itself ends at once with the exit code asked for (_exit).
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

struct Process {
    pid_t pid;
    uint32_t access;
    int descriptor;  // the process descriptor, or -1 where there is none
};

int openDescriptor(pid_t pid)
{
#if defined(SYS_pidfd_open)
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

bool sendKill(const Process& process)
{
#if defined(SYS_pidfd_send_signal)
    if (process.descriptor >= 0) {
        return ::syscall(SYS_pidfd_send_signal, process.descriptor, SIGKILL, nullptr, 0) == 0;
    }
#endif
    return ::kill(process.pid, SIGKILL) == 0;
}

bool enumProcesses(uint32_t* ids, uint32_t bytes, uint32_t* bytesReturned)
{
    if (ids == nullptr || bytesReturned == nullptr) {
        return false;
    }
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return false;
    }
    std::vector<uint32_t> found;
    while (struct dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        unsigned long pid = std::strtoul(entry->d_name, &end, 10);
        if (entry->d_name[0] >= '1' && entry->d_name[0] <= '9' && end != nullptr && *end == '\0' &&
            pid <= 0x7fffffffu) {
            found.push_back(static_cast<uint32_t>(pid));
        }
    }
    ::closedir(proc);
    std::sort(found.begin(), found.end());
    std::size_t room = bytes / sizeof(uint32_t);
    std::size_t n = std::min(room, found.size());
    std::copy(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(n), ids);
    *bytesReturned = static_cast<uint32_t>(n * sizeof(uint32_t));
    return true;
}

std::string procFile(pid_t pid, const char* name)
{
    return "/proc/" + std::to_string(pid) + "/" + name;
}

// The small text file /proc/<pid>/<name>; empty when it cannot be read.
std::string readProcText(pid_t pid, const char* name)
{
    int fd = ::open(procFile(pid, name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::string();
    }
    char text[512];
    ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
}

bool isZombie(pid_t pid)
{
    // "pid (comm) S ...": the state follows the last ')'.
    std::string stat = readProcText(pid, "stat");
    std::size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z' ||
           stat[close + 2] == 'X';
}

ProcessHandle openProcess(uint32_t access, uint32_t id)
{
    pid_t pid = static_cast<pid_t>(id);
    if (id == 0 || id > 0x7fffffffu || ::access(procFile(pid, "stat").c_str(), F_OK) != 0) {
        return nullptr;
    }
    if ((access & 0x0001u) != 0 && ::kill(pid, 0) != 0) {
        return nullptr;  // may not be signalled: cannot be opened for termination
    }
    return new Process{pid, access, openDescriptor(pid)};
}

bool mainModuleName(ProcessHandle handle, char* buffer, uint32_t size)
{
    Process* process = static_cast<Process*>(handle);
    if (process == nullptr || buffer == nullptr || size == 0 || isZombie(process->pid)) {
        return false;
    }
    std::string name;
    char target[4096];
    ssize_t n = ::readlink(procFile(process->pid, "exe").c_str(), target, sizeof target - 1);
    if (n > 0) {
        std::string path(target, static_cast<std::size_t>(n));
        const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
            path.erase(path.size() - deleted.size());
        }
        name = path.substr(path.rfind('/') + 1);
    }
    if (name.empty() || name.size() >= size) {
        return false;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return true;
}

bool terminate(ProcessHandle handle, uint32_t exitCode)
{
    Process* process = static_cast<Process*>(handle);
    if (process == nullptr || (process->access & 0x0001u) == 0) {
        return false;
    }
    if (process->pid == ::getpid()) {
        ::_exit(static_cast<int>(exitCode));  // at once, no clean-up, as TerminateProcess ends its caller
    }
    return sendKill(*process);
}

void closeProcess(ProcessHandle handle)
{
    Process* process = static_cast<Process*>(handle);
    if (process != nullptr && process->descriptor >= 0) {
        ::close(process->descriptor);
    }
    delete process;
}

}  // namespace

ProcessOps makeProcessOps()
{
    ProcessOps table{};
    table.enumProcesses = enumProcesses;
    table.openProcess = openProcess;
    table.mainModuleName = mainModuleName;
    table.terminate = terminate;
    table.close = closeProcess;
    return table;
}

}  // namespace platform
}  // namespace ktu
