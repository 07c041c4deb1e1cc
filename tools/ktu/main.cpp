// ktu: the library's command-line tool.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "KSUtilityClasses.h"
#include "ktuCommand.h"

namespace ktu {
namespace cli {
namespace {

struct Command {
    std::string usage;
    std::string summary;
    Handler handler;
};

std::map<std::string, Command>& commands()
{
    static std::map<std::string, Command> table;
    return table;
}

void printHelp(std::FILE* out)
{
    std::fprintf(out,
                 "usage: ktu <command> [arguments]\n"
                 "       ktu help <command> | ktu <command> --help | ktu --version\n\n"
                 "The command-line tool of KS_TU_UtilityClasses_V4.\n\ncommands:\n");
    for (const auto& [name, command] : commands()) {
        std::fprintf(out, "  ktu %s %s\n      %s\n", name.c_str(), command.usage.c_str(), command.summary.c_str());
    }
    std::fprintf(out,
                 "\nExit codes: 0 done, 1 the operation failed (the reason is on standard error), "
                 "2 wrong arguments.\n");
}

void printCommandHelp(const std::string& name, const Command& command)
{
    std::printf("usage: ktu %s %s\n\n%s\n", name.c_str(), command.usage.c_str(), command.summary.c_str());
}

bool isHelpOption(const std::string& arg)
{
    return arg == "--help" || arg == "-h";
}

int printVersion()
{
    char version[8] = "";
    ktuLibVersionManagerUtils::getVersion(version);
    std::printf("%s\n", version);
    return 0;
}

}  // namespace

Registration::Registration(const char* name, const char* usage, const char* summary, Handler handler)
{
    commands()[name] = Command{usage, summary, handler};
}

void handshake()
{
    char version[] = "4.02";
    ktuLibVersionManagerUtils::validateVersion(version);
}

std::string libraryPath(const std::string& path)
{
#if defined(_WIN32)
    return path;
#else
    const char* drives = std::getenv("KTU_DRIVES");
    if (!path.empty() && path[0] == '/' && (drives == nullptr || drives[0] == '\0')) {
        return "C:" + path;
    }
    return path;
#endif
}

bool parseInt(const std::string& text, long& value)
{
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0') {
        return false;
    }
    value = parsed;
    return true;
}

}  // namespace cli
}  // namespace ktu

namespace {

int runVersion(const ktu::cli::Args& args)
{
    return args.empty() ? ktu::cli::printVersion() : ktu::cli::kUsage;
}

ktu::cli::Registration versionCommand{"version", "", "print the library version", runVersion};

}  // namespace

// Help goes to standard output with exit code 0; a usage error is one line on
// standard error with exit code 2; a subcommand that fails says why and
// returns 1.
int main(int argc, char** argv)
{
    using namespace ktu::cli;
    if (argc < 2) {
        std::fprintf(stderr, "usage: ktu <command> [arguments] (ktu --help lists the commands)\n");
        return kUsage;
    }
    std::string name = argv[1];
    if (isHelpOption(name)) {
        printHelp(stdout);
        return 0;
    }
    if (name == "--version") {
        return printVersion();
    }
    if (name == "help") {
        if (argc == 2) {
            printHelp(stdout);
            return 0;
        }
        name = argv[2];
        auto it = commands().find(name);
        if (argc > 3 || it == commands().end()) {
            std::fprintf(stderr, "ktu: help: unknown command '%s' (ktu --help lists the commands)\n", name.c_str());
            return kUsage;
        }
        printCommandHelp(name, it->second);
        return 0;
    }
    auto it = commands().find(name);
    if (it == commands().end()) {
        std::fprintf(stderr, "ktu: unknown command '%s' (ktu --help lists the commands)\n", name.c_str());
        return kUsage;
    }
    Args args(argv + 2, argv + argc);
    for (const std::string& arg : args) {
        if (isHelpOption(arg)) {
            printCommandHelp(name, it->second);
            return 0;
        }
    }
    int code = it->second.handler(args);
    if (code == kUsage) {
        std::fprintf(stderr, "usage: ktu %s %s\n", name.c_str(), it->second.usage.c_str());
    }
    return code;
}
