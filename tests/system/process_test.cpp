// Processes counted and ended by program name, on children this test starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "ktuProcessUtils.h"
#include "ktuTestSupport.h"
#include "systemTestSupport.h"

#if !defined(_WIN32)
#  include <sys/wait.h>
#  include <unistd.h>

#  include <cstdio>
#endif

namespace {

using ktu::test::Child;

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override { ktu::test::openGate(); }
    void TearDown() override
    {
        for (Child& child : children_) ktu::test::endChild(child);
    }
    int count(const std::string& name) { return ktuProcessUtils::checkIfProcessRunning(name.c_str()); }
    ktu::test::Sandbox sb;
    std::vector<Child> children_ = std::vector<Child>(2);
};

TEST_F(ProcessTest, CountsAndKillsCopiesByTheWholeNameInAnyCase)
{
    std::string name = ktu::test::uniqueName("ktusleep");
    std::replace(name.begin(), name.end(), '_', 'x');
    name += ".exe";
    std::string upper = name;
    std::transform(name.begin(), name.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    std::filesystem::path program = ktu::test::makeSleeperProgram(sb.native(), name);
    for (Child& child : children_) ASSERT_TRUE(ktu::test::startChild(program, child));
    EXPECT_EQ(count(name), 2);
    EXPECT_EQ(count(name.substr(0, name.size() - 4)), 0);
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(nullptr), 0);
    ktuProcessUtils::killAllRunningProcess(upper.c_str());
    for (Child& child : children_) EXPECT_TRUE(ktu::test::waitChild(child, 10));
    EXPECT_EQ(count(name), 0);

    ktuProcessUtils::killAllRunningProcess(nullptr);  // a fault that is logged
    EXPECT_EQ(ktu::test::desktopLogTexts().back(), "KSUtilityClasses-Failed in ktuProcessUtils::killAllRunningProcess");
}

#if !defined(_WIN32)

// A name longer than the 15-character command name counts under its whole name only; a process whose
// executable the caller may not read is "<unknown>", never its cut command name.
TEST_F(ProcessTest, LongNamesAndUnreadableExecutables)
{
    const std::string name = ktu::test::uniqueName("FrameRecorderService") + ".exe";
    const std::string cut = name.substr(0, 15);  // the command name
    ASSERT_TRUE(ktu::test::startChild(ktu::test::makeSleeperProgram(sb.native(), name), children_[0]));
    EXPECT_EQ(count(name), 1);
    EXPECT_EQ(count(cut), 0);
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to act as another user";
    // Unprivileged, root's processes (the child among them) cannot be read.
    EXPECT_EQ(ktu::test::runAs(65534, [&]() { return count(name) * 100 + count(cut) * 10 + (count("<unknown>") > 0); }),
              1);
}

// A program ending itself through killAllRunningProcess ends with exit code 0, as the others do.
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
