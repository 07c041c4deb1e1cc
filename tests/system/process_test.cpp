// Processes counted and ended by program name, on children this test starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "ktuProcessUtils.h"
#include "ktuTestSupport.h"
#include "systemTestSupport.h"

#if !defined(_WIN32)
#  include <sched.h>
#  include <sys/mount.h>
#  include <sys/wait.h>
#  include <unistd.h>

#  include <cstdio>
#  include <filesystem>
#endif

namespace {

using ktu::test::Child;
using ktu::test::Sandbox;

class ProcessTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (Child& child : children_) ktu::test::endChild(child);
    }
    Sandbox sb;
    std::vector<Child> children_ = std::vector<Child>(2);
};

TEST_F(ProcessTest, CountsAndKillsCopiesByTheWholeNameInAnyCase)
{
    ktu::test::openGate();
    std::string name = ktu::test::uniqueName("ktusleep");
    std::replace(name.begin(), name.end(), '_', 'x');
    name += ".exe";
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::filesystem::path program = ktu::test::makeSleeperProgram(sb.native(), name);
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(name.c_str()), 0);
    for (Child& child : children_) ASSERT_TRUE(ktu::test::startChild(program, child));
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(name.c_str()), 2);
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(name.substr(0, name.size() - 4).c_str()), 0);
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(nullptr), 0);
    ktuProcessUtils::killAllRunningProcess(upper.c_str());
    for (Child& child : children_) EXPECT_TRUE(ktu::test::waitChild(child, 10));
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(name.c_str()), 0);

    ktuProcessUtils::killAllRunningProcess(nullptr);  // a fault that is logged
    EXPECT_EQ(ktu::test::desktopLogTexts().back(), "KSUtilityClasses-Failed in ktuProcessUtils::killAllRunningProcess");
}

#if !defined(_WIN32)

// Runs `body` as process 1 of a new process namespace with its own /proc, so
// that the process list holds only what the test starts; its exit code, or
// -1 when no namespace can be made (not root, or forbidden here).
int inOwnProcessNamespace(const std::function<int()>& body)
{
    pid_t outer = ::fork();
    if (outer == 0) {
        if (::unshare(CLONE_NEWPID | CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            ::_exit(200);
        }
        pid_t inner = ::fork();
        if (inner == 0) {
            if (::mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) ::_exit(200);
            ::_exit(body());
        }
        int status = 0;
        ::waitpid(inner, &status, 0);
        ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 201);
    }
    int status = 0;
    ::waitpid(outer, &status, 0);
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 202;
    return code == 200 ? -1 : code;
}

// A program name longer than the kernel's 15-character command name counts
// under its whole name only; a process whose executable the caller may not
// read is "<unknown>", never its cut command name.
TEST_F(ProcessTest, LongNamesAndUnreadableExecutables)
{
    ktu::test::openGate();
    const std::string name = "FrameRecorderService.exe";
    const std::string cut = name.substr(0, 15);  // "FrameRecorderSe", the command name
    std::filesystem::path program = ktu::test::makeSleeperProgram(sb.native(), name);
    int failed = inOwnProcessNamespace([&]() {
        Child child;
        if (!ktu::test::startChild(program, child)) return 10;
        auto count = [](const std::string& text) { return ktuProcessUtils::checkIfProcessRunning(text.c_str()); };
        // Each check's number is the exit code when it fails.
        int code = count(name) != 1 ? 11 : count(cut) != 0 ? 12 : count("<unknown>") != 0 ? 13 : 0;
        if (code == 0) {
            // Unprivileged, neither this process 1 (root's) nor the child can be read.
            code = ktu::test::runAs(65534, [&]() {
                return count(name) != 0 ? 21 : count(cut) != 0 ? 22 : count("<unknown>") != 2 ? 23 : 0;
            });
        }
        ktu::test::endChild(child);
        return code;
    });
    if (failed == -1) GTEST_SKIP() << "no process namespace can be made here";
    EXPECT_EQ(failed, 0) << "11-13: counted as root; 21-23: counted by an unprivileged user";
}

// A program that ends itself through killAllRunningProcess ends with exit
// code 0, as the others do.
TEST_F(ProcessTest, EndingItselfGivesExitCodeZero)
{
    std::string name = ktu::test::uniqueName("SelfEndingProgram") + ".exe";
    std::filesystem::path program = sb.native(name);
    std::filesystem::copy_file("/proc/self/exe", program);
    pid_t child = ::fork();
    if (child == 0) {
        ::setenv("KTU_TEST_END_SELF", name.c_str(), 1);
        std::freopen("/dev/null", "w", stdout);
        ::execl(program.c_str(), name.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
}

#endif

}  // namespace
