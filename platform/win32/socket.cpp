// Placeholder until this area is implemented for this platform.
#include "ktuPlatform.h"

namespace ktu {
namespace platform {

SocketOps makeSocketOps()
{
    return SocketOps{};
}

}  // namespace platform
}  // namespace ktu
