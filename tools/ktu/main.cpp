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
    std::fprintf(out, "usage: ktu <command> [arguments]\n\ncommands:\n");
    for (const auto& [name, command] : commands()) {
        std::fprintf(out, "  ktu %s %s\n      %s\n", name.c_str(), command.usage.c_str(), command.summary.c_str());
    }
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
    if (!args.empty()) {
        return ktu::cli::kUsage;
    }
    char version[8] = "";
    ktuLibVersionManagerUtils::getVersion(version);
    std::printf("%s\n", version);
    return 0;
}

ktu::cli::Registration versionCommand{"version", "", "print the library version", runVersion};

}  // namespace

int main(int argc, char** argv)
{
    using namespace ktu::cli;
    if (argc < 2) {
        printHelp(stderr);
        return kUsage;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printHelp(stdout);
        return 0;
    }
    auto it = commands().find(name);
    if (it == commands().end()) {
        std::fprintf(stderr, "ktu: unknown command '%s'\n", name.c_str());
        printHelp(stderr);
        return kUsage;
    }
    Args args(argv + 2, argv + argc);
    int code = it->second.handler(args);
    if (code == kUsage) {
        std::fprintf(stderr, "usage: ktu %s %s\n", name.c_str(), it->second.usage.c_str());
    }
    return code;
}
