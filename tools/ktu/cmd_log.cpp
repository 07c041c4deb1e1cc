// ktu log: one line through the log writer.
#include <filesystem>
#include <string>
#include <system_error>

#include "KSUtilityClasses.h"
#include "ktuCommand.h"

namespace {

using ktu::cli::fail;
using ktu::cli::usage;

std::uintmax_t sizeOf(const std::string& file)
{
    std::error_code error;
    std::uintmax_t size = std::filesystem::file_size(file, error);
    return error ? 0 : size;
}

// Chooses the typed log folder; false after saying why not.
bool chooseFolder(const std::string& typed)
{
    bool onDrive = true;
    std::string folder = ktu::cli::libraryPath(typed, &onDrive);
    if (!onDrive) {
        fail("'%s' lies on no drive (KTU_DRIVES maps no drive letter to a folder that holds it)", typed.c_str());
        return false;
    }
    if (ktuLogUtils::setLogsDir(folder.c_str())) {
        return true;
    }
    char c = ktu::cli::hasDrive(folder) ? ktu::cli::refusedCharacter(folder.substr(2)) : 0;
    if (c != 0) {
        fail("cannot make the log folder '%s': it holds '%c', and the library makes log folders only where the path "
             "is free of %s (make the folder first, or choose another)",
             typed.c_str(), c, ktu::cli::kRefusedCharacters);
    } else {
        fail("cannot make or enter the log folder '%s'", typed.c_str());
    }
    return false;
}

int runLog(const ktu::cli::Args& args)
{
    std::string typedFolder;
    long level = 0;
    std::size_t i = 0;
    for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
        if (args[i] == "--dir" || args[i] == "--level") {
            if (i + 1 >= args.size()) {
                return usage("%s: missing its value", args[i].c_str());
            }
            if (args[i] == "--dir") {
                typedFolder = args[++i];
            } else if (!ktu::cli::parseInt(args[++i], level) || level < 0 || level > 2) {
                return usage("--level: '%s' is not 0, 1 or 2", args[i].c_str());
            }
        } else {
            return usage("unknown option '%s'", args[i].c_str());
        }
    }
    if (args.size() - i != 2) {
        return usage(args.size() - i < 2 ? "missing %s" : "unexpected argument '%s'",
                     args.size() - i == 0 ? "MODULE and TEXT" : args.size() - i == 1 ? "TEXT" : args[i + 2].c_str());
    }
    ktu::cli::handshake();
    if (!typedFolder.empty() && !chooseFolder(typedFolder)) {
        return ktu::cli::kFailed;
    }
    // The folder the line goes to: the chosen one, or the library's default,
    // "Logs" in the common desktop folder, which it makes when the desktop
    // folder exists (and otherwise drops the line).
    std::string file;
    std::error_code error;
    if (typedFolder.empty()) {
        const std::string desktop = ktu::cli::desktopFolder();
        if (desktop.empty() || !std::filesystem::is_directory(desktop, error)) {
            return fail("no log folder: the desktop folder '%s' does not exist (choose a folder with --dir FOLDER)",
                        desktop.c_str());
        }
        file = desktop + "/Logs/output.log";
    } else {
        file = ktu::cli::nativePath(ktu::cli::libraryPath(typedFolder)) + "/output.log";
    }
    const std::uintmax_t before = sizeOf(file);
    ktuLogUtils::writeLog(args[i].c_str(), args[i + 1].c_str(), static_cast<int>(level));
    if (sizeOf(file) <= before) {
        return fail("the line was not written to '%s'", file.c_str());
    }
    return 0;
}

ktu::cli::Registration logCommand{
    "log", "[--dir FOLDER] [--level N] MODULE TEXT",
    "write the line \"MODULE-TEXT\", with its time, to output.log in the log folder: FOLDER (made when missing), "
    "else Logs on the common desktop. Level 0 writes the line, 1 also shows it in a message box (standard error on "
    "Linux), 2 then ends the program.",
    runLog};

}  // namespace
