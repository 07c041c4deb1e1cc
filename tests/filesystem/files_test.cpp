// Existence tests, single files and folder trees, against a sandbox folder.
#include <fstream>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

namespace fs = std::filesystem;
using ktu::test::currentFolderIs;
using ktu::test::ScopedOverride;
using P = ktuFilePathUtils;
using Lines = std::vector<std::string>;

class Files : public ::testing::Test {
protected:
    void SetUp() override
    {
        ktu::test::openGate();
        ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
        sb.makeFolder("elsewhere");
        fs::current_path(sb.native("elsewhere"));
    }
    std::string p(const std::string& relative) { return sb.path(relative); }
    bool inElsewhere() { return currentFolderIs(sb.native("elsewhere")); }
    void readOnly(const std::string& relative)
    {
        ASSERT_TRUE(ktu::platform::ops().fs.setAttributes(p(relative).c_str(),
                                                          fs::is_directory(sb.native(relative)) ? 17 : 33));
    }
    std::vector<std::string> logged() { return ktu::test::logTexts(sb.native("logs/output.log")); }

    ktu::test::Sandbox sb;
};

TEST_F(Files, ExistenceMatchesLikeTheWindowsSearchAndRestoresTheFolder)
{
    sb.writeFile("data/clip.bmp", "x");
    sb.writeFile("data/a.txt", "x");
    sb.writeFile("data/noext", "x");
    sb.makeFolder("data/sub");
    struct Case {
        std::string path;
        bool exists;
        bool withExt;
    } cases[] = {
        {p("data/clip.bmp"), true, true},
        {p("data\\CLIP.BMP"), true, true},
        {p("data/*.bmp"), true, true},
        {p("data/?.txt"), true, true},
        {p("data/??.txt"), false, false},
        {p("data/*.jpg"), false, false},
        {p("data/sub"), true, false},  // a folder is found; it has no extension
        {p("data/noext"), true, false},
        {p("missing/clip.bmp"), false, false},
        {p("data/"), false, false},
        {"data/clip.bmp", false, false},  // relative: never found
        {"", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(P::checkFileExistence(c.path.c_str()), c.exists) << c.path;
        EXPECT_EQ(P::checkForFile_Path_Existence(c.path.c_str()), c.withExt) << c.path;
        EXPECT_TRUE(inElsewhere()) << c.path;
    }
    EXPECT_TRUE(P::checkFileExistance(p("data").c_str(), "*.txt"));
    EXPECT_TRUE(P::checkFileExistance(p("data/").c_str(), "sub"));
    EXPECT_FALSE(P::checkFileExistance(p("nowhere").c_str(), "*"));
    EXPECT_FALSE(P::checkFileExistance("", "*"));
    EXPECT_TRUE(inElsewhere());
}

TEST_F(Files, CopyWithoutALine)
{
    struct Case {
        std::string source;
        bool result;
        Lines copy;
    } cases[] = {
        {"a\nb\n\na\n", true, {"b"}},
        {"x\ny", false, {"x", "y"}},
        {"x\ny\n", true, {"x", "y"}},  // the final line break gives one empty line
        {"a\r\nb\r\n\r\nc", true, {"b", "c"}},
        {"", true, {}},
        {std::string(300, 'L') + "\na\n" + std::string(300, 'L'), true,
         {std::string(300, 'L'), std::string(300, 'L')}},  // long lines are kept whole
    };
    for (const auto& c : cases) {
        sb.writeFile("in/list.txt", c.source);
        fs::remove(sb.native("in/templist.txt"));
        EXPECT_EQ(P::copyFileExcludingLine(p("in/list.txt").c_str(), "a"), c.result) << c.source;
        EXPECT_EQ(ktu::test::readLines(sb.native("in/templist.txt")), c.copy) << c.source;
        EXPECT_EQ(sb.readFile("in/list.txt"), c.source);
    }
    EXPECT_TRUE(inElsewhere());

    // The copy is appended to, not replaced.
    sb.writeFile("in/list.txt", "x\ny");
    fs::remove(sb.native("in/templist.txt"));
    EXPECT_FALSE(P::copyFileExcludingLine(p("in/list.txt").c_str(), "zzz"));
    EXPECT_FALSE(P::copyFileExcludingLine(p("in/list.txt").c_str(), "zzz"));
    EXPECT_EQ(ktu::test::readLines(sb.native("in/templist.txt")), (Lines{"x", "y", "x", "y"}));

    // A missing source: false, and its (empty) copy is made all the same.
    EXPECT_FALSE(P::copyFileExcludingLine(p("in/gone.txt").c_str(), "a"));
    EXPECT_TRUE(sb.exists("in/tempgone.txt"));
    EXPECT_EQ(sb.readFile("in/tempgone.txt"), "");
    // A path that does not split opens nothing.
    EXPECT_FALSE(P::copyFileExcludingLine("in/list.txt", "a"));
    EXPECT_FALSE(P::copyFileExcludingLine(p("in/").c_str(), "a"));
    EXPECT_FALSE(sb.exists("in/temp"));
}

// While the copy is made, its source may be read but not written.
std::FILE* openCheckingSource(const char* path, const char* mode, ktu::platform::ShareMode share)
{
    auto& system = ktu::platform::systemOps().fs;
    std::string text(path);
    if (text.find("temp") != std::string::npos) {
        std::string source = text.replace(text.find("temp"), 4, "");
        std::FILE* writer = system.openStream(source.c_str(), "a", ktu::platform::ShareMode::Any);
        std::FILE* reader = system.openStream(source.c_str(), "r", ktu::platform::ShareMode::Any);
        EXPECT_EQ(writer, nullptr);
        EXPECT_NE(reader, nullptr);
        for (std::FILE* stream : {writer, reader}) {
            if (stream != nullptr) {
                std::fclose(stream);
            }
        }
    }
    return system.openStream(path, mode, share);
}

TEST_F(Files, SourceIsOpenForReadingOnlyDuringTheCopy)
{
    sb.writeFile("s/list.txt", "a\nb");
    {
        ScopedOverride open(ktu::platform::ops().fs.openStream, openCheckingSource);
        EXPECT_TRUE(P::copyFileExcludingLine(p("s/list.txt").c_str(), "a"));
    }
    // A file open for writing cannot be opened by a reader that denies writes.
    auto& fs = ktu::platform::ops().fs;
    std::FILE* writer = fs.openStream(p("s/list.txt").c_str(), "a", ktu::platform::ShareMode::Any);
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(fs.openStream(p("s/list.txt").c_str(), "r", ktu::platform::ShareMode::DenyWrite), nullptr);
    std::fclose(writer);
    std::FILE* reader = fs.openStream(p("s/list.txt").c_str(), "r", ktu::platform::ShareMode::DenyWrite);
    EXPECT_NE(reader, nullptr);
    if (reader != nullptr) {
        std::fclose(reader);
    }
    EXPECT_EQ(sb.readFile("s/templist.txt"), "b\n");
    EXPECT_EQ(sb.readFile("s/list.txt"), "a\nb");
}

TEST_F(Files, RenameCopiesThenDeletes)
{
    ktu::test::MessageBoxRecorder boxes;
    sb.writeFile("r/old.txt", "old");
    sb.writeFile("r/taken.txt", "taken");
    EXPECT_FALSE(P::renameFile(p("r/old.txt").c_str(), "taken.txt"));
    EXPECT_EQ(sb.readFile("r/old.txt"), "old");
    EXPECT_EQ(sb.readFile("r/taken.txt"), "taken");
    EXPECT_TRUE(boxes.calls().empty());

    readOnly("r/old.txt");
    EXPECT_TRUE(P::renameFile(p("r/old.txt").c_str(), "new.txt"));
    EXPECT_FALSE(sb.exists("r/old.txt"));
    EXPECT_EQ(sb.readFile("r/new.txt"), "old");
    EXPECT_TRUE(currentFolderIs(sb.native("r")));

    EXPECT_FALSE(P::renameFile(p("r/missing.txt").c_str(), "x.txt"));
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(boxes.calls()[0].text, "Invalid File Path");
    EXPECT_EQ(boxes.calls()[0].caption, "Invalid File Path");
    EXPECT_EQ(boxes.calls()[0].style, 0u);
}

TEST_F(Files, DeleteTakesTheFirstMatchAndLeavesTheFolderCurrent)
{
    sb.writeFile("d/a.tmp", "");
    sb.writeFile("d/b.tmp", "");
    sb.writeFile("d/ro.txt", "");
    sb.makeFolder("d/sub.tmp2");
    readOnly("d/ro.txt");
    EXPECT_TRUE(P::deleteFile(p("d/*.tmp").c_str()));
    EXPECT_TRUE(currentFolderIs(sb.native("d")));
    EXPECT_EQ(sb.exists("d/a.tmp") + sb.exists("d/b.tmp"), 1);
    EXPECT_TRUE(P::deleteFile(p("d/ro.txt").c_str()));  // read-only: its attributes are cleared first
    EXPECT_FALSE(sb.exists("d/ro.txt"));
    EXPECT_FALSE(P::deleteFile(p("d/sub.tmp2").c_str()));  // a folder is not deleted
    EXPECT_TRUE(sb.exists("d/sub.tmp2"));
    fs::current_path(sb.native("elsewhere"));
    EXPECT_FALSE(P::deleteFile(p("d/none.txt").c_str()));
    EXPECT_FALSE(P::deleteFile(p("nofolder/x.txt").c_str()));
    EXPECT_FALSE(P::deleteFile("d/a.tmp"));
    EXPECT_TRUE(currentFolderIs(sb.native("d")));  // entered before the search found nothing
}

TEST_F(Files, DeleteFilesInFolderKeepsSubFolders)
{
    sb.writeFile("f/a.txt", "");
    sb.writeFile("f/b.txt", "");
    sb.writeFile("f/sub/inner.txt", "");
    sb.makeFolder("f/roEmpty");
    sb.writeFile("f/roFull/x", "");
    readOnly("f/b.txt");
    readOnly("f/roEmpty");
    readOnly("f/roFull");
    EXPECT_FALSE(P::deleteFilesInFolder(p("f").c_str()));
    EXPECT_TRUE(currentFolderIs(sb.native("f")));
    EXPECT_FALSE(sb.exists("f/a.txt"));
    EXPECT_FALSE(sb.exists("f/b.txt"));
    EXPECT_TRUE(sb.exists("f/sub/inner.txt"));
    EXPECT_FALSE(sb.exists("f/roEmpty"));  // not a plain folder: handled as a file, removed when empty
    EXPECT_TRUE(sb.exists("f/roFull/x"));
}

TEST_F(Files, CopyFolderMakesAFreshCopyAndRestoresTheFolder)
{
    sb.writeFile("src/a.txt", "a");
    sb.writeFile("src/deep/er/b.txt", "b");
    sb.writeFile("src/ro/c.txt", "c");
    readOnly("src/ro");
    sb.writeFile("dst/stale.txt", "old");
    sb.writeFile("dst/deep/stale2.txt", "old");
    EXPECT_FALSE(P::copyFolder(p("dst").c_str(), p("src").c_str()));
    EXPECT_TRUE(inElsewhere());
    EXPECT_EQ(sb.readFile("dst/a.txt"), "a");
    EXPECT_EQ(sb.readFile("dst/deep/er/b.txt"), "b");
    EXPECT_FALSE(sb.exists("dst/stale.txt"));
    EXPECT_FALSE(sb.exists("dst/deep/stale2.txt"));
    EXPECT_FALSE(sb.exists("dst/ro"));  // a read-only folder is copied as a file, which fails

    // A missing source leaves the destination empty.
    EXPECT_FALSE(P::copyFolder(p("dst").c_str(), p("nosrc").c_str()));
    EXPECT_TRUE(fs::is_empty(sb.native("dst")));
    EXPECT_TRUE(inElsewhere());

    // Onto itself: refused, the source stays. Into itself: the copy leaves
    // out its own folder.
    EXPECT_FALSE(P::copyFolder(p("src/").c_str(), p("src").c_str()));
    EXPECT_TRUE(sb.exists("src/a.txt"));
    EXPECT_FALSE(P::copyFolder(p("src/copy").c_str(), p("src").c_str()));
    EXPECT_EQ(sb.readFile("src/copy/deep/er/b.txt"), "b");
    EXPECT_FALSE(sb.exists("src/copy/copy"));
    EXPECT_TRUE(inElsewhere());
}

TEST_F(Files, EmptyDirectory)
{
    sb.makeFolder("e/empty");
    sb.makeFolder("e/holder/inner");
    sb.writeFile("e/file/x", "");
    struct Case {
        const char* folder;
        bool empty;
    } cases[] = {{"e/empty", true}, {"e/missing", true}, {"e/holder", false}, {"e/file", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(P::isEmptyDirectory(p(c.folder).c_str()), c.empty) << c.folder;
    }
    EXPECT_TRUE(currentFolderIs(sb.native("e/file")));
}

ktu::platform::FindHandle throwingFind(const char*, ktu::platform::FindEntry*)
{
    throw 1;
}

// Fails the copy's opening only, so that the log writer still writes.
std::FILE* throwingOpen(const char* path, const char* mode, ktu::platform::ShareMode share)
{
    if (std::string(path).find("temp") != std::string::npos) {
        throw 1;
    }
    return ktu::platform::systemOps().fs.openStream(path, mode, share);
}

TEST_F(Files, CaughtFaults)
{
    ktu::test::MessageBoxRecorder boxes;
    sb.writeFile("c/a.txt", "a");
    sb.makeFolder("c/sub");
    {
        ScopedOverride find(ktu::platform::ops().fs.findFirst, throwingFind);
        EXPECT_FALSE(P::deleteFile(p("c/a.txt").c_str()));
        EXPECT_FALSE(P::deleteFilesInFolder(p("c").c_str()));
        EXPECT_FALSE(P::copyFolder(p("copy").c_str(), p("c").c_str()));
        EXPECT_FALSE(P::isEmptyDirectory(p("c").c_str()));
        EXPECT_FALSE(P::renameFile(p("c/a.txt").c_str(), "b.txt"));  // the existence test catches it
    }
    {
        ScopedOverride open(ktu::platform::ops().fs.openStream, throwingOpen);
        EXPECT_FALSE(P::copyFileExcludingLine(p("c/a.txt").c_str(), "a"));
    }
    EXPECT_TRUE(sb.exists("c/a.txt"));
    EXPECT_EQ(logged(), (std::vector<std::string>{
                            "KSUtilityClasses-ktuFilePathUtils()::deleteFolder()",
                            "KSUtilityClasses-ktuFilePathUtils::deleteFilesInFolder()",
                            "KSUtilityClasses-ktuFilePathUtils::copyFolder()",
                            "KestrelSightWare-ktuFilePathUtils::isEmptyDirectory()",
                            "KSUtilityClasses-ktuFilePathUtils::ktuFilePathUtils()",
                            "KSUtilityClasses-ktuFilePathUtils::copyFileExcludingLine()",
                        }));
}

}  // namespace
