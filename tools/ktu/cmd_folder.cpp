// ktu folder: make a folder chain, remove a folder tree.
#include <cstdio>
#include <string>

#include "KSUtilityClasses.h"
#include "ktuCommand.h"

namespace {

int runFolder(const ktu::cli::Args& args)
{
    if (args.empty()) {
        return ktu::cli::kUsage;
    }
    ktu::cli::handshake();
    if (args[0] == "make" && (args.size() == 2 || (args.size() == 3 && args[2] == "--recreate"))) {
        std::string path = ktu::cli::libraryPath(args[1]);
        long status = 100;  // left as it is when every level was found or made
        ktuFilePathUtils::createAllFolders(path.c_str(), args.size() == 3, &status);
        std::printf("%s\nstatus %ld\n", path.c_str(), status);
        return status == 100 ? 0 : 1;
    }
    if (args[0] == "remove" && args.size() == 3) {
        std::string path = ktu::cli::libraryPath(args[1]);
        std::string holding = ktu::cli::libraryPath(args[2]);
        bool removed = ktuFilePathUtils::deleteFolder(path.c_str(), holding.c_str());
        std::printf("%s\n%s\n", path.c_str(), removed ? "removed" : "not removed");
        return removed ? 0 : 1;
    }
    return ktu::cli::kUsage;
}

ktu::cli::Registration folderCommand{"folder", "make PATH [--recreate] | remove PATH HOLDING_FOLDER",
                                     "make every level of a folder chain, or remove a folder tree", runFolder};

}  // namespace
