// String settings under the framework's base key of the local-machine hive.
#include "ktuRegistryUtils.h"

#include <climits>
#include <cstring>

#include "ktuClassShape.h"
#include "ktuGuard.h"
#include "ktuPlatform.h"
#include "ktuText.h"

namespace {

constexpr const char* kBaseKey = "SOFTWARE\\Optic Pipeline";
constexpr std::size_t kKeyPathSize = 256;  // 255 characters and the terminator
constexpr uint32_t kValueSize = 512;
constexpr std::size_t kRectTextLimit = 255;

constexpr ktu::GuardSite kReadSite =
    ktu::site(ktu::kModCommon, "ktuRegistryUtils::getValueFromRegistryKey()");

// base\subKey into `path`; false when it does not fit the key path buffer.
bool settingKeyPath(const char* subKey, char (&path)[kKeyPathSize])
{
    path[0] = '\0';
    return subKey != nullptr && ktu::appendIfFits(path, kKeyPathSize, kBaseKey) &&
           ktu::appendIfFits(path, kKeyPathSize, "\\") && ktu::appendIfFits(path, kKeyPathSize, subKey);
}

// Opens `keyPath` for reading and reads `valueName` into `out` (512 bytes).
bool readValue(const char* keyPath, const char* valueName, char* out)
{
    auto& registry = ktu::platform::ops().registry;
    ktu::platform::RegKey key = registry.openKey(keyPath, false);
    if (key == nullptr) {
        return false;
    }
    unsigned char buffer[kValueSize] = {0};
    uint32_t size = kValueSize;
    bool read = registry.queryValue(key, valueName, buffer, &size);
    registry.closeKey(key);
    if (read && size > kValueSize) {
        read = false;
    }
    if (read && std::memchr(buffer, 0, size) == nullptr) {
        if (size == kValueSize) {
            read = false;  // 512 characters without a terminator: too long for `out`
        } else {
            buffer[size] = '\0';
        }
    }
    if (!read) {
        buffer[0] = '\0';
    }
    char* text = reinterpret_cast<char*>(ktu::require(out));
    std::memcpy(text, buffer, std::strlen(reinterpret_cast<char*>(buffer)) + 1);
    return read;
}

// atoi over a field of the rectangle text: blanks, a sign, digits; held to
// the 32-bit range.
LONG parseNumber(const char* begin, const char* end)
{
    const char* p = begin;
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) {
        ++p;
    }
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    long long value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        if (value <= static_cast<long long>(INT_MAX) + 1) {
            value = value * 10 + (*p - '0');
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX) {
        value = INT_MAX;
    } else if (value < INT_MIN) {
        value = INT_MIN;
    }
    return static_cast<LONG>(value);
}

}  // namespace

KTU_DATALESS_CLASS_SHAPE(ktuRegistryUtils)

bool ktuRegistryUtils::addStringValueToRegistryKey(const char* valueName, const char* value, const char* subKey)
{
    char path[kKeyPathSize];
    if (!settingKeyPath(subKey, path)) {
        return false;
    }
    auto& registry = ktu::platform::ops().registry;
    ktu::platform::RegKey key = registry.createKey(path);
    if (key == nullptr) {
        return false;
    }
    // The answer is the key's: a value that the store then refuses (a full
    // disk) leaves the old value in place and is still answered true, as the
    // registry answers it.
    if (value != nullptr) {
        std::size_t length = std::strlen(value);
        if (length < UINT32_MAX) {
            registry.setStringValue(key, valueName, value, static_cast<uint32_t>(length + 1));
        }
    }
    registry.closeKey(key);
    return true;
}

bool ktuRegistryUtils::getStringValueFromRegistryKey(const char* valueName, char* out, const char* subKey)
{
    return ktu::guarded(kReadSite, [&] {
        char path[kKeyPathSize];
        return settingKeyPath(subKey, path) && readValue(path, valueName, out);
    }, false);
}

bool ktuRegistryUtils::getStringValueFromRegistryKey(const char* keyPath, char* out)
{
    return ktu::guarded(kReadSite, [&] {
        return keyPath != nullptr && ktu::boundedLength(keyPath, kKeyPathSize - 1) < kKeyPathSize &&
               readValue(keyPath, nullptr, out);
    }, false);
}

bool ktuRegistryUtils::deleteRegistryKey(const char* subKey)
{
    if (subKey == nullptr || subKey[0] == '\0') {
        return true;  // deleting "nothing" must never reach the base key itself
    }
    auto& registry = ktu::platform::ops().registry;
    ktu::platform::RegKey base = registry.openKey(kBaseKey, true);
    if (base != nullptr) {
        registry.deleteKey(base, subKey);
        registry.closeKey(base);
    }
    return true;
}

bool ktuRegistryUtils::validateAndUpdateBaseKey()
{
    auto& registry = ktu::platform::ops().registry;
    ktu::platform::RegKey base = registry.createKey(kBaseKey);
    if (base == nullptr) {
        return false;
    }
    registry.closeKey(base);
    return true;
}

void ktuRegistryUtils::getWindowRectFromString(RECT* rect, const char* text)
{
    if (rect == nullptr || text == nullptr || text[0] == '\0' ||
        ktu::boundedLength(text, kRectTextLimit) > kRectTextLimit) {
        return;
    }
    LONG* fields[] = {&rect->left, &rect->right, &rect->bottom};
    int commas = 0;
    const char* start = text;
    const char* p = text;
    for (; *p != '\0'; ++p) {
        if (*p != ',') {
            continue;
        }
        if (commas < 3) {
            *fields[commas] = parseNumber(start, p);
            start = p + 1;
        }
        ++commas;
    }
    if (commas == 3) {
        rect->top = parseNumber(start, p);
    }
}
