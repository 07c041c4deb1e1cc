// INI files: one scenario table answered alike by the seam's profile functions and the INI engine, the
// current-file operations, and on POSIX who may write, what a write keeps, killed writers and readers.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ktuFilePathUtils.h"
#include "ktuINIFileUtils.h"
#include "ktuIniEngine.h"
#include "ktuIniPath.h"
#include "ktuPlatform.h"
#include "ktuTestSupport.h"
#include "systemTestSupport.h"

#if !defined(_WIN32)
#  include <sys/stat.h>
#  include <sys/wait.h>
#  include <sys/xattr.h>
#  include <unistd.h>

#  include <chrono>
#  include <random>
#  include <thread>
#endif

namespace {

namespace fs = std::filesystem;
using ktu::test::Sandbox;

constexpr const char* kNull = "\x01<null>";  // stands for a null pointer in the table

const char* arg(const char* text) { return std::strcmp(text, kNull) == 0 ? nullptr : text; }

enum class Op { Get, Set };

// Get: `text` is the default, `result` the characters and `answer` the first result + 1 bytes of a buffer of
// `size`. Set: `text` is the value and `result` 1 or 0.
struct Step { Op op; const char *section, *key, *text; uint32_t size; long result; std::string answer; };

Step get(const char* section, const char* key, const char* fallback, long n, std::string answer, uint32_t size = 64)
{ return Step{Op::Get, section, key, fallback, size, n, std::move(answer)}; }
Step set(const char* section, const char* key, const char* value, long ok = 1)
{ return Step{Op::Set, section, key, value, 0, ok, ""}; }

std::string z(const char* text, std::size_t n) { return std::string(text, n); }  // with zero bytes

struct Scenario { const char* name; const char* content /* null: no file */; std::vector<Step> steps; };

const char* const kLookupFile =
    "; top comment\r\n  top = 1 \r\n\r\n[ Sec ]\r\nx=1\r\n[Alpha]\r\n  Key1 =  \"quoted\"  \r\nkey2='single'\r\n"
    "key3=\"half\r\n; comment in alpha\r\n\r\nnovalue\r\nempty=\r\n=eqstart\r\nKey1=dup\r\n\r\n\r\n[beta]\r\nb=2\r\n"
    "[alpha]\r\nkey4=second section\r\n";

const char* const kOddFile =
    "[a]\nq1=\"\nq2=\"\"\nq3=\" a \"\nq4='x\"\nq5=\"quoted\"\n[broken\nk=1\n[b]junk\nbk=2\n[c]d]\ncd=3\n[empty]\n"
    "[tabs]\n\tt\t=\tv\t\n[ \n";

const char* const kRepeatFile = "[a]\nk=1\n[b]\nx=1\n[A]\nk=2\nm=3\n[c]\n;c=5\n=\n[d]\nfirst=\n";

std::vector<Scenario> scenarios()
{
    return {
        {"lookup", kLookupFile, {
             get("alpha", "KEY1", "def  ", 6, z("quoted", 7)), get("Alpha", "key2", "def  ", 6, z("single", 7)),
             get("Alpha", "key3", "def  ", 5, z("\"half", 6)), get("Alpha", "novalue", "def  ", 3, z("def", 4)),
             get("Alpha", "empty", "def  ", 0, z("", 1)),
             get("Alpha", "key4", "def  ", 3, z("def", 4)),  // only the first [alpha] counts
             get(" Alpha ", "  key1 ", "def", 6, z("quoted", 7)), get("", "top", "def", 1, z("1", 2)),
             get("Alpha", "", "def", 7, z("eqstart", 8)), get("Alpha", "; comment in alpha", "def", 3, z("def", 4)),
             get("Alpha", kNull, "d", 27, z("Key1\0key2\0key3\0empty\0\0Key1\0\0", 28)),
             get(kNull, kNull, "d", 21, z("Sec\0Alpha\0beta\0alpha\0\0", 22)),
             get("Alpha", kNull, "d", 8, z("Key1\0key\0\0", 9), 10), get("Alpha", "Key1", "d", 3, z("quo", 4), 4),
             get("nosec", kNull, "dd ", 3, z("dd ", 4)), get("Alpha", "zz", kNull, 0, z("", 1)),
         }},
        {"changes", kLookupFile, {
             set("ALPHA", "key2", "  new value  "), get("Alpha", "KEY2", "d", 9, z("new value", 10)),
             set("Alpha", "newkey", "nv"),
             get("Alpha", kNull, "d", 34, z("Key1\0key2\0key3\0empty\0\0Key1\0newkey\0\0", 35)),
             set("Gamma", "g", "1"), get(kNull, kNull, "d", 27, z("Sec\0Alpha\0beta\0alpha\0Gamma\0\0", 28)),
             get("gamma", "G", "d", 1, z("1", 2)), set("beta", "b", kNull),
             get("beta", kNull, "d", 1, z("d", 2)), set("Sec", kNull, kNull),
             get(kNull, kNull, "d", 23, z("Alpha\0beta\0alpha\0Gamma\0\0", 24)), get("Sec", "x", "d", 1, z("d", 2)),
             get("", "top", "d", 1, z("1", 2)),
         }},
        {"odd lines and quotes", kOddFile, {
             get("a", "q1", "def", 1, z("\"", 2)), get("a", "q2", "def", 0, z("", 1)),
             get("a", "q3", "def", 3, z(" a ", 4)), get("a", "q4", "def", 3, z("'x\"", 4)),
             get("a", "k", "def", 1, z("1", 2)), get("a", "[broken", "def", 3, z("def", 4)),
             get("b", "bk", "def", 1, z("2", 2)), get("c]d", "cd", "def", 1, z("3", 2)),
             get("tabs", "t", "def", 1, z("v", 2)), get("", "", "def", 3, z("def", 4)),
             get("a", "q5", "d", 5, z("quote", 6), 7), get("a", "q5", "d", 6, z("quoted", 7), 8),
             get(kNull, "q1", "d", 19, z("a\0b\0c]d\0empty\0tabs\0\0", 20)),
             get("empty", kNull, "dflt", 4, z("dflt", 5)), get("a", "zz", "'dq'", 2, z("dq", 3)),
             get("a", "zz", "  lead", 6, z("  lead", 7)), get("a", "zz", "abcdefgh", 3, z("abc", 4), 4),
             get(kNull, kNull, "d", 6, z("a\0b\0c]\0\0", 7), 8), get("a", "q5", "d", 0, z("", 1), 1),
             set(" a ", " q1 ", " v "), get("a", "q1", "d", 1, z("v", 2)), set("a", "new key", "x=y"),
             get("A", "NEW KEY", "d", 3, z("x=y", 4)), set("", "nokey", "top"), get("", "nokey", "d", 3, z("top", 4)),
         }},
        {"repeated sections", kRepeatFile, {
             get("c", ";c", "d", 1, z("5", 2)), get("c", kNull, "d  ", 3, z("d  ", 4)),
             get("d", kNull, "'q' ", 6, z("first\0\0", 7)), get("zz", kNull, "'q' ", 4, z("'q' ", 5)),
             get("zz", kNull, "\"q\"", 1, z("q", 2)),
             set("a", kNull, kNull), get(kNull, kNull, "d", 8, z("b\0A\0c\0d\0\0", 9)),
             get("a", "k", "d", 1, z("2", 2)),
         }},
        // Names with blanks around them are found by a key's lookup, not by a listing or a deletion.
        {"blanks around names", "[main]\nkey=1\n[t]\nx=2\n", {
             get(" main ", kNull, "d", 1, z("d", 2)), get(" main ", " key ", "d", 1, z("1", 2)),
             set("main", " key ", kNull), set(" t ", kNull, kNull), set(" main ", "key", kNull),
             get(kNull, kNull, "d", 7, z("main\0t\0\0", 8)), get("main", kNull, "d", 4, z("key\0\0", 5)),
             set(" main ", " key ", " 3"), get("MAIN", "KEY", "d", 1, z("3", 2)),
         }},
        {"new file", nullptr, {
             get("S", "k", "d", 1, z("d", 2)), get(kNull, kNull, "d", 0, z("", 1)), set("S", kNull, kNull),
             set("S", "k", kNull), get(kNull, kNull, "d", 0, z("", 1)), set("S", "", "e"),
             get("S", "", "d", 1, z("e", 2)), set("", "k", "e"), get("", "k", "d", 1, z("e", 2)),
             get(kNull, kNull, "d", 2, z("S\0\0", 3)), set("S", "k", ""), get("S", "k", "d", 0, z("", 1)),
             set(kNull, "k", "v", 0),
         }},
    };
}

// The seam (on a file) and the engine (on the text alone) both give the answers of the table.
TEST(ProfileScenarios, AnswersMatchTheWindowsProfileFunctions)
{
    auto& profile = ktu::platform::ops().profile;
    for (const Scenario& scenario : scenarios()) {
        Sandbox sb;
        std::string file = sb.path("settings.ini");
        if (scenario.content != nullptr) sb.writeFile("settings.ini", scenario.content);
        bool exists = scenario.content != nullptr;
        std::string text = exists ? scenario.content : "";
        int index = 0;
        for (const Step& step : scenario.steps) {
            SCOPED_TRACE(std::string(scenario.name) + " step " + std::to_string(index++));
            if (step.op == Op::Set) {
                EXPECT_EQ(profile.writeString(arg(step.section), arg(step.key), arg(step.text), file.c_str()),
                          step.result == 1);
                ktu::ini::Profile engine(text);
                if (step.section != kNull &&
                    ktu::ini::applyChange(engine, arg(step.section), arg(step.key), arg(step.text))) {
                    text = engine.joined();
                    exists = true;
                }
                continue;
            }
            for (bool byEngine : {false, true}) {
                SCOPED_TRACE(byEngine ? "engine" : "seam");
                char buffer[64];
                std::memset(buffer, '#', sizeof buffer);
                const ktu::ini::Profile engine(text);
                uint32_t n = byEngine ? ktu::ini::getString(exists ? &engine : nullptr, arg(step.section),
                                                            arg(step.key), arg(step.text), buffer, step.size)
                                      : profile.getString(arg(step.section), arg(step.key), arg(step.text), buffer,
                                                          step.size, file.c_str());
                ASSERT_EQ(static_cast<long>(n), step.result);
                EXPECT_EQ(std::string(buffer, n + 1), step.answer);  // gtest shows the zero bytes
            }
        }
    }

    // Files that cannot be written; a deletion in a missing file succeeds without making it.
    Sandbox sb;
    EXPECT_FALSE(profile.writeString("S", "k", "v", sb.path("missing/settings.ini").c_str()));
    EXPECT_FALSE(profile.writeString("S", "k", "v", ""));
    EXPECT_TRUE(profile.writeString("S", "k", nullptr, sb.path("none.ini").c_str()));
    EXPECT_FALSE(sb.exists("none.ini"));
    char buffer[16];
    EXPECT_EQ(profile.getString("S", "k", "d", buffer, sizeof buffer, ""), 1u);
    EXPECT_STREQ(buffer, "d");
}

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override { ktu::test::openGate(); }
    void TearDown() override { ktuINIFileUtils::closeFile(); }
    Sandbox sb;
};

TEST_F(IniFileTest, CurrentFileDefaultsAndFaults)
{
    std::string path = sb.path("app.ini");
    sb.writeFile("app.ini", "[Camera]\nName=\nFps=25\nLong=" + std::string(600, 'v') + "\n");
    ASSERT_EQ(ktuINIFileUtils::openFile(path.c_str()), 1);
    struct Case { const char *key, *fallback; long result; std::string out; const char* fallbackAfter; };
    const Case cases[] = {
        {"Missing", "", 1, "0", "0"},  // an empty default becomes "0", in the caller's buffer too
        {"Missing", "15", 1, "15", "15"}, {"Fps", "", 1, "25", "0"}, {"Long", "", 1, std::string(499, 'v'), "0"},
        {"Name", "15", -2, "before", "15"},  // an empty value: -2 and `out` untouched
    };
    for (const Case& c : cases) {
        char out[500] = "before";
        char fallback[8];
        std::strcpy(fallback, c.fallback);
        EXPECT_EQ(ktuINIFileUtils::getTagValue("Camera", c.key, out, fallback), c.result) << c.key;
        EXPECT_EQ(std::string(out), c.out) << c.key;
        EXPECT_STREQ(fallback, c.fallbackAfter) << c.key;
    }
    // Paths of up to 259 characters are taken.
    const std::string longest = sb.path(std::string(259 - sb.path().size() - 1, 'n'));
    EXPECT_EQ(ktuINIFileUtils::openFile(nullptr), 0);
    EXPECT_EQ(ktuINIFileUtils::openFile((longest + "n").c_str()), 0);
    EXPECT_EQ(ktuINIFileUtils::setTagValue("Camera", "e", ""), 1);  // the earlier file is still current
    char out[500] = "";
    char fallback[2] = "";
    EXPECT_EQ(ktuINIFileUtils::getTagValue("Camera", "Fps", out, nullptr), 0);
    EXPECT_EQ(ktu::test::desktopLogTexts().back(), "KSUtilityClasses-ktuINIFileUtils::getTagValue");
    EXPECT_EQ(ktuINIFileUtils::getTagValue("Camera", "Fps", nullptr, fallback), 0);
    EXPECT_EQ(ktuINIFileUtils::getTagValue("Camera", "e", nullptr, fallback), -2);  // nothing read: `out` unused

    // Closing, or making an object, forgets the current file.
    EXPECT_EQ(ktuINIFileUtils::closeFile(), 1);
    EXPECT_EQ(ktuINIFileUtils::setTagValue("S", "k", "v"), -2);
    EXPECT_EQ(ktuINIFileUtils::clearFileContent(), -1);
    ASSERT_EQ(ktuINIFileUtils::openFile(path.c_str()), 1);
    ktuINIFileUtils forget;
    EXPECT_EQ(ktuINIFileUtils::setTagValue("S", "k", "v"), -2);
    EXPECT_EQ(ktuINIFileUtils::openFile(longest.c_str()), 1);
    EXPECT_EQ(ktuINIFileUtils::openFile(sb.path("conf/new.ini").c_str()), 1);  // makes the folder
    EXPECT_EQ(ktuINIFileUtils::setTagValue("Camera", "Fps", "25"), 1);
    EXPECT_EQ(sb.readFile("conf/new.ini"), "[Camera]\r\nFps=25\r\n");
}

// Each part lands in a heap buffer of exactly 256 bytes (ASan sees a write past it); too long: nothing written.
TEST(IniPathSplit, EveryLengthFrom240To270)
{
    // path = head + k * middle + tail; `longest` splits, longer not; folder = folderHead (+ k chars if it grows).
    struct Shape { const char* name; std::string head; char middle; std::string tail; std::size_t longest;
                   std::string folderHead; bool folderGrows; };
    const Shape shapes[] = {
        {"drive, long folder", "C:/", 'f', "/a", 257, "C:/", true},  // the folder is the path less "/a"
        {"drive, long name", "C:\\", 'n', ".ini", 258, "C:", false},  // the name is the path less "C:\"
        {"native, long folder", "/", 'f', "/a", 256, "/", true},
        {"native, long name", "/", 'n', ".ini", 256, "", false},  // no folder to make
    };
    const std::vector<char> untouched(ktu::kIniPartSize, '#');
    for (const Shape& shape : shapes) {
        for (std::size_t length = 240; length <= 270; ++length) {
            std::size_t k = length - shape.head.size() - shape.tail.size();
            std::string path = shape.head + std::string(k, shape.middle) + shape.tail;
            SCOPED_TRACE(std::string(shape.name) + ", " + std::to_string(length) + " characters");
            std::vector<char> folder = untouched, fileName = untouched;
            bool split = ktu::splitIniPath(path.c_str(), folder.data(), fileName.data());
            ASSERT_EQ(split, length <= shape.longest);
            if (!split) {
                EXPECT_EQ(folder, untouched);
                EXPECT_EQ(fileName, untouched);
                continue;
            }
            EXPECT_EQ(std::string(folder.data()), shape.folderHead + (shape.folderGrows ? std::string(k, 'f') : ""));
            EXPECT_EQ(std::string(fileName.data()), shape.folderGrows ? "a" : std::string(k, 'n') + ".ini");
        }
    }
}

#if !defined(_WIN32)

struct stat statOf(const fs::path& file)
{
    struct stat info {};
    EXPECT_EQ(::stat(file.c_str(), &info), 0) << file;
    return info;
}

// Unchanged bytes stay, new files get Windows line ends, mode and links stay.
TEST(ProfileEngine, UnrelatedLinesPermissionsAndLinksStay)
{
    Sandbox sb;
    sb.writeFile("app.ini",
                 "; viewer\n\n[Camera]  \n  Name = front door   ; kept\nFps=25\n\n# a line\n\n[Display]\nWidth = 640");
    auto& profile = ktu::platform::ops().profile;
    std::string file = sb.path("app.ini");
    ASSERT_TRUE(profile.writeString("camera", "FPS", "30", file.c_str()));
    ASSERT_TRUE(profile.writeString("Camera", "Zoom", "2", file.c_str()));
    ASSERT_TRUE(profile.writeString("Display", "Height", "480", file.c_str()));
    ASSERT_TRUE(profile.writeString("Audio", "Volume", "7", file.c_str()));
    EXPECT_EQ(sb.readFile("app.ini"), "; viewer\n\n[Camera]  \n  Name = front door   ; kept\nFps=30\n\n# a line\n"
                                      "Zoom=2\n\n[Display]\nWidth = 640\nHeight=480\n[Audio]\nVolume=7\n");

    ASSERT_TRUE(profile.writeString("S", "k", "v", sb.path("new.ini").c_str()));
    ::chmod(sb.native("new.ini").c_str(), 0640);
    fs::create_symlink(sb.native("new.ini"), sb.native("link.ini"));
    ASSERT_TRUE(profile.writeString("S", "k2", "w", sb.path("link.ini").c_str()));
    EXPECT_TRUE(fs::is_symlink(sb.native("link.ini")));
    EXPECT_EQ(sb.readFile("new.ini"), "[S]\r\nk=v\r\nk2=w\r\n");
    EXPECT_EQ(statOf(sb.native("new.ini")).st_mode & 0777, 0640u);
}

constexpr unsigned kRoot = 0;
constexpr unsigned kNobody = 65534;
const std::string kOld = "[S]\nk=old\n";
const std::string kNew = "[S]\nk=new\n";

class IniWriteTest : public IniFileTest {
public:
    void SetUp() override
    {
        IniFileTest::SetUp();
        if (::geteuid() != 0) GTEST_SKIP() << "needs root, to act as other users";
        ::chmod(sb.native().c_str(), 0777);
        if (std::string why = ktu::test::unreachableBy(kNobody, sb.native()); !why.empty()) GTEST_SKIP() << why;
    }
    // `relative` holding `content`, owned by `owner` (its group the same number), of `mode`.
    void make(const std::string& relative, const std::string& content, unsigned owner, mode_t mode)
    {
        sb.writeFile(relative, content);
        ASSERT_EQ(::chown(sb.native(relative).c_str(), owner, owner), 0);
        ASSERT_EQ(::chmod(sb.native(relative).c_str(), mode), 0);
    }
    // openFile, then setTagValue("S", "k", "new") or clearFileContent, as `user`: the answer.
    long writeAs(unsigned user, const std::string& path, bool clear = false)
    {
        return ktu::test::runAs(user, [&] {
                   ktuINIFileUtils::openFile(path.c_str());
                   return static_cast<int>(10 + (clear ? ktuINIFileUtils::clearFileContent()
                                                       : ktuINIFileUtils::setTagValue("S", "k", "new")));
               }) - 10;
    }
};

// "f/app.ini" holding kOld, written (or emptied) as `writer`: whatever the answer, it keeps its owner and mode.
TEST_F(IniWriteTest, WhoMayWriteAndWhatTheFileKeeps)
{
    struct Row { const char* name; unsigned owner; mode_t mode, folderMode; bool hardLinked, clear; unsigned writer;
                 long answer; const std::string& content; bool sameInode; };
    const Row rows[] = {
        {"read-only file, root", kRoot, 0444, 0777, false, false, kRoot, -2, kOld, true},
        {"read-only file, its unprivileged owner", kNobody, 0464, 0777, false, false, kNobody, -2, kOld, true},
        {"read-only file emptied, root", kRoot, 0444, 0777, false, true, kRoot, -1, kOld, true},
        {"another user's file, root", kNobody, 0600, 0777, false, false, kRoot, 1, kNew, false},
        {"root's file that everyone may write, unprivileged", kRoot, 0666, 0777, false, false, kNobody, 1, kNew, true},
        {"root's file that only root may write, unprivileged", kRoot, 0644, 0777, false, false, kNobody, -2, kOld,
         true},
        {"own file in a folder that refuses new files", kNobody, 0644, 0555, false, false, kNobody, 1, kNew, true},
        {"hard-linked file", kRoot, 0644, 0777, true, false, kRoot, 1, kNew, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(sb.native("f"));
        sb.makeFolder("f");
        make("f/app.ini", kOld, row.owner, row.mode);
        if (row.hardLinked) fs::create_hard_link(sb.native("f/app.ini"), sb.native("f/other.ini"));
        ::chmod(sb.native("f").c_str(), row.folderMode);
        ino_t inode = statOf(sb.native("f/app.ini")).st_ino;
        EXPECT_EQ(writeAs(row.writer, sb.path("f/app.ini"), row.clear), row.answer);
        EXPECT_EQ(sb.readFile("f/app.ini"), row.content);
        struct stat after = statOf(sb.native("f/app.ini"));
        EXPECT_EQ(after.st_uid, row.owner);
        EXPECT_EQ(after.st_mode & 07777, row.mode);
        EXPECT_EQ(after.st_ino == inode, row.sameInode);
        if (row.hardLinked) {
            EXPECT_EQ(sb.readFile("f/other.ini"), kNew);
        }
        EXPECT_FALSE(fs::exists(sb.native("f/.~ktu-ini.tmp")));
    }

    // A replaced file keeps group and xattrs; a temporary file fits beside a 255-byte name; new files are the writer's.
    const std::string longest = std::string(251, 'n') + ".ini";
    make(longest, kOld, kNobody, 0640);
    ASSERT_EQ(::chown(sb.native(longest).c_str(), kNobody, 100), 0);
    bool xattrs = ::setxattr(sb.native(longest).c_str(), "user.origin", "camera", 6, 0) == 0;
    EXPECT_EQ(writeAs(kRoot, sb.path(longest)), 1);
    EXPECT_EQ(sb.readFile(longest), kNew);
    EXPECT_EQ(statOf(sb.native(longest)).st_gid, 100u);
    char value[16] = "";
    if (xattrs) ::getxattr(sb.native(longest).c_str(), "user.origin", value, sizeof value);
    EXPECT_STREQ(value, xattrs ? "camera" : "");

    const std::string fresh = std::string(251, 'm') + ".ini";
    EXPECT_EQ(writeAs(kNobody, sb.path(fresh)), 1);
    EXPECT_EQ(sb.readFile(fresh), "[S]\r\nk=new\r\n");
    EXPECT_EQ(statOf(sb.native(fresh)).st_uid, kNobody);
    // A '-' in TMPDIR is a character folder names may not hold: nothing is made then.
    if (!ktuFilePathUtils::checkForSpecialCharacters(sb.native().string().c_str())) return;
    EXPECT_EQ(writeAs(kNobody, sb.native("made/here/app.ini").string()), 1);
    EXPECT_EQ(sb.readFile("made/here/app.ini"), "[S]\r\nk=new\r\n");
    EXPECT_EQ(statOf(sb.native("made/here")).st_uid, kNobody);
}

// Writers replace, write in place (hard link) and rename new files; the value before the section read is 60000
// bytes and 1 by turns, so a reader mixing two versions misses the section and reads the default.
TEST(ProfileLocks, ReadersNeverSeeAHalfWrittenFile)
{
    Sandbox sb;
    const std::string start = "[w]\nv=0\n[s]\nk=1\n";
    sb.writeFile("replaced.ini", start);
    sb.writeFile("linked.ini", start);
    fs::create_hard_link(sb.native("linked.ini"), sb.native("second.ini"));
    const std::string files[] = {sb.path("replaced.ini"), sb.path("linked.ini")};
    auto newFile = [](int i) { return "new" + std::to_string(i) + ".ini"; };
    const int writes = 150;
    auto& profile = ktu::platform::ops().profile;
    // Children 0-2 write, then leave "done<i>"; 3-7 read until all are done. Exit code: the count of faults.
    std::vector<pid_t> children;
    for (int child = 0; child < 8; ++child) {
        if (pid_t pid = ::fork(); pid != 0) {
            children.push_back(pid);
            continue;
        }
        int wrong = 0;
        char buffer[8];
        for (int i = 0; child < 3 && i < writes; ++i) {
            std::string value(i % 2 == 0 ? 60000 : 1, 'x');
            wrong += !(child < 2 ? profile.writeString("w", "v", value.c_str(), files[child].c_str())
                                 : profile.writeString("s", "k", "1", sb.path(newFile(i)).c_str()));
        }
        if (child < 3) sb.writeFile("done" + std::to_string(child), "");
        auto allDone = [&] { return sb.exists("done0") && sb.exists("done1") && sb.exists("done2"); };
        for (int i = 0, next = 0; child >= 3 && !allDone(); ++i) {
            profile.getString("s", "k", "-", buffer, sizeof buffer, files[i % 2].c_str());
            wrong += buffer[0] != '1';
            if (next < writes && sb.exists(newFile(next))) {
                profile.getString("s", "k", "-", buffer, sizeof buffer, sb.path(newFile(next++)).c_str());
                wrong += buffer[0] != '1';
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));  // lets the writers take their turn
        }
        ::_exit(wrong > 99 ? 99 : wrong);
    }
    int failures = 0;
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        failures += WIFEXITED(status) ? WEXITSTATUS(status) : 1000;
    }
    EXPECT_EQ(failures, 0) << "failed writes, or reads that missed the section";
    EXPECT_EQ(sb.readFile("second.ini"), sb.readFile("linked.ini"));
}

// A killed writer leaves one whole write, and never loses the key this process wrote meanwhile under the lock.
TEST_F(IniFileTest, KilledWriterLeavesOldOrNewContent)
{
    std::string filler = "[Fill]\r\n", ours;  // ours: the keys this process wrote
    for (int i = 0; i < 4000; ++i) filler += "key" + std::to_string(i) + "=" + std::string(40, 'f') + "\r\n";
    auto contentWith = [&](const std::string& value) { return "[S]\r\nv=" + value + "\r\n" + ours + filler; };
    sb.writeFile("app.ini", contentWith("start"));
    ASSERT_EQ(ktuINIFileUtils::openFile(sb.path("app.ini").c_str()), 1);  // the writers inherit it
    std::mt19937 random(12345);
    for (int round = 0; round < 200; ++round) {
        const std::string key = "p" + std::to_string(round);
        ktu::test::killWriter(random() % 3, [](uint32_t i) {
            return ktuINIFileUtils::setTagValue("S", "v", (std::string(i % 37, 'x') + std::to_string(i)).c_str()) == 1;
        }, [&] {
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
            EXPECT_EQ(ktuINIFileUtils::setTagValue("S", key.c_str(), key.c_str()), 1);
        });
        ours += key + "=" + key + "\r\n";
        const std::string content = sb.readFile("app.ini");
        const std::size_t end = content.find("\r\n", 7);
        ASSERT_TRUE(end != std::string::npos && content == contentWith(content.substr(7, end - 7)))
            << "round " << round << ": a torn file of " << content.size() << " bytes";
    }
    EXPECT_EQ(ktuINIFileUtils::setTagValue("S", "v", "last"), 1);
    EXPECT_EQ(sb.readFile("app.ini"), contentWith("last"));
    EXPECT_FALSE(sb.exists(".~ktu-ini.tmp"));  // a killed writer's temporary file is gone
}

#endif

}  // namespace
