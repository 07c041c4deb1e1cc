// Before the version handshake: the gated system operations return their
// failure value and touch nothing; the registry operations, which are not
// gated, do their work.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ktuBufferUtils.h"
#include "ktuINIFileUtils.h"
#include "ktuProcessUtils.h"
#include "ktuRegistryUtils.h"
#include "ktuTestSupport.h"
#include "ktuTime.h"
#include "ktuTimeString.h"
#include "systemTestSupport.h"

namespace {

// Sets a stamp's two fields, which lie after its virtual table pointer
// (seconds, then milliseconds): no operation sets them before the handshake.
void setStamp(ktuTime& stamp, int32_t seconds, uint32_t milliseconds)
{
    char* fields = reinterpret_cast<char*>(&stamp) + sizeof(void*);
    std::memcpy(fields, &seconds, sizeof seconds);
    std::memcpy(fields + sizeof seconds, &milliseconds, sizeof milliseconds);
}

// The number of the first check that fails, 0 when all hold. Runs in a fresh
// copy of the program, where no handshake has been made.
int checksBeforeTheHandshake()
{
    ktu::test::Sandbox sb;
    const std::string content = "[S]\nk=old\n";
    sb.writeFile("app.ini", content);
    char out[500] = "untouched";
    char fallback[8] = "";
    if (ktuINIFileUtils::openFile(sb.path("app.ini").c_str()) != 0) return 1;
    if (ktuINIFileUtils::getTagValue("S", "k", out, fallback) != 0 || std::strcmp(out, "untouched") != 0 ||
        fallback[0] != '\0') {
        return 2;
    }
    if (ktuINIFileUtils::setTagValue("S", "k", "new") != 0) return 3;
    if (ktuINIFileUtils::clearFileContent() != 0 || ktuINIFileUtils::closeFile() != 0) return 4;
    if (sb.readFile("app.ini") != content) return 5;

    unsigned char source[4] = {1, 2, 3, 4};
    unsigned char destination[4] = {9, 9, 9, 9};
    if (ktuBufferUtils::getStartingBytes(source, 4, destination, 4) != 0 ||
        ktuBufferUtils::getEndBytes(source, 4, destination, 4) != 0 || destination[0] != 9 || destination[3] != 9) {
        return 6;
    }

    std::string program = ktu::test::uniqueName("ktugate") + ".exe";
    ktu::test::Child child;
    if (!ktu::test::startChild(ktu::test::makeSleeperProgram(sb.native(), program), child)) return 7;
    int count = ktuProcessUtils::checkIfProcessRunning(program.c_str());
    ktuProcessUtils::killAllRunningProcess(program.c_str());
    bool ended = ktu::test::waitChild(child, 1);
    ktu::test::endChild(child);
    if (count != 0 || ended) return 8;

    std::string key = ktu::test::uniqueName("ktu-gate");
    char value[512] = "";
    if (!ktuRegistryUtils::validateAndUpdateBaseKey() ||
        !ktuRegistryUtils::addStringValueToRegistryKey("Camera", "front", key.c_str()) ||
        !ktuRegistryUtils::getStringValueFromRegistryKey("Camera", value, key.c_str()) ||
        std::strcmp(value, "front") != 0) {
        return 9;
    }
    if (!ktuRegistryUtils::deleteRegistryKey(key.c_str()) ||
        ktuRegistryUtils::getStringValueFromRegistryKey("Camera", value, key.c_str())) {
        return 10;
    }
    RECT rect{0, 0, 0, 0};
    ktuRegistryUtils::getWindowRectFromString(&rect, "10,300,200,20");
    if (rect.left != 10 || rect.right != 300 || rect.bottom != 200 || rect.top != 20) return 11;

    // A new stamp reads no clock. Copying a stamp is not gated; assigning one
    // reads the gated getters, so the target's fields become 0.
    ktuTime stamp;
    setStamp(stamp, 1234, 567);
    ktuTime copy(stamp);
    ktuTime target;
    setStamp(target, 99, 99);
    target = stamp;
    ktuTime early;
    early.resetSeconds(5);
    char text[32] = "untouched";
    ktuTimeString::getTimeString(SYSTEMTIME{2010, 1, 0, 1, 0, 0, 0, 0}, 3, text);
    if ((copy - early) != 0 || std::strcmp(text, "untouched") != 0) return 12;

    // openFile before the handshake left no current file behind.
    ktu::test::openGate();
    if (ktuINIFileUtils::setTagValue("S", "k", "new") != -2 || sb.readFile("app.ini") != content) return 13;
    if (copy.getSeconds() != 1234 || copy.getMilliSeconds() != 567) return 14;
    if (target.getSeconds() != 0 || target.getMilliSeconds() != 0) return 15;
    if (early.getSeconds() != 0 || early.getMilliSeconds() != 0) return 16;
    return 0;
}

TEST(SystemGate, GatedOperationsDoNothingAndTheRegistryWorks)
{
    // 1-5 INI, 6 buffers, 7-8 processes, 9-11 registry, 12 time, 13 the
    // current INI file, 14-16 stamps copied, assigned and made.
    EXPECT_EXIT(std::exit(checksBeforeTheHandshake()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
