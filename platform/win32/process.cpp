// Processes on Windows: the process status functions of psapi.
#include "ktuPlatform.h"  // brings in <windows.h>, which <psapi.h> needs first

#include <psapi.h>

namespace ktu {
namespace platform {
namespace {

bool enumProcesses(uint32_t* ids, uint32_t bytes, uint32_t* bytesReturned)
{
    if (ids == nullptr || bytesReturned == nullptr) {
        return false;
    }
    DWORD used = 0;
    if (!::EnumProcesses(reinterpret_cast<DWORD*>(ids), bytes, &used)) {
        return false;
    }
    *bytesReturned = used;
    return true;
}

ProcessHandle openProcess(uint32_t access, uint32_t id)
{
    return ::OpenProcess(access, FALSE, id);
}

bool mainModuleName(ProcessHandle process, char* buffer, uint32_t size)
{
    if (process == nullptr || buffer == nullptr || size == 0) {
        return false;
    }
    HMODULE module = nullptr;
    DWORD needed = 0;
    if (!::EnumProcessModules(static_cast<HANDLE>(process), &module, sizeof module, &needed)) {
        return false;
    }
    return ::GetModuleBaseNameA(static_cast<HANDLE>(process), module, buffer, size) != 0;
}

bool terminate(ProcessHandle process, uint32_t exitCode)
{
    return process != nullptr && ::TerminateProcess(static_cast<HANDLE>(process), exitCode) != 0;
}

void closeProcess(ProcessHandle process)
{
    if (process != nullptr) {
        ::CloseHandle(static_cast<HANDLE>(process));
    }
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
