/// String settings of the framework in the local-machine registry hive.
///
/// Settings live below the base key "SOFTWARE\Optic Pipeline"; callers name a
/// subkey of it. Key and value names compare without regard to case. None of
/// these operations waits for the version handshake.
///
/// On Windows this is the system registry (a program that may not write to the
/// local-machine hive gets the write operations' failure values). On other
/// systems it is the library's settings store, one SQLite database shared by
/// every process of the user: see KTU_SETTINGS_DB in docs/platforms.md.
///
/// No member waits for the version handshake. The reading members log a caught
/// fault as "ktuRegistryUtils::getValueFromRegistryKey()" (module "Common",
/// level 0) and answer false; the others write no log line.
///
/// Platforms: on Windows the keys are below HKEY_LOCAL_MACHINE (writes there need
/// an elevated process on real Windows). On Linux the settings store is one
/// SQLite file, KTU_SETTINGS_DB, else
/// $XDG_CONFIG_HOME/KS_TU_UtilityClasses_V4/registry.db.
#pragma once
#include "ktuExport.h"
#include "ktuWinTypes.h"

class KTU_API ktuRegistryUtils {
public:
    /// The class holds no data and its members are static; objects exist only
    /// because every exported class can be made, copied, assigned and destroyed.
    /// None of these four asks for the version handshake or does anything.
    /// @{
    ktuRegistryUtils();
    ktuRegistryUtils(const ktuRegistryUtils&);
    ktuRegistryUtils& operator=(const ktuRegistryUtils&);
    virtual ~ktuRegistryUtils();
    /// @}

    /// Sets the string value `valueName` (null or empty: the key's unnamed
    /// value) of base\`subKey` to `value`, creating the key and every missing
    /// key above it. False when the key can be neither opened nor created
    /// (also when `subKey` is null or the whole key path would exceed 255
    /// characters, or when the store stays busy or has no room to make the
    /// key); true otherwise, also when the value itself could not be set (a
    /// full disk: the old value then stays whole; a null `value` is not set).
    static bool addStringValueToRegistryKey(const char* valueName, const char* value, const char* subKey);

    /// Reads the value `valueName` of base\`subKey` into `out` (512 bytes).
    /// True when the key opened and the value was read. A missing key (or a
    /// key path over 255 characters) leaves `out` untouched; a missing value
    /// sets `out` to the empty text. The value's bytes count as text up to the
    /// first zero byte; a value that does not fit 511 characters and a
    /// terminator is not read (false, `out` empty).
    static bool getStringValueFromRegistryKey(const char* valueName, char* out, const char* subKey);

    /// Reads the unnamed value of `keyPath`, a key directly under the hive
    /// (no base key), into `out` (512 bytes), as above.
    static bool getStringValueFromRegistryKey(const char* keyPath, char* out);

    /// Deletes the key `subKey` below the base key, with its values (a key that still has subkeys
    /// stays). True in every case; a null or empty `subKey` deletes nothing.
    static bool deleteRegistryKey(const char* subKey);

    /// Makes sure the base key exists; false when it can be neither opened
    /// nor created.
    static bool validateAndUpdateBaseKey();

    /// Parses "left,right,bottom,top" into `rect`. A number is stored when a
    /// comma follows it (the first to left, the second to right, the third to
    /// bottom); the text after the third comma goes to top only when there
    /// are exactly three commas. Fields that get no number keep their values.
    /// Numbers read like atoi (blanks, a sign, digits; no digits gives 0) and
    /// are held to the 32-bit range. An empty text, a null pointer or a text
    /// longer than 255 characters changes nothing.
    static void getWindowRectFromString(RECT* rect, const char* text);
};
