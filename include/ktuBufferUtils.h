/// The head or the tail of a byte buffer, copied into a cleared buffer of
/// fixed size.
///
/// Before the version handshake, and for a null pointer, the members answer 0
/// and leave the destination as it was. A caught fault is logged at level 0
/// with module "KSUtilityClasses".
#pragma once
#include "ktuExport.h"

class KTU_API ktuBufferUtils {
public:
    /// The class holds no data and its members are static; objects exist only
    /// because every exported class can be made, copied, assigned and destroyed.
    /// None of these four asks for the version handshake or does anything.
    /// @{
    ktuBufferUtils();
    ktuBufferUtils(const ktuBufferUtils&);
    ktuBufferUtils& operator=(const ktuBufferUtils&);
    virtual ~ktuBufferUtils();
    /// @}

    /// Clears all `destinationSize` bytes of `pDestination`, then copies the
    /// first n = min(sourceSize, destinationSize) bytes of `pSource` to its
    /// start. Returns n; 0 (and nothing touched) for a null pointer or before
    /// the handshake.
    static unsigned int getStartingBytes(unsigned char* pSource, unsigned int sourceSize,
                                         unsigned char* pDestination, unsigned int destinationSize);

    /// The same with the last n bytes of `pSource`, in their order.
    static unsigned int getEndBytes(unsigned char* pSource, unsigned int sourceSize, unsigned char* pDestination,
                                    unsigned int destinationSize);
};
