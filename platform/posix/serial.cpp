// Placeholder until this area is implemented for this platform.
#include "ktuPlatform.h"

namespace ktu {
namespace platform {

SerialOps makeSerialOps()
{
    return SerialOps{};
}

}  // namespace platform
}  // namespace ktu
