// ktu ini / reg / ps / time: INI values, registry settings, processes and the
// time layouts.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuCommand.h"

namespace {

using ktu::cli::Args;
using ktu::cli::fail;
using ktu::cli::usage;

// Checks the count of arguments of ACTION against its usage words; names the
// first missing or unexpected one.
bool counted(const Args& args, std::vector<const char*> words, std::size_t optional, int& code)
{
    const std::size_t given = args.size() - 1;
    if (given < words.size() - optional) {
        code = usage("%s: missing %s", args[0].c_str(), words[given]);
        return false;
    }
    if (given > words.size()) {
        code = usage("%s: unexpected argument '%s'", args[0].c_str(), args[words.size() + 1].c_str());
        return false;
    }
    return true;
}

// Why a file in `path` (drive form) cannot be made: its folder is missing and
// holds a character the library does not make folders with.
void explainMissingFolder(const std::string& typed, const std::string& path)
{
    std::string folder = path.substr(0, path.find_last_of("/\\") == std::string::npos ? 0 : path.find_last_of("/\\"));
    std::error_code error;
    char c = ktu::cli::hasDrive(folder) ? ktu::cli::refusedCharacter(folder.substr(2)) : 0;
    if (!folder.empty() && !std::filesystem::is_directory(ktu::cli::nativePath(folder), error) && c != 0) {
        fail("cannot make the folder of '%s': it holds '%c', and the library makes folders only where the path is "
             "free of %s",
             typed.c_str(), c, ktu::cli::kRefusedCharacters);
    } else {
        fail("cannot write '%s'", typed.c_str());
    }
}

int runIni(const Args& args)
{
    int code = 0;
    if (args.empty() || (args[0] != "get" && args[0] != "set")) {
        return args.empty() ? usage("missing ACTION (get or set)")
                            : usage("unknown ACTION '%s' (get or set)", args[0].c_str());
    }
    const bool set = args[0] == "set";
    if (!counted(args, {"FILE", "SECTION", "KEY", set ? "VALUE" : "DEFAULT"}, set ? 0 : 1, code)) {
        return code;
    }
    ktu::cli::handshake();
    const std::string file = ktu::cli::libraryPath(args[1]);
    std::error_code error;
    if (!set && !std::filesystem::is_regular_file(ktu::cli::nativePath(file), error)) {
        return fail("no file '%s'", args[1].c_str());
    }
    if (ktuINIFileUtils::openFile(file.c_str()) != 1) {
        return fail("cannot use the file '%s'", args[1].c_str());
    }
    if (set) {
        if (ktuINIFileUtils::setTagValue(args[2].c_str(), args[3].c_str(), args[4].c_str()) != 1) {
            explainMissingFolder(args[1], file);
            return ktu::cli::kFailed;
        }
        return 0;
    }
    // A default no file holds tells a missing key from a present one.
    char missing[] = "\x01ktu: no such key\x01";
    std::vector<char> out(4096, '\0');
    long result = ktuINIFileUtils::getTagValue(args[2].c_str(), args[3].c_str(), out.data(), missing);
    if (result != 1 || std::string(out.data()) == missing) {
        if (args.size() == 5) {
            std::printf("%s\n", args[4].c_str());
            return 0;
        }
        return fail("no key '%s' in section '%s' of '%s'", args[3].c_str(), args[2].c_str(), args[1].c_str());
    }
    std::printf("%s\n", out.data());
    return 0;
}

int runReg(const Args& args)
{
    int code = 0;
    if (args.empty() || (args[0] != "get" && args[0] != "set" && args[0] != "delete")) {
        return args.empty() ? usage("missing ACTION (get, set or delete)")
                            : usage("unknown ACTION '%s' (get, set or delete)", args[0].c_str());
    }
    // The settings are not gated by the handshake; the log writer that a
    // fault reaches is, so the handshake is made as for every command.
    if (args[0] == "get") {
        if (!counted(args, {"SUBKEY", "NAME"}, 0, code)) {
            return code;
        }
        ktu::cli::handshake();
        char out[512] = "";
        if (!ktuRegistryUtils::getStringValueFromRegistryKey(args[2].c_str(), out, args[1].c_str())) {
            return fail("no value '%s' in '%s'", args[2].c_str(), args[1].c_str());
        }
        std::printf("%s\n", out);
        return 0;
    }
    if (args[0] == "set") {
        if (!counted(args, {"SUBKEY", "NAME", "VALUE"}, 0, code)) {
            return code;
        }
        ktu::cli::handshake();
        if (!ktuRegistryUtils::addStringValueToRegistryKey(args[2].c_str(), args[3].c_str(), args[1].c_str())) {
            return fail("cannot open or create '%s'", args[1].c_str());
        }
        return 0;
    }
    if (!counted(args, {"SUBKEY"}, 0, code)) {
        return code;
    }
    ktu::cli::handshake();
    if (!ktuRegistryUtils::deleteRegistryKey(args[1].c_str()) || ktu::cli::settingsKeyExists(args[1])) {
        return fail("'%s' was not deleted: there is no such key, or it has subkeys (delete those first)",
                    args[1].c_str());
    }
    return 0;
}

int runPs(const Args& args)
{
    int code = 0;
    if (!args.empty() && args[0] == "list") {
        if (!counted(args, {}, 0, code)) {
            return code;
        }
        std::vector<ktu::cli::ProcessEntry> processes;
        if (!ktu::cli::listProcesses(processes)) {
            return fail("cannot list the processes");
        }
        for (const auto& p : processes) {
            std::printf("%lu %s\n", p.id, p.name.c_str());
        }
        return 0;
    }
    if (args.empty() || (args[0] != "count" && args[0] != "kill")) {
        return args.empty() ? usage("missing ACTION (list, count or kill)")
                            : usage("unknown ACTION '%s' (list, count or kill)", args[0].c_str());
    }
    if (!counted(args, {"NAME"}, 0, code)) {
        return code;
    }
    ktu::cli::handshake();
    const char* name = args[1].c_str();
    const int running = ktuProcessUtils::checkIfProcessRunning(name);
    if (args[0] == "count") {
        std::printf("%d\n", running);
        return 0;
    }
    if (running == 0) {
        return fail("no process named '%s'", name);
    }
    ktuProcessUtils::killAllRunningProcess(name);
    // An ended process may take a moment to leave the process list.
    int left = running;
    for (int i = 0; i < 50 && (left = ktuProcessUtils::checkIfProcessRunning(name)) > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (left > 0) {
        return fail("%d of the %d processes named '%s' are still running (not allowed to end them?)", left, running,
                    name);
    }
    return 0;
}

int runTime(const Args& args)
{
    long format = 6;
    if (args.size() > 1) {
        return usage("unexpected argument '%s'", args[1].c_str());
    }
    if (args.size() == 1 && (!ktu::cli::parseInt(args[0], format) || format < 0 || format > 6)) {
        return usage("FORMAT: '%s' is not a number from 0 to 6", args[0].c_str());
    }
    ktu::cli::handshake();
    char text[64] = "";
    ktuTimeString::getTimeString(ktu::cli::localTime(), static_cast<int>(format), text);
    std::printf("%s\n", text);
    return 0;
}

ktu::cli::Registration iniCommand{"ini", "get FILE SECTION KEY [DEFAULT] | set FILE SECTION KEY VALUE",
                                  "read or write one value of an INI file; get prints DEFAULT, or fails, when the "
                                  "file has no such key",
                                  runIni};
ktu::cli::Registration regCommand{"reg", "get SUBKEY NAME | set SUBKEY NAME VALUE | delete SUBKEY",
                                  "read, write or delete settings below SOFTWARE\\Optic Pipeline (a key with "
                                  "subkeys is not deleted)",
                                  runReg};
ktu::cli::Registration psCommand{"ps", "list | count NAME | kill NAME",
                                 "list the processes (number and program name), count those of a program (e.g. "
                                 "viewer.exe), or end them all",
                                 runPs};
ktu::cli::Registration timeCommand{"time", "[FORMAT]",
                                   "the local time in layout FORMAT (0-6, default 6: YYYY-MM-D::hh:mm:ss:mmm)",
                                   runTime};

}  // namespace
