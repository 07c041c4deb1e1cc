// Placeholder until this area is implemented for this platform.
#include "ktuPlatform.h"

namespace ktu {
namespace platform {

PictureOps makePictureOps()
{
    return PictureOps{};
}

}  // namespace platform
}  // namespace ktu
