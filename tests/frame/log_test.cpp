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

TEST_F(LogWriter, LineLayoutIsExact)
{
    ktuLogUtils::writeLog("KSUtilityClasses", "ktuINIFileUtils::openFile", 0);
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_EQ(lines()[0], "12/04/2026 - 09:05::07.042 : KSUtilityClasses-ktuINIFileUtils::openFile");
#if defined(_WIN32)
    EXPECT_EQ(sb.readFile("logs/output.log"),
              "12/04/2026 - 09:05::07.042 : KSUtilityClasses-ktuINIFileUtils::openFile\r\n");
#else
    EXPECT_EQ(sb.readFile("logs/output.log"),
              "12/04/2026 - 09:05::07.042 : KSUtilityClasses-ktuINIFileUtils::openFile\n");
#endif
}

TEST_F(LogWriter, LinesAppendAndDebugLogGoesToItsOwnFile)
{
    ktuLogUtils::writeLog("Common", "first", 0);
    ktuLogUtils::writeLog("Common", "second", 3);
    ktuLogUtils::writeDebugLog("trace.txt", "KS_PS_LIB", "third");
    EXPECT_EQ(ktu::test::logTexts(sb.native("logs/output.log")), (std::vector<std::string>{"Common-first", "Common-second"}));
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
    std::string folder = sb.path("new\\deep");
    for (char& c : folder) {
        if (c == '/') {
            c = '\\';
        }
    }
    ASSERT_TRUE(ktuLogUtils::setLogsDir(folder.c_str()));
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
// folder, made on the way. Runs in a fresh process, where no folder is chosen.
bool desktopValue(const char*, const char* value, char* buffer, uint32_t size)
{
    const char* desk = std::getenv("KTU_TEST_DESKTOP");
    if (desk == nullptr || std::string(value) != "Common Desktop" || std::strlen(desk) + 1 > size) {
        return false;
    }
    std::strcpy(buffer, desk);
    return true;
}

TEST(LogWriterDefault, GoesToLogsOnTheCommonDesktop)
{
    Sandbox sb;
    std::string desk = sb.path("desk");
    for (char& c : desk) {
        if (c == '/') {
            c = '\\';
        }
    }
    sb.makeFolder("desk");
    EXPECT_EXIT(
        {
            ktu::test::openGate();
#if defined(_WIN32)
            _putenv_s("KTU_TEST_DESKTOP", desk.c_str());
#else
            setenv("KTU_TEST_DESKTOP", desk.c_str(), 1);
#endif
            ScopedOverride reg(ktu::platform::ops().registry.readMachineString, desktopValue);
            ktuLogUtils::writeLog("Common", "default", 0);
            ktuLogUtils::writeLog("Common", "again", 0);
            auto texts = ktu::test::logTexts(sb.native("desk/Logs/output.log"));
            std::exit(texts == std::vector<std::string>{"Common-default", "Common-again"} ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
