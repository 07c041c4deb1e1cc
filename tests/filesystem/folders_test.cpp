// Folder creation and removal: drives, refused characters, chains, trees.
#include <string>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

namespace fs = std::filesystem;
using ktu::test::Sandbox;
using ktu::test::ScopedOverride;
using P = ktuFilePathUtils;

// Makes a folder read-only (attribute 17). Some file systems (Wine's among
// them) keep no read-only bit on folders; false there.
bool lockFolder(const std::string& path)
{
    auto& fs = ktu::platform::ops().fs;
    return fs.setAttributes(path.c_str(), 17) && fs.getAttributes(path.c_str()) == 17;
}

class Folders : public ::testing::Test {
protected:
    void SetUp() override
    {
        ktu::test::openGate();
        ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
    }
    std::vector<std::string> logged() { return ktu::test::logTexts(sb.native("logs/output.log")); }
    std::string p(const std::string& relative) { return sb.path(relative); }

    Sandbox sb;
};

TEST_F(Folders, DriveTestComparesWithTheLogicalDrives)
{
    struct Case {
        const char* drive;
        bool expected;
    } cases[] = {{"C:", true}, {"c:", true}, {"C:\\", true}, {"c:\\", true}, {"C:/", false},
                 {"C", false}, {"", false}, {"Q:", false}, {"C:\\x", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(P::checkForLocalDrive(c.drive), c.expected) << c.drive;
    }
    EXPECT_FALSE(P::checkForLocalDrive(nullptr));
    EXPECT_FALSE(P::checkForLocalDrive(std::string(10000, 'C').c_str()));
}

TEST_F(Folders, RefusedCharactersAnywhere)
{
    EXPECT_TRUE(P::checkForSpecialCharacters("/data/new folder_1\\x"));
    EXPECT_TRUE(P::checkForSpecialCharacters(""));
    for (char c : std::string("`~!@#$%^&*()-+=|{}[]:;\"'<>,.?")) {
        std::string text = std::string("/data/a") + c + "b";
        EXPECT_FALSE(P::checkForSpecialCharacters(text.c_str())) << text;
    }
}

TEST_F(Folders, CreateAllFoldersStatuses)
{
    struct Case {
        std::string path;
        long expected;
        const char* created;  // a folder that must exist afterwards, or null
    } cases[] = {
        {p("data/img.old"), -106, nullptr},
        {"Q:/a/b", -101, nullptr},
        {"C", -101, nullptr},
        {p("a/b"), 7, "a/b"},           // made level by level; status left as preset
        {p("a\\b\\c\\"), -102, "a/b/c"},  // the last level keeps its separator
        {"C:/", -102, nullptr},
        {p(std::string(10000, 'x')), -102, nullptr},
    };
    for (const auto& c : cases) {
        long status = 7;
        P::createAllFolders(c.path.c_str(), false, &status);
        EXPECT_EQ(status, c.expected) << c.path.substr(0, 40);
        if (c.created != nullptr) {
            EXPECT_TRUE(fs::is_directory(sb.native(c.created))) << c.created;
        }
    }
    EXPECT_FALSE(sb.exists("data"));
}

TEST_F(Folders, RecreateEmptiesAnExistingLevel)
{
    sb.writeFile("keep/sub/file.txt", "x");
    long status = 7;
    P::createAllFolders(p("keep/sub").c_str(), false, &status);
    EXPECT_EQ(status, 7);
    EXPECT_TRUE(sb.exists("keep/sub/file.txt"));

    P::createAllFolders(p("keep/sub").c_str(), true, &status);
    EXPECT_EQ(status, 7);
    EXPECT_TRUE(fs::is_directory(sb.native("keep/sub")));
    EXPECT_FALSE(sb.exists("keep/sub/file.txt"));
}

TEST_F(Folders, CheckOrCreateFolderFindsOnlyPlainFolders)
{
    sb.makeFolder("base/plain");
    EXPECT_TRUE(P::checkOrCreateFolder(p("base").c_str(), "plain", false));
    EXPECT_TRUE(ktu::test::currentFolderIs(sb.native("base")));
    EXPECT_TRUE(P::checkOrCreateFolder(p("base").c_str(), "fresh", false));
    EXPECT_TRUE(fs::is_directory(sb.native("base/fresh")));
    EXPECT_FALSE(P::checkOrCreateFolder(p("missing").c_str(), "x", false));

    // A read-only folder carries a second attribute bit: it is not found, and
    // making it again fails.
    sb.makeFolder("base/locked");
    if (lockFolder(p("base/locked"))) {
        EXPECT_FALSE(P::checkOrCreateFolder(p("base").c_str(), "locked", false));
    }
#if defined(_WIN32)
    // Names compare case-sensitively; the file system then refuses the twin.
    EXPECT_FALSE(P::checkOrCreateFolder(p("base").c_str(), "PLAIN", false));
#endif
}

TEST_F(Folders, CheckOrCreateFolderPathForms)
{
    EXPECT_TRUE(P::checkOrCreateFolder("C:", false));
    EXPECT_TRUE(P::checkOrCreateFolder("C:\\", false));
    EXPECT_FALSE(P::checkOrCreateFolder("C:/", false));
    EXPECT_FALSE(P::checkOrCreateFolder("", false));
    EXPECT_TRUE(P::checkOrCreateFolder(p("one/").c_str(), false));  // trailing separator passed over
    EXPECT_TRUE(fs::is_directory(sb.native("one")));
}

TEST_F(Folders, DeleteFolderRemovesTreesWithReadOnlyFiles)
{
    sb.writeFile("tree/a.txt", "a");
    sb.writeFile("tree/sub/deeper/b.txt", "b");
    sb.writeFile("tree/sub/c.txt", "c");
    ASSERT_TRUE(ktu::platform::ops().fs.setAttributes(p("tree/sub/c.txt").c_str(), 33));
    sb.makeFolder("hold");
    EXPECT_TRUE(P::deleteFolder(p("tree").c_str(), p("hold").c_str()));
    EXPECT_FALSE(sb.exists("tree"));
    EXPECT_TRUE(ktu::test::currentFolderIs(sb.native("hold")));
    EXPECT_FALSE(P::deleteFolder(p("tree").c_str(), p("hold").c_str()));
}

bool refuseKeep(const char* path)
{
    return std::string(path).find("keep") == std::string::npos && ktu::platform::systemOps().fs.deleteFile(path);
}

TEST_F(Folders, DeleteFolderRemovesWhatItCan)
{
    sb.writeFile("tree/keep.txt", "k");
    sb.writeFile("tree/go.txt", "g");
    sb.writeFile("tree/ro/inner.txt", "i");  // read-only folder: handled as a file
    bool locked = lockFolder(p("tree/ro"));
    ScopedOverride del(ktu::platform::ops().fs.deleteFile, refuseKeep);
    EXPECT_FALSE(P::deleteFolder(p("tree").c_str(), sb.path().c_str()));
    EXPECT_TRUE(sb.exists("tree/keep.txt"));
    EXPECT_FALSE(sb.exists("tree/go.txt"));
    EXPECT_EQ(sb.exists("tree/ro/inner.txt"), locked);  // a read-only folder is not recursed into
}

// A fault inside each guarded operation costs one line and the fixed answer.
ktu::platform::FindHandle throwingFind(const char*, ktu::platform::FindEntry*)
{
    throw 1;
}

bool throwingCreate(const char*)
{
    throw 1;
}

TEST_F(Folders, CaughtFaultsAreLoggedWithTheirAnswers)
{
    sb.makeFolder("base/x");
    {
        ScopedOverride create(ktu::platform::ops().fs.createDir, throwingCreate);
        EXPECT_TRUE(P::createNewFolder(p("base").c_str(), "new"));  // the result as it stood
    }
    {
        ScopedOverride find(ktu::platform::ops().fs.findFirst, throwingFind);
        EXPECT_FALSE(P::checkOrCreateFolder(p("base").c_str(), "x", false));
        EXPECT_FALSE(P::deleteFolder(p("base").c_str(), sb.path().c_str()));
    }
    EXPECT_TRUE(P::checkOrCreateFolder(nullptr, false));  // true, not false
    long status = 7;
    P::createAllFolders(nullptr, false, &status);
    EXPECT_EQ(status, -100);

    EXPECT_EQ(logged(), (std::vector<std::string>{
                            "KSUtilityClasses-ktuFilePathUtils::createNewFolder()",
                            "KSUtilityClasses-ktuFilePathUtils()::checkOrCreateFolder()",
                            "KSUtilityClasses-ktuFilePathUtils::deleteFolder()",
                            "KSUtilityClasses-ktuFilePathUtils::checkOrCreateFolder()",
                            "KSUtilityClasses-ktuFilePathUtils()::createAllFolders()",
                        }));
}

}  // namespace
