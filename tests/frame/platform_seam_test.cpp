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
    for (auto query : {fs.getCurrentDir, fs.logicalDriveStrings}) {
        char big[4096];
        std::memset(big, 'x', sizeof big);
        uint32_t length = query(big, sizeof big);
        ASSERT_GT(length, 0u);
        EXPECT_EQ(big[length], '\0');
        EXPECT_NE(big[length - 1], 'x');
        char tiny[2] = {'x', 'x'};
        EXPECT_EQ(query(tiny, sizeof tiny), length + 1);
        EXPECT_EQ(query(nullptr, 0), length + 1);
    }
}

#if defined(_WIN32)
// Without a "Common Desktop" value the shared profile's Desktop is used.
TEST(PlatformSeam, FallbackDesktopIsTheSharedProfileDesktop)
{
    const std::string saved[] = {std::getenv("PUBLIC") ? std::getenv("PUBLIC") : "",
                                 std::getenv("ALLUSERSPROFILE") ? std::getenv("ALLUSERSPROFILE") : ""};
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
        _putenv_s("PUBLIC", c.publicDir);  // "" removes the variable
        _putenv_s("ALLUSERSPROFILE", c.allUsers);
        char buffer[300];
        std::memset(buffer, 'x', sizeof buffer);
        SCOPED_TRACE(std::string(c.publicDir) + " / " + c.allUsers + " / " + std::to_string(c.size));
        const bool found = systemOps().ui.fallbackDesktopDir(buffer, c.size);
        EXPECT_EQ(found, c.expected != nullptr);
        EXPECT_STREQ(found ? buffer : nullptr, c.expected);
        EXPECT_EQ(buffer[c.size], 'x');  // nothing beyond the buffer
    }
    _putenv_s("PUBLIC", saved[0].c_str());
    _putenv_s("ALLUSERSPROFILE", saved[1].c_str());
}

// A stream opened to deny writers keeps other writers out until it closes.
TEST(PlatformSeam, DenyWriteStreamsKeepWritersOut)
{
    ktu::test::Sandbox sb;
    const std::string file = sb.path("shared.log");
    const auto& fs = systemOps().fs;
    using ktu::platform::ShareMode;
    std::FILE* held = fs.openStream(file.c_str(), "at", ShareMode::DenyWrite);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(fs.openStream(file.c_str(), "at", ShareMode::Any), nullptr);
    for (std::FILE* reader : {fs.openStream(file.c_str(), "rt", ShareMode::Any), held}) {
        ASSERT_NE(reader, nullptr);
        std::fclose(reader);
    }
    std::FILE* again = fs.openStream(file.c_str(), "at", ShareMode::Any);
    ASSERT_NE(again, nullptr);
    std::fclose(again);
}
#endif

}  // namespace
