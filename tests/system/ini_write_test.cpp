// INI writes on POSIX systems: who may write a file, what a write keeps of
// the file itself, and what a writer killed part way leaves.
#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "ktuINIFileUtils.h"
#include "ktuTestSupport.h"

namespace {

namespace fs = std::filesystem;
using ktu::test::Sandbox;

constexpr uid_t kRoot = 0;
constexpr uid_t kNobody = 65534;
const std::string kOld = "[S]\nk=old\n";
const std::string kNew = "[S]\nk=new\n";

struct FileState {
    uid_t owner = 0;
    mode_t mode = 0;
    ino_t inode = 0;
    nlink_t links = 0;
};

FileState stateOf(const fs::path& file)
{
    struct stat info {};
    EXPECT_EQ(::stat(file.c_str(), &info), 0) << file;
    return FileState{info.st_uid, info.st_mode & 07777, info.st_ino, info.st_nlink};
}

// `operation` as `user`: in a child that drops root's privileges for
// another user, or here for root. Its answer, or -99 when the child failed.
long runAs(uid_t user, const std::function<long()>& operation)
{
    if (user == kRoot) return operation();
    pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0) ::_exit(99);
        ::_exit(static_cast<int>(operation() + 10));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) - 10 : -99;
}

// openFile and setTagValue("S", "k", "new") as `user`.
long writeAs(uid_t user, const std::string& path)
{
    return runAs(user, [&path]() {
        long opened = ktuINIFileUtils::openFile(path.c_str());
        return opened != 1 ? 100 + opened : ktuINIFileUtils::setTagValue("S", "k", "new");
    });
}

class IniWriteTest : public ::testing::Test {
public:
    void SetUp() override
    {
        ktu::test::openGate();
        if (::geteuid() != 0) GTEST_SKIP() << "needs root, to act as other users";
        ::chmod(sb.native().c_str(), 0777);
    }
    void TearDown() override
    {
        ktuINIFileUtils::closeFile();
        // Let the sandbox go, whatever a row left read-only.
        for (const auto& entry : fs::recursive_directory_iterator(sb.native())) {
            if (entry.is_directory()) ::chmod(entry.path().c_str(), 0777);
        }
    }
    void make(const std::string& relative, const std::string& content, uid_t owner, mode_t mode)
    {
        sb.writeFile(relative, content);
        ASSERT_EQ(::chown(sb.native(relative).c_str(), owner, owner), 0);
        ASSERT_EQ(::chmod(sb.native(relative).c_str(), mode), 0);
    }
    Sandbox sb;
};

// Every row: "f/app.ini" holding kOld, with the owner (its group the same
// number) and mode given, in folder "f" of the mode given; then setTagValue
// (or clearFileContent) as `writer`. Whatever the answer, the file keeps its
// owner and mode.
TEST_F(IniWriteTest, WhoMayWriteAndWhatTheFileKeeps)
{
    enum Inode { Same, Replaced };
    struct Row {
        const char* name;
        uid_t owner;
        mode_t mode, folderMode;
        bool hardLinked, clear;
        uid_t writer;
        long answer;
        const std::string& content;
        Inode inode;
    };
    const Row rows[] = {
        {"own file", kRoot, 0640, 0777, false, false, kRoot, 1, kNew, Replaced},
        {"read-only file, root", kRoot, 0444, 0777, false, false, kRoot, -2, kOld, Same},
        {"read-only file, its unprivileged owner", kNobody, 0464, 0777, false, false, kNobody, -2, kOld, Same},
        {"read-only file emptied, root", kRoot, 0444, 0777, false, true, kRoot, -1, kOld, Same},
        {"read-only file emptied, its owner", kNobody, 0444, 0777, false, true, kNobody, -1, kOld, Same},
        {"another user's file, root", kNobody, 0600, 0777, false, false, kRoot, 1, kNew, Replaced},
        {"root's file that everyone may write, unprivileged", kRoot, 0666, 0777, false, false, kNobody, 1, kNew, Same},
        {"root's file that only root may write, unprivileged", kRoot, 0644, 0777, false, false, kNobody, -2, kOld,
         Same},
        {"own file in a folder that refuses new files", kNobody, 0644, 0555, false, false, kNobody, 1, kNew, Same},
        {"hard-linked file", kRoot, 0644, 0777, true, false, kRoot, 1, kNew, Same},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(sb.native("f"));
        sb.makeFolder("f");
        make("f/app.ini", kOld, row.owner, row.mode);
        if (row.hardLinked) fs::create_hard_link(sb.native("f/app.ini"), sb.native("f/other.ini"));
        ::chmod(sb.native("f").c_str(), row.folderMode);
        fs::path file = sb.native("f/app.ini");
        std::string path = sb.path("f/app.ini");
        FileState before = stateOf(file);
        EXPECT_EQ(runAs(row.writer, [&]() {
                      long opened = ktuINIFileUtils::openFile(path.c_str());
                      if (opened != 1) return 100 + opened;
                      return row.clear ? ktuINIFileUtils::clearFileContent()
                                       : ktuINIFileUtils::setTagValue("S", "k", "new");
                  }),
                  row.answer);
        EXPECT_EQ(sb.readFile("f/app.ini"), row.content);
        FileState after = stateOf(file);
        EXPECT_EQ(after.owner, row.owner);
        EXPECT_EQ(after.mode, row.mode);
        EXPECT_EQ(after.inode == before.inode, row.inode == Same);
        if (row.hardLinked) {
            EXPECT_EQ(sb.readFile("f/other.ini"), kNew);
        }
        EXPECT_FALSE(fs::exists(sb.native("f/.~ktu-ini.tmp")));
        ::chmod(sb.native("f").c_str(), 0777);
    }
}

TEST_F(IniWriteTest, ExtendedAttributesGroupAndLongNamesStay)
{
    make("app.ini", kOld, kNobody, 0640);
    ASSERT_EQ(::chown(sb.native("app.ini").c_str(), kNobody, 100), 0);
    bool xattrs = ::setxattr(sb.native("app.ini").c_str(), "user.origin", "camera", 6, 0) == 0;
    EXPECT_EQ(writeAs(kRoot, sb.path("app.ini")), 1);
    struct stat info {};
    ASSERT_EQ(::stat(sb.native("app.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_gid, 100u);
    if (xattrs) {
        char value[16] = "";
        EXPECT_EQ(::getxattr(sb.native("app.ini").c_str(), "user.origin", value, sizeof value), 6);
        EXPECT_STREQ(value, "camera");
    }

    // Every file name up to the system's 255 bytes (in a new file and in an
    // existing one), as root and as another user.
    for (std::size_t length = 240; length <= 255; ++length) {
        std::string name = std::string(length - 4, 'n') + ".ini";
        uid_t writer = length % 2 == 0 ? kRoot : kNobody;
        EXPECT_EQ(writeAs(writer, sb.path(name)), 1) << length;
        EXPECT_EQ(sb.readFile(name), "[S]\r\nk=new\r\n") << length;
        make(name, kOld, writer, 0644);
        EXPECT_EQ(writeAs(writer, sb.path(name)), 1) << length;
        EXPECT_EQ(sb.readFile(name), kNew) << length;
        EXPECT_EQ(stateOf(sb.native(name)).owner, writer);
    }

    // A native path makes its folders as the drive form does (with the drive
    // map set, as the sandbox sets it).
    std::string native = sb.native("made/here/app.ini").string();
    EXPECT_EQ(writeAs(kNobody, native), 1);
    EXPECT_EQ(sb.readFile("made/here/app.ini"), "[S]\r\nk=new\r\n");
    EXPECT_EQ(stateOf(sb.native("made/here")).owner, kNobody);
}

// A writer killed at a random moment leaves the file with the content of
// one whole write: the old or the new, never a part of one.
TEST_F(IniWriteTest, KilledWriterLeavesOldOrNewContent)
{
    std::string filler = "[Fill]\r\n";
    for (int i = 0; i < 4000; ++i) filler += "key" + std::to_string(i) + "=" + std::string(40, 'f') + "\r\n";
    auto contentWith = [&filler](const std::string& value) { return "[S]\r\nv=" + value + "\r\n" + filler; };
    auto valueOf = [](unsigned i) { return std::string(i % 37, 'x') + std::to_string(i); };
    sb.writeFile("app.ini", contentWith("start"));
    std::string path = sb.path("app.ini");
    std::mt19937 random(12345);
    for (int round = 0; round < 200; ++round) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ktuINIFileUtils::openFile(path.c_str());
            for (unsigned i = 0;; ++i) ktuINIFileUtils::setTagValue("S", "v", valueOf(i).c_str());
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 6000));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        std::string content = sb.readFile("app.ini");
        std::size_t end = content.find("\r\n", 7);
        ASSERT_NE(end, std::string::npos) << "round " << round;
        ASSERT_TRUE(content == contentWith(content.substr(7, end - 7)))
            << "round " << round << ": a torn file of " << content.size() << " bytes";
    }
    ASSERT_EQ(ktuINIFileUtils::openFile(path.c_str()), 1);
    EXPECT_EQ(ktuINIFileUtils::setTagValue("S", "v", "last"), 1);
    EXPECT_EQ(sb.readFile("app.ini"), contentWith("last"));
    EXPECT_FALSE(fs::exists(sb.native(".~ktu-ini.tmp")));  // a killed writer's temporary file is gone
}

}  // namespace

#endif
