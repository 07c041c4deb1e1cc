// Fault sweeps of the log writer, the file system utilities and the BMP and
// picture readers and writers.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "faultSweep.h"

namespace fs = std::filesystem;

namespace ktu {
namespace test {
namespace {

using FileSweep = FaultSweep;

bool isStatus(long status)
{
    return status == 100 || (status <= -100 && status >= -106);
}

TEST_F(FileSweep, LogWriter)
{
    sweep("ktuLogUtils::writeLog", [&] {
        injected([] { ktuLogUtils::writeLog("Common", "sweep line", 1); });
        // The line is written whole or not at all.
        for (const auto& text : logTexts(sb.native("logs/output.log"))) {
            EXPECT_EQ(text, "Common-sweep line");
        }
    });
    sweep("ktuLogUtils::setLogsDir", [&] {
        const bool set = injected([&] { return ktuLogUtils::setLogsDir(work("a/logs").c_str()); });
        if (set) {
            EXPECT_TRUE(fs::is_directory(native("a/logs")));
        }
        ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
    });
    sweep("ktuLogUtils::writeDebugLog", [&] {
        injected([] { ktuLogUtils::writeDebugLog("debug.log", "Common", "sweep line"); });
        for (const auto& text : logTexts(sb.native("logs/debug.log"))) {
            EXPECT_EQ(text, "Common-sweep line");
        }
    });
}

#if !defined(_WIN32)
// Without a chosen folder the log goes to "Logs" on the desktop, found
// through the settings store or the platform. Once a process has chosen a
// folder it cannot go back, so this sweep runs in a child process of its own
// and hands its figure back through a file.
class DefaultLogFolderSweep : public FaultSweep {
protected:
    bool chooseLogFolder() const override { return false; }
};

TEST_F(DefaultLogFolderSweep, WriteLog)
{
    // The child runs this test from its start in a sandbox of its own; the
    // parent's file name is kept (setenv does not overwrite it).
    ::setenv("KTU_FAULT_RESULT", sb.native("child-result").c_str(), 0);
    const std::string operation = "ktuLogUtils::writeLog(desktop)";
    EXPECT_EXIT(
        {
            ::setenv("XDG_DESKTOP_DIR", sb.native("desk").c_str(), 1);
            fs::create_directories(sb.native("desk"));
            sweep(operation, [&] {
                fs::remove_all(sb.native("desk/Logs"));
                injected([] { ktuLogUtils::writeLog("Common", "sweep line", 0); });
                for (const auto& text : logTexts(sb.native("desk/Logs/output.log"))) {
                    EXPECT_EQ(text, "Common-sweep line");
                }
            });
            std::FILE* out = std::fopen(std::getenv("KTU_FAULT_RESULT"), "w");
            std::fprintf(out, "%s", figures(operation).c_str());
            std::fclose(out);
            std::_Exit(HasFailure() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
    ::unsetenv("KTU_FAULT_RESULT");
    addFigures(sb.readFile("child-result"));
}
#endif

TEST_F(FileSweep, FolderCreationAndRemoval)
{
    sweep("ktuFilePathUtils::createAllFolders", [&] {
        long status = 0;
        injected([&] { ktuFilePathUtils::createAllFolders(work("a/b/c").c_str(), false, &status); });
        EXPECT_TRUE(status == 0 || isStatus(status)) << status;
        if (status == 0 || status == 100) {
            EXPECT_TRUE(fs::is_directory(native("a/b/c")));
        }
    });
    sweep("ktuFilePathUtils::checkOrCreateFolder", [&] {
        sb.writeFile("run/a/old.txt", "old");
        const bool made = injected([&] { return ktuFilePathUtils::checkOrCreateFolder(work("").c_str(), "a", true); });
        EXPECT_TRUE(made || fired());
        if (made) {
            EXPECT_TRUE(fs::is_directory(native("a")));
            EXPECT_FALSE(fs::exists(native("a/old.txt")));
        }
    });
    sweep("ktuFilePathUtils::createNewFolder", [&] {
        const bool made = injected([&] { return ktuFilePathUtils::createNewFolder(work("").c_str(), "n"); });
        EXPECT_EQ(made, fs::is_directory(native("n")));
    });
    sweep("ktuFilePathUtils::deleteFolder", [&] {
        sb.writeFile("run/d/e/f.txt", "f");
        sb.writeFile("run/d/g.txt", "g");
        const bool gone = injected([&] { return ktuFilePathUtils::deleteFolder(work("d").c_str(), work("").c_str()); });
        if (gone) {
            EXPECT_FALSE(fs::exists(native("d")));
        }
    });
    sweep("ktuFilePathUtils::checkForLocalDrive", [&] {
        const bool found = injected([] { return ktuFilePathUtils::checkForLocalDrive("C:"); });
        EXPECT_TRUE(found || fired());
    });
}

TEST_F(FileSweep, FileOperations)
{
    sweep("ktuFilePathUtils::copyFileExcludingLine", [&] {
        sb.writeFile("run/list.txt", "one\ntwo\nthree\n");
        const bool left =
            injected([&] { return ktuFilePathUtils::copyFileExcludingLine(work("list.txt").c_str(), "two"); });
        EXPECT_EQ(sb.readFile("run/list.txt"), "one\ntwo\nthree\n") << "the source is never changed";
        // The answer tells whether a line was left out; a copy that is made
        // holds every other line.
        if (left && fs::exists(native("templist.txt"))) {
            EXPECT_EQ(readLines(native("templist.txt")), (std::vector<std::string>{"one", "three"}));
        }
    });
    sweep("ktuFilePathUtils::renameFile", [&] {
        sb.writeFile("run/a.txt", "content");
        const bool renamed = injected([&] { return ktuFilePathUtils::renameFile(work("a.txt").c_str(), "b.txt"); });
        // Never neither: the content stays under one of the names.
        EXPECT_TRUE(fs::exists(native("a.txt")) || fs::exists(native("b.txt")));
        if (renamed) {
            EXPECT_FALSE(fs::exists(native("a.txt")));
            EXPECT_EQ(sb.readFile("run/b.txt"), "content");
        }
    });
    sweep("ktuFilePathUtils::deleteFile", [&] {
        sb.writeFile("run/a.txt", "content");
        const bool deleted = injected([&] { return ktuFilePathUtils::deleteFile(work("a.txt").c_str()); });
        EXPECT_EQ(deleted, !fs::exists(native("a.txt")));
    });
    sweep("ktuFilePathUtils::checkFileExistence", [&] {
        sb.writeFile("run/a.txt", "content");
        const bool found = injected([&] { return ktuFilePathUtils::checkFileExistence(work("a.txt").c_str()); });
        EXPECT_TRUE(found || fired());
    });
    sweep("ktuFilePathUtils::checkFileExistance", [&] {
        sb.writeFile("run/a.txt", "content");
        const auto before = currentFolder();
        const bool found = injected([&] { return ktuFilePathUtils::checkFileExistance(work("").c_str(), "a.txt"); });
        EXPECT_TRUE(found || fired());
        // Restored in every outcome, unless going back is what failed.
        if (currentFolder() != before) {
            EXPECT_EQ(failedEntry(), "fs.setCurrentDir");
        }
    });
    sweep("ktuFilePathUtils::checkForFile_Path_Existence", [&] {
        sb.writeFile("run/a.txt", "content");
        const bool found =
            injected([&] { return ktuFilePathUtils::checkForFile_Path_Existence(work("a.txt").c_str()); });
        EXPECT_TRUE(found || fired());
    });
}

TEST_F(FileSweep, FolderTrees)
{
    sweep("ktuFilePathUtils::copyFolder", [&] {
        sb.writeFile("run/src/a.txt", "a");
        sb.writeFile("run/src/sub/b.txt", "b");
        EXPECT_FALSE(injected([&] { return ktuFilePathUtils::copyFolder(work("dst").c_str(), work("src").c_str()); }));
        EXPECT_EQ(sb.readFile("run/src/sub/b.txt"), "b") << "the source is never changed";
        if (fs::exists(native("dst/sub/b.txt"))) {
            EXPECT_EQ(sb.readFile("run/dst/sub/b.txt"), "b");
        }
    });
    sweep("ktuFilePathUtils::deleteFilesInFolder", [&] {
        sb.writeFile("run/a.txt", "a");
        sb.writeFile("run/sub/b.txt", "b");
        EXPECT_FALSE(injected([&] { return ktuFilePathUtils::deleteFilesInFolder(work("").c_str()); }));
        EXPECT_TRUE(fs::exists(native("sub/b.txt")));
    });
    sweep("ktuFilePathUtils::isEmptyDirectory", [&] {
        sb.writeFile("run/a.txt", "a");
        const bool empty = injected([&] { return ktuFilePathUtils::isEmptyDirectory(work("").c_str()); });
        EXPECT_TRUE(!empty || fired());
    });
}

TEST_F(FileSweep, FileDialogs)
{
    ScopedOverride picker(platform::ops().ui.pickFile,
                          +[](const ktuFilePickRequest*, char* path, uint32_t size) {
                              std::snprintf(path, size, "%s", "C:/chosen.bmp");
                              return true;
                          });
    sweep("ktuFilePathUtils::getOpenFileName", [&] {
        char name[260] = "old";
        const bool done =
            injected([&] { return ktuFilePathUtils::getOpenFileName(name, "BMP\0*.bmp\0", "Open", nullptr); });
        EXPECT_TRUE(done || fired());
        if (done) {
            EXPECT_STREQ(name, "C:/chosen.bmp");
        }
    });
    sweep("ktuFilePathUtils::getSaveFileName", [&] {
        char name[260] = "old";
        const bool done =
            injected([&] { return ktuFilePathUtils::getSaveFileName(name, "BMP\0*.bmp\0", "Save", "bmp", nullptr); });
        EXPECT_TRUE(done || fired());
        if (done) {
            EXPECT_STREQ(name, "C:/chosen.bmp");
        }
    });
}

// ---- BMP files and pictures ---------------------------------------------

// A 3 x 2 picture: BMP-aligned rows of 9 pixel bytes and 3 alignment bytes.
std::vector<unsigned char> pixels3x2()
{
    std::vector<unsigned char> bytes(24, 0);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<unsigned char>(i % 12 < 9 ? 10 + i : 0);
    }
    return bytes;
}

uint32_t le32(const std::string& bytes, std::size_t at)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

// A BMP file that is missing, or whose header claims no more than it holds.
void expectNoFalseClaim(const Sandbox& sb, const std::string& relative)
{
    if (!sb.exists(relative)) {
        return;
    }
    const std::string bytes = sb.readFile(relative);
    if (bytes.size() >= 6 && bytes.compare(0, 2, "BM") == 0) {
        EXPECT_EQ(le32(bytes, 2), bytes.size()) << relative << ": a partial file claims to be complete";
    }
}

class BmpSweep : public FaultSweep {
protected:
    void SetUp() override
    {
        FaultSweep::SetUp();
        ASSERT_TRUE(ktuBMPUtils::saveAsBMP(3, 2, pixels3x2().data(), sb.path("in.bmp").c_str()));
    }
    std::string in() const { return sb.path("in.bmp"); }
};

TEST_F(BmpSweep, Writers)
{
    const auto pixels = pixels3x2();
    const std::string written = sb.readFile("in.bmp");
    ASSERT_EQ(written.size(), 54u + 24u);
    sweep("ktuBMPUtils::saveAsBMP", [&] {
        sb.writeFile("run/out.bmp", "old file");
        const bool done =
            injected([&] { return ktuBMPUtils::saveAsBMP(3, 2, pixels.data(), work("out.bmp").c_str()); });
        EXPECT_TRUE(done || fired());
        if (done) {
            EXPECT_EQ(sb.readFile("run/out.bmp"), written);
        } else {
            expectNoFalseClaim(sb, "run/out.bmp");
        }
    });
    sweep("ktuBMPUtils::CreateBMPFile", [&] {
        BITMAPINFO* header = ktuBMPUtils::CreateBitmapInfoStruct(3, 2);
        ASSERT_NE(header, nullptr);
        const bool ok =
            injected([&] { return ktuBMPUtils::CreateBMPFile(work("out.bmp").c_str(), header, pixels.data()); });
        platform::ops().picture.localFree(header);
        if (ok) {
            EXPECT_EQ(sb.readFile("run/out.bmp"), written);
        } else {
            expectNoFalseClaim(sb, "run/out.bmp");
        }
    });
    sweep("ktuBMPUtils::cropAndSaveImage", [&] {
        const bool done =
            injected([&] { return ktuBMPUtils::cropAndSaveImage(in().c_str(), work("crop.bmp").c_str(), 1, 0, 2, 2); });
        EXPECT_TRUE(done || fired());
        if (done) {
            EXPECT_EQ(sb.readFile("run/crop.bmp").size(), 54u + 16u);
        } else {
            expectNoFalseClaim(sb, "run/crop.bmp");
        }
    });
}

TEST_F(BmpSweep, Readers)
{
    const auto pixels = pixels3x2();
    sweep("ktuBMPUtils::getImageSize", [&] {
        int width = -1;
        int height = -1;
        const bool done = injected([&] { return ktuBMPUtils::getImageSize(in().c_str(), &width, &height); });
        EXPECT_TRUE(done || fired());
        if (done) {
            EXPECT_EQ(width, 3);
            EXPECT_EQ(height, 2);
        }
    });
    sweep("ktuBMPUtils::getImageSize2", [&] {
        int width = -1;
        int height = -1;
        const bool done = injected([&] { return ktuBMPUtils::getImageSize2(in().c_str(), &width, &height); });
        EXPECT_TRUE(done || fired());
        if (done) {
            EXPECT_GT(width, 0);
            EXPECT_GT(height, 0);
        }
    });
    sweep("ktuBMPUtils::getImageData", [&] {
        std::vector<unsigned char> out(18, 0xEE);
        const bool done = injected([&] { return ktuBMPUtils::getImageData(in().c_str(), out.data()); });
        EXPECT_TRUE(done || fired());
        if (done) {
            EXPECT_TRUE(std::equal(out.begin(), out.begin() + 9, pixels.begin()));
            EXPECT_TRUE(std::equal(out.begin() + 9, out.end(), pixels.begin() + 12));
        }
    });
    sweep("ktuBMPUtils::getImageBitmapData", [&] {
        std::vector<unsigned char> out(18, 0xEE);
        const bool done = injected([&] { return ktuBMPUtils::getImageBitmapData(in().c_str(), out.data()); });
        EXPECT_TRUE(done || fired());
        if (done) {
            EXPECT_TRUE(std::equal(out.begin(), out.end(), pixels.begin()));
        }
    });
    sweep("ktuBMPUtils::getResizedImageData", [&] {
        std::vector<unsigned char> out(64, 0xEE);
        // Answers true even when the picture cannot be read.
        EXPECT_TRUE(injected([&] { return ktuBMPUtils::getResizedImageData(in().c_str(), out.data(), 2, 2); }));
    });
    sweep("ktuBMPUtils::checkBMPFormat", [&] {
        // The file is 24-bit, so an unreadable one (all zeros) passes too.
        EXPECT_TRUE(injected([&] { return ktuBMPUtils::checkBMPFormat(in().c_str()); }));
    });
    sweep("ktuBMPUtils::LoadPictureFile", [&] {
        IPicture* picture = nullptr;
        const bool loaded = injected([&] { return ktuBMPUtils::LoadPictureFile(in().c_str(), &picture, nullptr); });
        EXPECT_EQ(loaded, picture != nullptr);
        if (picture != nullptr) {
            picture->Release();
        }
    });
#if !defined(_WIN32)
    sweep("ktuBMPUtils::DrawImage", [&] {
        std::vector<unsigned char> canvas(3 * 8 * 8, 0);
        ktuSurface surface{8, 8, 24, canvas.data()};
        ktuWindow window{RECT{0, 0, 8, 8}};
        const bool drawn = injected([&] {
            return ktuBMPUtils::DrawImage(&surface, in().c_str(), POINT{4, 4}, &window, RECT{0, 0, 3, 2});
        });
        EXPECT_TRUE(drawn || fired());
    });
#endif
}

}  // namespace
}  // namespace test
}  // namespace ktu
