// Registry settings: values round-trip under the base key, names compare
// without regard to case, and the POSIX store keeps every reported write
// through a writer being killed.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "ktuPlatform.h"
#include "ktuRegistryUtils.h"
#include "ktuTestSupport.h"
#include "systemTestSupport.h"

#if !defined(_WIN32)
#  include <signal.h>
#  include <sys/wait.h>
#  include <unistd.h>
#endif

namespace {

using ktu::test::uniqueName;

constexpr const char* kBase = "SOFTWARE\\Optic Pipeline";

// Each test works in a subkey of its own, deleted afterwards.
class RegistryTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const char* sub : {"\\inner\\deeper", "\\inner", ""}) {
            ktuRegistryUtils::deleteRegistryKey((key_ + sub).c_str());
        }
    }
    std::string key_ = uniqueName("ktu-test");
};

TEST_F(RegistryTest, ValuesReadBackInAnyCaseAndNestedKeysGoFromTheBottom)
{
    ASSERT_TRUE(ktuRegistryUtils::addStringValueToRegistryKey("Camera", "rtsp://10.0.0.5", key_.c_str()));
    char out[512] = "untouched";
    std::string upper = key_;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(ktuRegistryUtils::getStringValueFromRegistryKey("CAMERA", out, upper.c_str()));
    EXPECT_STREQ(out, "rtsp://10.0.0.5");
    ASSERT_TRUE(ktuRegistryUtils::addStringValueToRegistryKey("camera", "second", key_.c_str()));
    EXPECT_TRUE(ktuRegistryUtils::getStringValueFromRegistryKey("Camera", out, key_.c_str()));
    EXPECT_STREQ(out, "second");

    std::string inner = key_ + "\\inner", deep = inner + "\\deeper";
    ASSERT_TRUE(ktuRegistryUtils::addStringValueToRegistryKey("v", "1", deep.c_str()));
    EXPECT_TRUE(ktuRegistryUtils::validateAndUpdateBaseKey());  // keeps what is under the base key
    // A key with subkeys stays (as the registry refuses to delete it).
    EXPECT_TRUE(ktuRegistryUtils::deleteRegistryKey(inner.c_str()));
    EXPECT_TRUE(ktuRegistryUtils::getStringValueFromRegistryKey("v", out, deep.c_str()));
    EXPECT_TRUE(ktuRegistryUtils::deleteRegistryKey(deep.c_str()));
    EXPECT_FALSE(ktuRegistryUtils::getStringValueFromRegistryKey("v", out, deep.c_str()));
    // Deleting "nothing" must not touch the base key.
    EXPECT_TRUE(ktuRegistryUtils::deleteRegistryKey(""));
    EXPECT_TRUE(ktuRegistryUtils::deleteRegistryKey(nullptr));
    EXPECT_TRUE(ktuRegistryUtils::addStringValueToRegistryKey("v", "2", inner.c_str()));
}

TEST_F(RegistryTest, MissingValuesKeysAndLimits)
{
    char out[512] = "untouched";
    std::string missing = key_ + "-missing";
    // The whole key path holds at most 255 characters.
    std::string tooLong = key_ + std::string(255 - std::strlen(kBase) - key_.size(), 'k');
    for (const std::string& key : {missing, tooLong}) {
        EXPECT_FALSE(ktuRegistryUtils::getStringValueFromRegistryKey("present", out, key.c_str()));
        EXPECT_FALSE(ktuRegistryUtils::getStringValueFromRegistryKey((std::string(kBase) + "\\" + key).c_str(), out));
        EXPECT_STREQ(out, "untouched") << key;  // the key did not open: nothing written
    }
    EXPECT_TRUE(ktuRegistryUtils::deleteRegistryKey(missing.c_str()));
    EXPECT_FALSE(ktuRegistryUtils::addStringValueToRegistryKey("v", "x", tooLong.c_str()));
    EXPECT_FALSE(ktuRegistryUtils::addStringValueToRegistryKey("v", "x", nullptr));

    // 511 characters fit the read buffer with the terminator; 512 do not.
    std::string fits(511, 'a'), over(512, 'b');
    ASSERT_TRUE(ktuRegistryUtils::addStringValueToRegistryKey("fits", fits.c_str(), key_.c_str()));
    ASSERT_TRUE(ktuRegistryUtils::addStringValueToRegistryKey("over", over.c_str(), key_.c_str()));
    EXPECT_TRUE(ktuRegistryUtils::getStringValueFromRegistryKey("fits", out, key_.c_str()));
    EXPECT_EQ(std::string(out), fits);
    for (const char* name : {"over", "absent"}) {
        std::strcpy(out, "untouched");
        EXPECT_FALSE(ktuRegistryUtils::getStringValueFromRegistryKey(name, out, key_.c_str()));
        EXPECT_STREQ(out, "") << name;  // the key opened: the empty text
    }
    // A value the store does not take leaves the old one; the answer is the key's.
    {
        ktu::test::ScopedOverride refuse(ktu::platform::ops().registry.setStringValue,
                                         +[](ktu::platform::RegKey, const char*, const char*, uint32_t) { return false; });
        EXPECT_TRUE(ktuRegistryUtils::addStringValueToRegistryKey("fits", "new", key_.c_str()));
    }
    EXPECT_TRUE(ktuRegistryUtils::getStringValueFromRegistryKey("fits", out, key_.c_str()) && out == fits);
    // A null value is not set, but the key is made.
    EXPECT_TRUE(ktuRegistryUtils::addStringValueToRegistryKey("none", nullptr, key_.c_str()));
    EXPECT_FALSE(ktuRegistryUtils::getStringValueFromRegistryKey("none", out, key_.c_str()));

    ktu::test::openGate();  // for the log line of the fault
    EXPECT_FALSE(ktuRegistryUtils::getStringValueFromRegistryKey("fits", nullptr, key_.c_str()));
    EXPECT_EQ(ktu::test::desktopLogTexts().back(), "Common-ktuRegistryUtils::getValueFromRegistryKey()");
}

TEST(WindowRect, NumbersGoToTheirFieldsByTheCommasBeforeThem)
{
    struct Case { const char* text; RECT expected; };  // left, top, right, bottom; -7: not set
    const Case cases[] = {
        {"10,300,200,20", {10, 20, 300, 200}}, {"1,2,3,4", {1, 4, 2, 3}},       {"1,2", {1, -7, -7, -7}},
        {"", {-7, -7, -7, -7}},               {"1,2,3,4,5", {1, -7, 2, 3}},    {" -5,+6,x,12abc", {-5, 12, 6, 0}},
        {",,,", {0, 0, 0, 0}},                {"99999999999,-99999999999,1,2", {INT_MAX, 2, INT_MIN, 1}},
    };
    for (const Case& c : cases) {
        RECT rect{-7, -7, -7, -7};
        ktuRegistryUtils::getWindowRectFromString(&rect, c.text);
        EXPECT_EQ(std::vector<long>({rect.left, rect.top, rect.right, rect.bottom}),
                  std::vector<long>({c.expected.left, c.expected.top, c.expected.right, c.expected.bottom}))
            << c.text;
    }
    RECT rect{-7, -7, -7, -7};
    ktuRegistryUtils::getWindowRectFromString(&rect, ("1,2,3," + std::string(300, '4')).c_str());
    EXPECT_EQ(rect.left, -7);  // over-long text: refused whole
    ktuRegistryUtils::getWindowRectFromString(nullptr, "1,2,3,4");
    ktuRegistryUtils::getWindowRectFromString(&rect, nullptr);
}

#if !defined(_WIN32)

// A writer killed in the middle of its writes leaves a store that opens and
// holds every write reported done.
TEST(SettingsStore, KilledWriterLosesNoReportedWrite)
{
    std::string key = uniqueName("ktu-test");
    const std::string padding(200, 'p');
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeEnds[0]);
        for (uint32_t i = 0;; ++i) {
            std::string name = "w" + std::to_string(i);
            if (!ktuRegistryUtils::addStringValueToRegistryKey(name.c_str(), (name + padding).c_str(), key.c_str()) ||
                ::write(pipeEnds[1], &i, sizeof i) != sizeof i) {  // reported done
                ::_exit(1);
            }
        }
    }
    ::close(pipeEnds[1]);
    uint32_t reported = 0, last = 0;
    while (reported < 150 && ::read(pipeEnds[0], &last, sizeof last) == sizeof last) ++reported;
    ::kill(child, SIGKILL);
    while (::read(pipeEnds[0], &last, sizeof last) == sizeof last) ++reported;  // sent before the kill landed
    ::close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself";
    ASSERT_GE(reported, 150u);

    auto holds = [&key](const std::string& name, const std::string& value) {
        char out[512];
        return ktuRegistryUtils::getStringValueFromRegistryKey(name.c_str(), out, key.c_str()) && out == value;
    };
    for (uint32_t i = 0; i < reported; ++i) {
        std::string name = "w" + std::to_string(i);
        ASSERT_TRUE(holds(name, name + padding)) << i;
    }
    EXPECT_TRUE(ktuRegistryUtils::addStringValueToRegistryKey("after", "1", key.c_str()));
    ktuRegistryUtils::deleteRegistryKey(key.c_str());
}

#endif

}  // namespace
