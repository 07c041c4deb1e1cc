// Subcommands of the ktu tool register themselves with a static Registration:
//
//   static ktu::cli::Registration reg{"log", "[--dir FOLDER] [--level N] MODULE TEXT",
//                                     "write one line through the log writer", runLog};
//
// A subcommand gets the arguments after its name and returns the exit code:
// 0 done, 1 the operation failed (fail() has said why on standard error), 2
// wrong arguments (usage() has named the argument on standard error).
// Alternatives of a usage text are separated by " | " outside brackets.
#pragma once

#include <string>
#include <vector>

#include "KSUtilityClasses.h"

namespace ktu {
namespace cli {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

using Args = std::vector<std::string>;
using Handler = int (*)(const Args& args);

struct Registration {
    Registration(const char* name, const char* usage, const char* summary, Handler handler);
};

// One line "ktu COMMAND: MESSAGE" on standard error; answer kFailed or kUsage.
#if defined(__MINGW32__)
#  define KTU_CLI_PRINTF __attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
#  define KTU_CLI_PRINTF __attribute__((format(printf, 1, 2)))
#else
#  define KTU_CLI_PRINTF
#endif
int fail(const char* format, ...) KTU_CLI_PRINTF;
int usage(const char* format, ...) KTU_CLI_PRINTF;

// Makes the version handshake; every subcommand that uses the library calls
// it first.
void handshake();

// A path the user typed, as the library takes it. On Windows it is the path
// itself. Elsewhere a native path (relative ones taken from the current
// folder) is made absolute and written in drive form on the drive whose
// KTU_DRIVES root holds it ("C:" is "/" unless KTU_DRIVES maps it
// elsewhere); a path in drive form passes unchanged. A native path that no
// drive holds stays native (`onDrive` false).
std::string libraryPath(const std::string& typed, bool* onDrive = nullptr);

// The native form of a drive-form path the library gave back (the inverse of
// libraryPath); other paths pass unchanged.
std::string nativePath(const std::string& path);

// Whether `path` is written in drive form ("C:..." ).
bool hasDrive(const std::string& path);

// The characters the library refuses in folder names it makes, and the first
// of them in `text` (0 when none).
extern const char kRefusedCharacters[];
char refusedCharacter(const std::string& text);

// Parses a whole decimal number or a real number; false when `text` is not one.
bool parseInt(const std::string& text, long& value);
bool parseDouble(const std::string& text, double& value);

// --- What the tool asks of the system itself (ktuSystem.cpp) ---------------

// The current folder; empty when it cannot be read.
std::string currentFolder();

// The common desktop folder, where the log writer keeps its default "Logs"
// folder when the registry names none: %PUBLIC%\Desktop on Windows,
// $XDG_DESKTOP_DIR or $HOME/Desktop elsewhere. Empty when unknown.
std::string desktopFolder();

// The local time of now.
SYSTEMTIME localTime();

// One running process: its number and program name ("<unknown>" when the
// system will not tell).
struct ProcessEntry {
    unsigned long id;
    std::string name;
};
bool listProcesses(std::vector<ProcessEntry>& out);

// Whether the settings key SOFTWARE\Optic Pipeline\`subKey` exists (the
// library answers true for every deletion, also one it refuses).
bool settingsKeyExists(const std::string& subKey);

// Stream sockets on the loopback and to a host: the tool's own, beside the
// library's framed reads and writes. Each answers INVALID_SOCKET or false on
// failure.
SOCKET connectTo(const std::string& host, unsigned short port);
SOCKET listenLoopback(unsigned short port, unsigned short& boundPort);
SOCKET acceptOne(SOCKET listener);
void finishSending(SOCKET s);
void closeSocket(SOCKET s);

}  // namespace cli
}  // namespace ktu
