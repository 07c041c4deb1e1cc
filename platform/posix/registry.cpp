// Registry values on POSIX systems. The settings store comes with the
// registry settings; until then no value is found.
#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

bool readMachineString(const char*, const char*, char*, uint32_t)
{
    return false;
}

}  // namespace

RegistryOps makeRegistryOps()
{
    RegistryOps table{};
    table.readMachineString = readMachineString;
    return table;
}

}  // namespace platform
}  // namespace ktu
