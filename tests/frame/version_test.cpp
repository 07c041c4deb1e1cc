// The version handshake and the gate it opens.
#include <cstdlib>
#include <cstring>
#include <string>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

// Runs `check` in a fresh process (whose gate is still closed); the test
// passes when it returns true there.
#define EXPECT_IN_FRESH_PROCESS(check) \
    EXPECT_EXIT(std::exit((check) ? 0 : 1), ::testing::ExitedWithCode(0), "")

bool acceptedAfter(const char* text)
{
    std::string copy(text);
    ktuLibVersionManagerUtils::validateVersion(copy.data());
    return ktuLibVersionManagerUtils::isValidVersion();
}

TEST(VersionHandshake, AcceptsTheSameWholeNumber)
{
    for (const char* text : {"4.02", "4", "4.7", "4.99", "  4abc", "+4"}) {
        SCOPED_TRACE(text);
        EXPECT_IN_FRESH_PROCESS(acceptedAfter(text));
    }
}

TEST(VersionHandshake, RefusesEverythingElseAndNeverCloses)
{
    EXPECT_IN_FRESH_PROCESS([] {
        for (const char* text : {"3.02", "3.99", "5.0", "", "abc", "-4", "40", "99999999999999999999999"}) {
            if (acceptedAfter(text)) {
                return false;
            }
        }
        ktuLibVersionManagerUtils::validateVersion(nullptr);
        if (ktuLibVersionManagerUtils::isValidVersion()) {
            return false;
        }
        // Once open, the gate stays open whatever comes next.
        return acceptedAfter("4.02") && acceptedAfter("9.0");
    }());
}

TEST(VersionHandshake, GetVersionWritesFiveBytesWithoutTheGate)
{
    EXPECT_IN_FRESH_PROCESS([] {
        char buffer[8];
        std::memset(buffer, 'x', sizeof buffer);
        bool ok = ktuLibVersionManagerUtils::getVersion(buffer);
        return ok && std::memcmp(buffer, "4.02\0xxx", 8) == 0 && KsUtils_getVersion(buffer) &&
               !KsUtils_getVersion(nullptr) && !ktuLibVersionManagerUtils::getVersion(nullptr) &&
               !ktuLibVersionManagerUtils::isValidVersion();
    }());
}

// Before the handshake, gated operations answer their failure value and
// touch nothing: no folder, no log line, no message box.
TEST(VersionHandshake, ClosedGateLeavesEverythingAlone)
{
    ktu::test::Sandbox sb;
    EXPECT_IN_FRESH_PROCESS([&] {
        ktu::test::MessageBoxRecorder boxes;
        long status = 7;
        bool untouched = !ktuLogUtils::setLogsDir(sb.path("logs").c_str()) &&
                         !ktuFilePathUtils::checkForLocalDrive("C:") &&
                         !ktuFilePathUtils::checkForSpecialCharacters("abc") &&
                         !ktuFilePathUtils::createNewFolder(sb.path().c_str(), "a") &&
                         !ktuFilePathUtils::checkOrCreateFolder(sb.path().c_str(), "b", false) &&
                         !ktuFilePathUtils::checkOrCreateFolder(sb.path("c").c_str(), false) &&
                         !ktuFilePathUtils::deleteFolder(sb.path().c_str(), sb.path().c_str());
        ktuFilePathUtils::createAllFolders(sb.path("d/e").c_str(), false, &status);
        ktuLogUtils::writeLog("Common", "text", 1);
        ktuLogUtils::writeLog("Common", "text", 2);  // would end the process
        ktuLogUtils::writeDebugLog("trace.txt", "Common", "text");
        ktuLogUtils::enableDisableLogs(false);
        return untouched && status == 7 && boxes.calls().empty() && std::filesystem::is_empty(sb.native());
    }());
}

TEST(LibraryFrame, DatalessClassesCopyAndAssign)
{
    ktuLogUtils a;
    ktuLogUtils b(a);
    EXPECT_EQ(&(b = a), &b);
    CKSUtilityClasses c;
    CKSUtilityClasses d;
    EXPECT_EQ(&(d = c), &d);
}

}  // namespace
