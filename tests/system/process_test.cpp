// Processes counted and ended by program name, on children this test starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ktuPlatform.h"
#include "ktuProcessUtils.h"
#include "ktuTestSupport.h"
#include "systemTestSupport.h"

namespace {

using ktu::test::Child;
using ktu::test::Sandbox;

std::string mixedCase(std::string name)
{
    for (std::size_t i = 0; i < name.size(); i += 2) {
        name[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
    }
    return name;
}

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ktu::test::openGate();
        std::string stem = ktu::test::uniqueName("ktusleep");
        std::replace(stem.begin(), stem.end(), '_', 'x');
        name_ = stem + ".exe";
        program_ = ktu::test::makeSleeperProgram(sb.native(), name_);
    }
    void TearDown() override
    {
        for (Child& child : children_) {
            ktu::test::endChild(child);
        }
    }
    void start(int count)
    {
        for (int i = 0; i < count; ++i) {
            Child child;
            ASSERT_TRUE(ktu::test::startChild(program_, child));
            children_.push_back(child);
        }
    }

    Sandbox sb;
    std::string name_;
    std::filesystem::path program_;
    std::vector<Child> children_;
};

TEST_F(ProcessTest, CountsCopiesByTheWholeNameInAnyCase)
{
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(name_.c_str()), 0);
    start(2);
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(name_.c_str()), 2);
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(mixedCase(name_).c_str()), 2);
    std::string stem = name_.substr(0, name_.size() - 4);
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(stem.c_str()), 0);
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(nullptr), 0);
}

TEST_F(ProcessTest, KillEndsEveryCopyAndNothingElse)
{
    start(2);
    // A name no process has ends nothing.
    ktuProcessUtils::killAllRunningProcess(("other" + name_).c_str());
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(name_.c_str()), 2);

    ktuProcessUtils::killAllRunningProcess(mixedCase(name_).c_str());
    for (Child& child : children_) {
        EXPECT_TRUE(ktu::test::waitChild(child, 10));
    }
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(name_.c_str()), 0);
}

TEST_F(ProcessTest, NullNameIsAFaultThatIsLogged)
{
    ktuProcessUtils::killAllRunningProcess(nullptr);
    auto texts = ktu::test::desktopLogTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "KSUtilityClasses-Failed in ktuProcessUtils::killAllRunningProcess");
}

// Processes that cannot be opened (or whose name cannot be read) are named
// "<unknown>"; a failed termination is ignored.
TEST(ProcessWalk, UnreadableProcessesAreUnknown)
{
    ktu::test::openGate();
    using ktu::platform::ProcessHandle;
    auto listThree = [](uint32_t* ids, uint32_t, uint32_t* bytes) {
        ids[0] = 11;
        ids[1] = 12;
        ids[2] = 13;
        *bytes = 12;
        return true;
    };
    // 11 cannot be opened, 12 has no readable name, 13 is "viewer.exe".
    auto open = [](uint32_t, uint32_t id) -> ProcessHandle {
        return id == 11 ? nullptr : reinterpret_cast<ProcessHandle>(static_cast<uintptr_t>(id));
    };
    auto name = [](ProcessHandle handle, char* buffer, uint32_t) {
        if (reinterpret_cast<uintptr_t>(handle) != 13) {
            return false;
        }
        std::strcpy(buffer, "viewer.exe");
        return true;
    };
    static std::vector<uintptr_t> terminated;
    auto terminate = [](ProcessHandle handle, uint32_t code) {
        terminated.push_back(reinterpret_cast<uintptr_t>(handle) * 1000 + code);
        return false;
    };
    auto close = [](ProcessHandle) {};
    auto& ops = ktu::platform::ops().process;
    ktu::test::ScopedOverride a(ops.enumProcesses, +listThree);
    ktu::test::ScopedOverride b(ops.openProcess, +open);
    ktu::test::ScopedOverride c(ops.mainModuleName, +name);
    ktu::test::ScopedOverride d(ops.terminate, +terminate);
    ktu::test::ScopedOverride e(ops.close, +close);

    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning("<UNKNOWN>"), 2);
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning("Viewer.EXE"), 1);
    terminated.clear();
    ktuProcessUtils::killAllRunningProcess("<unknown>");
    EXPECT_EQ(terminated, std::vector<uintptr_t>{12000});  // 11 could not be opened
    terminated.clear();
    ktuProcessUtils::killAllRunningProcess("viewer.exe");
    EXPECT_EQ(terminated, std::vector<uintptr_t>{13000});

    auto failing = [](uint32_t*, uint32_t, uint32_t*) { return false; };
    ktu::test::ScopedOverride f(ops.enumProcesses, +failing);
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning("<unknown>"), 0);
}

}  // namespace
