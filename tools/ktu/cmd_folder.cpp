// ktu folder: make a folder chain (emptying its last folder on request),
// remove a folder tree.
#include <filesystem>
#include <string>
#include <system_error>

#include "KSUtilityClasses.h"
#include "ktuCommand.h"

namespace {

using ktu::cli::fail;

// The library's path of a typed folder, or a refusal said on standard error
// (empty result): a folder no drive holds, or a refused character in a
// folder to be made.
std::string folderPath(const std::string& typed, bool made)
{
    bool onDrive = true;
    std::string path = ktu::cli::libraryPath(typed, &onDrive);
    if (!onDrive || !ktu::cli::hasDrive(path)) {
        fail("'%s' lies on no drive (KTU_DRIVES maps no drive letter to a folder that holds it)", typed.c_str());
        return std::string();
    }
    char c = made ? ktu::cli::refusedCharacter(path.substr(2)) : 0;
    if (c != 0) {
        fail("'%s' holds '%c': the library makes and empties only folders whose path is free of %s", typed.c_str(),
             c, ktu::cli::kRefusedCharacters);
        return std::string();
    }
    return path;
}

// Splits "C:/a/b" into "C:/a" and "b" ("C:/b" into "C:/" and "b"); false for
// a drive root.
bool splitLeaf(const std::string& path, std::string& parent, std::string& leaf)
{
    std::size_t at = path.find_last_of("/\\");
    if (at == std::string::npos || at + 1 >= path.size()) {
        return false;
    }
    parent = path.substr(0, at);
    if (parent.size() == 2) {
        parent += '/';
    }
    leaf = path.substr(at + 1);
    return true;
}

int make(const std::string& typed, bool recreate)
{
    std::string path = folderPath(typed, true);
    if (path.empty()) {
        return ktu::cli::kFailed;
    }
    std::string parent;
    std::string leaf;
    if (recreate && !splitLeaf(path, parent, leaf)) {
        return fail("'%s' is the root of a drive; --recreate empties a folder below one", typed.c_str());
    }
    // Every missing level is made; nothing that exists is touched.
    long status = 100;
    ktuFilePathUtils::createAllFolders(path.c_str(), false, &status);
    if (status == -101) {
        return fail("'%s': drive %c: is not one of the machine's drives", typed.c_str(), path[0]);
    }
    if (status != 100) {
        return fail("'%s': a level of the folder chain could neither be found nor made (status %ld)", typed.c_str(),
                    status);
    }
    // Then only the last level is emptied: removed with its contents and
    // made again.
    if (recreate && !ktuFilePathUtils::checkOrCreateFolder(parent.c_str(), leaf.c_str(), true)) {
        return fail("'%s' could not be emptied and made again (a file in use, no permission, or not a plain folder)",
                    typed.c_str());
    }
    return 0;
}

int remove(const std::string& typed, const std::string* holdingTyped)
{
    std::string path = folderPath(typed, false);
    if (path.empty()) {
        return ktu::cli::kFailed;
    }
    std::string holding;
    std::string leaf;
    if (holdingTyped != nullptr) {
        holding = ktu::cli::libraryPath(*holdingTyped);
    } else if (!splitLeaf(path, holding, leaf)) {
        return fail("'%s' is the root of a drive and is not removed", typed.c_str());
    }
    std::error_code error;
    if (!std::filesystem::is_directory(ktu::cli::nativePath(path), error)) {
        return fail("no folder '%s'", typed.c_str());
    }
    if (!ktuFilePathUtils::deleteFolder(path.c_str(), holding.c_str())) {
        return fail("'%s' was not removed (a file in use, no permission, or the holding folder lies inside it)",
                    typed.c_str());
    }
    return 0;
}

int runFolder(const ktu::cli::Args& args)
{
    if (args.empty()) {
        return ktu::cli::usage("missing ACTION (make or remove)");
    }
    ktu::cli::handshake();
    const std::string& action = args[0];
    if (action == "make") {
        bool recreate = args.size() == 3 && args[2] == "--recreate";
        if (args.size() < 2 || args.size() > 3 || (args.size() == 3 && !recreate)) {
            return args.size() < 2 ? ktu::cli::usage("make: missing PATH")
                                   : ktu::cli::usage("make: unexpected argument '%s'", args.back().c_str());
        }
        return make(args[1], recreate);
    }
    if (action == "remove") {
        if (args.size() < 2 || args.size() > 3) {
            return args.size() < 2 ? ktu::cli::usage("remove: missing PATH")
                                   : ktu::cli::usage("remove: unexpected argument '%s'", args.back().c_str());
        }
        return remove(args[1], args.size() == 3 ? &args[2] : nullptr);
    }
    return ktu::cli::usage("unknown ACTION '%s' (make or remove)", action.c_str());
}

ktu::cli::Registration folderCommand{
    "folder", "make PATH [--recreate] | remove PATH [HOLDING_FOLDER]",
    "make: make every missing folder of PATH; nothing that exists is changed. With --recreate the last folder of "
    "PATH, and only that one, is then emptied (removed with everything in it and made again). The library makes "
    "folders only where the path after the drive is free of `~!@#$%^&*()-+=|{}[]:;\"'<>,.? and says which "
    "character is in the way. remove: remove the folder PATH with everything in it; HOLDING_FOLDER (default: its "
    "parent) is made the current folder for the removal.",
    runFolder};

}  // namespace
