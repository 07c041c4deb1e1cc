#include "ktuTestSupport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "KSUtilityClasses.h"

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <signal.h>
#  include <sys/resource.h>
#  include <sys/stat.h>
#  include <sys/wait.h>
#  include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace ktu {
namespace test {

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

std::string stamp() { return std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()); }

#if defined(_WIN32)
int64_t processId() { return static_cast<int64_t>(::GetCurrentProcessId()); }
#else
int64_t processId() { return static_cast<int64_t>(::getpid()); }

// Made by the first process, found by the copies of the program it starts in
// KTU_TEST_RUN_FOLDER, removed when the first process ends (not a forked child).
char g_runFolder[4096];
pid_t g_runOwner = 0;
void removeRunFolder()
{
    if (::getpid() == g_runOwner) removeTree(g_runFolder);
}
#endif

}  // namespace

void openGate()
{
    char version[] = "4.02";
    ktuLibVersionManagerUtils::validateVersion(version);
}

#if !defined(_WIN32)
fs::path runFolder()
{
    if (g_runFolder[0] == '\0') {
        const char* inherited = std::getenv("KTU_TEST_RUN_FOLDER");
        std::error_code ec;
        fs::path folder = inherited != nullptr && fs::is_directory(inherited, ec) ? fs::path(inherited) : fs::path();
        if (folder.empty()) {
            folder = fs::temp_directory_path() / ("ktu_test_" + std::to_string(::getpid()) + "_" + stamp());
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
    const std::string name = stamp() + "_" + std::to_string(counter++);
#if defined(_WIN32)
    // Below a drive root (KTU_TEST_DRIVE, else the system drive), so that the
    // first level of a folder chain built from it is the sandbox, never a
    // folder of the machine (in %TEMP% that level would be C:/Users).
    const char* drive = std::getenv("KTU_TEST_DRIVE");
    if (drive == nullptr || drive[0] == '\0') drive = std::getenv("SystemDrive");
    root_ = fs::path(std::string(drive != nullptr && drive[0] != '\0' ? drive : "C:").substr(0, 2) + "\\") /
            ("ktu_test_" + name);
#else
    root_ = runFolder() / ("sandbox_" + std::to_string(::getpid()) + "_" + name);
#endif
    fs::create_directories(root_);
    root_ = fs::canonical(root_);
    savedCwd_ = fs::current_path();
#if defined(_WIN32)
    drivePath_ = forwardSlashes(root_.string());
#else
    if (const char* drives = std::getenv("KTU_DRIVES")) savedDrives_ = drives;
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
    savedDrives_ ? setenv("KTU_DRIVES", savedDrives_->c_str(), 1) : unsetenv("KTU_DRIVES");
#endif
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

bool logInto(const Sandbox& sandbox)
{
    openGate();
    return ktuLogUtils::setLogsDir(sandbox.path("logs").c_str());
}

std::string unreachableBy(unsigned user, const fs::path& path)
{
#if !defined(_WIN32)
    for (fs::path at = fs::absolute(path); user != 0; at = at.parent_path()) {
        struct stat info {};
        const bool folder = ::stat(at.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        const mode_t search = info.st_uid == user ? S_IXUSR : info.st_gid == user ? S_IXGRP : S_IXOTH;
        if (folder && (info.st_mode & search) == 0) return "the folder " + at.string() + " is closed to the user";
        if (at == at.parent_path()) break;
    }
#endif
    (void)user;
    (void)path;
    return "";
}

void expectInFreshProcess(const std::function<bool()>& check)
{
    // A copy of the program started anew; where it cannot be started again (an
    // emulator the kernel does not know: GTEST_DEATH_TEST_STYLE=fast), a fork,
    // and the test registration runs these tests in a process of their own.
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
        if (!kAddressSanitizer && ::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(3);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a wrong answer (1), or no limit could be set (3)";
#endif
}

FakeSerialLine::FakeSerialLine()
{
    static const auto record = [](const char* event) { return events.push_back(event), true; };
    using platform::SerialHandle;
    events.clear();
    written.clear();
    openPorts = 0;
    writeOk = true;
    writeCount = -1;
    auto& line = platform::ops().serial;
    overrides_.set(line.open, +[](const char*) { return record("open"), ++openPorts, handle(); });
    overrides_.set(line.close, +[](SerialHandle) { return --openPorts, record("close"); });
    overrides_.set(line.setupQueues, +[](SerialHandle, uint32_t, uint32_t) { return true; });
    overrides_.set(line.applyLineSettings, +[](SerialHandle, const platform::SerialLineSettings&) { return true; });
    overrides_.set(line.setTimeouts, +[](SerialHandle, const platform::SerialTimeouts&) { return true; });
    overrides_.set(line.escape, +[](SerialHandle, platform::SerialEscape f) {
        return record(f == platform::SerialEscape::SetRts ? "rts up" : "rts down");
    });
    overrides_.set(line.write, +[](SerialHandle, const void* buffer, uint32_t size, uint32_t* done) {
        record("write");
        written.append(static_cast<const char*>(buffer), size);
        *done = writeCount < 0 ? size : static_cast<uint32_t>(writeCount);
        return writeOk;
    });
    overrides_.set(line.read, +[](SerialHandle, void* buffer, uint32_t size, uint32_t* done) {
        *done = std::min<uint32_t>(size, 5);
        std::memcpy(buffer, "12345", *done);
        return true;
    });
    overrides_.set(line.clearError, +[](SerialHandle, uint32_t* inQueue) { return *inQueue = 5, true; });
    overrides_.set(line.cancelIo, +[](SerialHandle) { return record("cancel"); });
    overrides_.set(line.lastError, +[] { return uint32_t{5}; });
    overrides_.set(line.errorText,
                   +[](uint32_t, char* text, std::size_t size) { std::snprintf(text, size, "Access is denied.\r\n"); });
}

namespace {

// When this program is started as a sleeper (Windows), it waits to be ended.
constexpr const char* kSleeperVariable = "KTU_TEST_SLEEPER";
[[maybe_unused]] const bool g_sleeperMode = [] {
    const char* mode = std::getenv(kSleeperVariable);
    if (mode != nullptr && mode[0] == '1') {
        std::this_thread::sleep_for(std::chrono::minutes(5));
        std::exit(0);
    }
    return false;
}();

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
    BOOL started =
        ::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    ::SetEnvironmentVariableA(kSleeperVariable, nullptr);
    if (!started) return false;
    ::CloseHandle(info.hThread);
    child.id = info.dwProcessId;
    child.handle = info.hProcess;
    // Give the child time to load its modules, so that its name can be read.
    ::WaitForInputIdle(info.hProcess, 2000);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
#else
    pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        ::execl(program.c_str(), program.filename().c_str(), "300", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    child.id = pid;
    // Wait until the child runs the program (its executable is no longer ours).
    for (int i = 0; i < 200; ++i) {
        std::error_code ec;
        if (fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec).filename() == program.filename()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
#endif
    return true;
}

bool waitChild(Child& child, int seconds)
{
#if defined(_WIN32)
    if (child.id != 0 &&
        ::WaitForSingleObject(static_cast<HANDLE>(child.handle), static_cast<DWORD>(seconds) * 1000) == WAIT_OBJECT_0) {
        ::CloseHandle(static_cast<HANDLE>(child.handle));
        child = Child{};
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
    ktuSetMessageBoxHandler(
        [](void* self, void*, const char* text, const char* caption, unsigned int style) {
            static_cast<MessageBoxRecorder*>(self)->calls_.push_back({text ? text : "", caption ? caption : "", style});
            return 1;
        },
        this);
}

std::vector<std::string> readLines(const fs::path& file)
{
    std::vector<std::string> lines;
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
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
