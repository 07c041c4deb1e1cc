// ktu ini / reg / ps / time: INI values, registry settings, processes and the
// time layouts.
#include <cstdio>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuCommand.h"
#include "ktuPlatform.h"

namespace {

using ktu::cli::Args;

int runIni(const Args& args)
{
    bool get = args.size() >= 4 && args.size() <= 5 && args[0] == "get";
    bool set = args.size() == 5 && args[0] == "set";
    if (!get && !set) {
        return ktu::cli::kUsage;
    }
    ktu::cli::handshake();
    std::string file = ktu::cli::libraryPath(args[1]);
    if (ktuINIFileUtils::openFile(file.c_str()) != 1) {
        std::fprintf(stderr, "ktu ini: cannot use the file '%s'\n", args[1].c_str());
        return 1;
    }
    if (set) {
        long result = ktuINIFileUtils::setTagValue(args[2].c_str(), args[3].c_str(), args[4].c_str());
        if (result != 1) {
            std::fprintf(stderr, "ktu ini: cannot write '%s' (%ld)\n", args[1].c_str(), result);
        }
        return result == 1 ? 0 : 1;
    }
    std::string fallback = args.size() == 5 ? args[4] : std::string();
    std::vector<char> defaultValue(fallback.begin(), fallback.end());
    defaultValue.resize(fallback.size() < 2 ? 2 : fallback.size() + 1, '\0');
    std::vector<char> out(500, '\0');
    long result = ktuINIFileUtils::getTagValue(args[2].c_str(), args[3].c_str(), out.data(), defaultValue.data());
    if (result != 1) {
        std::fprintf(stderr, "ktu ini: the value is empty (%ld)\n", result);
        return 1;
    }
    std::printf("%s\n", out.data());
    return 0;
}

int runReg(const Args& args)
{
    // The settings are not gated by the handshake; the log writer that a
    // fault reaches is, so the handshake is made as for every command.
    if (args.size() == 3 && args[0] == "get") {
        ktu::cli::handshake();
        char out[512] = "";
        if (!ktuRegistryUtils::getStringValueFromRegistryKey(args[2].c_str(), out, args[1].c_str())) {
            std::fprintf(stderr, "ktu reg: no value '%s' in '%s'\n", args[2].c_str(), args[1].c_str());
            return 1;
        }
        std::printf("%s\n", out);
        return 0;
    }
    if (args.size() == 4 && args[0] == "set") {
        ktu::cli::handshake();
        if (!ktuRegistryUtils::addStringValueToRegistryKey(args[2].c_str(), args[3].c_str(), args[1].c_str())) {
            std::fprintf(stderr, "ktu reg: cannot open or create '%s'\n", args[1].c_str());
            return 1;
        }
        return 0;
    }
    if (args.size() == 2 && args[0] == "delete") {
        ktu::cli::handshake();
        ktuRegistryUtils::deleteRegistryKey(args[1].c_str());
        return 0;
    }
    return ktu::cli::kUsage;
}

int runPs(const Args& args)
{
    if (args.size() != 2 || (args[0] != "count" && args[0] != "kill")) {
        return ktu::cli::kUsage;
    }
    ktu::cli::handshake();
    if (args[0] == "count") {
        std::printf("%d\n", ktuProcessUtils::checkIfProcessRunning(args[1].c_str()));
        return 0;
    }
    ktuProcessUtils::killAllRunningProcess(args[1].c_str());
    return 0;
}

int runTime(const Args& args)
{
    long format = 6;
    if (args.size() > 1 || (args.size() == 1 && (!ktu::cli::parseInt(args[0], format) || format < 0 || format > 6))) {
        return ktu::cli::kUsage;
    }
    ktu::cli::handshake();
    SYSTEMTIME now{};
    ktu::platform::ops().clock.localTime(&now);
    char text[32] = "";
    ktuTimeString::getTimeString(now, static_cast<int>(format), text);
    std::printf("%s\n", text);
    return 0;
}

ktu::cli::Registration iniCommand{"ini", "get FILE SECTION KEY [DEFAULT] | set FILE SECTION KEY VALUE",
                                  "read or write one value of an INI file", runIni};
ktu::cli::Registration regCommand{"reg", "get SUBKEY NAME | set SUBKEY NAME VALUE | delete SUBKEY",
                                  "read, write or delete settings below SOFTWARE\\Optic Pipeline", runReg};
ktu::cli::Registration psCommand{"ps", "count NAME | kill NAME",
                                 "count or end the running processes of a program (e.g. viewer.exe)", runPs};
ktu::cli::Registration timeCommand{"time", "[FORMAT]",
                                   "the local time in layout FORMAT (0-6, default 6: YYYY-MM-D::hh:mm:ss:mmm)",
                                   runTime};

}  // namespace
