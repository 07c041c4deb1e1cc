/// One network event as the framework's applications exchange it.
///
/// A plain record: texts are in-place arrays, nothing is owned, there are no
/// virtual functions. The library gives it its defaults and copies it
/// (ktuKSNetworkInitInfo) and reads none of its fields, so the names below
/// only tell the fields apart; the widths, the order and the natural alignment
/// are what make the record match the applications' own.
#pragma once
#include <cstddef>
#include <cstdint>

#include "ktuExport.h"

struct KTU_API iKSNetworkEventData {
    /// @name Fields
    /// The library writes their defaults (ktuKSNetworkInitInfo) and copies
    /// them, and reads none of them; the names only tell the fields apart.
    /// @{
    char eventId[32];               ///< text
    int32_t eventValues[3];         ///< values
    uint8_t eventFlag;              ///< flag
    char sourceTexts[2][256];       ///< texts
    int32_t sourceValue;            ///< value
    char detailTexts[3][256];       ///< texts
    int32_t detailValues[15];       ///< values
    double measures[3];             ///< values
    int32_t measureValue;           ///< value
    uint8_t measureFlag;            ///< flag
    char noteText[256];             ///< text
    uint8_t extraFlags[5];          ///< flags
    int32_t extraValues[5];         ///< values
    double extraDoubles[5];         ///< values
    char extraTexts[5][256];        ///< texts
    int32_t recordTag;              ///< 36 by default
    char tailTexts[2][256];         ///< texts
    int32_t firstList[100];         ///< 100 values
    int32_t secondList[100];        ///< 100 values
    int32_t listValue;              ///< value
    /// @}

    /// Leaves every field unset (use ktuKSNetworkInitInfo for the defaults).
    iKSNetworkEventData() = default;
    /// Copies every field.
    iKSNetworkEventData(const iKSNetworkEventData&) = default;
    /// Copies the whole record, every byte included.
    iKSNetworkEventData& operator=(const iKSNetworkEventData& other);
};

/// The layout is the same on Linux x86-64, Windows x64 and Windows x86: the
/// doubles sit on 8-byte boundaries on all three.
#if defined(_WIN64) || (defined(__x86_64__) && !defined(_WIN32))
static_assert(sizeof(iKSNetworkEventData) == 4344, "event record size (64-bit)");
static_assert(offsetof(iKSNetworkEventData, eventId) == 0, "event record first field (64-bit)");
static_assert(offsetof(iKSNetworkEventData, measures) == 1392, "event record doubles (64-bit)");
static_assert(offsetof(iKSNetworkEventData, listValue) == 4340, "event record last field (64-bit)");
#elif defined(_WIN32)
static_assert(sizeof(iKSNetworkEventData) == 4344, "event record size (Windows x86)");
static_assert(offsetof(iKSNetworkEventData, eventId) == 0, "event record first field (Windows x86)");
static_assert(offsetof(iKSNetworkEventData, measures) == 1392, "event record doubles (Windows x86)");
static_assert(offsetof(iKSNetworkEventData, listValue) == 4340, "event record last field (Windows x86)");
#endif
