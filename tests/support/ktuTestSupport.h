// Shared helpers of the test programs (docs/testing.md describes them).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "ktuHostHooks.h"
#include "ktuPlatform.h"

namespace ktu {
namespace test {

// Accepts the handshake (idempotent; the gate never closes again).
void openGate();

// A fresh folder for one test, removed afterwards: drive T: on POSIX systems
// (C: keeps the root), below the run folder; below a drive root on Windows.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    // Drive form ("T:" on POSIX), joined with `relative` by '/' when given.
    std::string path(const std::string& rel = "") const { return drivePath_ + (rel.empty() ? "" : "/" + rel); }
    std::filesystem::path native(const std::string& rel = "") const { return rel.empty() ? root_ : root_ / rel; }

    void writeFile(const std::string& relative, const std::string& content) const;
    std::string readFile(const std::string& relative) const;
    void makeFolder(const std::string& relative) const { std::filesystem::create_directories(native(relative)); }
    bool exists(const std::string& relative) const
    {
        std::error_code ignored;
        return std::filesystem::exists(native(relative), ignored);
    }

private:
    std::filesystem::path root_;
    std::string drivePath_;
    std::optional<std::string> savedDrives_;  // KTU_DRIVES before the sandbox set it
    std::filesystem::path savedCwd_;
};

#if !defined(_WIN32)
// The folder of this run's sandboxes, removed when the first process ends:
// children that end without unwinding leave nothing behind.
std::filesystem::path runFolder();
#endif

// `prefix` with the process id and a counter.
std::string uniqueName(const std::string& prefix);

// A copy, named `fileName` in `folder`, of a program that waits until it is ended.
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

// The texts ("module-text" after the time stamp) of the lines of a log file.
std::vector<std::string> logTexts(const std::filesystem::path& file);

// A test with the gate open and its log in a sandbox of its own.
class LoggedTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(logInto(sb)); }
    std::vector<std::string> logs() const { return logTexts(sb.native("logs/output.log")); }
    Sandbox sb;
};

// Why `user` cannot reach `path` (a folder on the way closed to it), or empty.
std::string unreachableBy(unsigned user, const std::filesystem::path& path);

// Expects `check` to answer true in a fresh copy of the program, where the
// gate is still closed and no log folder is chosen.
void expectInFreshProcess(const std::function<bool()>& check);

// AddressSanitizer's shadow memory does not fit an address-space limit.
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

// Expects `check` to answer true, without crashing, in a forked child whose
// address space is limited to `bytes` (not under AddressSanitizer).
void expectWithinAddressSpace(const std::function<bool()>& check, std::size_t bytes = std::size_t{512} << 20);

// Any number of seam entries set for the life of the object, restored in
// reverse order.
class Overrides {
public:
    Overrides() = default;
    ~Overrides() { std::for_each(restores_.rbegin(), restores_.rend(), [](auto& restore) { restore(); }); }
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

// One seam entry set for the life of the object.
template <class Fn>
class ScopedOverride : Overrides {
public:
    ScopedOverride(Fn& slot, Fn replacement) { set(slot, replacement); }
};

// A serial line standing in for the system's while it lives: every open gives
// handle(), writes are kept (and answered as told), reads give "12345", and
// the calls are recorded ("open", "close", "rts up", "write", "cancel", "rts down").
class FakeSerialLine {
public:
    FakeSerialLine();
    static platform::SerialHandle handle() { return reinterpret_cast<platform::SerialHandle>(uintptr_t{0x5E1A1}); }
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
    std::string text, caption;
    unsigned int style;
};

class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder() { ktuSetMessageBoxHandler(nullptr, nullptr); }
    const std::vector<MessageBoxCall>& calls() const { return calls_; }

private:
    std::vector<MessageBoxCall> calls_;
};

// The lines of a text file (line ends removed); empty when it is missing.
std::vector<std::string> readLines(const std::filesystem::path& file);

// The process's current folder, as the seam reports it.
std::string currentFolder();
inline bool currentFolderIs(const std::filesystem::path& folder)
{
    std::error_code ec;
    return std::filesystem::equivalent(std::filesystem::current_path(), folder, ec);
}

}  // namespace test
}  // namespace ktu
