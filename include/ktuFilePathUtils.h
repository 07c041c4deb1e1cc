// Paths, files and folders.
//
// Paths are narrow, zero-terminated strings; '/' and '\' are both accepted as
// separators, and every path the class builds joins with '/'. Operations that
// report a path status write it through their last `long*`:
//   100 success, -100 fault caught, -101 no (logical) drive, -102 folder does
//   not start with a separator / a level of a chain failed, -103 no file name,
//   -104 lone '.' extension, -105 relative path cannot be applied,
//   -106 refused character after the drive.
// Arguments longer than an operation's working buffer are refused with the
// operation's failure value; nothing is ever written beyond a buffer.
#pragma once
#include "ktuExport.h"

class KTU_API ktuFilePathUtils {
public:
    ktuFilePathUtils();
    ktuFilePathUtils(const ktuFilePathUtils&);
    ktuFilePathUtils& operator=(const ktuFilePathUtils&);
    virtual ~ktuFilePathUtils();

    // ---- Folder creation and removal ----------------------------------
    // True when `drive` ("C:", "c:" or "C:\") is one of the logical drives.
    static bool checkForLocalDrive(const char* drive);
    // True when none of the 29 refused characters occurs in `text`.
    static bool checkForSpecialCharacters(const char* text);
    // Creates base/name; false when it exists already or cannot be made.
    static bool createNewFolder(const char* baseFolder, const char* folderName);
    // Finds or makes base/name (recreating it empty when `recreate`). Leaves
    // the current directory at `baseFolder`.
    static bool checkOrCreateFolder(const char* baseFolder, const char* folderName, bool recreate);
    static bool checkOrCreateFolder(const char* folderPath, bool recreate);
    // Makes every level of `folderPath`; writes `status` only on failure.
    static void createAllFolders(const char* folderPath, bool recreate, long* status);
    // Removes `folder` with everything in it; `holdingFolder` is made current
    // before each level removes itself.
    static bool deleteFolder(const char* folder, const char* holdingFolder);

    // ---- Path strings -------------------------------------------------
    static void getFileNameAndExt(const char* fileName, char* name, char* ext);
    static void convertBackSlashToForward(char* path);
    static void converForwardSlashToDoubleBackSlash(char* path);
    static void removeContinuousSlashes(char* path);
    static void getParentDirectory(char* path, char* parent);
    static bool filePathSplit(const char* path, char* drive, char* folder, char* fileName, char* ext);
    static bool checkRequiredFileExtension(const char* fileName, char* requiredExt);
    static void convertToAbsolutePath(const char* baseFolder, const char* relativePath, char* fullPath, long* status);
    static void convertToRelativePath(const char* baseFolder, const char* targetPath, char* relativePath, long* status);

    // ---- File operations ----------------------------------------------
    static bool copyFileExcludingLine(const char* filePath, const char* line);
    static bool renameFile(const char* filePath, const char* newName);
    static bool deleteFile(const char* filePath);

    // ---- Folder trees -------------------------------------------------
    static bool deleteFilesInFolder(const char* folder);
    static bool copyFolder(const char* destinationFolder, const char* sourceFolder);
    static bool isEmptyDirectory(const char* folder);

    // ---- File dialogs -------------------------------------------------
    static bool getOpenFileName(char* fileName, const char* filter, const char* title, void* owner);
    static bool getSaveFileName(char* fileName, const char* filter, const char* title, const char* defaultExt,
                                void* owner);

    // ---- Path split and existence checks --------------------------------
    static void getFileNameAndBasePathFromFullPath(const char* fullPath, char* basePath, char* fileName,
                                                   long* status);
    static bool checkFileExistence(const char* fullPath);
    static bool checkFileExistance(const char* folder, const char* fileName);
    static bool checkForFile_Path_Existence(const char* fullPath);
    static bool checkFileExt(const char* fileName);
};
