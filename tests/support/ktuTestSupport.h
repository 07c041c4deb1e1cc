// Shared helpers of the test programs: a sandbox folder reachable in drive
// form, seam overrides, a message-box recorder and small file helpers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ktuPlatform.h"

namespace ktu {
namespace test {

// Accepts the handshake (idempotent; the gate never closes again).
void openGate();

// A fresh folder for one test, removed with everything in it afterwards.
// On POSIX systems the drive letter T: is mapped to it (and C: keeps the file
// system root), so tests use drive-form paths as applications do; on Windows
// it is a folder below the temporary folder of the machine.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    // Drive-form path of the sandbox ("T:" on POSIX), joined with `relative`
    // by '/' when given.
    std::string path(const std::string& relative = "") const;
    // The same place as a native path, for std::filesystem checks.
    std::filesystem::path native(const std::string& relative = "") const;

    void writeFile(const std::string& relative, const std::string& content) const;
    std::string readFile(const std::string& relative) const;
    void makeFolder(const std::string& relative) const;
    bool exists(const std::string& relative) const;

private:
    std::filesystem::path root_;
    std::string drivePath_;
    std::optional<std::string> savedDrives_;  // KTU_DRIVES before the sandbox set it
    std::filesystem::path savedCwd_;
};

// Sets one entry of the seam's table for the life of the object.
template <class Fn>
class ScopedOverride {
public:
    ScopedOverride(Fn& slot, Fn replacement) : slot_(slot), saved_(slot) { slot_ = replacement; }
    ~ScopedOverride() { slot_ = saved_; }
    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

private:
    Fn& slot_;
    Fn saved_;
};

// Records every message box the library shows while it lives, answering IDOK.
struct MessageBoxCall {
    std::string text;
    std::string caption;
    unsigned int style;
};

class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    const std::vector<MessageBoxCall>& calls() const { return calls_; }

private:
    static int answer(void* context, void* owner, const char* text, const char* caption, unsigned int style);
    std::vector<MessageBoxCall> calls_;
};

// The lines of a text file (line ends removed); empty when it is missing.
std::vector<std::string> readLines(const std::filesystem::path& file);

// The process's current folder, as the seam reports it.
std::string currentFolder();

// True when the process's current folder is `folder`.
bool currentFolderIs(const std::filesystem::path& folder);

// The texts ("module-text" after the time stamp) of the lines of a log file.
std::vector<std::string> logTexts(const std::filesystem::path& file);

}  // namespace test
}  // namespace ktu
