// The local-machine hive for a build without the SQLite settings store
// (KTU_SETTINGS_STORE=OFF, for targets that have no SQLite library, such as
// the 32-bit Linux test build). There is no store: no key opens or is made,
// no value is read or written, and every call answers failure, as the
// library's callers already expect of a store that cannot be used.
#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

bool readMachineString(const char*, const char*, char* buffer, uint32_t size)
{
    if (buffer != nullptr && size > 0) {
        buffer[0] = '\0';
    }
    return false;
}

RegKey openKey(const char*, bool) { return nullptr; }
RegKey createKey(const char*) { return nullptr; }
bool queryValue(RegKey, const char*, unsigned char*, uint32_t*) { return false; }
bool setStringValue(RegKey, const char*, const char*, uint32_t) { return false; }
bool deleteKey(RegKey, const char*) { return false; }
void closeKey(RegKey) {}

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
