// Placeholder until this area is implemented for this platform.
#include "ktuPlatform.h"

namespace ktu {
namespace platform {

ProfileOps makeProfileOps()
{
    return ProfileOps{};
}

}  // namespace platform
}  // namespace ktu
