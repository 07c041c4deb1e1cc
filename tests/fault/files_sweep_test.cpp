// Fault sweeps of the log writer, the file system utilities and the BMP and picture readers and writers.
#include <cstdio>
#include <fstream>

#include "faultSweep.h"

namespace fs = std::filesystem;

namespace ktu {
namespace test {
namespace {

using FileSweep = FaultSweep;
using P = ktuFilePathUtils;

// The line is written whole or not at all.
void expectWholeLines(const fs::path& log)
{
    for (const auto& text : logTexts(log)) {
        EXPECT_EQ(text, "Common-sweep line");
    }
}

#if !defined(_WIN32)
// The log goes to the desktop's "Logs" only until a folder is chosen, so this sweep runs in a fresh process and hands
// its figures back through a file.
class DefaultLogFolderSweep : public FaultSweep {
protected:
    bool chooseLogFolder() const override { return false; }
};

TEST_F(DefaultLogFolderSweep, WriteLog)
{
    ::setenv("KTU_FAULT_RESULT", sb.native("child-result").c_str(), 0);
    const std::string operation = "ktuLogUtils::writeLog(desktop)";
    expectInFreshProcess([&] {
        ::setenv("XDG_DESKTOP_DIR", sb.native("desk").c_str(), 1);
        fs::create_directories(sb.native("desk"));
        sweep(operation, [&] {
            fs::remove_all(sb.native("desk/Logs"));
            injected([] { ktuLogUtils::writeLog("Common", "sweep line", 0); });
            expectWholeLines(sb.native("desk/Logs/output.log"));
        });
        std::ofstream(std::getenv("KTU_FAULT_RESULT")) << figures(operation);
        return !HasFailure();
    });
    ::unsetenv("KTU_FAULT_RESULT");
    addFigures(sb.readFile("child-result"));
}
#endif

TEST_F(FileSweep, Folders)
{
    sweep("ktuFilePathUtils::createAllFolders", [&] {
        long status = 0;
        injected([&] { P::createAllFolders(work("a/b/c").c_str(), false, &status); });
        EXPECT_TRUE(status == 0 || status == 100 || (status <= -100 && status >= -106)) << status;
        if (status == 0 || status == 100) {
            EXPECT_TRUE(fs::is_directory(native("a/b/c")));
        }
    });
    sweep("ktuFilePathUtils::checkOrCreateFolder", [&] {
        sb.writeFile("run/a/old.txt", "old");
        if (succeeds([&] { return P::checkOrCreateFolder(work("").c_str(), "a", true); })) {
            EXPECT_TRUE(fs::is_directory(native("a")));
            EXPECT_FALSE(fs::exists(native("a/old.txt")));
        }
    });
    sweep("ktuFilePathUtils::createNewFolder", [&] {
        const bool made = injected([&] { return P::createNewFolder(work("").c_str(), "n"); });
        EXPECT_EQ(made, fs::is_directory(native("n")));
    });
    sweep("ktuFilePathUtils::deleteFolder", [&] {
        sb.writeFile("run/d/e/f.txt", "f");
        sb.writeFile("run/d/g.txt", "g");
        if (injected([&] { return P::deleteFolder(work("d").c_str(), work("").c_str()); })) {
            EXPECT_FALSE(fs::exists(native("d")));
        }
    });
    sweep("ktuFilePathUtils::copyFolder", [&] {
        sb.writeFile("run/src/a.txt", "a");
        sb.writeFile("run/src/sub/b.txt", "b");
        EXPECT_FALSE(injected([&] { return P::copyFolder(work("dst").c_str(), work("src").c_str()); }));
        EXPECT_EQ(sb.readFile("run/src/sub/b.txt"), "b") << "the source is never changed";
        if (fs::exists(native("dst/sub/b.txt"))) {
            EXPECT_EQ(sb.readFile("run/dst/sub/b.txt"), "b");
        }
    });
    sweep("ktuFilePathUtils::deleteFilesInFolder", [&] {
        sb.writeFile("run/a.txt", "a");
        sb.writeFile("run/sub/b.txt", "b");
        EXPECT_FALSE(injected([&] { return P::deleteFilesInFolder(work("").c_str()); }));
        EXPECT_TRUE(fs::exists(native("sub/b.txt")));
    });
    sweep("ktuFilePathUtils::isEmptyDirectory", [&] {
        sb.writeFile("run/a.txt", "a");
        succeeds([&] { return P::isEmptyDirectory(work("").c_str()); }, false, true);
    });
}

TEST_F(FileSweep, Files)
{
    sweep("ktuLogUtils::writeLog", [&] {
        injected([] { ktuLogUtils::writeLog("Common", "sweep line", 1); });
        expectWholeLines(sb.native("logs/output.log"));
    });
    sweep("ktuLogUtils::setLogsDir", [&] {
        if (injected([&] { return ktuLogUtils::setLogsDir(work("a/logs").c_str()); })) {
            EXPECT_TRUE(fs::is_directory(native("a/logs")));
        }
        ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
    });
    sweep("ktuLogUtils::writeDebugLog", [&] {
        injected([] { ktuLogUtils::writeDebugLog("debug.log", "Common", "sweep line"); });
        expectWholeLines(sb.native("logs/debug.log"));
    });
    // Look-ups of a file that is there, answering true unless a failure is met.
    sb.writeFile("a.txt", "content");
    const std::string a = sb.path("a.txt");
    const std::pair<const char*, bool (*)(const char*)> lookUps[] = {
        {"ktuFilePathUtils::checkFileExistence", P::checkFileExistence},
        {"ktuFilePathUtils::checkForFile_Path_Existence", P::checkForFile_Path_Existence},
        {"ktuFilePathUtils::checkForLocalDrive", [](const char*) { return P::checkForLocalDrive("C:"); }},
    };
    for (const auto& [operation, lookUp] : lookUps) {
        sweep(operation, [&] { succeeds([&] { return lookUp(a.c_str()); }); });
    }
    sweep("ktuFilePathUtils::checkFileExistance", [&] {
        const auto before = currentFolder();
        succeeds([&] { return P::checkFileExistance(sb.path().c_str(), "a.txt"); });
        // Restored in every outcome, unless going back is what failed.
        if (currentFolder() != before) {
            EXPECT_EQ(failedEntry(), "fs.setCurrentDir");
        }
    });
    sweep("ktuFilePathUtils::copyFileExcludingLine", [&] {
        sb.writeFile("run/list.txt", "one\ntwo\nthree\n");
        const bool left = injected([&] { return P::copyFileExcludingLine(work("list.txt").c_str(), "two"); });
        EXPECT_EQ(sb.readFile("run/list.txt"), "one\ntwo\nthree\n") << "the source is never changed";
        if (left && fs::exists(native("templist.txt"))) {
            EXPECT_EQ(readLines(native("templist.txt")), (std::vector<std::string>{"one", "three"}));
        }
    });
    sweep("ktuFilePathUtils::renameFile", [&] {
        sb.writeFile("run/a.txt", "content");
        const bool renamed = injected([&] { return P::renameFile(work("a.txt").c_str(), "b.txt"); });
        // Never neither: the content stays under one of the names.
        EXPECT_TRUE(fs::exists(native("a.txt")) || fs::exists(native("b.txt")));
        if (renamed) {
            EXPECT_FALSE(fs::exists(native("a.txt")));
            EXPECT_EQ(sb.readFile("run/b.txt"), "content");
        }
    });
    sweep("ktuFilePathUtils::deleteFile", [&] {
        sb.writeFile("run/a.txt", "content");
        const bool deleted = injected([&] { return P::deleteFile(work("a.txt").c_str()); });
        EXPECT_EQ(deleted, !fs::exists(native("a.txt")));
    });
    ScopedOverride picker(
        platform::ops().ui.pickFile, +[](const ktuFilePickRequest*, char* path, uint32_t size) {
            std::snprintf(path, size, "%s", "C:/chosen.bmp");
            return true;
        });
    for (bool save : {false, true}) {
        sweep(save ? "ktuFilePathUtils::getSaveFileName" : "ktuFilePathUtils::getOpenFileName", [&] {
            char name[260] = "old";
            if (succeeds([&] {
                    return save ? P::getSaveFileName(name, "BMP\0*.bmp\0", "Save", "bmp", nullptr)
                                : P::getOpenFileName(name, "BMP\0*.bmp\0", "Open", nullptr);
                })) {
                EXPECT_STREQ(name, "C:/chosen.bmp");
            }
        });
    }
}

class BmpSweep : public FaultSweep {
protected:
    void SetUp() override
    {
        FaultSweep::SetUp();
        // A 3 x 2 picture: BMP-aligned rows of 9 pixel bytes and 3 alignment bytes.
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = static_cast<unsigned char>(i % 12 < 9 ? 10 + i : 0);
        }
        ASSERT_TRUE(ktuBMPUtils::saveAsBMP(3, 2, pixels.data(), in.c_str()));
    }
    std::vector<unsigned char> pixels = std::vector<unsigned char>(24);
    const std::string in = sb.path("in.bmp");
};

TEST_F(BmpSweep, WritersAndReaders)
{
    // Each writer writes the whole file (the crop: 2 x 2 pixels), or one whose header claims no more than it holds.
    const std::string written = sb.readFile("in.bmp");
    const std::string out = work("out.bmp");
    const struct {
        const char* operation;
        std::function<bool()> write;
        std::size_t size;
    } writers[] = {
        {"ktuBMPUtils::saveAsBMP",
         [&] { return succeeds([&] { return ktuBMPUtils::saveAsBMP(3, 2, pixels.data(), out.c_str()); }); }, 78},
        {"ktuBMPUtils::CreateBMPFile",
         [&] {
             BITMAPINFO* header = ktuBMPUtils::CreateBitmapInfoStruct(3, 2);
             const bool ok = injected([&] { return ktuBMPUtils::CreateBMPFile(out.c_str(), header, pixels.data()); });
             platform::ops().picture.localFree(header);
             return ok;
         },
         78},
        {"ktuBMPUtils::cropAndSaveImage",
         [&] { return succeeds([&] { return ktuBMPUtils::cropAndSaveImage(in.c_str(), out.c_str(), 1, 0, 2, 2); }); },
         54 + 16},
    };
    for (const auto& w : writers) {
        sweep(w.operation, [&] {
            sb.writeFile("run/out.bmp", "old file");
            const bool wrote = w.write();
            const std::string bytes = sb.readFile("run/out.bmp");
            if (wrote) {
                EXPECT_EQ(bytes.size(), w.size);
                EXPECT_TRUE(w.size != written.size() || bytes == written);
            } else if (bytes.size() >= 6 && bytes.compare(0, 2, "BM") == 0) {
                uint32_t claimed = 0;
                for (int i = 5; i >= 2; --i) {
                    claimed = claimed << 8 | static_cast<unsigned char>(bytes[i]);
                }
                EXPECT_EQ(claimed, bytes.size()) << "a partial file claims to be complete";
            }
        });
    }
    for (auto getSize : {ktuBMPUtils::getImageSize, ktuBMPUtils::getImageSize2}) {
        const bool himetric = getSize == ktuBMPUtils::getImageSize2;
        sweep(himetric ? "ktuBMPUtils::getImageSize2" : "ktuBMPUtils::getImageSize", [&] {
            int size[2] = {-1, -1};
            if (succeeds([&] { return getSize(in.c_str(), &size[0], &size[1]); })) {
                EXPECT_TRUE(himetric ? size[0] > 0 && size[1] > 0 : size[0] == 3 && size[1] == 2);
            }
        });
    }
    // getImageData leaves the alignment bytes out, getImageBitmapData keeps them.
    std::vector<unsigned char> unaligned(pixels.begin(), pixels.begin() + 21);
    unaligned.erase(unaligned.begin() + 9, unaligned.begin() + 12);
    const std::vector<unsigned char> aligned(pixels.begin(), pixels.begin() + 18);
    for (auto getData : {ktuBMPUtils::getImageData, ktuBMPUtils::getImageBitmapData}) {
        const bool keeps = getData == ktuBMPUtils::getImageBitmapData;
        sweep(keeps ? "ktuBMPUtils::getImageBitmapData" : "ktuBMPUtils::getImageData", [&] {
            std::vector<unsigned char> out(18, 0xEE);
            if (succeeds([&] { return getData(in.c_str(), out.data()); })) {
                EXPECT_EQ(out, keeps ? aligned : unaligned);
            }
        });
    }
    sweep("ktuBMPUtils::getResizedImageData", [&] {
        std::vector<unsigned char> resized(64, 0xEE);
        // Answers true even when the picture cannot be read.
        EXPECT_TRUE(injected([&] { return ktuBMPUtils::getResizedImageData(in.c_str(), resized.data(), 2, 2); }));
    });
    sweep("ktuBMPUtils::checkBMPFormat", [&] {
        // The file is 24-bit, so an unreadable one (all zeros) passes too.
        EXPECT_TRUE(injected([&] { return ktuBMPUtils::checkBMPFormat(in.c_str()); }));
    });
    sweep("ktuBMPUtils::LoadPictureFile", [&] {
        IPicture* picture = nullptr;
        const bool loaded = injected([&] { return ktuBMPUtils::LoadPictureFile(in.c_str(), &picture, nullptr); });
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
        succeeds([&] { return ktuBMPUtils::DrawImage(&surface, in.c_str(), POINT{4, 4}, &window, RECT{0, 0, 3, 2}); });
    });
#endif
}

}  // namespace
}  // namespace test
}  // namespace ktu
