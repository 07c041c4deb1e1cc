// ktu path: the path string operations (split, to a full path, to a relative
// path), printing the result and the path status code.
#include <cstdio>
#include <string>

#include "KSUtilityClasses.h"
#include "ktuCommand.h"

namespace {

// Room for any result: a split gives at most 259 characters, a conversion of
// two 255-character inputs at most 633 (three for every folder climbed plus
// the tail).
constexpr std::size_t kResult = 1024;

int printStatus(long status)
{
    std::printf("status %ld\n", status);
    return status == 100 ? 0 : 1;
}

int runPath(const ktu::cli::Args& args)
{
    if (args.empty()) {
        return ktu::cli::kUsage;
    }
    ktu::cli::handshake();
    const std::string& what = args[0];
    if (what == "split" && args.size() == 2) {
        char base[kResult] = "";
        char name[kResult] = "";
        long status = 0;
        ktuFilePathUtils::getFileNameAndBasePathFromFullPath(args[1].c_str(), base, name, &status);
        if (status == 100) {
            std::printf("%s\n%s\n", base, name);
        }
        return printStatus(status);
    }
    if ((what == "abs" || what == "rel") && args.size() == 3) {
        char result[kResult] = "";
        long status = 100;  // the relative conversion writes a status only when it fails
        if (what == "abs") {
            ktuFilePathUtils::convertToAbsolutePath(args[1].c_str(), args[2].c_str(), result, &status);
        } else {
            ktuFilePathUtils::convertToRelativePath(args[1].c_str(), args[2].c_str(), result, &status);
        }
        std::printf("%s\n", result);
        return printStatus(status);
    }
    return ktu::cli::kUsage;
}

ktu::cli::Registration pathCommand{"path", "split PATH | abs BASE RELATIVE | rel BASE TARGET",
                                   "split a full path, or convert between full and relative paths", runPath};

}  // namespace
