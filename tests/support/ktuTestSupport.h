// Shared helpers of the test programs: a sandbox folder reachable in drive
// form, seam overrides, a message-box recorder, runs in a fresh or bounded
// process, a fake serial line and small file helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <type_traits>
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
// it is a folder directly below a drive root.
// On POSIX systems every sandbox of a run lies in one folder of the run
// (ktu_test_<pid>_... in the temporary folder), which copies of the program
// started by death tests share and which the first process removes at its
// end: a sandbox of a child that ends without unwinding does not stay behind.
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

#if !defined(_WIN32)
// The folder of this run's sandboxes (see Sandbox).
std::filesystem::path runFolder();
#endif

// `prefix` with the process id and a counter.
std::string uniqueName(const std::string& prefix);

// A copy, named `fileName` in `folder`, of a small program that waits until
// it is ended.
std::filesystem::path makeSleeperProgram(const std::filesystem::path& folder, const std::string& fileName);

struct Child {
    int64_t id = 0;          // process id
    void* handle = nullptr;  // Windows process handle
};

bool startChild(const std::filesystem::path& program, Child& child);  // false when it cannot start
bool waitChild(Child& child, int seconds);                            // true when it ended in time
void endChild(Child& child);                                          // ends it if it runs, and collects it

// Opens the gate and sends the log into the sandbox's "logs" folder.
bool logInto(const Sandbox& sandbox);

// A test with the gate open and its log in a sandbox of its own.
class LoggedTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(logInto(sb)); }
    std::vector<std::string> logs() const;  // the texts of logs/output.log
    Sandbox sb;
};

// Why `user` cannot reach `path` (a folder on the way closed to it), or
// empty when it can. Tests that act as another user skip with the reason.
std::string unreachableBy(unsigned user, const std::filesystem::path& path);

// Runs `check` in a fresh copy of the program, where the gate is still closed
// and no log folder is chosen; expects it to answer true.
void expectInFreshProcess(const std::function<bool()>& check);

// Whether the program runs under AddressSanitizer, whose shadow memory does
// not fit an address-space limit.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#  else
constexpr bool kAddressSanitizer = false;
#  endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// Runs `check` in a forked child whose address space is limited to `bytes`
// (not limited under AddressSanitizer); expects it to answer true without
// crashing. POSIX only.
void expectWithinAddressSpace(const std::function<bool()>& check, std::size_t bytes = std::size_t{512} << 20);

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

// Any number of seam entries set for the life of the object, restored in
// reverse order.
class Overrides {
public:
    Overrides() = default;
    ~Overrides()
    {
        for (auto it = restores_.rbegin(); it != restores_.rend(); ++it) (*it)();
    }
    Overrides(const Overrides&) = delete;
    Overrides& operator=(const Overrides&) = delete;
    template <class Fn>
    void set(Fn& slot, std::common_type_t<Fn> replacement)
    {
        restores_.push_back([&slot, saved = slot] { slot = saved; });
        slot = replacement;
    }

private:
    std::vector<std::function<void()>> restores_;
};

// A serial line standing in for the system's while it lives: every open
// gives handle(), writes are kept (and answered as told), reads give
// "12345", and the calls are recorded ("open", "close", "rts up", "write",
// "cancel", "rts down").
class FakeSerialLine {
public:
    FakeSerialLine();
    static platform::SerialHandle handle();
    static inline std::vector<std::string> events;
    static inline std::string written;
    static inline int openPorts = 0;
    static inline bool writeOk = true;
    static inline long writeCount = -1;  // the count a write reports; -1: all it was given

private:
    Overrides overrides_;
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
