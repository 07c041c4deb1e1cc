// ktu log: one line through the log writer.
#include <cstdio>
#include <string>

#include "KSUtilityClasses.h"
#include "ktuCommand.h"

namespace {

int runLog(const ktu::cli::Args& args)
{
    std::string folder;
    long level = 0;
    std::size_t i = 0;
    for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
        if (args[i] == "--dir" && i + 1 < args.size()) {
            folder = args[++i];
        } else if (args[i] == "--level" && i + 1 < args.size()) {
            if (!ktu::cli::parseInt(args[++i], level)) {
                return ktu::cli::kUsage;
            }
        } else {
            return ktu::cli::kUsage;
        }
    }
    if (args.size() - i != 2) {
        return ktu::cli::kUsage;
    }
    ktu::cli::handshake();
    folder = ktu::cli::libraryPath(folder);
    if (!folder.empty() && !ktuLogUtils::setLogsDir(folder.c_str())) {
        std::fprintf(stderr, "ktu log: cannot use the log folder '%s'\n", folder.c_str());
        return 1;
    }
    ktuLogUtils::writeLog(args[i].c_str(), args[i + 1].c_str(), static_cast<int>(level));
    return 0;
}

ktu::cli::Registration logCommand{"log", "[--dir FOLDER] [--level N] MODULE TEXT",
                                  "write one line through the log writer (output.log in the log folder)", runLog};

}  // namespace
