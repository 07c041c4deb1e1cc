/// A network peer (IPv4 address and port), and the defaults and copies of the
/// network event and object records.
#pragma once
#include <cstdint>

#include "iKSNetworkCallBackDetails.h"
#include "iKSNetworkEventData.h"
#include "iKSNetworkObjectData.h"
#include "iKSNetworkValidEntryObject.h"
#include "ktuExport.h"

class KTU_API ktuKSNetworkInitInfo {
public:
    /// Address 0.0.0.0, port 0, extra values 0, doubleValue 9.0.
    ktuKSNetworkInitInfo();
    /// Copies address, port, extra values and doubleValue; asks no handshake.
    ktuKSNetworkInitInfo(const ktuKSNetworkInitInfo& other);
    /// Copies address, port, extra values and doubleValue and returns this
    /// object; asks no handshake.
    ktuKSNetworkInitInfo& operator=(const ktuKSNetworkInitInfo& other);
    virtual ~ktuKSNetworkInitInfo();

    /// True when this peer's port lies from `other`'s port to 5 above it
    /// (unsigned, the upper bound wrapping in 32 bits) and either the two
    /// addresses are equal or this one is 127.0.0.1. Not symmetric.
    bool operator==(const ktuKSNetworkInitInfo& other);

    /// "NA" into every text (the bytes behind it keep their content), 36 into
    /// recordTag, 0 everywhere else. Gated: refused calls change nothing. A
    /// null pointer is ignored.
    /// @{
    static void initNetworkEventData(iKSNetworkEventData* pData);
    static void initNetworkObjectData(iKSNetworkObjectData* pData);
    /// @}

    /// Field by field, destination first. A text is copied up to its NUL; the
    /// destination's bytes behind it keep their content. A source text with
    /// no NUL in its array is cut to the array's size less one and ended with
    /// a NUL. Alignment gaps are not copied. Gated; null pointers are ignored.
    /// @{
    static void copyNetworkEventData(iKSNetworkEventData* pDestination, const iKSNetworkEventData* pSource);
    static void copyNetworkObjectData(iKSNetworkObjectData* pDestination, const iKSNetworkObjectData* pSource);
    /// @}

    unsigned char ipAddress[4];  ///< first octet first: 127.0.0.1 is 127, 0, 0, 1
    uint32_t portNumber;         ///< compared by operator==
    int32_t extraValues[13];     ///< the applications' own; 0 by default
    double doubleValue;          ///< the applications' own; 9.0 by default
};

/// Behind the table pointer: 8 bytes on 64-bit targets, 4 on Windows x86.
#if defined(_WIN64) || (defined(__x86_64__) && !defined(_WIN32))
static_assert(sizeof(ktuKSNetworkInitInfo) == 80, "peer description size (64-bit)");
#elif defined(_WIN32)
static_assert(sizeof(ktuKSNetworkInitInfo) == 72, "peer description size (Windows x86)");
#endif
