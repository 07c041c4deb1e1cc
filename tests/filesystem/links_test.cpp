// Links met by the operations that walk or change folders: each is an entry of its own, and nothing a link leads to
// outside the tree ever changes. Wine makes no links for a Windows program, so these run on Linux only.
#include <algorithm>
#include <cstdlib>

#include "KSUtilityClasses.h"
#include "treeState.h"

#if !defined(_WIN32)

namespace {

namespace fs = std::filesystem;
using P = ktuFilePathUtils;
using Names = std::vector<std::string>;

// tree/: a file, a sub-folder, links to the outside folder and file, a dangling link, a link back up from the
// sub-folder and a hard link to a file outside. After each test the outside is as it was.
class Links : public ktu::test::OutsideTest {
protected:
    void SetUp() override
    {
        OutsideTest::SetUp();
        sb.makeFolder("hold");
        buildTree("tree");
    }

    void buildTree(const std::string& tree)
    {
        sb.writeFile(tree + "/plain.txt", "plain");
        sb.writeFile(tree + "/sub/s.txt", "s");
        fs::create_directory_symlink(sb.native("outside"), sb.native(tree + "/linkDir"));
        fs::create_symlink(sb.native("outsideFile.txt"), sb.native(tree + "/linkFile"));
        fs::create_symlink(sb.native("nowhere"), sb.native(tree + "/dangling"));
        fs::create_directory_symlink("../..", sb.native(tree + "/sub/up"));
        fs::create_hard_link(sb.native("outside/hard.txt"), sb.native(tree + "/hard"));
    }
    std::string p(const std::string& relative) { return sb.path(relative); }
    bool present(const std::string& relative) { return fs::exists(fs::symlink_status(sb.native(relative))); }
};

TEST_F(Links, ReadAndRemovedAsEntriesOfTheirOwn)
{
    auto& system = ktu::platform::ops().fs;
    struct Case {
        const char* entry;
        uint32_t attributes;
    } cases[] = {{"tree/linkDir", 16 + 1024},   {"tree/linkDir/", 16 + 1024}, {"tree/linkFile", 32 + 1024},
                 {"tree/dangling", 32 + 1024},  {"tree/sub/up", 16 + 1024},   {"tree/hard", 32},
                 {"tree/linkDir/o.txt", 33}};  // a path through a link reaches the target's entries
    for (const auto& c : cases) {
        EXPECT_EQ(system.getAttributes(p(c.entry).c_str()), c.attributes) << c.entry;
    }
    // A link has no mode of its own: clearing succeeds, read-only is refused, the target keeps its mode.
    EXPECT_TRUE(system.setAttributes(p("tree/linkFile").c_str(), 32));
    EXPECT_FALSE(system.setAttributes(p("tree/linkFile").c_str(), 33));
    EXPECT_TRUE(system.setAttributes(p("tree/linkDir").c_str(), 32));
    EXPECT_TRUE(system.setAttributes(p("tree/dangling").c_str(), 32));
    // The existence tests see every link, the dangling one too, and reach through a link inside a path.
    for (const char* entry : {"tree/linkDir", "tree/linkFile", "tree/dangling", "tree/linkDir/o.txt"}) {
        EXPECT_TRUE(P::checkFileExistence(p(entry).c_str())) << entry;
    }
    EXPECT_FALSE(P::isEmptyDirectory(p("tree/linkDir").c_str()));

    EXPECT_TRUE(P::deleteFolder(p("tree").c_str(), p("hold").c_str()));
    EXPECT_FALSE(present("tree"));
    // Deleting the files of a folder deletes its links and keeps sub-folders.
    buildTree("tree");
    EXPECT_FALSE(P::deleteFilesInFolder(p("tree").c_str()));
    EXPECT_EQ(ktu::test::treeState(sb.native("tree")).size(), 3u);  // sub, sub/s.txt, sub/up
    EXPECT_TRUE(fs::is_symlink(sb.native("tree/sub/up")));
    // A link named as the folder to remove goes alone, separator or not.
    buildTree("again");
    EXPECT_TRUE(P::deleteFolder(p("again/linkDir/").c_str(), p("hold").c_str()));
    EXPECT_TRUE(P::deleteFolder(p("again/sub/up").c_str(), p("hold").c_str()));
    EXPECT_TRUE(P::deleteFolder(p("again/dangling").c_str(), p("hold").c_str()));
    EXPECT_FALSE(present("again/linkDir") || present("again/sub/up") || present("again/dangling"));
    EXPECT_TRUE(ktu::test::currentFolderIs(sb.native("hold")));
}

TEST_F(Links, RecreatingAFolderNeverFollowsALink)
{
    // A link is no folder (16 + 1024): it is not found, and a folder of its name cannot be made beside it.
    EXPECT_FALSE(P::checkOrCreateFolder(p("tree").c_str(), "linkDir", false));
    EXPECT_FALSE(P::checkOrCreateFolder(p("tree").c_str(), "linkFile", true));
    EXPECT_TRUE(fs::is_symlink(sb.native("tree/linkDir")) && fs::is_symlink(sb.native("tree/linkFile")));
    // Recreated, a link to a folder gives way to a plain empty folder.
    EXPECT_TRUE(P::checkOrCreateFolder(p("tree/sub/up").c_str(), true));
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(sb.native("tree/sub/up"))));
    EXPECT_TRUE(fs::is_empty(sb.native("tree/sub/up")));
    // So does a link that is the first existing level of a chain (the tree is drive U: here).
    std::string drives = std::getenv("KTU_DRIVES");
    setenv("KTU_DRIVES", (drives + ";U=" + sb.native("tree").string()).c_str(), 1);
    long status = 7;
    P::createAllFolders("U:/linkDir/inner", true, &status);
    setenv("KTU_DRIVES", drives.c_str(), 1);
    EXPECT_EQ(status, 7);
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(sb.native("tree/linkDir"))));
    EXPECT_TRUE(fs::is_empty(sb.native("tree/linkDir/inner")));
    // Recreating the tree itself empties it: its links go alone.
    P::createAllFolders(p("tree").c_str(), true, &status);
    EXPECT_EQ(status, 7);
    EXPECT_TRUE(fs::is_directory(sb.native("tree")) && fs::is_empty(sb.native("tree")));
}

TEST_F(Links, SingleFileOperationsTakeTheLink)
{
    ktu::test::MessageBoxRecorder boxes;
    // Renaming copies a file link's target into a plain file; a link to a folder or a dangling link cannot be copied.
    EXPECT_TRUE(P::renameFile(p("tree/linkFile").c_str(), "renamed.txt"));
    EXPECT_FALSE(present("tree/linkFile") || fs::is_symlink(sb.native("tree/renamed.txt")));
    EXPECT_EQ(sb.readFile("tree/renamed.txt"), "outsideFile.txt");
    EXPECT_FALSE(P::renameFile(p("tree/linkDir").c_str(), "x"));
    EXPECT_FALSE(P::renameFile(p("tree/dangling").c_str(), "y"));
    EXPECT_TRUE(fs::is_symlink(sb.native("tree/linkDir")) && fs::is_symlink(sb.native("tree/dangling")));
    EXPECT_TRUE(boxes.calls().empty());

    for (const char* entry : {"tree/linkDir", "tree/dangling", "tree/sub/up", "tree/hard"}) {
        EXPECT_TRUE(P::deleteFile(p(entry).c_str())) << entry;
        EXPECT_FALSE(present(entry)) << entry;
    }
    // A folder, or a link to one, has no lines: no copy is made.
    buildTree("again");
    for (const char* folder : {"again/sub", "again/linkDir"}) {
        EXPECT_FALSE(P::copyFileExcludingLine(p(folder).c_str(), "x")) << folder;
    }
    EXPECT_FALSE(present("again/tempsub") || present("again/templinkDir"));
    // Read through a link to a file, never written through one.
    fs::create_symlink(sb.native("outsideFile.txt"), sb.native("again/templinkFile"));
    EXPECT_FALSE(P::copyFileExcludingLine(p("again/linkFile").c_str(), "x"));
    fs::remove(sb.native("again/templinkFile"));
    EXPECT_FALSE(P::copyFileExcludingLine(p("again/linkFile").c_str(), "x"));
    EXPECT_EQ(sb.readFile("again/templinkFile"), "outsideFile.txt\n");
}

TEST_F(Links, CopyingATreeNeverFollowsAFolderLink)
{
    EXPECT_FALSE(P::copyFolder(p("copy").c_str(), p("tree").c_str()));
    Names copied;
    for (const auto& entry : fs::recursive_directory_iterator(sb.native("copy"))) {
        EXPECT_FALSE(fs::is_symlink(entry.symlink_status())) << entry.path();
        copied.push_back(fs::relative(entry.path(), sb.native("copy")).string());
    }
    std::sort(copied.begin(), copied.end());
    // A link to a file becomes a plain file; links to folders and dangling links are left out: nothing nests.
    EXPECT_EQ(copied, (Names{"hard", "linkFile", "plain.txt", "sub", "sub/s.txt"}));
    EXPECT_EQ(sb.readFile("copy/linkFile"), "outsideFile.txt");
    // A copy over a link replaces the link; what it led to stays.
    EXPECT_TRUE(ktu::platform::ops().fs.copyFile(p("tree/plain.txt").c_str(), p("tree/linkFile").c_str(), false));
    EXPECT_FALSE(fs::is_symlink(sb.native("tree/linkFile")));
    EXPECT_EQ(sb.readFile("tree/linkFile"), "plain");
    // A destination that is a link is replaced by a folder; its target stays.
    fs::create_directory_symlink(sb.native("outside"), sb.native("linkedCopy"));
    EXPECT_FALSE(P::copyFolder(p("linkedCopy").c_str(), p("tree/sub").c_str()));
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(sb.native("linkedCopy"))));
    EXPECT_EQ(sb.readFile("linkedCopy/s.txt"), "s");
}

}  // namespace

#endif
