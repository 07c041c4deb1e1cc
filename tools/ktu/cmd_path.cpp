// ktu path: the path string operations (split, to a full path, to a relative
// path). A rooted native path is given to the library in drive form and the
// answer shown in native form again; relative paths pass as typed.
#include <cstdio>
#include <string>

#include "KSUtilityClasses.h"
#include "ktuCommand.h"

namespace {

using ktu::cli::fail;

// Room for any result: a split gives at most 259 characters, a conversion of
// two 255-character inputs at most 633 (three for every folder climbed plus
// the tail).
constexpr std::size_t kResult = 1024;

const char* meaning(long status)
{
    switch (status) {
    case -100: return "the operation failed inside the library";
    case -101: return "no drive, or not a drive of the machine";
    case -102: return "the folder part does not begin with a separator";
    case -103: return "no file name";
    case -104: return "the extension is a lone '.'";
    case -105: return "the relative path cannot be applied (it must begin with ./ or ../ and stay on the drive)";
    default: return "unexpected status";
    }
}

struct Typed {
    std::string library;
    bool native;
};

Typed take(const std::string& typed)
{
    bool rooted = !typed.empty() && typed[0] == '/';
    return {rooted ? ktu::cli::libraryPath(typed) : typed, rooted};
}

std::string shown(const char* result, bool native)
{
    return native ? ktu::cli::nativePath(result) : std::string(result);
}

int runPath(const ktu::cli::Args& args)
{
    if (args.empty()) {
        return ktu::cli::usage("missing ACTION (split, abs or rel)");
    }
    const std::string& what = args[0];
    const std::size_t wanted = what == "split" ? 2 : (what == "abs" || what == "rel") ? 3 : 0;
    if (wanted == 0) {
        return ktu::cli::usage("unknown ACTION '%s' (split, abs or rel)", what.c_str());
    }
    if (args.size() != wanted) {
        return args.size() < wanted ? ktu::cli::usage("%s: missing %s", what.c_str(),
                                                      what == "split" ? "PATH"
                                                      : args.size() == 1 ? "BASE" : what == "abs" ? "RELATIVE"
                                                                                                  : "TARGET")
                                    : ktu::cli::usage("%s: unexpected argument '%s'", what.c_str(),
                                                      args[wanted].c_str());
    }
    ktu::cli::handshake();
    if (what == "split") {
        Typed path = take(args[1]);
        char base[kResult] = "";
        char name[kResult] = "";
        long status = 0;
        ktuFilePathUtils::getFileNameAndBasePathFromFullPath(path.library.c_str(), base, name, &status);
        if (status != 100) {
            return fail("split: '%s': %s (status %ld)", args[1].c_str(), meaning(status), status);
        }
        std::printf("%s\n%s\n", shown(base, path.native).c_str(), name);
        return 0;
    }
    Typed base = take(args[1]);
    char result[kResult] = "";
    long status = 100;  // the relative conversion writes a status only when it fails
    if (what == "abs") {
        ktuFilePathUtils::convertToAbsolutePath(base.library.c_str(), args[2].c_str(), result, &status);
    } else {
        Typed target = take(args[2]);
        ktuFilePathUtils::convertToRelativePath(base.library.c_str(), target.library.c_str(), result, &status);
    }
    if (status != 100) {
        return fail("%s: '%s' from '%s': %s (status %ld)", what.c_str(), args[2].c_str(), args[1].c_str(),
                    meaning(status), status);
    }
    std::printf("%s\n", shown(result, base.native && what == "abs").c_str());
    return 0;
}

ktu::cli::Registration pathCommand{
    "path", "split PATH | abs BASE RELATIVE | rel BASE TARGET",
    "split a full path into its folder and file name, or convert between full and relative paths (RELATIVE begins "
    "with ./ or ../)",
    runPath};

}  // namespace
