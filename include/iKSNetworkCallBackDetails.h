/// The call-back details record the framework's applications exchange: two 32-bit
/// values that the library neither sets nor reads.
#pragma once
#include <cstddef>
#include <cstdint>

#include "ktuExport.h"

struct KTU_API iKSNetworkCallBackDetails {
    /// @name Fields
    /// Values of the applications' own; the library neither sets nor reads
    /// them.
    /// @{
    int32_t callBackId;     ///< value
    int32_t callBackValue;  ///< value
    /// @}

    /// Leaves both fields unset.
    iKSNetworkCallBackDetails() = default;
    /// Copies every field.
    iKSNetworkCallBackDetails(const iKSNetworkCallBackDetails&) = default;
    /// Copies the whole record.
    iKSNetworkCallBackDetails& operator=(const iKSNetworkCallBackDetails& other);
};

/// Two 4-byte fields on every target (Linux x86-64, Windows x64, Windows x86).
static_assert(sizeof(iKSNetworkCallBackDetails) == 8, "call-back details record size");
static_assert(offsetof(iKSNetworkCallBackDetails, callBackId) == 0, "call-back details record first field");
static_assert(offsetof(iKSNetworkCallBackDetails, callBackValue) == 4, "call-back details record last field");
