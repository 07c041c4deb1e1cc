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
    char eventId[32];               ///< text
    int32_t eventValues[3];
    uint8_t eventFlag;
    char sourceTexts[2][256];       ///< texts
    int32_t sourceValue;
    char detailTexts[3][256];       ///< texts
    int32_t detailValues[15];
    double measures[3];
    int32_t measureValue;
    uint8_t measureFlag;
    char noteText[256];             ///< text
    uint8_t extraFlags[5];
    int32_t extraValues[5];
    double extraDoubles[5];
    char extraTexts[5][256];        ///< texts
    int32_t recordTag;              ///< 36 by default
    char tailTexts[2][256];         ///< texts
    int32_t firstList[100];
    int32_t secondList[100];
    int32_t listValue;

    iKSNetworkEventData() = default;
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
