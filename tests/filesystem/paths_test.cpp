// Path strings and the full-path split: pure functions of their text.
#include <cstring>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

using P = ktuFilePathUtils;

class Paths : public ktu::test::LoggedTest {};

TEST_F(Paths, Splits)
{
    struct Case {
        const char *path, *split;  // base|name|status; the outputs are written on success only
    } cases[] = {
        {"C:/data/in/a.bmp", "C:/data/in|a.bmp|100"}, {"C:/a.bmp", "C:|a.bmp|100"}, {"C:\\a\\b.c.d", "C:\\a|b.c.d|100"},
        {"data/a.bmp", "-|-|-101"}, {"", "-|-|-101"}, {"C:a.bmp", "-|-|-102"}, {"C:/data/", "-|-|-103"},
        {"C:/data/.profile", "-|-|-103"}, {"C:/data/a.", "-|-|-104"},
    };
    for (const auto& c : cases) {
        char base[260] = "-", name[260] = "-";
        long status = 7;
        P::getFileNameAndBasePathFromFullPath(c.path, base, name, &status);
        EXPECT_EQ(std::string(base) + "|" + name + "|" + std::to_string(status), c.split) << c.path;
    }
    char drive[256], folder[256], name[256], ext[256];
    EXPECT_FALSE(P::filePathSplit("C:/x/y.z/clip.2007.bmp", drive, folder, name, ext));
    EXPECT_EQ(std::string(drive) + "|" + folder + "|" + name + "|" + ext, "C:|/x/y.z/|clip.2007|.bmp");

    struct Name {
        const char *file, *nameAndExt;
        bool hasExt;
    } names[] = {{"clip.2007.bmp", "clip.2007|bmp", true}, {"a.", "a|", true},
                 {"a", "a|", false},  // no dot: the whole name, no extension
                 {".profile", ".profile|", false}, {"", "|", false}};
    for (const auto& c : names) {
        EXPECT_EQ(P::checkFileExt(c.file), c.hasExt) << c.file;
        char name[260] = "x", ext[256] = "x";
        P::getFileNameAndExt(c.file, name, ext);
        EXPECT_EQ(std::string(name) + "|" + ext, c.nameAndExt) << c.file;
    }

    // Extensions at the 255-character limit: kept whole up to it, refused (or cut by the four-way split) beyond it.
    for (std::size_t n : {254u, 255u, 256u}) {
        const std::string extension(n, 'e'), file = "n." + extension;
        char name[260] = "-", ext[256] = "-";
        P::getFileNameAndExt(file.c_str(), name, ext);
        EXPECT_EQ(std::string(name) + "|" + ext, n <= 255 ? "n|" + extension : "|") << n;
        std::vector<char> required(extension.begin(), extension.end());
        required.push_back('\0');
        EXPECT_EQ(P::checkRequiredFileExtension(file.c_str(), required.data()), n <= 254) << n;
        EXPECT_EQ(std::string(required.data()), n <= 254 ? "" : extension) << n;
        P::filePathSplit(("C:/d/" + file).c_str(), drive, folder, name, ext);
        EXPECT_EQ(std::string(ext), ("." + extension).substr(0, 255)) << n;
    }

    // Texts of 10,000 characters are refused or cut, and nothing is written beyond a buffer (the sanitizer checks).
    const std::string path = "C:/" + std::string(9997, 'a');
    std::string slashes(10000, '/');
    char base[260] = "-", file[260] = "-";
    long status = 7;
    P::getFileNameAndBasePathFromFullPath(path.c_str(), base, file, &status);
    EXPECT_EQ(std::string(base) + " " + std::to_string(status), "- -100");
    P::getParentDirectory(&slashes[0], base);
    EXPECT_STREQ(base, "");
    EXPECT_FALSE(P::filePathSplit((path + "/" + path.substr(3) + "." + path.substr(3)).c_str(), drive, folder, name,
                                  ext));  // every part cut at 255 characters
    EXPECT_EQ(std::strlen(folder) + std::strlen(name) + std::strlen(ext), 3 * 255u);

    struct Separators {
        const char *in, *collapsed, *doubled, *parent;
    } separators[] = {
        {"C:///a//b/", "C:/a/b/", "C:\\\\\\\\\\\\a\\\\\\\\b\\\\", "C:///a//b"},
        {"\\\\srv\\x", "\\\\srv\\x", "\\\\srv\\x", ""},
        {"C:/a/c.txt", "C:/a/c.txt", "C:\\\\a\\\\c.txt", "C:/a"},
        {"file.txt", "file.txt", "file.txt", ""},
    };
    for (const auto& c : separators) {
        char collapsed[64], doubled[64], parent[260] = "x";
        std::strcpy(collapsed, c.in);
        std::strcpy(doubled, c.in);
        P::removeContinuousSlashes(collapsed);
        P::converForwardSlashToDoubleBackSlash(doubled);
        P::getParentDirectory(const_cast<char*>(c.in), parent);
        EXPECT_STREQ(collapsed, c.collapsed) << c.in;
        EXPECT_STREQ(doubled, c.doubled) << c.in;
        EXPECT_STREQ(parent, c.parent) << c.in;
    }

    ktu::test::MessageBoxRecorder boxes;
    struct Required {
        const char *file, *extAfter;
        bool accepted;
    } required[] = {{"clip", ".bmp", true}, {"clip.bmp", "", true}, {"clip.BMP", "bmp", false}};
    for (const auto& c : required) {
        char ext[8] = "bmp";
        EXPECT_EQ(P::checkRequiredFileExtension(c.file, ext), c.accepted) << c.file;
        EXPECT_STREQ(ext, c.extAfter) << c.file;
    }
    ASSERT_EQ(boxes.calls().size(), 1u);
    const auto& box = boxes.calls()[0];
    EXPECT_EQ(box.text + "|" + box.caption + "|" + std::to_string(box.style),
              "Please enter the file name with extention 'bmp'|Invalid File Path|0");
}

// Each output buffer is exactly as large as its result, so the sanitizer build sees any byte written beyond it, up to
// the inputs' limits (259 characters for the doubling, 255 for the conversions).
TEST_F(Paths, Conversions)
{
    const std::string base255 = "C:/" + std::string(252, 'b');
    std::string deep254 = "C:", up126;
    for (int i = 0; i < 126; ++i) {
        deep254 += "/d";
        up126 += "../";
    }
    struct Case {
        bool toFull;
        std::string base, path, result;
        long status;  // 7: left as preset
    } cases[] = {
        {true, "C:/a/b", "../c.txt", "C:/a/c.txt", 100},     {true, "C:\\a\\\\b", ".\\x.txt", "C:/a/b/x.txt", 100},
        {true, "C:/a/b", "../../c", "C:/c", 100},            {true, "C:/a/b/", "../c", "C:/a/b/c", 100},
        {true, "C:/a/b/", "./c", "C:/a/b//c", 100},          {true, "C:/a/b", "sub/x.txt", "NA", -105},
        {true, "C:/a/b", "../../c.txt", "NA", -105},         {true, "C:/a/b", "../../../c", "NA", -105},
        {false, "C:/Proj", "c:/proj/Data/x.ini", "./Data/x.ini", 7},
        {false, "C:/Proj", "C:/Other/y.ini", "../Other/y.ini", 7},
        {false, "C:/a/b/", "C:/a/c", "../c", 7},             {false, "C:\\a\\b", "C:\\a\\b\\c\\d.txt", "./c/d.txt", 7},
        {false, "C:/Proj", "C:/Proj", "./", 7},              {false, "C:/a/b/c", "C:/x", "../../../x", 7},
        {false, "C:/a", "C:/ab/x", "../ab/x", 7},  // "a" does not start the folder "ab"
        {false, "C:/a", "D:/a/x", "NA", -105},     // no common folder
        {true, base255, "./" + std::string(253, 'n'), base255 + "/" + std::string(253, 'n'), 100},  // 509
        {true, base255 + "b", "./x", "NA", -105},         {true, "C:/a", "./" + std::string(254, 'n'), "NA", -105},
        {false, deep254, "C:/" + std::string(252, 't'), up126 + std::string(252, 't'), 7},  // 630
        {false, base255, base255, "./", 7},               {false, deep254 + "/d", "C:/x", "NA", -105},
        {false, "C:/a", "C:/" + std::string(253, 't'), "NA", -105},
    };
    for (const auto& c : cases) {
        std::vector<char> out(c.result.size() + 1, '#');
        long status = 7;
        (c.toFull ? P::convertToAbsolutePath : P::convertToRelativePath)(c.base.c_str(), c.path.c_str(), out.data(),
                                                                         &status);
        EXPECT_EQ(std::string(out.data()), c.result) << c.base << " " << c.path.substr(0, 40);
        EXPECT_EQ(status, c.status) << c.base << " " << c.path.substr(0, 40);
    }
    for (std::size_t slashes : {150u, 259u, 260u}) {
        std::vector<char> text(2 * slashes + 1, '/');
        text[slashes] = '\0';
        P::converForwardSlashToDoubleBackSlash(text.data());
        EXPECT_EQ(std::string(text.data()), slashes < 260 ? std::string(2 * slashes, '\\') : std::string(260, '/'));
    }
}

}  // namespace
