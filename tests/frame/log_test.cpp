// The log writer: the line, the folders it goes to, the levels.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

using ktu::test::logTexts;
using ktu::test::MessageBoxRecorder;
using ktu::test::Sandbox;
using ktu::test::ScopedOverride;
using Texts = std::vector<std::string>;

std::string backslashed(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

void fixedTime(SYSTEMTIME* now) { *now = SYSTEMTIME{2026, 12, 0, 4, 9, 5, 7, 42}; }

class LogWriter : public ktu::test::LoggedTest {
protected:
    void TearDown() override { ktuLogUtils::enableDisableLogs(true); }
    ScopedOverride<void (*)(SYSTEMTIME*)> clock{ktu::platform::ops().clock.localTime, fixedTime};
};

TEST_F(LogWriter, LineLayoutIsExactLinesAppendAndDebugLogGoesToItsOwnFile)
{
    ktuLogUtils::writeLog("KSUtilityClasses", "ktuINIFileUtils::openFile", 0);
#if defined(_WIN32)
    const char* lineEnd = "\r\n";
#else
    const char* lineEnd = "\n";
#endif
    EXPECT_EQ(sb.readFile("logs/output.log"),
              std::string("12/04/2026 - 09:05::07.042 : KSUtilityClasses-ktuINIFileUtils::openFile") + lineEnd);
    ktuLogUtils::writeLog("Common", "second", 3);
    ktuLogUtils::writeDebugLog("trace.txt", "KS_PS_LIB", "third");
    EXPECT_EQ(logs(), (Texts{"KSUtilityClasses-ktuINIFileUtils::openFile", "Common-second"}));
    EXPECT_EQ(logTexts(sb.native("logs/trace.txt")), Texts{"KS_PS_LIB-third"});
}

// Level 1 shows a box, other levels none; null arguments and disabled logging
// write and show nothing (level 2 neither ends the process then).
TEST_F(LogWriter, LevelsNullArgumentsAndDisabledLogging)
{
    MessageBoxRecorder boxes;
    for (int level : {0, 1, 2}) {
        ktuLogUtils::writeLog(nullptr, "text", level);
        ktuLogUtils::writeLog("Common", nullptr, level);
    }
    ktuLogUtils::writeDebugLog(nullptr, "Common", "text");
    ktuLogUtils::writeDebugLog("trace.txt", nullptr, "text");
    ktuLogUtils::writeDebugLog("trace.txt", "Common", nullptr);
    EXPECT_FALSE(sb.exists("logs/output.log"));
    for (int level : {0, 3, -1}) ktuLogUtils::writeLog("Common", "text", level);
    EXPECT_TRUE(boxes.calls().empty());
    ktuLogUtils::writeLog("Common", "text", 1);
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(boxes.calls()[0].text, "Application is unable to complete the task. Please try again.");
    EXPECT_EQ(boxes.calls()[0].caption, "Error");
    EXPECT_EQ(boxes.calls()[0].style, 0u);
    ktuLogUtils::enableDisableLogs(false);
    ktuLogUtils::writeLog("Common", "silenced", 2);
    ktuLogUtils::writeDebugLog("trace.txt", "Common", "silenced");
    EXPECT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(logs().size(), 4u);
    EXPECT_FALSE(sb.exists("logs/trace.txt"));
}

TEST_F(LogWriter, LevelTwoEndsTheProcessAfterTheLineAndTheBox)
{
    auto announce = [](void*, void*, const char* text, const char* caption, unsigned int) {
        return std::fprintf(stderr, "box <%s> <%s>\n", caption, text), 1;
    };
    EXPECT_EXIT(
        {
            ktuSetMessageBoxHandler(announce, nullptr);
            ktuLogUtils::writeLog("Common", "fatal", 2);
            std::exit(0);
        },
        ::testing::ExitedWithCode(100), "box <Error> <Fatal Error has occurred. Application will Exit. Error log is written.>");
}

TEST_F(LogWriter, SetLogsDirKeepsTheEarlierFolderOrNormalisesAndEntersTheNew)
{
    for (auto bad : {std::string("Q:/nowhere/logs"), sb.path("bad.name/logs"), sb.path(std::string(10000, 'a'))}) {
        EXPECT_FALSE(ktuLogUtils::setLogsDir(bad.c_str())) << bad.substr(0, 40);
    }
    EXPECT_FALSE(ktuLogUtils::setLogsDir(nullptr));
    ktuLogUtils::writeLog("Common", "still here", 0);
    EXPECT_EQ(logs(), Texts{"Common-still here"});
    EXPECT_FALSE(sb.exists("bad.name"));
    ASSERT_TRUE(ktuLogUtils::setLogsDir(backslashed(sb.path("new/deep")).c_str()));
    EXPECT_TRUE(ktu::test::currentFolderIs(sb.native("new/deep")));
    ktuLogUtils::writeLog("Common", "moved", 0);
    EXPECT_EQ(logTexts(sb.native("new/deep/output.log")), Texts{"Common-moved"});
}

// Without a chosen folder the line goes to "Logs" in the common desktop folder,
// made on the way; to the desktop folder itself when "Logs" cannot be made; an
// empty "Common Desktop" value counts as none, and the platform's desktop
// folder is used. Each case runs in a fresh process, where no folder is chosen.
std::string g_desktop, g_fallback;  // what the two seam entries answer

bool answer(const std::string& text, char* buffer, uint32_t size)
{
    return text.size() < size && std::strcpy(buffer, text.c_str()) != nullptr;
}

bool desktopValue(const char*, const char* value, char* buffer, uint32_t size)
{
    return std::strcmp(value, "Common Desktop") == 0 && answer(g_desktop, buffer, size);
}

bool fallbackDesktop(char* buffer, uint32_t size)
{
    return answer(g_fallback, buffer, size);
}

TEST(LogWriterDefault, GoesToLogsOnTheCommonDesktopOrTheDesktopItself)
{
    Sandbox sb;
    sb.makeFolder("desk");
    sb.makeFolder("home");
    sb.writeFile("blocked/Logs", "a file where the folder would be made");
    const std::pair<std::string, std::string> cases[] = {
        {backslashed(sb.path("desk")), "desk/Logs/output.log"},
        {sb.path("blocked"), "blocked/output.log"},
        {"", "home/Logs/output.log"},
    };
    for (const auto& [desktop, log] : cases) {
        EXPECT_EXIT(
            {
                ktu::test::openGate();
                g_desktop = desktop;
                g_fallback = sb.path("home");
                ScopedOverride reg(ktu::platform::ops().registry.readMachineString, desktopValue);
                ScopedOverride home(ktu::platform::ops().ui.fallbackDesktopDir, fallbackDesktop);
                ktuLogUtils::writeLog("Common", "default", 0);
                ktuLogUtils::writeLog("Common", "again", 0);
                std::exit(logTexts(sb.native(log)) == Texts{"Common-default", "Common-again"} ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "")
            << log;
    }
}

}  // namespace
