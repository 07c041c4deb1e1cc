/// Values of one INI settings file at a time: the process-wide current file.
#pragma once
#include "ktuExport.h"

/// Reads and writes the values (tags) of one INI settings file at a time.
///
/// openFile names the file; getTagValue, setTagValue and clearFileContent
/// then work on it until closeFile or the next openFile. Results: 1 success;
/// 0 refused (no handshake yet, a null or over-long path) or a fault, which
/// is logged with module "KSUtilityClasses" and the operation's name; -1 the
/// file could not be created empty; -2 no characters read, or the value
/// could not be written.
///
/// Values go through the system's profile functions on Windows and through a
/// profile engine with the same answers elsewhere (docs/platforms.md).
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
    /// (the file itself is made by the first setTagValue). Returns 1, or 0
    /// for a null path or one longer than 259 characters (the current file
    /// then stays as it was).
    ///
    /// The path is split into its folder and file name, 256 bytes each:
    /// "C:/data/app.ini" gives "C:/data" and "app.ini", whose folders are
    /// made by ktuFilePathUtils::createAllFolders. A path rooted without a
    /// drive ("/srv/x/y.ini") has its folders made level by level under the
    /// same rule (a folder text holding a refused character such as '.'
    /// makes nothing). When the split fails, or a folder, name or extension
    /// part is longer than 255 characters, or the folder or file name would
    /// not fit its 256 bytes, no folder is made; the path is still current
    /// and the answer is still 1.
    static long openFile(const char* path);

    /// Reads `key` of `section` into `out` (500 bytes; at most 499
    /// characters). A missing file, section or key gives `defaultValue`; an
    /// empty `defaultValue` is first replaced by "0" in the caller's buffer
    /// (which must hold 2 bytes). Returns 1; -2 (and `out` untouched) when
    /// the value read is empty. A null `defaultValue`, or a null `out` when a
    /// value was read, is a fault: 0 and a log line.
    static long getTagValue(const char* section, const char* key, char* out, char* defaultValue);

    /// Writes `key`=`value` into `section`, making file, section and key as
    /// needed (a null `value` deletes the key, a null `key` the section).
    /// Returns 1, or -2 with the file unchanged when it cannot be written:
    /// no current file, a missing folder, a read-only file (refused to
    /// administrators and root too), or a file the system does not let this
    /// caller write. The file keeps its owner, group, mode and extended
    /// attributes; a file in a folder that refuses new files is still
    /// written when the file itself may be written. On Linux a write replaces
    /// the file whole (a crash leaves the old or the new content) unless that
    /// would change the file itself (hard links, such folders, another
    /// user's file): then it writes in place (docs/platforms.md).
    static long setTagValue(const char* section, const char* key, const char* value);

    /// Replaces the current file by an empty one. Returns 1, or -1 when it
    /// cannot be created (a read-only file among those cases).
    static long clearFileContent();

    /// Forgets the current file. Returns 1.
    static long closeFile();
};
