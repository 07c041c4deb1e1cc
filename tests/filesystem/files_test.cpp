// Files and folders in a sandbox: existence tests, single files, folder trees, drives, making and removing folders.
#include <algorithm>
#include <cstdlib>

#include "KSUtilityClasses.h"
#include "treeState.h"

namespace {

namespace fs = std::filesystem;
using ktu::platform::ShareMode;
using ktu::test::currentFolderIs;
using ktu::test::ScopedOverride;
using P = ktuFilePathUtils;
using Lines = std::vector<std::string>;

class Files : public ktu::test::LoggedTest {
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
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
};

TEST_F(Files, ExistenceDriveAndCharacterChecks)
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
    for (const char* pattern : {"*.txt", "noext.", "noext.*"}) {  // "name." and "name.*" find "name" too
        EXPECT_TRUE(P::checkFileExistance(p("data/").c_str(), pattern)) << pattern;
    }
    EXPECT_FALSE(P::checkFileExistance(p("nowhere").c_str(), "*"));

    for (const auto& [drive, local] : {std::pair{"C:", true}, {"c:", true}, {"C:\\", true}, {"c:\\", true},
                                       {"C:/", false}, {"C", false}, {"", false}, {"Q:", false}, {"C:\\x", false}}) {
        EXPECT_EQ(P::checkForLocalDrive(drive), local) << drive;
    }
    EXPECT_FALSE(P::checkForLocalDrive(nullptr));
    EXPECT_FALSE(P::checkForLocalDrive(std::string(10000, 'C').c_str()));

    EXPECT_TRUE(P::checkForSpecialCharacters("/data/new folder_1\\x"));
    EXPECT_TRUE(P::checkForSpecialCharacters(""));
    for (char c : std::string("`~!@#$%^&*()-+=|{}[]:;\"'<>,.?")) {
        std::string text = std::string("/data/a") + c + "b";
        EXPECT_FALSE(P::checkForSpecialCharacters(text.c_str())) << text;
    }
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
        {"x\r\r\nb\r\n", true, {"x", "b"}},  // the line "x\r" is kept (line ends differ by system)
        {longLine + "\na\n" + longLine, true, {longLine, longLine}},  // long lines are kept whole
    };
    for (const auto& c : cases) {
        sb.writeFile("in/list.txt", c.source);
        fs::remove(sb.native("in/templist.txt"));
        EXPECT_EQ(P::copyFileExcludingLine(p("in/list.txt").c_str(), "a"), c.result) << c.source;
        Lines copy = ktu::test::readLines(sb.native("in/templist.txt"));
        for (auto& line : copy) {
            line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
        }
        EXPECT_EQ(copy, c.copy) << c.source;
    }
    EXPECT_TRUE(P::copyFileExcludingLine(p("in/list.txt").c_str(), "a"));  // appended to, not replaced
    EXPECT_EQ(ktu::test::readLines(sb.native("in/templist.txt")).size(), 4u);
    {
        // A copy that cannot be completed leaves the old one whole, and nothing beside it.
        const std::string old = sb.readFile("in/templist.txt");
        ScopedOverride replace(ktu::platform::ops().fs.replaceFile, +[](const char*, const char*) { return false; });
        EXPECT_TRUE(P::copyFileExcludingLine(p("in/list.txt").c_str(), "a"));
        EXPECT_EQ(sb.readFile("in/templist.txt"), old);
        EXPECT_EQ(std::distance(fs::directory_iterator(sb.native("in")), {}), 2);
    }
    EXPECT_FALSE(P::copyFileExcludingLine(p("in/gone.txt").c_str(), "a"));  // its copy is made all the same
    EXPECT_TRUE(sb.exists("in/tempgone.txt"));
    EXPECT_FALSE(P::copyFileExcludingLine("in/list.txt", "a"));  // does not split: nothing opened
    EXPECT_FALSE(P::copyFileExcludingLine(p("in/").c_str(), "a"));
    EXPECT_FALSE(sb.exists("in/temp"));

    // Nor can a reader that denies writes open a file that is being written; while one holds it, other
    // readers may open it and writers may not.
    auto& system = ktu::platform::ops().fs;
    std::FILE* writer = system.openStream(p("in/list.txt").c_str(), "a", ShareMode::Any);
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(system.openStream(p("in/list.txt").c_str(), "r", ShareMode::DenyWrite), nullptr);
    std::fclose(writer);
    std::FILE* holder = system.openStream(p("in/list.txt").c_str(), "r", ShareMode::DenyWrite);
    std::FILE* reader = system.openStream(p("in/list.txt").c_str(), "r", ShareMode::Any);
    EXPECT_TRUE(holder != nullptr && reader != nullptr);
    EXPECT_EQ(system.openStream(p("in/list.txt").c_str(), "a", ShareMode::Any), nullptr);
    for (std::FILE* stream : {holder, reader}) {
        if (stream != nullptr) {
            std::fclose(stream);
        }
    }
}

TEST_F(Files, RenameDeleteMakeAndRemoveFolders)
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
    EXPECT_FALSE(P::renameFile(p("r/missing.txt").c_str(), "x.txt"));
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(boxes.calls()[0].text + "|" + boxes.calls()[0].caption, "Invalid File Path|Invalid File Path");

    for (const char* file : {"d/a.tmp", "d/b.tmp", "d/ro.txt", "d/sub.tmp2/x"}) {
        sb.writeFile(file, "");
    }
    ASSERT_TRUE(readOnly("d/ro.txt"));
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
    EXPECT_FALSE(sb.exists("dst/stale.txt") || sb.exists("dst/deep/stale2.txt"));
    EXPECT_EQ(sb.exists("dst/ro"), !readOnlyFolders);  // not a plain folder: copied as a file, which fails
    EXPECT_FALSE(P::copyFolder(p("dst").c_str(), p("nosrc").c_str()));
    EXPECT_TRUE(fs::is_empty(sb.native("dst")));

    fs::remove(sb.native("f/sub/in.txt"));
    for (const auto& [folder, empty] : {std::pair{"f/sub", true}, {"nothing", true}, {"f", false},
                                        {"src/deep/er", false}, {"f/roFull/", false}}) {
        EXPECT_EQ(P::isEmptyDirectory(p(folder).c_str()), empty) << folder;
    }
    EXPECT_TRUE(currentFolderIs(sb.native("f/roFull")));

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

    // An existing level is kept as it is, or emptied when it is recreated.
    sb.writeFile("a/b/file.txt", "x");
    long status = 7;
    P::createAllFolders(p("a/b").c_str(), false, &status);
    EXPECT_TRUE(sb.exists("a/b/file.txt"));
    P::createAllFolders(p("a/b").c_str(), true, &status);
    EXPECT_EQ(status, 7);
    EXPECT_TRUE(fs::is_directory(sb.native("a/b")));
    EXPECT_FALSE(sb.exists("a/b/file.txt"));

    // checkOrCreateFolder finds only plain folders.
    sb.makeFolder("base/plain");
    EXPECT_TRUE(P::checkOrCreateFolder(p("base").c_str(), "plain", false));
    EXPECT_TRUE(currentFolderIs(sb.native("base")));
    EXPECT_TRUE(P::checkOrCreateFolder(p("base").c_str(), "fresh", false));
    EXPECT_TRUE(fs::is_directory(sb.native("base/fresh")));
    EXPECT_FALSE(P::checkOrCreateFolder(p("missing").c_str(), "x", false));
    // A read-only folder carries a second attribute bit: it is not found, and making it again fails.
    sb.makeFolder("base/locked");
    if (readOnly("base/locked")) {
        EXPECT_FALSE(P::checkOrCreateFolder(p("base").c_str(), "locked", false));
    }
#if defined(_WIN32)
    // Names compare case-sensitively; the file system then refuses the twin.
    EXPECT_FALSE(P::checkOrCreateFolder(p("base").c_str(), "PLAIN", false));
#endif

    for (const auto& [folder, found] : {std::pair{"C:", true}, {"C:\\", true}, {"C:/", false}, {"", false}}) {
        EXPECT_EQ(P::checkOrCreateFolder(folder, false), found) << folder;
    }
    EXPECT_TRUE(P::checkOrCreateFolder(p("one/").c_str(), false));  // trailing separator passed over
    EXPECT_TRUE(fs::is_directory(sb.native("one")));

    // deleteFolder: a read-only file is cleared and removed, and the holding folder entered.
    sb.writeFile("tree/sub/deeper/b.txt", "b");
    sb.writeFile("tree/sub/c.txt", "c");
    ASSERT_TRUE(readOnly("tree/sub/c.txt"));
    sb.makeFolder("hold");
    EXPECT_TRUE(P::deleteFolder(p("tree").c_str(), p("hold").c_str()));
    EXPECT_FALSE(sb.exists("tree"));
    EXPECT_TRUE(currentFolderIs(sb.native("hold")));
    EXPECT_FALSE(P::deleteFolder(p("tree").c_str(), p("hold").c_str()));

    // What cannot be removed stays; the rest goes.
    sb.writeFile("tree/keep.txt", "k");
    sb.writeFile("tree/go.txt", "g");
    sb.writeFile("tree/ro/inner.txt", "i");  // read-only folder: handled as a file
    bool locked = readOnly("tree/ro");
    ScopedOverride del(ktu::platform::ops().fs.deleteEntry, +[](ktu::platform::FolderHandle folder, const char* name) {
        return std::string(name) != "keep.txt" && ktu::platform::systemOps().fs.deleteEntry(folder, name);
    });
    EXPECT_FALSE(P::deleteFolder(p("tree").c_str(), sb.path().c_str()));
    EXPECT_TRUE(sb.exists("tree/keep.txt"));
    EXPECT_FALSE(sb.exists("tree/go.txt"));
    EXPECT_EQ(sb.exists("tree/ro/inner.txt"), locked);  // a read-only folder is not recursed into
}

// Copying a folder onto itself, into itself or over a folder holding it is refused, however the destination is spelled.
TEST_F(Files, CopyFolderRefusesEverySpellingOfItsOwnSource)
{
    sb.writeFile("w/src/a.txt", "a");
    sb.writeFile("w/src/sub/b.txt", "bb");
    sb.makeFolder("w/other");
    const auto original = ktu::test::treeState(sb.native("w"));
    const auto source = ktu::test::treeState(sb.native("w/src"));
    fs::current_path(sb.native("w/other"));
    std::string native = sb.native("w/src").string();
    Lines refused = {
        p("w/src"), p("w/src/"), p("w/src/."), p("w/src/sub/.."), p("w/other/../src"), p("w//src\\"),
        p("w\\src"), "../src", "./../src", native,
        p("w/src/copy"), p("w/src/sub/new/deeper"), p("w/src/sub/../copy"), "../src/copy", native + "/copy",
        p("w/other/../src/new/../copy"),
        p("w"), sb.path(),  // clearing these would remove the source
        p("w/missing/../"), p("w/other/missing/../../src"),  // ".." applied to a name that is not there
    };
#if defined(_WIN32)
    refused.insert(refused.end(), {p("W/SRC"), p("w/Src/copy"), p("W")});  // names ignore case
#else
    // A link that leads to the source, and a drive of the drive map whose root is the source's parent.
    fs::create_directory_symlink(sb.native("w/src"), sb.native("w/alias"));
    std::string drives = std::getenv("KTU_DRIVES");
    setenv("KTU_DRIVES", (drives + ";U=" + sb.native("w").string()).c_str(), 1);
    refused.insert(refused.end(), {p("w/alias"), p("w/alias/copy"), "U:/src", "U:\\src\\copy", "U:/", "U:"});
#endif
    for (const auto& destination : refused) {
        EXPECT_FALSE(P::copyFolder(destination.c_str(), p("w/src").c_str()));
        EXPECT_EQ(ktu::test::treeState(sb.native("w/src")), source) << destination;
        EXPECT_TRUE(currentFolderIs(sb.native("w/other"))) << destination;
    }
#if !defined(_WIN32)
    // Named through the link, the source is the same folder too.
    EXPECT_FALSE(P::copyFolder(p("w/src/copy").c_str(), p("w/alias").c_str()));
    EXPECT_FALSE(P::copyFolder("U:/src/copy", p("w/alias/").c_str()));
    setenv("KTU_DRIVES", drives.c_str(), 1);
    fs::remove(sb.native("w/alias"));
#endif
    EXPECT_EQ(ktu::test::treeState(sb.native("w")), original);

    // Beside the source, whatever the spelling, the copy is made.
    Lines copies = {"w/copy1", "w/other/../copy2", "w/src/../copy3", "w/srcopy"};
#if !defined(_WIN32)
    copies.push_back("w/SRC");  // another folder where names keep their case
#endif
    for (const auto& destination : copies) {
        EXPECT_FALSE(P::copyFolder(p(destination).c_str(), p("w/src").c_str()));
        EXPECT_EQ(ktu::test::treeState(sb.native(destination)), source) << destination;
    }
    EXPECT_EQ(ktu::test::treeState(sb.native("w/src")), source);
}

// A fault inside each guarded operation costs one line and the fixed answer.
TEST_F(Files, CaughtFaultsAreLoggedWithTheirAnswers)
{
    char name[260], ext[256], required[8] = "bmp";
    long statuses[4] = {7, 7, 7, 7};
    EXPECT_ANY_THROW(P::getFileNameAndExt(nullptr, name, ext));  // logged, then passed on
    P::converForwardSlashToDoubleBackSlash(nullptr);             // left alone, not logged
    EXPECT_FALSE(P::checkRequiredFileExtension(nullptr, required));
    P::removeContinuousSlashes(nullptr);
    P::getParentDirectory(nullptr, name);
    P::convertToAbsolutePath(nullptr, "./x", name, &statuses[0]);
    P::convertToRelativePath("C:/a", nullptr, name, &statuses[1]);
    P::getFileNameAndBasePathFromFullPath(nullptr, name, name, &statuses[2]);
    P::createAllFolders(nullptr, false, &statuses[3]);
    EXPECT_EQ(std::vector<long>(statuses, statuses + 4), std::vector<long>(4, -100));
    EXPECT_FALSE(P::checkFileExistence(nullptr));
    EXPECT_FALSE(P::checkForFile_Path_Existence(nullptr));
    EXPECT_TRUE(P::checkOrCreateFolder(nullptr, false));  // true, not false

    ktu::test::MessageBoxRecorder boxes;
    sb.writeFile("c/a.txt", "a");
    sb.makeFolder("c/x");
    auto& system = ktu::platform::ops().fs;
    {
        ScopedOverride create(system.createDir, +[](const char*) -> bool { throw 1; });
        EXPECT_TRUE(P::createNewFolder(p("c").c_str(), "new"));  // the result as it stood
    }
    {
        ktu::test::Overrides throwing;
        throwing.set(system.findFirst, [](const char*, ktu::platform::FindEntry*) -> ktu::platform::FindHandle {
            throw 1;
        });
        throwing.set(system.listFolder,
                     [](ktu::platform::FolderHandle, ktu::platform::FindEntry*) -> ktu::platform::FindHandle {
                         throw 1;
                     });
        EXPECT_FALSE(P::checkOrCreateFolder(p("c").c_str(), "x", false));
        EXPECT_FALSE(P::deleteFolder(p("c").c_str(), sb.path().c_str()));
        EXPECT_FALSE(P::deleteFile(p("c/a.txt").c_str()));
        EXPECT_FALSE(P::deleteFilesInFolder(p("c").c_str()));
        EXPECT_FALSE(P::copyFolder(p("copy").c_str(), p("c").c_str()));
        EXPECT_FALSE(P::isEmptyDirectory(p("c").c_str()));
        EXPECT_FALSE(P::renameFile(p("c/a.txt").c_str(), "b.txt"));  // the existence test catches it
    }
    ScopedOverride open(system.openStream, +[](const char* path, const char* mode, ShareMode share) {
        if (std::string(path).find("temp") != std::string::npos) {
            throw 1;  // the copy only: the log writer still writes
        }
        return ktu::platform::systemOps().fs.openStream(path, mode, share);
    });
    EXPECT_FALSE(P::copyFileExcludingLine(p("c/a.txt").c_str(), "a"));
    const std::string u = "KSUtilityClasses-ktuFilePathUtils", k = "KestrelSightWare-ktuFilePathUtils";
    EXPECT_EQ(logs(), (Lines{
                          u + "()::getFileNameAndExt()",          k + "::checkRequiredFileExtension()",
                          k + "::removeContinuousSlash()",        k + "::getParentDirectory()",
                          k + "::convertToAbsolutePath()",        k + "::convertToRelativePath()",
                          u + "()::getFileNameAndBasePathFromFullPath()",
                          u + "()::createAllFolders()",           u + "::ktuFilePathUtils()",
                          u + "()::checkForFile_Path_Existence()", u + "::checkOrCreateFolder()",
                          u + "::createNewFolder()",              u + "()::checkOrCreateFolder()",
                          u + "::deleteFolder()",                 u + "()::deleteFolder()",
                          u + "::deleteFilesInFolder()",          u + "::copyFolder()",
                          k + "::isEmptyDirectory()",             u + "::ktuFilePathUtils()",
                          u + "::copyFileExcludingLine()",
                      }));
}

}  // namespace
