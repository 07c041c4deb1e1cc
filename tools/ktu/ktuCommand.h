// Subcommands of the ktu tool register themselves with a static Registration:
//
//   static ktu::cli::Registration reg{"log", "[--dir FOLDER] [--level N] MODULE TEXT",
//                                     "write one line through the log writer", runLog};
//
// A subcommand gets the arguments after its name and returns the exit code;
// it returns kUsage (2) after printing nothing when its arguments are wrong,
// and the dispatcher then prints its usage line to standard error.
#pragma once

#include <string>
#include <vector>

namespace ktu {
namespace cli {

constexpr int kUsage = 2;

using Args = std::vector<std::string>;
using Handler = int (*)(const Args& args);

struct Registration {
    Registration(const char* name, const char* usage, const char* summary, Handler handler);
};

// Makes the version handshake; every subcommand that uses the library calls
// it first.
void handshake();

// A path as the library expects it: on POSIX systems an absolute path
// ("/srv/x") becomes "C:/srv/x" while C: is the root of the file system (no
// KTU_DRIVES map), so that folders can be made along it. Other paths pass
// unchanged.
std::string libraryPath(const std::string& path);

// Parses a whole decimal number; false when `text` is not one.
bool parseInt(const std::string& text, long& value);

}  // namespace cli
}  // namespace ktu
