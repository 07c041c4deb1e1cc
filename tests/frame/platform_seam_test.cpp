// The platform seam's own rules, on whichever platform the tests run.
#include <cstdlib>
#include <cstring>
#include <string>

#include "ktuTestSupport.h"

namespace {

using ktu::platform::systemOps;

// Size queries follow the Windows rule: the length written, or the size
// needed (terminator included) when the buffer is too small.
TEST(PlatformSeam, SizeQueriesAnswerTheSizeNeeded)
{
    const auto& fs = systemOps().fs;
    struct Query {
        const char* name;
        uint32_t (*call)(char*, uint32_t);
    } queries[] = {{"getCurrentDir", fs.getCurrentDir}, {"logicalDriveStrings", fs.logicalDriveStrings}};
    for (const auto& q : queries) {
        char big[4096];
        std::memset(big, 'x', sizeof big);
        uint32_t length = q.call(big, sizeof big);
        ASSERT_GT(length, 0u) << q.name;
        EXPECT_EQ(big[length], '\0') << q.name;
        EXPECT_NE(big[length - 1], 'x') << q.name;

        char tiny[2] = {'x', 'x'};
        EXPECT_EQ(q.call(tiny, sizeof tiny), length + 1) << q.name;
        EXPECT_EQ(q.call(nullptr, 0), length + 1) << q.name;
    }
}

#if defined(_WIN32)
void setVar(const char* name, const char* value)
{
    _putenv_s(name, value);  // "" removes the variable
}

// Without a "Common Desktop" value the shared profile's Desktop is used.
TEST(PlatformSeam, FallbackDesktopIsTheSharedProfileDesktop)
{
    std::string savedPublic = std::getenv("PUBLIC") ? std::getenv("PUBLIC") : "";
    std::string savedAll = std::getenv("ALLUSERSPROFILE") ? std::getenv("ALLUSERSPROFILE") : "";
    struct Case {
        const char* publicDir;
        const char* allUsers;
        uint32_t size;
        const char* expected;  // null: no fallback
    } cases[] = {
        {"C:\\Users\\Public", "C:\\ProgramData", 260, "C:\\Users\\Public\\Desktop"},
        {"", "C:\\Documents and Settings\\All Users", 260, "C:\\Documents and Settings\\All Users\\Desktop"},
        {"", "", 260, nullptr},
        {"C:\\P", "", 13, "C:\\P\\Desktop"},  // exactly fits with its terminator
        {"C:\\P", "", 12, nullptr},
    };
    for (const auto& c : cases) {
        setVar("PUBLIC", c.publicDir);
        setVar("ALLUSERSPROFILE", c.allUsers);
        char buffer[300];
        std::memset(buffer, 'x', sizeof buffer);
        bool found = systemOps().ui.fallbackDesktopDir(buffer, c.size);
        EXPECT_EQ(found, c.expected != nullptr) << c.publicDir << " / " << c.allUsers << " / " << c.size;
        if (found && c.expected != nullptr) {
            EXPECT_STREQ(buffer, c.expected);
        }
        EXPECT_EQ(buffer[c.size], 'x');  // nothing beyond the buffer
    }
    setVar("PUBLIC", savedPublic.c_str());
    setVar("ALLUSERSPROFILE", savedAll.c_str());
}

// A stream opened to deny writers keeps other writers out until it closes.
TEST(PlatformSeam, DenyWriteStreamsKeepWritersOut)
{
    ktu::test::Sandbox sb;
    const std::string file = sb.path("shared.log");
    const auto& fs = systemOps().fs;
    std::FILE* held = fs.openStream(file.c_str(), "at", ktu::platform::ShareMode::DenyWrite);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(fs.openStream(file.c_str(), "at", ktu::platform::ShareMode::Any), nullptr);
    std::FILE* reader = fs.openStream(file.c_str(), "rt", ktu::platform::ShareMode::Any);
    EXPECT_NE(reader, nullptr);
    if (reader != nullptr) {
        std::fclose(reader);
    }
    std::fclose(held);
    std::FILE* again = fs.openStream(file.c_str(), "at", ktu::platform::ShareMode::Any);
    EXPECT_NE(again, nullptr);
    if (again != nullptr) {
        std::fclose(again);
    }
}
#endif

}  // namespace
