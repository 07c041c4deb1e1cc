// Registry settings: round trips in any case, limits of key paths and values, the window rectangle text, and a
// killed writer of the POSIX store.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "ktuRegistryUtils.h"
#include "ktuTestSupport.h"
#include "systemTestSupport.h"

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

TEST_F(RegistryTest, RoundTripsNestedKeysAndLimits)
{
    ASSERT_TRUE(ktuRegistryUtils::addStringValueToRegistryKey("Camera", "rtsp://10.0.0.5", key_.c_str()));
    char out[512] = "untouched";
    std::string upper = key_;
    std::transform(key_.begin(), key_.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
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

    std::strcpy(out, "untouched");
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
        {"\t10,\v300,200,\r20", {10, 20, 300, 200}}, {"1,2,3,4", {1, 4, 2, 3}}, {"1,2", {1, -7, -7, -7}},
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

// A writer killed amid its writes leaves a store that opens and holds every write reported done.
TEST(SettingsStore, KilledWriterLosesNoReportedWrite)
{
    const std::string key = uniqueName("ktu-test"), padding(200, 'p');
    auto name = [](uint32_t i) { return "w" + std::to_string(i); };
    const uint32_t reported = ktu::test::killWriter(150, [&](uint32_t i) {
        return ktuRegistryUtils::addStringValueToRegistryKey(name(i).c_str(), (name(i) + padding).c_str(), key.c_str());
    });
    ASSERT_GE(reported, 150u);
    for (uint32_t i = 0; i < reported; ++i) {
        char out[512] = "";
        ASSERT_TRUE(ktuRegistryUtils::getStringValueFromRegistryKey(name(i).c_str(), out, key.c_str()) &&
                    out == name(i) + padding)
            << i;
    }
    EXPECT_TRUE(ktuRegistryUtils::addStringValueToRegistryKey("after", "1", key.c_str()));
    ktuRegistryUtils::deleteRegistryKey(key.c_str());
}

#endif

}  // namespace
