#include "ktuGuard.h"

namespace ktu {
namespace detail {

void reportFault(const GuardSite& where) noexcept
{
    if (where.module == nullptr) {
        return;
    }
    try {
        ktuLogUtils::writeLog(where.module, where.operation, 0);
    } catch (...) {
        // The log writer absorbs its own faults; nothing may escape a guard here.
    }
}

}  // namespace detail
}  // namespace ktu
