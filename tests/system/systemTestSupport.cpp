#include "systemTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "ktuPlatform.h"
#include "ktuProcessUtils.h"
#include "ktuTestSupport.h"

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <grp.h>
#  include <signal.h>
#  include <sys/wait.h>
#  include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace ktu {
namespace test {
namespace {

constexpr const char* kDesktopKey = "SOFTWARE\\Microsoft\\WINDOWS\\CurrentVersion\\Explorer\\Shell folders";
constexpr const char* kDesktopValue = "Common Desktop";
constexpr const char* kSleeperVariable = "KTU_TEST_SLEEPER";
#if !defined(_WIN32)
constexpr const char* kEndSelfVariable = "KTU_TEST_END_SELF";
#endif

#if defined(_WIN32)
int64_t processId() { return static_cast<int64_t>(::GetCurrentProcessId()); }
#else
int64_t processId() { return static_cast<int64_t>(::getpid()); }
#endif

#if !defined(_WIN32)
// A build without a settings store (KTU_SETTINGS_STORE=OFF) keeps no
// "Common Desktop" value: the seam answers it from the program's own folder,
// so that the tests of everything else still run.
bool desktopWithoutStore(const char* subKey, const char* value, char* buffer, uint32_t size)
{
    const char* root = std::getenv("KTU_TEST_SYSTEM_ROOT");
    const std::string desktop = root != nullptr ? "C:" + (fs::path(root) / "desktop").string() : std::string();
    if (root == nullptr || std::string(subKey) != kDesktopKey || std::string(value) != kDesktopValue ||
        desktop.size() + 1 > size) {
        return false;
    }
    desktop.copy(buffer, desktop.size());
    buffer[desktop.size()] = '\0';
    return true;
}

// The program's own settings store and desktop, removed at its end. A death
// test's child (this program run again) uses its parent's, which it finds in
// the environment: the child ends without tearing anything down.
class SystemEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        // Started to end itself by name (the process tests): it must not
        // come back from that call.
        if (const char* name = std::getenv(kEndSelfVariable)) {
            openGate();
            ktuProcessUtils::killAllRunningProcess(name);
            std::_Exit(3);
        }
        if (const char* inherited = std::getenv("KTU_TEST_SYSTEM_ROOT")) {
            root_ = inherited;
            return;
        }
        owner_ = true;
        root_ = fs::temp_directory_path() / ("ktu_system_" + std::to_string(processId()));
        fs::create_directories(root_ / "desktop");
        ::setenv("KTU_TEST_SYSTEM_ROOT", root_.c_str(), 1);
        ::setenv("KTU_SETTINGS_DB", (root_ / "registry.db").c_str(), 1);
        auto& registry = platform::ops().registry;
        platform::RegKey key = registry.createKey(kDesktopKey);
        if (key == nullptr) {
            registry.readMachineString = desktopWithoutStore;
            return;
        }
        std::string desktop = "C:" + (root_ / "desktop").string();
        registry.setStringValue(key, kDesktopValue, desktop.c_str(), static_cast<uint32_t>(desktop.size() + 1));
        registry.closeKey(key);
    }
    void TearDown() override
    {
        std::error_code ignored;
        if (owner_) fs::remove_all(root_, ignored);
    }

private:
    fs::path root_;
    bool owner_ = false;
};

const auto* g_environment = ::testing::AddGlobalTestEnvironment(new SystemEnvironment);
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

std::vector<std::string> desktopLogTexts()
{
    char desktop[260] = "";
    if (!platform::ops().registry.readMachineString(kDesktopKey, kDesktopValue, desktop, sizeof desktop)) {
        return {};
    }
    std::string folder = desktop;
#if !defined(_WIN32)
    if (folder.rfind("C:", 0) == 0) folder.erase(0, 2);
#endif
    return logTexts(fs::path(folder) / "Logs" / "output.log");
}

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

#if !defined(_WIN32)
int runAs(unsigned user, const std::function<int()>& body)
{
    if (user == 0) return body();
    pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0) ::_exit(255);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) != 255 ? WEXITSTATUS(status) : -1;
}
#endif

}  // namespace test
}  // namespace ktu
