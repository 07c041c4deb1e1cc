// Splitting the path of an INI file into the folder to make and the file
// name, for ktuINIFileUtils::openFile.
#pragma once

#include <cstddef>

namespace ktu {

// Size of each of the two parts, terminator included.
constexpr std::size_t kIniPartSize = 256;

// Splits `path` into `folder` and `fileName` (each kIniPartSize bytes):
// "C:/data/in/app.ini" gives "C:/data/in" and "app.ini"; a path rooted
// without a drive ("/srv/x/y.ini" on Linux, "\srv\x\y.ini" on Windows) gives
// "/srv/x" and "y.ini". Drive-form paths go through
// ktuFilePathUtils::getFileNameAndBasePathFromFullPath and answer as it
// does. False, with nothing written, when the split fails or a part does
// not fit: a path over 259 characters, a folder, name or extension part over
// 255 characters, or a folder or file name that would not fit its 256 bytes.
bool splitIniPath(const char* path, char* folder, char* fileName);

}  // namespace ktu
