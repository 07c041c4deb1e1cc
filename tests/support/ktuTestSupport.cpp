#include "ktuTestSupport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#if defined(_WIN32)
#  include <windows.h>
#endif

#include "KSUtilityClasses.h"
#include "ktuHostHooks.h"

#if !defined(_WIN32)
#  include <signal.h>
#  include <sys/resource.h>
#  include <sys/stat.h>
#  include <sys/wait.h>
#  include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace ktu {
namespace test {

void openGate()
{
    char version[] = "4.02";
    ktuLibVersionManagerUtils::validateVersion(version);
}

namespace {

std::string forwardSlashes(std::string text)
{
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

// Gives every entry below `root` its owner's permissions back, then removes it.
void removeTree(const fs::path& root)
{
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(root, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root, ignored);
}

}  // namespace

#if !defined(_WIN32)
// The folder of this run's sandboxes: made by the first process, found by the
// copies of the program it starts in KTU_TEST_RUN_FOLDER, removed when the
// first process ends (a forked child ending does not remove it).
namespace {

char g_runFolder[4096];
pid_t g_runOwner = 0;

void removeRunFolder()
{
    if (::getpid() == g_runOwner) {
        removeTree(g_runFolder);
    }
}

}  // namespace

fs::path runFolder()
{
    if (g_runFolder[0] == '\0') {
        const char* inherited = std::getenv("KTU_TEST_RUN_FOLDER");
        std::error_code ec;
        fs::path folder;
        if (inherited != nullptr && fs::is_directory(inherited, ec)) {
            folder = inherited;
        } else {
            auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
            folder = fs::temp_directory_path() / ("ktu_test_" + std::to_string(::getpid()) + "_" + std::to_string(stamp));
            fs::create_directories(folder);
            // Tests that act as another user pass through it, whatever the umask.
            fs::permissions(folder, fs::perms::group_exec | fs::perms::others_exec, fs::perm_options::add);
            ::setenv("KTU_TEST_RUN_FOLDER", folder.c_str(), 1);
            g_runOwner = ::getpid();
            std::atexit(removeRunFolder);
        }
        std::snprintf(g_runFolder, sizeof g_runFolder, "%s", folder.c_str());
    }
    return g_runFolder;
}
#endif


Sandbox::Sandbox()
{
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
#if defined(_WIN32)
    std::string name = "ktu_test_" + std::to_string(stamp) + "_" + std::to_string(counter++);
    // Directly below a drive root, so that a folder chain built from the
    // sandbox starts at the sandbox: operations that recreate the first level
    // of a chain then recreate the sandbox, never a folder of the machine
    // (a sandbox in %TEMP% would make that level C:/Users).
    // KTU_TEST_DRIVE ("D:") picks another drive than the system drive.
    const char* drive = std::getenv("KTU_TEST_DRIVE");
    if (drive == nullptr || drive[0] == '\0') {
        drive = std::getenv("SystemDrive");
    }
    root_ = fs::path(std::string(drive != nullptr && drive[0] != '\0' ? drive : "C:").substr(0, 2) + "\\") / name;
#else
    root_ = runFolder() / ("sandbox_" + std::to_string(::getpid()) + "_" + std::to_string(stamp) + "_" +
                           std::to_string(counter++));
#endif
    fs::create_directories(root_);
    root_ = fs::canonical(root_);
    savedCwd_ = fs::current_path();
#if defined(_WIN32)
    drivePath_ = forwardSlashes(root_.string());
#else
    if (const char* drives = std::getenv("KTU_DRIVES")) {
        savedDrives_ = drives;
    }
    setenv("KTU_DRIVES", ("C=/;T=" + root_.string()).c_str(), 1);
    drivePath_ = "T:";
#endif
}

Sandbox::~Sandbox()
{
    std::error_code ignored;
    fs::current_path(savedCwd_, ignored);
    removeTree(root_);
#if !defined(_WIN32)
    if (savedDrives_) {
        setenv("KTU_DRIVES", savedDrives_->c_str(), 1);
    } else {
        unsetenv("KTU_DRIVES");
    }
#endif
}

std::string Sandbox::path(const std::string& relative) const
{
    return relative.empty() ? drivePath_ : drivePath_ + "/" + relative;
}

fs::path Sandbox::native(const std::string& relative) const
{
    return relative.empty() ? root_ : root_ / fs::path(relative);
}

void Sandbox::writeFile(const std::string& relative, const std::string& content) const
{
    fs::create_directories(native(relative).parent_path());
    std::ofstream(native(relative), std::ios::binary) << content;
}

std::string Sandbox::readFile(const std::string& relative) const
{
    std::ostringstream text;
    text << std::ifstream(native(relative), std::ios::binary).rdbuf();
    return text.str();
}

void Sandbox::makeFolder(const std::string& relative) const
{
    fs::create_directories(native(relative));
}

bool Sandbox::exists(const std::string& relative) const
{
    std::error_code ignored;
    return fs::exists(native(relative), ignored);
}

bool logInto(const Sandbox& sandbox)
{
    openGate();
    return ktuLogUtils::setLogsDir(sandbox.path("logs").c_str());
}

std::vector<std::string> LoggedTest::logs() const
{
    return logTexts(sb.native("logs/output.log"));
}

std::string unreachableBy(unsigned user, const fs::path& path)
{
#if defined(_WIN32)
    (void)user;
    (void)path;
#else
    if (user == 0) {
        return "";
    }
    for (fs::path at = fs::absolute(path); !at.empty(); at = at.parent_path()) {
        struct stat info {};
        if (::stat(at.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            const mode_t search = info.st_uid == user ? S_IXUSR : info.st_gid == user ? S_IXGRP : S_IXOTH;
            if ((info.st_mode & search) == 0) {
                char mode[8];
                std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
                return "the folder " + at.string() + " (mode " + mode + ") is closed to user " + std::to_string(user);
            }
        }
        if (at == at.root_path()) {
            break;
        }
    }
#endif
    return "";
}

void expectInFreshProcess(const std::function<bool()>& check)
{
    // A copy of the program started anew, not a fork of this one. Where the
    // program cannot be started again (under an emulator that the kernel does
    // not know, which GTEST_DEATH_TEST_STYLE=fast says), a fork: the test
    // registration then runs these tests in a process of their own, where
    // nothing before them made the handshake.
    const char* style = std::getenv("GTEST_DEATH_TEST_STYLE");
    GTEST_FLAG_SET(death_test_style, style != nullptr && std::string(style) == "fast" ? "fast" : "threadsafe");
    EXPECT_EXIT(std::exit(check() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

void expectWithinAddressSpace(const std::function<bool()>& check, std::size_t bytes)
{
#if defined(_WIN32)
    (void)bytes;
    EXPECT_TRUE(check());
#else
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{bytes, bytes};
        if (!kAddressSanitizer && ::setrlimit(RLIMIT_AS, &limit) != 0) {
            ::_exit(3);
        }
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a wrong answer (1), or no limit could be set (3)";
#endif
}

namespace {

template <class... A>
bool yes(A...)
{
    return true;
}

}  // namespace

FakeSerialLine::FakeSerialLine()
{
    events.clear();
    written.clear();
    openPorts = 0;
    writeOk = true;
    writeCount = -1;
    auto& line = platform::ops().serial;
    overrides_.set(line.open, +[](const char*) {
        events.push_back("open");
        ++openPorts;
        return handle();
    });
    overrides_.set(line.close, +[](platform::SerialHandle) {
        events.push_back("close");
        --openPorts;
        return true;
    });
    overrides_.set(line.setupQueues, &yes<platform::SerialHandle, uint32_t, uint32_t>);
    overrides_.set(line.applyLineSettings, +[](platform::SerialHandle, const platform::SerialLineSettings&) { return true; });
    overrides_.set(line.setTimeouts, +[](platform::SerialHandle, const platform::SerialTimeouts&) { return true; });
    overrides_.set(line.escape, +[](platform::SerialHandle, platform::SerialEscape f) {
        events.push_back(f == platform::SerialEscape::SetRts ? "rts up" : "rts down");
        return true;
    });
    overrides_.set(line.write, +[](platform::SerialHandle, const void* buffer, uint32_t size, uint32_t* done) {
        events.push_back("write");
        written.append(static_cast<const char*>(buffer), size);
        *done = writeCount < 0 ? size : static_cast<uint32_t>(writeCount);
        return writeOk;
    });
    overrides_.set(line.read, +[](platform::SerialHandle, void* buffer, uint32_t size, uint32_t* done) {
        *done = std::min<uint32_t>(size, 5);
        std::memcpy(buffer, "12345", *done);
        return true;
    });
    overrides_.set(line.clearError, +[](platform::SerialHandle, uint32_t* inQueue) {
        *inQueue = 5;
        return true;
    });
    overrides_.set(line.cancelIo, +[](platform::SerialHandle) {
        events.push_back("cancel");
        return true;
    });
    overrides_.set(line.lastError, +[] { return uint32_t{5}; });
    overrides_.set(line.errorText,
                   +[](uint32_t, char* text, std::size_t size) { std::snprintf(text, size, "Access is denied.\r\n"); });
}

platform::SerialHandle FakeSerialLine::handle()
{
    return reinterpret_cast<platform::SerialHandle>(uintptr_t{0x5E1A1});
}

namespace {

constexpr const char* kSleeperVariable = "KTU_TEST_SLEEPER";

#if defined(_WIN32)
int64_t processId() { return static_cast<int64_t>(::GetCurrentProcessId()); }
#else
int64_t processId() { return static_cast<int64_t>(::getpid()); }
#endif

// When this program is started as a sleeper (Windows), it waits to be ended.
struct SleeperMode {
    SleeperMode()
    {
        const char* mode = std::getenv(kSleeperVariable);
        if (mode == nullptr || mode[0] != '1') return;
        std::this_thread::sleep_for(std::chrono::minutes(5));
        std::exit(0);
    }
};
const SleeperMode g_sleeperMode;

}  // namespace

std::string uniqueName(const std::string& prefix)
{
    static std::atomic<unsigned> counter{0};
    return prefix + "_" + std::to_string(processId()) + "_" + std::to_string(counter++);
}

fs::path makeSleeperProgram(const fs::path& folder, const std::string& fileName)
{
    fs::path program = folder / fileName;
#if defined(_WIN32)
    // This very program, which sleeps when KTU_TEST_SLEEPER is set.
    char self[MAX_PATH];
    DWORD n = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    fs::copy_file(fs::path(std::string(self, n)), program, fs::copy_options::overwrite_existing);
#else
    fs::copy_file("/bin/sleep", program, fs::copy_options::overwrite_existing);
    fs::permissions(program, fs::perms::owner_all);
#endif
    return program;
}

bool startChild(const fs::path& program, Child& child)
{
#if defined(_WIN32)
    ::SetEnvironmentVariableA(kSleeperVariable, "1");
    std::string command = "\"" + program.string() + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    BOOL started = ::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                    &info);
    ::SetEnvironmentVariableA(kSleeperVariable, nullptr);
    if (!started) return false;
    ::CloseHandle(info.hThread);
    child.id = info.dwProcessId;
    child.handle = info.hProcess;
    // Give the child time to load its modules, so that its name can be read.
    ::WaitForInputIdle(info.hProcess, 2000);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return true;
#else
    pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        ::execl(program.c_str(), program.filename().c_str(), "300", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    child.id = pid;
    // Wait until the child runs the program (its executable is no longer ours).
    std::string exe = "/proc/" + std::to_string(pid) + "/exe";
    for (int i = 0; i < 200; ++i) {
        std::error_code ec;
        if (fs::read_symlink(exe, ec).filename() == program.filename()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
#endif
}

bool waitChild(Child& child, int seconds)
{
#if defined(_WIN32)
    if (child.id != 0 &&
        ::WaitForSingleObject(static_cast<HANDLE>(child.handle), static_cast<DWORD>(seconds) * 1000) == WAIT_OBJECT_0) {
        ::CloseHandle(static_cast<HANDLE>(child.handle));
        child.handle = nullptr;
        child.id = 0;
    }
#else
    for (int i = 0; child.id != 0 && i < seconds * 100; ++i) {
        int status = 0;
        if (::waitpid(static_cast<pid_t>(child.id), &status, WNOHANG) == child.id) child.id = 0;
        else std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
#endif
    return child.id == 0;
}

void endChild(Child& child)
{
    if (child.id == 0) return;
#if defined(_WIN32)
    ::TerminateProcess(static_cast<HANDLE>(child.handle), 1);
#else
    ::kill(static_cast<pid_t>(child.id), SIGKILL);
#endif
    waitChild(child, 10);
}

MessageBoxRecorder::MessageBoxRecorder()
{
    ktuSetMessageBoxHandler(&MessageBoxRecorder::answer, this);
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    ktuSetMessageBoxHandler(nullptr, nullptr);
}

int MessageBoxRecorder::answer(void* context, void*, const char* text, const char* caption, unsigned int style)
{
    auto* self = static_cast<MessageBoxRecorder*>(context);
    self->calls_.push_back({text != nullptr ? text : "", caption != nullptr ? caption : "", style});
    return 1;
}

std::vector<std::string> readLines(const fs::path& file)
{
    std::vector<std::string> lines;
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::string currentFolder()
{
    char buffer[4096];
    uint32_t n = platform::ops().fs.getCurrentDir(buffer, sizeof buffer);
    return (n == 0 || n >= sizeof buffer) ? std::string() : forwardSlashes(buffer);
}

bool currentFolderIs(const fs::path& folder)
{
    std::error_code ec;
    return fs::equivalent(fs::current_path(), folder, ec);
}

std::vector<std::string> logTexts(const fs::path& file)
{
    std::vector<std::string> texts;
    for (const auto& line : readLines(file)) {
        auto at = line.find(" : ");
        texts.push_back(at == std::string::npos ? line : line.substr(at + 3));
    }
    return texts;
}

}  // namespace test
}  // namespace ktu
