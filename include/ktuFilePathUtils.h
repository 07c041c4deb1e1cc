/// Paths, files and folders.
///
/// Paths are narrow, zero-terminated strings; '/' and '\' are both accepted as
/// separators, and every path the class builds joins with '/'. Operations that
/// report a path status write it through their last `long*`:
///   100 success, -100 fault caught, -101 no (logical) drive, -102 folder does
///   not start with a separator / a level of a chain failed, -103 no file name,
///   -104 lone '.' extension, -105 relative path cannot be applied,
///   -106 refused character after the drive.
/// Arguments longer than an operation's working buffer are refused with the
/// operation's failure value; nothing is ever written beyond a buffer.
///
/// Texts are in the system code page. In a double-byte code page (932, 936,
/// 949, 950 on Windows) every scan steps over whole characters: the second
/// byte of a character, 0x5C among them, is never taken for a separator, a
/// dot or a refused character. On Linux paths are UTF-8, whose multi-byte
/// characters consist of bytes of 0x80 and above only, so no such byte can be
/// mistaken for '/', '\' or '.'.
///
/// Links. A symbolic link (on Windows also a junction or another reparse
/// point) is an entry of its own: its attribute value carries the
/// reparse-point bit 1024 (16 + 1024 for a link to a folder, 32 + 1024 for a
/// link to a file or a dangling link), so the "exactly 16" folder test never
/// takes it for a folder. The operations that walk folders never enter a
/// link and never change what it leads to: removing a link removes the link
/// alone, and setting its attributes never reaches its target (on Linux a
/// link has no mode of its own: clearing its attributes changes nothing, and
/// making it read-only fails). A link named in the middle of a path the
/// caller gives is followed like any other part of that path.
///
/// Before the version handshake every member returns its failure value
/// (false, or nothing) at once and writes nothing through its pointers, not
/// even a status code; callers therefore preset status variables.
///
/// Several members change the process's current directory (each says where it
/// is left); call them from one thread at a time. On Linux "C:" is the root of
/// the file system unless KTU_DRIVES maps drive letters to folders
/// (docs/platforms.md).
#pragma once
#include "ktuExport.h"

class KTU_API ktuFilePathUtils {
public:
    /// The class holds no data and its members are static; objects exist only
    /// because every exported class can be made, copied, assigned and destroyed.
    /// None of these four asks for the version handshake or does anything.
    /// @{
    ktuFilePathUtils();
    ktuFilePathUtils(const ktuFilePathUtils&);
    ktuFilePathUtils& operator=(const ktuFilePathUtils&);
    virtual ~ktuFilePathUtils();
    /// @}

    /// ---- Folder creation and removal ----------------------------------
    /// True when `drive` ("C:", "c:" or "C:\") is one of the logical drives.
    static bool checkForLocalDrive(const char* drive);
    /// True when none of the 29 refused characters occurs in `text`.
    static bool checkForSpecialCharacters(const char* text);
    /// Creates base/name; false when it exists already or cannot be made.
    static bool createNewFolder(const char* baseFolder, const char* folderName);
    /// Finds or makes base/name (recreating it empty when `recreate`). Leaves
    /// the current directory at `baseFolder`. A link of that name is no
    /// folder: it is not found, a folder cannot be made beside it, and the
    /// answer is false; but when recreating, a link to a folder is removed
    /// (the link alone) and a plain empty folder takes its place.
    static bool checkOrCreateFolder(const char* baseFolder, const char* folderName, bool recreate);
    /// The same for a whole path: splits `folderPath` at its last separator
    /// (a trailing one is passed over) and asks the form above for parent and
    /// leaf. A path with no separator past its first character is answered by
    /// checkForLocalDrive ("C:" and "C:\" true, "C:/" false). A caught fault is
    /// logged ("ktuFilePathUtils::checkOrCreateFolder()") and answered true.
    static bool checkOrCreateFolder(const char* folderPath, bool recreate);
    /// Makes every level of `folderPath`; writes `status` only on failure.
    /// Each level is handled by checkOrCreateFolder: a level that is a link
    /// fails (-102) unless recreating, when a link to a folder gives way to a
    /// plain folder; deeper levels are then made where the path leads.
    static void createAllFolders(const char* folderPath, bool recreate, long* status);
    /// Removes `folder` with everything in it; `holdingFolder` is made current
    /// before each level removes itself. Links inside are removed as files,
    /// the link alone; when `folder` itself is a link (a separator at its end
    /// or not), the link alone is removed and the answer is whether it went.
    static bool deleteFolder(const char* folder, const char* holdingFolder);

    /// ---- Path strings -------------------------------------------------
    /// Pure functions of their text, the same on every platform. Inputs are
    /// bounded by the working buffers (259 characters, 255 for the
    /// conversions); results are as long as those inputs make them, and the
    /// caller's buffer must hold them as each operation says.

    /// Splits at the last '.' after the first character: "clip.2007.bmp" gives
    /// "clip.2007" and "bmp". A name without such a dot gives the whole name
    /// and an empty extension. `name` must hold 260 bytes, `ext` 256; a name
    /// longer than 259 characters (or an extension longer than 255) gives two
    /// empty strings. A caught fault is logged and passed on to the caller.
    static void getFileNameAndExt(const char* fileName, char* name, char* ext);
    /// Every '\' becomes '/', in place; nothing else changes.
    static void convertBackSlashToForward(char* path);
    /// Every '/' becomes two '\' characters: the buffer must hold the text
    /// grown by one character for every '/' (up to 518 characters). A text
    /// longer than 259 characters is left unchanged. A caught fault is logged
    /// and passed on to the caller.
    static void converForwardSlashToDoubleBackSlash(char* path);
    /// Runs of '/' become one '/'; '\' is not touched. Works in place on
    /// texts of any length.
    static void removeContinuousSlashes(char* path);
    /// Everything before the last '/' ('\' is not a separator here); empty
    /// when there is none, and for a path longer than 259 characters.
    static void getParentDirectory(char* path, char* parent);
    /// Drive, folder (with its trailing separator), name and extension (with
    /// its dot), each cut at 255 characters; each output holds 256 bytes.
    /// Answers false in every case.
    static bool filePathSplit(const char* path, char* drive, char* folder, char* fileName, char* ext);
    /// A name without extension: `requiredExt` becomes ".ext" (the suffix to
    /// append), true. The required extension (byte for byte): it becomes "",
    /// true. Another extension: a message box, false. A name longer than 259
    /// characters or a required extension longer than 254 is refused (false,
    /// nothing changed, no message).
    static bool checkRequiredFileExtension(const char* fileName, char* requiredExt);
    /// Applies a relative path that begins with "./" or "../" to a base
    /// folder: status 100 and the full path, else "NA" and -105. The output
    /// must hold the two inputs' lengths plus one character (up to 511).
    /// Inputs longer than 255 characters give "NA" and -105.
    static void convertToAbsolutePath(const char* baseFolder, const char* relativePath, char* fullPath, long* status);
    /// The target relative to the base ("./x", "../x", "../../x"), letter case
    /// ignored in the comparison and kept in the result; no status is written
    /// on success. The base matches only at a folder boundary of the target:
    /// base "C:/a" and target "C:/ab/x" give "../ab/x". When the two have no
    /// leading folder in common (another drive, say), or when an input is
    /// longer than 255 characters, the output is "NA" and the status -105.
    /// The output must hold three characters for every folder climbed plus
    /// the tail (up to 633 characters).
    static void convertToRelativePath(const char* baseFolder, const char* targetPath, char* relativePath, long* status);

    /// ---- File operations ----------------------------------------------
    /// Appends to "<folder>/temp<name>" the source's lines, leaving out the
    /// lines equal to `line` and the empty ones; true when any was left out
    /// (a final line break counts as one empty line). Lines are read whole,
    /// whatever their length; "\r\n" and "\n" both end a line, and the copy
    /// is written with the platform's text line breaks. The source is open so
    /// that others may read it but not write it. The current folder is not
    /// changed. A folder (or a link to one) as source answers false and no
    /// copy is made. A source that is a link to a file is read through it; a
    /// link standing at the copy's name is never written through (the lines
    /// are compared all the same, and nothing is written).
    static bool copyFileExcludingLine(const char* filePath, const char* line);
    /// Copies the file to `newName` in its folder (never over an existing
    /// file), then deletes the original. A missing file shows "Invalid File
    /// Path". Leaves the current folder at the file's folder once the copy
    /// was made. A new path longer than 259 characters is refused. A link to
    /// a file becomes a plain file holding what it led to, and the link goes;
    /// a link to a folder and a dangling link cannot be copied (false).
    static bool renameFile(const char* filePath, const char* newName);
    /// Deletes the first entry that the name (or pattern) finds in its folder,
    /// after clearing its attributes (read-only files go too). Leaves the
    /// current folder at the file's folder once it could be entered. A link
    /// (to a file, to a folder, or dangling) is removed itself; its target
    /// stays as it was.
    static bool deleteFile(const char* filePath);

    /// ---- Folder trees -------------------------------------------------
    /// Deletes the files directly in `folder`; sub-folders stay. Links count
    /// as files: each goes alone, whatever it leads to. Answers false in every
    /// case; leaves the current folder at `folder`.
    static bool deleteFilesInFolder(const char* folder);
    /// Makes the destination a fresh copy of the source's tree (whatever the
    /// destination held before is removed). Answers false in every case and
    /// restores the current folder.
    /// The two are compared as the folders they lead to, not as texts (drive
    /// form or native, "." and "..", repeated or mixed separators, letter case
    /// where the file system ignores it, links, drive-map entries): when the
    /// destination is the source, lies inside it, or holds it (so that
    /// clearing it would remove the source), nothing is touched. A source
    /// that does not exist cannot be harmed and is not compared.
    /// Links in the source: a link to a folder is never entered and is left
    /// out of the copy (so a link to an ancestor cannot make the copy nest);
    /// a link to a file becomes a plain file holding what it leads to; a
    /// dangling link is left out. A destination that is itself a link is
    /// removed (the link alone) and made a folder.
    /// Folders longer than 259 characters are refused, and entries whose
    /// joined paths would pass 259 characters are left out.
    static bool copyFolder(const char* destinationFolder, const char* sourceFolder);
    /// True when the folder holds nothing besides "." and "..", or cannot be
    /// entered or listed. Leaves the current folder at `folder` when it could
    /// be entered.
    static bool isEmptyDirectory(const char* folder);

    /// ---- File dialogs -------------------------------------------------
    /// The system's dialogs for opening and saving (read-only box ticked,
    /// path and file must exist, first filter pair preselected). `fileName`
    /// holds 260 bytes; it is emptied before the dialog opens and receives the
    /// chosen path. On Linux the dialog is the application's picker
    /// (ktuSetFilePickerHandler), else the desktop's chooser (zenity) when a
    /// display is present, else none: false at once. The chosen path comes
    /// back in drive form there ("C:/home/u/a.bmp").
    /// True when the user chose a file; cancelling and failing look alike
    /// (false). `defaultExt` (without dot) is added to a typed name that has
    /// none. A caught fault is logged ("ktuFilePathUtils::getClipFileName()"
    /// or "ktuFilePathUtils::getSaveFileName()") and answered false.
    /// @{
    static bool getOpenFileName(char* fileName, const char* filter, const char* title, void* owner);
    static bool getSaveFileName(char* fileName, const char* filter, const char* title, const char* defaultExt,
                                void* owner);
    /// @}

    /// ---- Path split and existence checks --------------------------------
    /// Splits "C:/data/in/a.bmp" into "C:/data/in" and "a.bmp" (status 100);
    /// -101 no drive, -102 no leading separator, -103 no name, -104 a lone
    /// '.'; the outputs (260 bytes each) are written only on success. A path
    /// longer than 259 characters is refused with -100 (and a log line).
    static void getFileNameAndBasePathFromFullPath(const char* fullPath, char* basePath, char* fileName,
                                                   long* status);
    /// True when the file (or folder, or a match of a '*'/'?' pattern) exists.
    /// A link counts as an entry, a dangling one too.
    static bool checkFileExistence(const char* fullPath);
    /// True when `fileName` (a name or pattern) finds an entry in `folder`.
    /// The current folder is restored before it returns; when it cannot be
    /// read (so could not be restored), the answer is false and nothing is
    /// changed. A folder longer than 258 characters or a name longer than 259
    /// gives false.
    static bool checkFileExistance(const char* folder, const char* fileName);
    /// As checkFileExistence, for names that have an extension only.
    static bool checkForFile_Path_Existence(const char* fullPath);
    /// True when the name holds a '.' after its first character.
    static bool checkFileExt(const char* fileName);
};
