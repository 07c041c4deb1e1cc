// Path strings and the full-path split: pure functions of their text.
#include <cstring>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

using P = ktuFilePathUtils;

class Paths : public ::testing::Test {
protected:
    void SetUp() override
    {
        ktu::test::openGate();
        ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
    }
    std::vector<std::string> logged() { return ktu::test::logTexts(sb.native("logs/output.log")); }

    ktu::test::Sandbox sb;
};

TEST_F(Paths, SplitFullPath)
{
    struct Case {
        const char* path;
        long status;
        const char* base;
        const char* name;
    } cases[] = {
        {"C:/data/in/a.bmp", 100, "C:/data/in", "a.bmp"},
        {"C:/a.bmp", 100, "C:", "a.bmp"},
        {"C:\\a\\b.c.d", 100, "C:\\a", "b.c.d"},
        {"C:/data/a", 100, "C:/data", "a"},
        {"data/a.bmp", -101, nullptr, nullptr},
        {"", -101, nullptr, nullptr},
        {"C:a.bmp", -102, nullptr, nullptr},
        {"C:/data/", -103, nullptr, nullptr},
        {"C:/data/.profile", -103, nullptr, nullptr},
        {"C:/data/a.", -104, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        char base[260] = "untouched";
        char name[260] = "untouched";
        long status = 7;
        P::getFileNameAndBasePathFromFullPath(c.path, base, name, &status);
        EXPECT_EQ(status, c.status) << c.path;
        EXPECT_STREQ(base, c.base ? c.base : "untouched") << c.path;
        EXPECT_STREQ(name, c.name ? c.name : "untouched") << c.path;
    }
}

TEST_F(Paths, FourWaySplitAnswersFalseEvenWhenItSplits)
{
    char drive[256], folder[256], name[256], ext[256];
    EXPECT_FALSE(P::filePathSplit("C:/x/y.z/clip.2007.bmp", drive, folder, name, ext));
    EXPECT_STREQ(drive, "C:");
    EXPECT_STREQ(folder, "/x/y.z/");
    EXPECT_STREQ(name, "clip.2007");
    EXPECT_STREQ(ext, ".bmp");
    // Parts are cut at 255 characters, whatever the length of the path.
    std::string huge = "C:/" + std::string(10000, 'f') + "/" + std::string(10000, 'n') + "." + std::string(600, 'e');
    EXPECT_FALSE(P::filePathSplit(huge.c_str(), drive, folder, name, ext));
    EXPECT_EQ(std::strlen(folder), 255u);
    EXPECT_EQ(std::strlen(name), 255u);
    EXPECT_EQ(std::strlen(ext), 255u);
}

TEST_F(Paths, ExtensionTestAndNameSplit)
{
    struct Case {
        const char* file;
        bool hasExt;
        const char* name;
        const char* ext;
    } cases[] = {
        {"clip.2007.bmp", true, "clip.2007", "bmp"},
        {"a.b.c", true, "a.b", "c"},
        {"a.", true, "a", ""},
        {"a", false, "a", ""},          // no dot: the whole name, no extension
        {".profile", false, ".profile", ""},
        {"", false, "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(P::checkFileExt(c.file), c.hasExt) << c.file;
        char name[260] = "x";
        char ext[256] = "x";
        P::getFileNameAndExt(c.file, name, ext);
        EXPECT_STREQ(name, c.name) << c.file;
        EXPECT_STREQ(ext, c.ext) << c.file;
    }
}

TEST_F(Paths, Separators)
{
    char text[64] = "C:\\a\\b";
    P::convertBackSlashToForward(text);
    EXPECT_STREQ(text, "C:/a/b");

    struct Case {
        const char* in;
        const char* collapsed;
        const char* doubled;
        const char* parent;
    } cases[] = {
        {"C:///a//b/", "C:/a/b/", "C:\\\\\\\\\\\\a\\\\\\\\b\\\\", "C:///a//b"},
        {"\\\\srv\\x", "\\\\srv\\x", "\\\\srv\\x", ""},
        {"C:/a/b/c.txt", "C:/a/b/c.txt", "C:\\\\a\\\\b\\\\c.txt", "C:/a/b"},
        {"file.txt", "file.txt", "file.txt", ""},
        {"/", "/", "\\\\", ""},
    };
    for (const auto& c : cases) {
        char buffer[64];
        std::strcpy(buffer, c.in);
        P::removeContinuousSlashes(buffer);
        EXPECT_STREQ(buffer, c.collapsed) << c.in;
        std::strcpy(buffer, c.in);
        P::converForwardSlashToDoubleBackSlash(buffer);
        EXPECT_STREQ(buffer, c.doubled) << c.in;
        std::strcpy(buffer, c.in);
        char parent[260] = "x";
        P::getParentDirectory(buffer, parent);
        EXPECT_STREQ(parent, c.parent) << c.in;
    }
}

TEST_F(Paths, RequiredExtension)
{
    ktu::test::MessageBoxRecorder boxes;
    char ext[16] = "bmp";
    EXPECT_TRUE(P::checkRequiredFileExtension("clip", ext));
    EXPECT_STREQ(ext, ".bmp");
    std::strcpy(ext, "bmp");
    EXPECT_TRUE(P::checkRequiredFileExtension("clip.bmp", ext));
    EXPECT_STREQ(ext, "");
    EXPECT_TRUE(boxes.calls().empty());
    std::strcpy(ext, "bmp");
    EXPECT_FALSE(P::checkRequiredFileExtension("clip.BMP", ext));
    EXPECT_STREQ(ext, "bmp");
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(boxes.calls()[0].text, "Please enter the file name with extention 'bmp'");
    EXPECT_EQ(boxes.calls()[0].caption, "Invalid File Path");
    EXPECT_EQ(boxes.calls()[0].style, 0u);
}

TEST_F(Paths, ToFullPath)
{
    struct Case {
        const char* base;
        const char* relative;
        const char* full;
        long status;
    } cases[] = {
        {"C:/a/b", "../c.txt", "C:/a/c.txt", 100},
        {"C:/a/b", "./d/e.txt", "C:/a/b/d/e.txt", 100},
        {"C:\\a\\\\b", ".\\x.txt", "C:/a/b/x.txt", 100},
        {"C:/a/b", "../../c", "C:/c", 100},
        {"C:/a/b/", "../c", "C:/a/b/c", 100},
        {"C:/a/b/", "./c", "C:/a/b//c", 100},
        {"C:/a/b", "d/e.txt", "NA", -105},
        {"C:/a/b", "sub/x.txt", "NA", -105},
        {"C:/a/b", "../../c.txt", "NA", -105},
        {"C:/a/b", "../../../c", "NA", -105},
        {"C:", "./x", "NA", -105},
    };
    for (const auto& c : cases) {
        char full[260] = "";
        long status = 7;
        P::convertToAbsolutePath(c.base, c.relative, full, &status);
        EXPECT_STREQ(full, c.full) << c.base << " + " << c.relative;
        EXPECT_EQ(status, c.status) << c.base << " + " << c.relative;
    }
}

TEST_F(Paths, ToRelativePath)
{
    struct Case {
        const char* base;
        const char* target;
        const char* relative;
        long status;  // 7: not written
    } cases[] = {
        {"C:/Proj", "c:/proj/Data/x.ini", "./Data/x.ini", 7},
        {"C:/Proj", "C:/Other/y.ini", "../Other/y.ini", 7},
        {"C:/a/b/", "C:/a/c", "../c", 7},
        {"C:\\a\\b", "C:\\a\\b\\c\\d.txt", "./c/d.txt", 7},
        {"C:/Proj", "C:/Proj", "./", 7},
        {"C:/a/b", "C:/a", "../", 7},
        {"C:/a/b/c", "C:/x", "../../../x", 7},
        {"C:/a", "C:/ab/x", "../ab/x", 7},  // "a" is not the start of the folder "ab"
        {"C:/a", "D:/a/x", "NA", -105},     // no common folder
        {"", "C:/x", "NA", -105},
    };
    for (const auto& c : cases) {
        char relative[260] = "";
        long status = 7;
        P::convertToRelativePath(c.base, c.target, relative, &status);
        EXPECT_STREQ(relative, c.relative) << c.base << " -> " << c.target;
        EXPECT_EQ(status, c.status) << c.base << " -> " << c.target;
    }
}

// Every operation that takes text refuses 10,000 characters with its failure
// value and writes nothing beyond any buffer (the sanitizer build checks).
TEST_F(Paths, LongTextsAreRefused)
{
    const std::string longSlashes(10000, '/');
    const std::string longPath = "C:/" + std::string(9997, 'a');
    auto writable = [](const std::string& text) { return std::vector<char>(text.begin(), text.end() + 1); };

    char base[260] = "untouched";
    char name[260] = "untouched";
    long status = 7;
    P::getFileNameAndBasePathFromFullPath(longPath.c_str(), base, name, &status);
    EXPECT_EQ(status, -100);
    EXPECT_STREQ(base, "untouched");

    char shortName[260], ext[256];
    P::getFileNameAndExt((std::string(9000, 'n') + ".bmp").c_str(), shortName, ext);
    EXPECT_STREQ(shortName, "");
    EXPECT_STREQ(ext, "");

    auto doubled = writable(longSlashes);
    P::converForwardSlashToDoubleBackSlash(doubled.data());
    EXPECT_EQ(std::string(doubled.data()), longSlashes);  // would not fit: unchanged
    char near[260];
    std::memset(near, '/', 130);
    near[130] = '\0';
    P::converForwardSlashToDoubleBackSlash(near);
    EXPECT_EQ(std::strlen(near), 130u);

    auto collapsed = writable(longSlashes);
    P::removeContinuousSlashes(collapsed.data());
    EXPECT_STREQ(collapsed.data(), "/");

    auto parentOf = writable(longPath);
    char parent[260] = "x";
    P::getParentDirectory(parentOf.data(), parent);
    EXPECT_STREQ(parent, "");

    char required[8] = "bmp";
    EXPECT_FALSE(P::checkRequiredFileExtension(longPath.c_str(), required));
    EXPECT_STREQ(required, "bmp");

    char out[260];
    for (auto convert : {&P::convertToAbsolutePath, &P::convertToRelativePath}) {
        status = 7;
        convert(longPath.c_str(), "./x", out, &status);
        EXPECT_STREQ(out, "NA");
        EXPECT_EQ(status, -105);
        status = 7;
        convert("C:/a", longPath.c_str(), out, &status);
        EXPECT_EQ(status, -105);
    }
    // A result beyond 259 characters is refused as well.
    std::string deep = "C:";
    for (int i = 0; i < 100; ++i) {
        deep += "/d";
    }
    status = 7;
    P::convertToRelativePath(deep.c_str(), ("C:/" + std::string(200, 't')).c_str(), out, &status);
    EXPECT_STREQ(out, "NA");
    EXPECT_EQ(status, -105);

    EXPECT_FALSE(P::checkFileExt(std::string(10000, 'x').c_str()));
    EXPECT_FALSE(P::checkFileExistence(longPath.c_str()));
    EXPECT_FALSE(P::checkFileExistance(longPath.c_str(), "a"));
    EXPECT_FALSE(P::checkFileExistance("C:/", longPath.c_str() + 3));
    EXPECT_FALSE(P::checkForFile_Path_Existence(longPath.c_str()));
    EXPECT_FALSE(P::copyFileExcludingLine(longPath.c_str(), "x"));
    EXPECT_FALSE(P::deleteFile(longPath.c_str()));
    EXPECT_FALSE(P::copyFolder(longPath.c_str(), sb.path().c_str()));
    EXPECT_FALSE(P::copyFolder(sb.path("d").c_str(), longPath.c_str()));
    EXPECT_FALSE(sb.exists("d"));
    EXPECT_FALSE(P::deleteFilesInFolder(longPath.c_str()));
    EXPECT_TRUE(P::isEmptyDirectory(longPath.c_str()));
}

TEST_F(Paths, CaughtFaults)
{
    char name[260], ext[256];
    EXPECT_ANY_THROW(P::getFileNameAndExt(nullptr, name, ext));
    P::converForwardSlashToDoubleBackSlash(nullptr);  // left alone, nothing logged
    char required[8] = "bmp";
    EXPECT_FALSE(P::checkRequiredFileExtension(nullptr, required));
    P::removeContinuousSlashes(nullptr);
    P::getParentDirectory(nullptr, name);
    long status = 7;
    P::convertToAbsolutePath(nullptr, "./x", name, &status);
    EXPECT_EQ(status, -100);
    status = 7;
    P::convertToRelativePath("C:/a", nullptr, name, &status);
    EXPECT_EQ(status, -100);
    status = 7;
    P::getFileNameAndBasePathFromFullPath(nullptr, name, name, &status);
    EXPECT_EQ(status, -100);
    EXPECT_FALSE(P::checkFileExistence(nullptr));
    EXPECT_FALSE(P::checkForFile_Path_Existence(nullptr));
    EXPECT_EQ(logged(), (std::vector<std::string>{
                            "KSUtilityClasses-ktuFilePathUtils()::getFileNameAndExt()",
                            "KestrelSightWare-ktuFilePathUtils::checkRequiredFileExtension()",
                            "KestrelSightWare-ktuFilePathUtils::removeContinuousSlash()",
                            "KestrelSightWare-ktuFilePathUtils::getParentDirectory()",
                            "KestrelSightWare-ktuFilePathUtils::convertToAbsolutePath()",
                            "KestrelSightWare-ktuFilePathUtils::convertToRelativePath()",
                            "KSUtilityClasses-ktuFilePathUtils()::getFileNameAndBasePathFromFullPath()",
                            "KSUtilityClasses-ktuFilePathUtils::ktuFilePathUtils()",
                            "KSUtilityClasses-ktuFilePathUtils()::checkForFile_Path_Existence()",
                        }));
}

}  // namespace
