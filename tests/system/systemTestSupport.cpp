#include "systemTestSupport.h"

#include <cstdio>
#include <cstdlib>

#include "ktuPlatform.h"
#include "ktuProcessUtils.h"

#if !defined(_WIN32)
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

#if !defined(_WIN32)
// Without a settings store (KTU_SETTINGS_STORE=OFF) the seam answers "Common Desktop" from the program's folder.
bool desktopWithoutStore(const char* subKey, const char* value, char* buffer, uint32_t size)
{
    const char* root = std::getenv("KTU_TEST_SYSTEM_ROOT");
    return root != nullptr && std::string(subKey) == kDesktopKey && std::string(value) == kDesktopValue &&
           std::snprintf(buffer, size, "C:%s/desktop", root) < static_cast<int>(size);
}

// The program's own settings store and desktop, removed at its end; a death test's child inherits its parent's.
class SystemEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        // Started to end itself by name (the process tests): it must not come back from that call.
        if (const char* name = std::getenv("KTU_TEST_END_SELF")) {
            openGate();
            ktuProcessUtils::killAllRunningProcess(name);
            std::_Exit(3);
        }
        if (const char* inherited = std::getenv("KTU_TEST_SYSTEM_ROOT")) {
            root_ = inherited;
            return;
        }
        owner_ = true;
        root_ = runFolder() / uniqueName("system");
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

uint32_t killWriter(uint32_t reports, const std::function<bool(uint32_t)>& write,
                    const std::function<void()>& meanwhile)
{
    int pipeEnds[2];
    EXPECT_EQ(::pipe(pipeEnds), 0);
    pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        for (uint32_t i = 0;; ++i) {
            if (!write(i) || ::write(pipeEnds[1], &i, sizeof i) != sizeof i) ::_exit(1);
        }
    }
    ::close(pipeEnds[1]);
    uint32_t reported = 0, last = 0;
    while (reported < reports && ::read(pipeEnds[0], &last, sizeof last) == sizeof last) ++reported;
    meanwhile();
    ::kill(child, SIGKILL);
    while (::read(pipeEnds[0], &last, sizeof last) == sizeof last) ++reported;  // sent before the kill landed
    ::close(pipeEnds[0]);
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself";
    return reported;
}
#endif

}  // namespace test
}  // namespace ktu
