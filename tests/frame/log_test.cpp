// The log writer: the line, the folders it goes to, the levels.
#include <cstdlib>
#include <cstring>
#include <string>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

namespace fs = std::filesystem;
using ktu::test::MessageBoxRecorder;
using ktu::test::Sandbox;
using ktu::test::ScopedOverride;

std::string backslashed(std::string path)
{
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
    return path;
}

void setVariable(const char* name, const std::string& value)
{
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

void fixedTime(SYSTEMTIME* now)
{
    *now = SYSTEMTIME{};
    now->wYear = 2026;
    now->wMonth = 12;
    now->wDay = 4;
    now->wHour = 9;
    now->wMinute = 5;
    now->wSecond = 7;
    now->wMilliseconds = 42;
}

class LogWriter : public ::testing::Test {
protected:
    void SetUp() override
    {
        ktu::test::openGate();
        ktuLogUtils::enableDisableLogs(true);
        ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
    }
    void TearDown() override { ktuLogUtils::enableDisableLogs(true); }

    std::vector<std::string> lines(const char* file = "output.log") { return ktu::test::readLines(sb.native("logs") / file); }

    Sandbox sb;
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
    EXPECT_EQ(ktu::test::logTexts(sb.native("logs/output.log")),
              (std::vector<std::string>{"KSUtilityClasses-ktuINIFileUtils::openFile", "Common-second"}));
    EXPECT_EQ(ktu::test::logTexts(sb.native("logs/trace.txt")), (std::vector<std::string>{"KS_PS_LIB-third"}));
}

TEST_F(LogWriter, LevelsDecideTheMessageBox)
{
    MessageBoxRecorder boxes;
    ktuLogUtils::writeLog("Common", "zero", 0);
    ktuLogUtils::writeLog("Common", "three", 3);
    ktuLogUtils::writeLog("Common", "minus", -1);
    EXPECT_TRUE(boxes.calls().empty());
    ktuLogUtils::writeLog("Common", "one", 1);
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(boxes.calls()[0].text, "Application is unable to complete the task. Please try again.");
    EXPECT_EQ(boxes.calls()[0].caption, "Error");
    EXPECT_EQ(boxes.calls()[0].style, 0u);
    EXPECT_EQ(lines().size(), 4u);
}

TEST_F(LogWriter, NullArgumentsAndDisabledLoggingWriteAndShowNothing)
{
    MessageBoxRecorder boxes;
    for (int level : {0, 1, 2}) {
        ktuLogUtils::writeLog(nullptr, "text", level);
        ktuLogUtils::writeLog("Common", nullptr, level);
    }
    ktuLogUtils::writeDebugLog(nullptr, "Common", "text");
    ktuLogUtils::writeDebugLog("trace.txt", nullptr, "text");
    ktuLogUtils::writeDebugLog("trace.txt", "Common", nullptr);
    ktuLogUtils::enableDisableLogs(false);
    ktuLogUtils::writeLog("Common", "silenced", 2);  // neither box nor exit
    ktuLogUtils::writeDebugLog("trace.txt", "Common", "silenced");
    EXPECT_TRUE(boxes.calls().empty());
    EXPECT_FALSE(sb.exists("logs/output.log"));
    EXPECT_FALSE(sb.exists("logs/trace.txt"));
}

int announceAndAnswer(void*, void*, const char* text, const char* caption, unsigned int)
{
    std::fprintf(stderr, "box <%s> <%s>\n", caption, text);
    return 1;
}

TEST_F(LogWriter, LevelTwoEndsTheProcessAfterTheLineAndTheBox)
{
    EXPECT_EXIT(
        {
            ktuSetMessageBoxHandler(announceAndAnswer, nullptr);
            ktuLogUtils::writeLog("Common", "fatal", 2);
            std::exit(0);
        },
        ::testing::ExitedWithCode(100), "box <Error> <Fatal Error has occurred. Application will Exit. Error log is written.>");
    // The child wrote its line into its own sandbox; here the writer still works.
    ktuLogUtils::writeLog("Common", "after", 0);
    EXPECT_EQ(lines().size(), 1u);
}

TEST_F(LogWriter, SetLogsDirNormalisesAndEntersTheFolder)
{
    ASSERT_TRUE(ktuLogUtils::setLogsDir(backslashed(sb.path("new/deep")).c_str()));
    EXPECT_TRUE(ktu::test::currentFolderIs(sb.native("new/deep")));
    ktuLogUtils::writeLog("Common", "moved", 0);
    EXPECT_EQ(ktu::test::logTexts(sb.native("new/deep/output.log")), std::vector<std::string>{"Common-moved"});
}

TEST_F(LogWriter, FailedSetLogsDirKeepsTheEarlierFolder)
{
    const std::string tooLong = sb.path(std::string(10000, 'a'));
    for (const std::string& bad : {std::string("Q:/nowhere/logs"), sb.path("bad.name/logs"), tooLong}) {
        EXPECT_FALSE(ktuLogUtils::setLogsDir(bad.c_str())) << bad.substr(0, 40);
    }
    EXPECT_FALSE(ktuLogUtils::setLogsDir(nullptr));
    ktuLogUtils::writeLog("Common", "still here", 0);
    EXPECT_EQ(lines().size(), 1u);
    EXPECT_FALSE(sb.exists("bad.name"));
}

// Without a chosen folder the line goes to "Logs" in the common desktop
// folder, made on the way; to the desktop folder itself when "Logs" cannot
// be made; an empty "Common Desktop" value counts as none, and the platform's
// desktop folder is used. Each case runs in a fresh process, where no folder
// is chosen.
bool desktopValue(const char*, const char* value, char* buffer, uint32_t size)
{
    const char* desk = std::getenv("KTU_TEST_DESKTOP");
    if (desk == nullptr || std::string(value) != "Common Desktop" || std::strlen(desk) + 1 > size) {
        return false;
    }
    std::strcpy(buffer, std::string(desk) == "<empty>" ? "" : desk);
    return true;
}

bool fallbackDesktop(char* buffer, uint32_t size)
{
    const char* home = std::getenv("KTU_TEST_FALLBACK");
    return home != nullptr && std::strlen(home) < size && std::strcpy(buffer, home) != nullptr;
}

TEST(LogWriterDefault, GoesToLogsOnTheCommonDesktopOrTheDesktopItself)
{
    Sandbox sb;
    sb.makeFolder("desk");
    sb.makeFolder("home");
    sb.writeFile("blocked/Logs", "a file where the folder would be made");
    struct Case { std::string value; std::string log; };
    const Case cases[] = {
        {backslashed(sb.path("desk")), "desk/Logs/output.log"},
        {sb.path("blocked"), "blocked/output.log"},
        {"<empty>", "home/Logs/output.log"},
    };
    for (const Case& c : cases) {
        EXPECT_EXIT(
            {
                ktu::test::openGate();
                setVariable("KTU_TEST_DESKTOP", c.value);
                setVariable("KTU_TEST_FALLBACK", sb.path("home"));
                ScopedOverride reg(ktu::platform::ops().registry.readMachineString, desktopValue);
                ScopedOverride home(ktu::platform::ops().ui.fallbackDesktopDir, fallbackDesktop);
                ktuLogUtils::writeLog("Common", "default", 0);
                ktuLogUtils::writeLog("Common", "again", 0);
                auto texts = ktu::test::logTexts(sb.native(c.log));
                std::exit(texts == std::vector<std::string>{"Common-default", "Common-again"} ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "")
            << c.log;
    }
}

}  // namespace
