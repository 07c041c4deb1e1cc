// Placeholder until this area is implemented for this platform.
#include "ktuPlatform.h"

namespace ktu {
namespace platform {

ProcessOps makeProcessOps()
{
    return ProcessOps{};
}

}  // namespace platform
}  // namespace ktu
