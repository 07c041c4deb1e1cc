#include "ktuLibVersionManagerUtils.h"

#include <climits>
#include <cstring>

#include "CKSUtilityClasses.h"
#include "ktuClassShape.h"

namespace {

constexpr char kLibraryVersion[] = "4.02";

bool g_accepted = false;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The whole-number part of a version text: leading blanks, an optional sign,
// then decimal digits up to the first other character (no digits give 0).
// Values beyond the range of long saturate instead of overflowing.
long wholePart(const char* text)
{
    while (isBlank(*text)) {
        ++text;
    }
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = (*text == '-');
        ++text;
    }
    long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        int digit = *text - '0';
        if (value > (LONG_MAX - digit) / 10) {
            value = LONG_MAX;
        } else if (value != LONG_MAX) {
            value = value * 10 + digit;
        }
    }
    return negative ? -value : value;
}

}  // namespace

KTU_DATALESS_CLASS_SHAPE(ktuLibVersionManagerUtils)

void ktuLibVersionManagerUtils::validateVersion(char* version)
{
    if (version == nullptr) {
        return;
    }
    if (wholePart(version) == wholePart(kLibraryVersion)) {
        g_accepted = true;
    }
}

bool ktuLibVersionManagerUtils::isValidVersion()
{
    return g_accepted;
}

bool ktuLibVersionManagerUtils::getVersion(char* version)
{
    if (version == nullptr) {
        return false;
    }
    std::memcpy(version, kLibraryVersion, sizeof kLibraryVersion);
    return true;
}

CKSUtilityClasses::CKSUtilityClasses() {}

CKSUtilityClasses& CKSUtilityClasses::operator=(const CKSUtilityClasses&)
{
    return *this;
}

extern "C" bool KTU_STDCALL KsUtils_getVersion(char* version)
{
    return ktuLibVersionManagerUtils::getVersion(version);
}
