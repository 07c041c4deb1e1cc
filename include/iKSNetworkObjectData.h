/// One network object as the framework's applications exchange it.
///
/// A plain record like iKSNetworkEventData: in-place texts and arrays, no
/// owned memory, no virtual functions. The names only tell the fields apart;
/// the widths, the order and the natural alignment fix the layout.
#pragma once
#include <cstddef>
#include <cstdint>

#include "ktuExport.h"

struct KTU_API iKSNetworkObjectData {
    /// @name Fields
    /// The library writes their defaults (ktuKSNetworkInitInfo) and copies
    /// them, and reads none of them; the names only tell the fields apart.
    /// @{
    char objectId[32];              ///< text
    int32_t objectValues[19];       ///< values
    uint8_t objectFlags[3];         ///< flags
    char labelText[256];            ///< text
    int32_t labelValues[2];         ///< values
    uint8_t labelFlag;              ///< flag
    int32_t labelValue;             ///< value
    uint8_t extraFlags[5];          ///< flags
    int32_t extraValues[5];         ///< values
    double extraDoubles[5];         ///< values
    char extraTexts[10][256];       ///< texts
    int32_t tailValues[7];          ///< values
    int32_t firstList[100];         ///< 100 values
    int32_t secondList[100];        ///< 100 values
    int32_t listValue;              ///< value
    /// @}

    /// Leaves every field unset (use ktuKSNetworkInitInfo for the defaults).
    iKSNetworkObjectData() = default;
    /// Copies every field.
    iKSNetworkObjectData(const iKSNetworkObjectData&) = default;
    /// Copies the whole record, every byte included.
    iKSNetworkObjectData& operator=(const iKSNetworkObjectData& other);
};

#if defined(_WIN64) || (defined(__x86_64__) && !defined(_WIN32))
static_assert(sizeof(iKSNetworkObjectData) == 3848, "object record size (64-bit)");
static_assert(offsetof(iKSNetworkObjectData, objectId) == 0, "object record first field (64-bit)");
static_assert(offsetof(iKSNetworkObjectData, extraDoubles) == 416, "object record doubles (64-bit)");
static_assert(offsetof(iKSNetworkObjectData, listValue) == 3844, "object record last field (64-bit)");
#elif defined(_WIN32)
static_assert(sizeof(iKSNetworkObjectData) == 3848, "object record size (Windows x86)");
static_assert(offsetof(iKSNetworkObjectData, objectId) == 0, "object record first field (Windows x86)");
static_assert(offsetof(iKSNetworkObjectData, extraDoubles) == 416, "object record doubles (Windows x86)");
static_assert(offsetof(iKSNetworkObjectData, listValue) == 3844, "object record last field (Windows x86)");
#endif
