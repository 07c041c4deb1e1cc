/// Values of one INI settings file at a time: the process-wide current file.
///
/// openFile names the file; getTagValue, setTagValue and clearFileContent then
/// work on it until closeFile or the next openFile. Results: 1 success, 0
/// refused (handshake, null path, over-long path) or a fault, -1 the file
/// could not be created empty, -2 no characters read / the value could not be
/// written.
///
/// Values go through the system's profile functions on Windows and through a
/// profile engine with the same answers elsewhere: sections and keys without
/// regard to case, blanks around keys and values trimmed, quotes around a value
/// removed, comment and unrelated lines kept, and every change written as a
/// whole new file that replaces the old one (docs/platforms.md).
#pragma once
#include "ktuExport.h"

class KTU_API ktuINIFileUtils {
public:
    /// Forgets the current file (every object made this way does); asks no
    /// handshake.
    ktuINIFileUtils();
    /// Copies nothing: the class holds no data (the current file is
    /// process-wide and stays as it is).
    ktuINIFileUtils(const ktuINIFileUtils&);
    /// Assigns nothing and returns this object; the current file stays.
    ktuINIFileUtils& operator=(const ktuINIFileUtils&);
    /// Does nothing; the current file stays.
    virtual ~ktuINIFileUtils();

    /// Makes `path` the current file and makes every missing folder above it
    /// (the file itself is made by the first setTagValue). 1, or 0 for a null
    /// path or one longer than 259 characters (the current file then stays as
    /// it was).
    static long openFile(const char* path);

    /// Reads `key` of `section` into `out` (500 bytes; at most 499
    /// characters). A missing file, section or key gives `defaultValue`; an
    /// empty `defaultValue` is first replaced by "0" in the caller's buffer.
    /// -2 (and `out` untouched) when the value read is empty. A null
    /// `defaultValue`, or a null `out` when a value was read, is a fault: 0.
    static long getTagValue(const char* section, const char* key, char* out, char* defaultValue);

    /// Writes `key`=`value` into `section`, making file, section and key as
    /// needed (a null `value` deletes the key, a null `key` the section). 1,
    /// or -2 when the file cannot be written.
    static long setTagValue(const char* section, const char* key, const char* value);

    /// Replaces the current file by an empty one. 1, or -1 when it cannot be
    /// created.
    static long clearFileContent();

    /// Forgets the current file. 1.
    static long closeFile();
};
