// Processes counted and ended by program name, on children this test starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "ktuProcessUtils.h"
#include "ktuTestSupport.h"
#include "systemTestSupport.h"

namespace {

using ktu::test::Child;
using ktu::test::Sandbox;

std::string mixedCase(std::string name)
{
    for (std::size_t i = 0; i < name.size(); i += 2) name[i] = static_cast<char>(std::toupper(name[i]));
    return name;
}

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
    std::filesystem::path program = ktu::test::makeSleeperProgram(sb.native(), name);
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(name.c_str()), 0);
    for (Child& child : children_) ASSERT_TRUE(ktu::test::startChild(program, child));
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(name.c_str()), 2);
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(mixedCase(name).c_str()), 2);
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(name.substr(0, name.size() - 4).c_str()), 0);
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(nullptr), 0);

    ktuProcessUtils::killAllRunningProcess(("other" + name).c_str());  // no such process: ends nothing
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(name.c_str()), 2);
    ktuProcessUtils::killAllRunningProcess(mixedCase(name).c_str());
    for (Child& child : children_) EXPECT_TRUE(ktu::test::waitChild(child, 10));
    EXPECT_EQ(ktuProcessUtils::checkIfProcessRunning(name.c_str()), 0);

    ktuProcessUtils::killAllRunningProcess(nullptr);  // a fault that is logged
    EXPECT_EQ(ktu::test::desktopLogTexts().back(), "KSUtilityClasses-Failed in ktuProcessUtils::killAllRunningProcess");
}

}  // namespace
