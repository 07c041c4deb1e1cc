// Existence tests, single files and folder trees, against a sandbox folder.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

namespace fs = std::filesystem;
using ktu::platform::ShareMode;
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
    // False where the file system keeps no read-only folders (Wine's).
    bool readOnly(const std::string& relative)
    {
        uint32_t value = fs::is_directory(sb.native(relative)) ? 17 : 33;
        auto& system = ktu::platform::ops().fs;
        return system.setAttributes(p(relative).c_str(), value) && system.getAttributes(p(relative).c_str()) == value;
    }
    ktu::test::Sandbox sb;
};

TEST_F(Files, ExistenceMatchesLikeTheWindowsSearchAndRestoresTheFolder)
{
    for (const char* file : {"data/clip.bmp", "data/a.txt", "data/noext", "data/sub/x"}) {
        sb.writeFile(file, "x");
    }
    struct Case {
        std::string path;
        bool exists, withExt;
    } cases[] = {
        {p("data/clip.bmp"), true, true}, {p("data\\CLIP.BMP"), true, true}, {p("data/*.bmp"), true, true},
        {p("data/?.txt"), true, true},    {p("data/??.txt"), false, false},  {p("data/*.jpg"), false, false},
        {p("data/sub"), true, false},  // a folder is found; it has no extension
        {p("data/noext"), true, false},   {p("missing/a.txt"), false, false}, {p("data/"), false, false},
        {"data/clip.bmp", false, false},  // relative: never found
    };
    for (const auto& c : cases) {
        EXPECT_EQ(P::checkFileExistence(c.path.c_str()), c.exists) << c.path;
        EXPECT_EQ(P::checkForFile_Path_Existence(c.path.c_str()), c.withExt) << c.path;
        EXPECT_TRUE(inElsewhere()) << c.path;
    }
    EXPECT_TRUE(P::checkFileExistance(p("data/").c_str(), "*.txt"));
    EXPECT_FALSE(P::checkFileExistance(p("nowhere").c_str(), "*"));
    EXPECT_TRUE(inElsewhere());
}

TEST_F(Files, CopyWithoutALine)
{
    const std::string longLine(300, 'L');
    struct Case {
        std::string source;
        bool result;
        Lines copy;
    } cases[] = {
        {"a\nb\n\na\n", true, {"b"}},         {"x\ny", false, {"x", "y"}},
        {"x\ny\n", true, {"x", "y"}},          // the final line break gives one empty line
        {"a\r\nb\r\n\r\nc", true, {"b", "c"}}, {"", true, {}},
        {longLine + "\na\n" + longLine, true, {longLine, longLine}},  // long lines are kept whole
    };
    for (const auto& c : cases) {
        sb.writeFile("in/list.txt", c.source);
        fs::remove(sb.native("in/templist.txt"));
        EXPECT_EQ(P::copyFileExcludingLine(p("in/list.txt").c_str(), "a"), c.result) << c.source;
        EXPECT_EQ(ktu::test::readLines(sb.native("in/templist.txt")), c.copy) << c.source;
        EXPECT_EQ(sb.readFile("in/list.txt"), c.source);
    }
    EXPECT_TRUE(inElsewhere());
    EXPECT_TRUE(P::copyFileExcludingLine(p("in/list.txt").c_str(), "a"));  // appended to, not replaced
    EXPECT_EQ(ktu::test::readLines(sb.native("in/templist.txt")).size(), 4u);
    EXPECT_FALSE(P::copyFileExcludingLine(p("in/gone.txt").c_str(), "a"));  // its copy is made all the same
    EXPECT_TRUE(sb.exists("in/tempgone.txt"));
    EXPECT_FALSE(P::copyFileExcludingLine("in/list.txt", "a"));  // does not split: nothing opened
    EXPECT_FALSE(P::copyFileExcludingLine(p("in/").c_str(), "a"));
    EXPECT_FALSE(sb.exists("in/temp"));
}

// While the copy is made, its source may be read but not written.
std::FILE* openCheckingSource(const char* path, const char* mode, ShareMode share)
{
    auto& system = ktu::platform::systemOps().fs;
    std::string source(path);
    if (source.find("temp") != std::string::npos) {
        source.erase(source.find("temp"), 4);
        std::FILE* writer = system.openStream(source.c_str(), "a", ShareMode::Any);
        std::FILE* reader = system.openStream(source.c_str(), "r", ShareMode::Any);
        EXPECT_TRUE(writer == nullptr && reader != nullptr);
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
    EXPECT_EQ(ktu::test::readLines(sb.native("s/templist.txt")), Lines{"b"});
    // Nor can a reader that denies writes open a file that is being written.
    auto& fs = ktu::platform::ops().fs;
    std::FILE* writer = fs.openStream(p("s/list.txt").c_str(), "a", ShareMode::Any);
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(fs.openStream(p("s/list.txt").c_str(), "r", ShareMode::DenyWrite), nullptr);
    std::fclose(writer);
}

TEST_F(Files, RenameAndDelete)
{
    ktu::test::MessageBoxRecorder boxes;
    sb.writeFile("r/old.txt", "old");
    sb.writeFile("r/taken.txt", "taken");
    EXPECT_FALSE(P::renameFile(p("r/old.txt").c_str(), "taken.txt"));
    EXPECT_EQ(sb.readFile("r/old.txt") + sb.readFile("r/taken.txt"), "oldtaken");
    EXPECT_TRUE(boxes.calls().empty());
    ASSERT_TRUE(readOnly("r/old.txt"));
    EXPECT_TRUE(P::renameFile(p("r/old.txt").c_str(), "new.txt"));
    EXPECT_FALSE(sb.exists("r/old.txt"));
    EXPECT_EQ(sb.readFile("r/new.txt"), "old");
    EXPECT_TRUE(currentFolderIs(sb.native("r")));
    EXPECT_FALSE(P::renameFile(p("r/missing.txt").c_str(), "x.txt"));
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(boxes.calls()[0].text + "|" + boxes.calls()[0].caption, "Invalid File Path|Invalid File Path");

    for (const char* file : {"d/a.tmp", "d/b.tmp", "d/ro.txt", "d/sub.tmp2/x"}) {
        sb.writeFile(file, "");
    }
    ASSERT_TRUE(readOnly("d/ro.txt"));
    fs::current_path(sb.native("elsewhere"));
    EXPECT_TRUE(P::deleteFile(p("d/*.tmp").c_str()));  // the first match only
    EXPECT_EQ(sb.exists("d/a.tmp") + sb.exists("d/b.tmp"), 1);
    EXPECT_TRUE(currentFolderIs(sb.native("d")));
    EXPECT_TRUE(P::deleteFile(p("d/ro.txt").c_str()));  // read-only: cleared, then deleted
    EXPECT_FALSE(sb.exists("d/ro.txt"));
    EXPECT_FALSE(P::deleteFile(p("d/sub.tmp2").c_str()));  // a folder stays
    EXPECT_TRUE(sb.exists("d/sub.tmp2"));
    fs::current_path(sb.native("elsewhere"));
    EXPECT_FALSE(P::deleteFile(p("nofolder/x.txt").c_str()));
    EXPECT_FALSE(P::deleteFile("d/a.tmp"));
    EXPECT_TRUE(inElsewhere());
}

TEST_F(Files, FolderTrees)
{
    for (const char* file : {"f/a.txt", "f/b.txt", "f/sub/in.txt", "f/roFull/x"}) {
        sb.writeFile(file, "");
    }
    sb.makeFolder("f/roEmpty");
    ASSERT_TRUE(readOnly("f/b.txt"));
    bool readOnlyFolders = readOnly("f/roEmpty") && readOnly("f/roFull");
    EXPECT_FALSE(P::deleteFilesInFolder(p("f").c_str()));
    EXPECT_TRUE(currentFolderIs(sb.native("f")));
    EXPECT_FALSE(sb.exists("f/a.txt") || sb.exists("f/b.txt"));
    EXPECT_TRUE(sb.exists("f/sub/in.txt") && sb.exists("f/roFull/x"));
    // A folder that is not plain is handled as a file: removed when empty.
    EXPECT_EQ(sb.exists("f/roEmpty"), !readOnlyFolders);

    sb.writeFile("src/a.txt", "a");
    sb.writeFile("src/deep/er/b.txt", "b");
    sb.writeFile("src/ro/c.txt", "c");
    readOnly("src/ro");  // as above
    sb.writeFile("dst/stale.txt", "old");
    sb.writeFile("dst/deep/stale2.txt", "old");
    fs::current_path(sb.native("elsewhere"));
    EXPECT_FALSE(P::copyFolder(p("dst").c_str(), p("src").c_str()));
    EXPECT_TRUE(inElsewhere());
    EXPECT_EQ(sb.readFile("dst/a.txt") + sb.readFile("dst/deep/er/b.txt"), "ab");
    EXPECT_FALSE(sb.exists("dst/stale.txt") || sb.exists("dst/deep/stale2.txt"));
    EXPECT_EQ(sb.exists("dst/ro"), !readOnlyFolders);  // not a plain folder: copied as a file, which fails
    EXPECT_FALSE(P::copyFolder(p("dst").c_str(), p("nosrc").c_str()));
    EXPECT_TRUE(fs::is_empty(sb.native("dst")));
    EXPECT_TRUE(inElsewhere());

    fs::remove(sb.native("f/sub/in.txt"));
    struct Case {
        const char* folder;
        bool empty;
    } cases[] = {{"f/sub", true}, {"nothing", true}, {"f", false}, {"src/deep/er", false}, {"f/roFull/", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(P::isEmptyDirectory(p(c.folder).c_str()), c.empty) << c.folder;
    }
    EXPECT_TRUE(currentFolderIs(sb.native("f/roFull")));
}

// The folders below `root`, relative, in order.
std::vector<std::string> treeOf(const fs::path& root)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        names.push_back(fs::relative(entry.path(), root).generic_string() + "=" +
                        (entry.is_regular_file() ? std::to_string(entry.file_size()) : "dir"));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// However a destination is spelled, copying a folder onto itself, into
// itself or over a folder that holds it is refused and changes nothing.
TEST_F(Files, CopyFolderRefusesEverySpellingOfItsOwnSource)
{
    sb.writeFile("w/src/a.txt", "a");
    sb.writeFile("w/src/sub/b.txt", "bb");
    sb.makeFolder("w/other");
    const auto original = treeOf(sb.native("w"));
    const auto source = treeOf(sb.native("w/src"));
    ASSERT_EQ(source.size(), 3u);
    fs::current_path(sb.native("w/other"));
    std::string native = sb.native("w/src").string();
    std::vector<std::string> refused = {
        p("w/src"), p("w/src/"), p("w/src/."), p("w/src/sub/.."), p("w/other/../src"), p("w//src\\"),
        p("w\\src"), "../src", "./../src", native,
        p("w/src/copy"), p("w/src/sub/new/deeper"), p("w/src/sub/../copy"), "../src/copy", native + "/copy",
        p("w/other/../src/new/../copy"),
        p("w"), sb.path(),  // clearing these would remove the source
    };
#if defined(_WIN32)
    refused.insert(refused.end(), {p("W/SRC"), p("w/Src/copy"), p("W")});  // names ignore case
#else
    // A link that leads to the source, and a drive of the drive map whose
    // root is the source's parent.
    fs::create_directory_symlink(sb.native("w/src"), sb.native("w/alias"));
    std::string drives = std::getenv("KTU_DRIVES");
    setenv("KTU_DRIVES", (drives + ";U=" + sb.native("w").string()).c_str(), 1);
    refused.insert(refused.end(), {p("w/alias"), p("w/alias/copy"), "U:/src", "U:\\src\\copy", "U:/", "U:"});
#endif
    for (const auto& destination : refused) {
        EXPECT_FALSE(P::copyFolder(destination.c_str(), p("w/src").c_str()));
        EXPECT_EQ(treeOf(sb.native("w/src")), source)
            << destination;
        EXPECT_TRUE(currentFolderIs(sb.native("w/other"))) << destination;
    }
#if !defined(_WIN32)
    // Named through the link, the source is the same folder too.
    EXPECT_FALSE(P::copyFolder(p("w/src/copy").c_str(), p("w/alias").c_str()));
    EXPECT_FALSE(P::copyFolder("U:/src/copy", p("w/alias/").c_str()));
    setenv("KTU_DRIVES", drives.c_str(), 1);
    fs::remove(sb.native("w/alias"));
#endif
    EXPECT_EQ(treeOf(sb.native("w")), original);

    // Beside the source, whatever the spelling, the copy is made.
    std::vector<std::string> copies = {p("w/copy1"), p("w/other/../copy2"), p("w/src/../copy3"), p("w/srcopy")};
#if !defined(_WIN32)
    copies.push_back(p("w/SRC"));  // another folder where names keep their case
#endif
    for (const auto& destination : copies) {
        EXPECT_FALSE(P::copyFolder(destination.c_str(), p("w/src").c_str()));
    }
    auto copied = treeOf(sb.native("w"));
    for (const char* made : {"copy1/sub/b.txt=2", "copy2/sub/b.txt=2", "copy3/a.txt=1", "srcopy/sub/b.txt=2"}) {
        EXPECT_TRUE(std::count(copied.begin(), copied.end(), made) == 1) << made;
    }
    EXPECT_EQ(treeOf(sb.native("w/src")), source);
}

ktu::platform::FindHandle throwingFind(const char*, ktu::platform::FindEntry*)
{
    throw 1;
}

std::FILE* throwingOpen(const char* path, const char* mode, ShareMode share)
{
    if (std::string(path).find("temp") != std::string::npos) {
        throw 1;  // the copy only: the log writer still writes
    }
    return ktu::platform::systemOps().fs.openStream(path, mode, share);
}

TEST_F(Files, CaughtFaults)
{
    ktu::test::MessageBoxRecorder boxes;
    sb.writeFile("c/a.txt", "a");
    {
        ScopedOverride find(ktu::platform::ops().fs.findFirst, throwingFind);
        EXPECT_FALSE(P::deleteFile(p("c/a.txt").c_str()));
        EXPECT_FALSE(P::deleteFilesInFolder(p("c").c_str()));
        EXPECT_FALSE(P::copyFolder(p("copy").c_str(), p("c").c_str()));
        EXPECT_FALSE(P::isEmptyDirectory(p("c").c_str()));
        EXPECT_FALSE(P::renameFile(p("c/a.txt").c_str(), "b.txt"));  // the existence test catches it
    }
    ScopedOverride open(ktu::platform::ops().fs.openStream, throwingOpen);
    EXPECT_FALSE(P::copyFileExcludingLine(p("c/a.txt").c_str(), "a"));
    EXPECT_TRUE(sb.exists("c/a.txt"));
    EXPECT_EQ(ktu::test::logTexts(sb.native("logs/output.log")),
              (std::vector<std::string>{
                  "KSUtilityClasses-ktuFilePathUtils()::deleteFolder()",
                  "KSUtilityClasses-ktuFilePathUtils::deleteFilesInFolder()",
                  "KSUtilityClasses-ktuFilePathUtils::copyFolder()",
                  "KestrelSightWare-ktuFilePathUtils::isEmptyDirectory()",
                  "KSUtilityClasses-ktuFilePathUtils::ktuFilePathUtils()",
                  "KSUtilityClasses-ktuFilePathUtils::copyFileExcludingLine()",
              }));
}

}  // namespace
