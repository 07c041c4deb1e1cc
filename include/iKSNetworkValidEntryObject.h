/// The valid entry record the framework's applications exchange: two 32-bit
/// values that the library neither sets nor reads.
#pragma once
#include <cstddef>
#include <cstdint>

#include "ktuExport.h"

struct KTU_API iKSNetworkValidEntryObject {
    /// @name Fields
    /// Values of the applications' own; the library neither sets nor reads
    /// them.
    /// @{
    int32_t entryId;     ///< value
    int32_t entryValue;  ///< value
    /// @}

    /// Leaves both fields unset.
    iKSNetworkValidEntryObject() = default;
    /// Copies both fields.
    iKSNetworkValidEntryObject(const iKSNetworkValidEntryObject&) = default;
    /// Copies the whole record.
    iKSNetworkValidEntryObject& operator=(const iKSNetworkValidEntryObject& other);
};

/// Two 4-byte fields on every target (Linux x86-64, Windows x64, Windows x86).
static_assert(sizeof(iKSNetworkValidEntryObject) == 8, "valid entry record size");
static_assert(offsetof(iKSNetworkValidEntryObject, entryId) == 0, "valid entry record first field");
static_assert(offsetof(iKSNetworkValidEntryObject, entryValue) == 4, "valid entry record last field");
