// Registry values on Windows, read from the local-machine hive with
// RegOpenKeyExA / RegQueryValueExA / RegCloseKey.
#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

// A string value (REG_SZ or REG_EXPAND_SZ, the latter unexpanded) that fits
// `buffer` with its terminator; anything else reads as missing.
bool readMachineString(const char* subKey, const char* valueName, char* buffer, uint32_t size)
{
    if (subKey == nullptr || buffer == nullptr || size == 0) {
        return false;
    }
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0;
    DWORD bytes = size;
    LONG status = ::RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        buffer[0] = '\0';
        return false;
    }
    // A stored string need not carry its terminator.
    if (bytes > 0 && buffer[bytes - 1] == '\0') {
        return true;
    }
    if (bytes >= size) {
        buffer[0] = '\0';
        return false;
    }
    buffer[bytes] = '\0';
    return true;
}

// The settings operations: each one Win32 call on the local-machine hive.
RegKey openKey(const char* path, bool fullAccess)
{
    HKEY key = nullptr;
    REGSAM access = fullAccess ? KEY_ALL_ACCESS : KEY_READ;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key) != ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

RegKey createKey(const char* path)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                          &key, &disposition) != ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

bool queryValue(RegKey key, const char* valueName, unsigned char* buffer, uint32_t* size)
{
    if (key == nullptr || size == nullptr) {
        return false;
    }
    DWORD type = 0;
    DWORD bytes = *size;
    LONG status = ::RegQueryValueExA(static_cast<HKEY>(key), valueName, nullptr, &type, buffer, &bytes);
    *size = bytes;
    return status == ERROR_SUCCESS;
}

bool setStringValue(RegKey key, const char* valueName, const char* value, uint32_t bytes)
{
    if (key == nullptr) {
        return false;
    }
    return ::RegSetValueExA(static_cast<HKEY>(key), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            bytes) == ERROR_SUCCESS;
}

bool deleteKey(RegKey key, const char* subKey)
{
    return key != nullptr && subKey != nullptr && ::RegDeleteKeyA(static_cast<HKEY>(key), subKey) == ERROR_SUCCESS;
}

void closeKey(RegKey key)
{
    if (key != nullptr) {
        ::RegCloseKey(static_cast<HKEY>(key));
    }
}

}  // namespace

RegistryOps makeRegistryOps()
{
    RegistryOps table{};
    table.readMachineString = readMachineString;
    table.openKey = openKey;
    table.createKey = createKey;
    table.queryValue = queryValue;
    table.setStringValue = setStringValue;
    table.deleteKey = deleteKey;
    table.closeKey = closeKey;
    return table;
}

}  // namespace platform
}  // namespace ktu
