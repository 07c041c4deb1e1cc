// Profile (INI) files on Windows: the system's own profile functions.
#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

uint32_t getString(const char* section, const char* key, const char* defaultValue, char* buffer, uint32_t size,
                   const char* file)
{
    return ::GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file);
}

bool writeString(const char* section, const char* key, const char* value, const char* file)
{
    return ::WritePrivateProfileStringA(section, key, value, file) != 0;
}

bool createEmptyFile(const char* file)
{
    HANDLE handle = ::CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(handle);
    return true;
}

}  // namespace

ProfileOps makeProfileOps()
{
    ProfileOps table{};
    table.getString = getString;
    table.writeString = writeString;
    table.createEmptyFile = createEmptyFile;
    return table;
}

}  // namespace platform
}  // namespace ktu
