// ktu: the library's command-line tool. The dispatcher, the help texts and
// the helpers every subcommand shares (paths, numbers, messages).
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "KSUtilityClasses.h"
#include "ktuCommand.h"

#ifndef KTU_TOOL_VERSION
#  define KTU_TOOL_VERSION "unknown"
#endif

namespace ktu {
namespace cli {
namespace {

constexpr std::size_t kColumns = 80;

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

std::string& currentCommand()
{
    static std::string name;
    return name;
}

// Writes `text` as lines of at most kColumns characters: the first starts
// with `first`, the others with `indent` spaces; words are never split.
void printWrapped(std::FILE* out, const std::string& first, std::size_t indent, const std::string& text)
{
    std::string line = first;
    bool hasWord = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find(' ', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string word = text.substr(pos, end - pos);
        pos = end + 1;
        if (word.empty()) {
            continue;
        }
        if (hasWord && line.size() + 1 + word.size() > kColumns) {
            std::fprintf(out, "%s\n", line.c_str());
            line = std::string(indent, ' ');
            hasWord = false;
        }
        line += hasWord ? " " + word : word;
        hasWord = true;
    }
    std::fprintf(out, "%s\n", line.c_str());
}

// The alternatives of a usage text: split at " | " outside brackets.
std::vector<std::string> alternatives(const std::string& usage)
{
    std::vector<std::string> out(1);
    int depth = 0;
    for (std::size_t i = 0; i < usage.size(); ++i) {
        char c = usage[i];
        depth += (c == '[' || c == '(') ? 1 : (c == ']' || c == ')') ? -1 : 0;
        if (depth == 0 && usage.compare(i, 3, " | ") == 0) {
            out.emplace_back();
            i += 2;
            continue;
        }
        out.back() += c;
    }
    return out;
}

void printHelp()
{
    std::printf("usage: ktu COMMAND [ARGUMENTS]\n"
                "       ktu help COMMAND | ktu COMMAND --help | ktu --version\n\n"
                "The command-line tool of the KS_TU_UtilityClasses_V4 library.\n\nCommands:\n");
    for (const auto& [name, command] : commands()) {
        for (const std::string& alternative : alternatives(command.usage)) {
            printWrapped(stdout, "  ktu " + name + (alternative.empty() ? "" : " "), 8, alternative);
        }
        printWrapped(stdout, "      ", 6, command.summary);
    }
    std::printf("\n");
    printWrapped(stdout, "", 0,
                 "Paths are taken as the system takes them (relative, native or in drive form C:/...) and shown as "
                 "typed. Exit status: 0 done, 1 the operation failed, 2 wrong arguments; the reason is one line on "
                 "standard error.");
}

void printCommandHelp(const std::string& name, const Command& command)
{
    const char* lead = "usage: ";
    for (const std::string& alternative : alternatives(command.usage)) {
        printWrapped(stdout, lead + ("ktu " + name) + (alternative.empty() ? "" : " "), 11, alternative);
        lead = "       ";
    }
    std::printf("\n");
    printWrapped(stdout, "", 0, command.summary);
}

bool isHelpOption(const std::string& arg)
{
    return arg == "--help" || arg == "-h";
}

std::string libraryVersion()
{
    char version[16] = "";
    KsUtils_getVersion(version);
    return version;
}

void message(const char* format, va_list list)
{
    std::string name = currentCommand().empty() ? "ktu" : "ktu " + currentCommand();
    std::fprintf(stderr, "%s: ", name.c_str());
    std::vfprintf(stderr, format, list);
}

#if !defined(_WIN32)
// The drives as the library sees them: "C:" is "/" unless KTU_DRIVES maps
// it, and KTU_DRIVES ("C=/srv/root;D=/mnt/data") adds further letters.
std::map<char, std::string> driveMap()
{
    std::map<char, std::string> drives{{'C', "/"}};
    const char* text = std::getenv("KTU_DRIVES");
    std::string map = text != nullptr ? text : "";
    std::size_t start = 0;
    while (start < map.size()) {
        std::size_t end = map.find(';', start);
        end = end == std::string::npos ? map.size() : end;
        std::string item = map.substr(start, end - start);
        if (item.size() >= 3 && std::isalpha(static_cast<unsigned char>(item[0])) && item[1] == '=') {
            std::string root = item.substr(2);
            while (root.size() > 1 && root.back() == '/') {
                root.pop_back();
            }
            drives[static_cast<char>(std::toupper(static_cast<unsigned char>(item[0])))] = root;
        }
        start = end + 1;
    }
    return drives;
}
#endif

}  // namespace

const char kRefusedCharacters[] = "`~!@#$%^&*()-+=|{}[]:;\"'<>,.?";

Registration::Registration(const char* name, const char* usage, const char* summary, Handler handler)
{
    commands()[name] = Command{usage, summary, handler};
}

int fail(const char* format, ...)
{
    va_list list;
    va_start(list, format);
    message(format, list);
    va_end(list);
    std::fputc('\n', stderr);
    return kFailed;
}

int usage(const char* format, ...)
{
    va_list list;
    va_start(list, format);
    message(format, list);
    va_end(list);
    std::fprintf(stderr, " (ktu help %s)\n", currentCommand().c_str());
    return kUsage;
}

void handshake()
{
    char version[] = "4.02";
    ktuLibVersionManagerUtils::validateVersion(version);
}

bool hasDrive(const std::string& path)
{
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

std::string libraryPath(const std::string& typed, bool* onDrive)
{
    if (onDrive != nullptr) {
        *onDrive = true;
    }
#if defined(_WIN32)
    return typed;
#else
    if (typed.empty() || hasDrive(typed)) {
        return typed;
    }
    std::string path = typed[0] == '/' ? typed : currentFolder() + "/" + typed;
    path = std::filesystem::path(path).lexically_normal().generic_string();
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    // The drive whose root holds the path, the deepest root first.
    char letter = 0;
    std::string best;
    for (const auto& [drive, root] : driveMap()) {
        bool holds = root == "/" || path == root || path.compare(0, root.size() + 1, root + "/") == 0;
        if (holds && (letter == 0 || root.size() > best.size())) {
            letter = drive;
            best = root;
        }
    }
    if (letter == 0) {
        if (onDrive != nullptr) {
            *onDrive = false;
        }
        return path;
    }
    std::string rest = best == "/" ? path : path.substr(best.size());
    return std::string(1, letter) + ":" + (rest.empty() ? "/" : rest);
#endif
}

std::string nativePath(const std::string& path)
{
#if defined(_WIN32)
    return path;
#else
    if (!hasDrive(path)) {
        return path;
    }
    auto drives = driveMap();
    auto it = drives.find(static_cast<char>(std::toupper(static_cast<unsigned char>(path[0]))));
    if (it == drives.end()) {
        return path;
    }
    std::string rest = path.substr(2);
    for (char& c : rest) {
        c = c == '\\' ? '/' : c;
    }
    if (rest.empty() || rest[0] != '/') {
        rest.insert(rest.begin(), '/');
    }
    return it->second == "/" ? rest : it->second + rest;
#endif
}

char refusedCharacter(const std::string& text)
{
    std::size_t at = text.find_first_of(kRefusedCharacters);
    return at == std::string::npos ? 0 : text[at];
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

bool parseDouble(const std::string& text, double& value)
{
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && errno == 0 && end != nullptr && *end == '\0';
}

}  // namespace cli
}  // namespace ktu

namespace {

int runVersion(const ktu::cli::Args& args)
{
    if (!args.empty()) {
        return ktu::cli::usage("takes no arguments, got '%s'", args[0].c_str());
    }
    std::printf("%s\n", ktu::cli::libraryVersion().c_str());
    return 0;
}

ktu::cli::Registration versionCommand{"version", "", "print the library's version text", runVersion};

}  // namespace

int main(int argc, char** argv)
{
    using namespace ktu::cli;
    if (argc < 2) {
        std::fprintf(stderr, "ktu: missing COMMAND (ktu --help lists the commands)\n");
        return kUsage;
    }
    std::string name = argv[1];
    if (isHelpOption(name) || (name == "help" && argc == 2)) {
        printHelp();
        return 0;
    }
    if (name == "--version") {
        std::printf("ktu %s\nlibrary KS_TU_UtilityClasses_V4 %s\n", KTU_TOOL_VERSION, libraryVersion().c_str());
        return 0;
    }
    if (name == "help") {
        auto it = commands().find(argv[2]);
        if (argc > 3 || it == commands().end()) {
            std::fprintf(stderr, "ktu help: unknown COMMAND '%s' (ktu --help lists the commands)\n", argv[2]);
            return kUsage;
        }
        printCommandHelp(argv[2], it->second);
        return 0;
    }
    auto it = commands().find(name);
    if (it == commands().end()) {
        std::fprintf(stderr, "ktu: unknown COMMAND '%s' (ktu --help lists the commands)\n", name.c_str());
        return kUsage;
    }
    Args args(argv + 2, argv + argc);
    for (const std::string& arg : args) {
        if (isHelpOption(arg)) {
            printCommandHelp(name, it->second);
            return 0;
        }
    }
    currentCommand() = name;
    return it->second.handler(args);
}
