// Head and tail of a byte buffer into a cleared buffer of fixed size.
#include "ktuBufferUtils.h"

#include <cstring>

#include "ktuClassShape.h"
#include "ktuGuard.h"

namespace {

enum class End { Head, Tail };

unsigned int copyPart(End end, const unsigned char* source, unsigned int sourceSize, unsigned char* destination,
                      unsigned int destinationSize)
{
    unsigned int n = sourceSize < destinationSize ? sourceSize : destinationSize;
    std::memset(destination, 0, destinationSize);
    const unsigned char* from = end == End::Head ? source : source + (sourceSize - n);
    std::memcpy(destination, from, n);
    return n;
}

}  // namespace

KTU_DATALESS_CLASS_SHAPE(ktuBufferUtils)

unsigned int ktuBufferUtils::getStartingBytes(unsigned char* pSource, unsigned int sourceSize,
                                              unsigned char* pDestination, unsigned int destinationSize)
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, "ktuBufferUtils::getStartingBytes()"), 0u, [&]() -> unsigned int {
        if (pSource == nullptr || pDestination == nullptr) {
            return 0;
        }
        return copyPart(End::Head, pSource, sourceSize, pDestination, destinationSize);
    });
}

unsigned int ktuBufferUtils::getEndBytes(unsigned char* pSource, unsigned int sourceSize,
                                         unsigned char* pDestination, unsigned int destinationSize)
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, "ktuBufferUtils::getEndBytes()"), 0u, [&]() -> unsigned int {
        if (pSource == nullptr || pDestination == nullptr) {
            return 0;
        }
        return copyPart(End::Tail, pSource, sourceSize, pDestination, destinationSize);
    });
}
