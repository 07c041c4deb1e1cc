// One scenario over the public headers, built for Linux and for Windows:
// scripts/differential runs both (ktu_differential --seed N --count N --sandbox
// DIR, DIR an empty folder that the library reaches as drive S:) and compares
// what they print. Lines are "family <tab> operation(arguments) <tab> => answers",
// some ending in "<tab>~tag detail": a difference the systems may show (compare.py).
#include <KSUtilityClasses.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using FP = ktuFilePathUtils;

std::mt19937 rng;
unsigned R(unsigned n) { return n ? static_cast<unsigned>(rng() % n) : 0; }
bool chance(unsigned percent) { return R(100) < percent; }
const std::string& pick(const Strings& v) { return v[R(static_cast<unsigned>(v.size()))]; }

fs::path g_native;                  // the sandbox as the C++ library sees it
std::map<std::string, long> g_ops;  // compared operations per family
std::string g_box;                  // message boxes shown since the last line

std::string D(const std::string& rel) { return "S:/" + rel; }
std::error_code ec_;                // errors of the scenario's own file work, ignored
void homeCwd() { fs::current_path(g_native, ec_); }

std::string fmt(const char* f, ...)
{
    char text[4096];
    va_list args;
    va_start(args, f);
    std::vsnprintf(text, sizeof text, f, args);
    va_end(args);
    return text;
}

// Control bytes escaped, so that every answer stays on its line.
std::string esc(const std::string& s)
{
    std::string out;
    for (unsigned char c : s) out += (c < 0x20 || c >= 0x7f) ? fmt("\\x%02x", c) : std::string(1, char(c));
    return out;
}
std::string q(const char* s) { return s ? "\"" + esc(s) + "\"" : "null"; }
std::string q(const std::string& s) { return q(s.c_str()); }

std::string hashOf(const void* data, std::size_t n)
{
    uint64_t h = 1469598103934665603ull;
    for (std::size_t i = 0; i < n; ++i) h = (h ^ static_cast<const unsigned char*>(data)[i]) * 1099511628211ull;
    return fmt("%08x", static_cast<unsigned>(h ^ (h >> 32)));
}
std::string hashOf(const std::string& s) { return hashOf(s.data(), s.size()); }

void emit(const char* family, const std::string& op, const std::string& answer)
{
    ++g_ops[family];
    std::puts((std::string(family) + "\t" + op + "\t=> " + answer + (g_box.empty() ? "" : " box=" + g_box)).c_str());
    g_box.clear();
}

int answerBox(void*, void*, const char* text, const char* caption, unsigned int)
{
    return g_box += "[" + esc(caption ? caption : "") + ":" + esc(text ? text : "") + "]", 1;
}

// One library call and its line: the arguments shown as given (texts quoted),
// strings handed over as C strings, the answer as a number.
std::string shown(const std::string& s) { return q(s); }
std::string shown(const char* s) { return q(s); }
std::string shown(long v) { return std::to_string(v); }
const char* passed(const std::string& s) { return s.c_str(); }
template <class T>
T passed(T v) { return v; }

template <class F, class... A>
void call(const char* family, const char* name, F f, const A&... args)
{
    std::string list;
    ((list += (list.empty() ? "" : ",") + shown(args)), ...);
    const long answer = static_cast<long>(f(passed(args)...));
    emit(family, std::string(name) + "(" + list + ")", std::to_string(answer));
}
#define CALL(family, fn, ...) call(family, #fn, [](auto... a) { return fn(a...); }, __VA_ARGS__)

std::string readAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
void writeAll(const fs::path& p, const std::string& b) { std::ofstream(p, std::ios::binary) << b; }
std::string fileHash(const std::string& rel) { return fs::exists(g_native / rel) ? hashOf(readAll(g_native / rel)) : "none"; }

// The tree below a folder of the sandbox as one line. Copies that
// copyFileExcludingLine writes ("temp..." names) are text files, with CR LF
// line ends on Windows: the line shows the lines they hold, the "~lineend"
// detail their bytes.
struct Tree { Strings dirs, files, lines; std::string rawDetail; };

Tree scan(const std::string& rel)
{
    Tree t;
    std::error_code ec;
    fs::path root = g_native / rel;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().lexically_relative(root).generic_string();
        fs::file_status st = it->symlink_status(ec);
        (fs::is_directory(st) ? t.dirs : t.files).push_back(name);
        if (fs::is_directory(st)) {
            t.lines.push_back(name + "/");
            continue;
        }
        std::string raw = readAll(it->path()), text = raw;
#if defined(_WIN32)
        if (it->path().filename().string().rfind("temp", 0) == 0) {
            text.clear();  // each CR LF that text mode wrote back to the LF it was given
            for (std::size_t i = 0; i < raw.size(); ++i)
                if (raw[i] != '\r' || i + 1 == raw.size() || raw[i + 1] != '\n') text += raw[i];
        }
#endif
        bool readOnly = (st.permissions() & fs::perms::owner_write) == fs::perms::none;
        t.lines.push_back(fmt("%s%s %zu %s", name.c_str(), readOnly ? " ro" : "", text.size(), hashOf(text).c_str()));
        if (raw != text) t.rawDetail += fmt(" %s:%zu:%s", name.c_str(), raw.size(), hashOf(raw).c_str());
    }
    for (Strings* v : {&t.lines, &t.dirs, &t.files}) std::sort(v->begin(), v->end());
    return t;
}

void showTree(const std::string& rel)
{
    Tree t = scan(rel);
    std::string line = "=tree\t" + rel + "\t=>";
    for (const auto& l : t.lines) line += " " + l + ";";
    std::puts((line + (t.rawDetail.empty() ? "" : "\t~lineend" + t.rawDetail)).c_str());
}

const Strings kSections = {"main", "Cam", "x y", "s1", "MAIN"};
const Strings kKeys = {"k", "Key2", "a b", "w", "K"};
const Strings kValues = {"1", "", "v x", "\"q\"", "'s'", " pad ", "a=b", "0", "x;y", "[z]", std::string(600, 'L')};
const Strings kDefaults = {"d", "", " sp ", "'t'", "\"dq\""};

void iniFamily(long count)
{
    using INI = ktuINIFileUtils;
    const Strings files = {"ini/a.ini", "ini/b.ini", "ini/new/deep/c.ini"};
    CALL("ini", INI::openFile, D(files[0]));
    for (long i = 1; i < count; ++i) {
        unsigned what = R(100);
        std::string s = pick(kSections), k = pick(kKeys), v = pick(kValues);
        // A null value deletes the key, a null key the section.
        const char* key = what >= 86 && what < 90 ? nullptr : k.c_str();
        if (what < 40 || (what >= 80 && what < 90)) {
            CALL("ini", INI::setTagValue, s, key, what < 40 ? v.c_str() : nullptr);
        } else if (what < 80) {
            // A list of keys for a null key, of sections for a null section too.
            bool list = chance(20), sections = list && chance(25);
            char out[500] = "untouched", def[600];
            std::snprintf(def, sizeof def, "%s", (list ? pick({"d", ""}) : pick(kDefaults)).c_str());
            const char* section = sections ? nullptr : s.c_str();
            const std::string text = "get(" + q(section) + "," + (list ? "null" : q(k)) + "," + q(def) + ")";
            long r = INI::getTagValue(section, list ? nullptr : key, out, def);
            emit("ini", text, fmt("%ld ", r) + esc(out) + " default=" + q(def));
        } else if (what < 97) {
            if (chance(30)) emit("ini", "closeFile()", std::to_string(INI::closeFile()));
            CALL("ini", INI::openFile, D(pick(files)));
        } else {
            emit("ini", "clearFileContent()", std::to_string(INI::clearFileContent()));
        }
        homeCwd();
    }
}

void settingsFamily(long count)
{
    using RU = ktuRegistryUtils;
    const Strings subs = {"diff\\A", "diff\\b", "diff\\A\\B", "diff\\b\\c d", "diff\\Cam", "diff\\a\\b\\c", "diff",
                          "diff\\" + std::string(250, 'k')};
    const Strings names = {"", "v", "V", "x y", "Common Desktop"};
    const Strings values = {"1", "hello", "", "a\\b", "\xc3\xa9t\xc3\xa9", std::string(300, 'r'), std::string(600, 'R')};
    for (long i = 0; i < count; ++i) {
        unsigned what = R(93);
        std::string sub = pick(subs), name = pick(names), value = pick(values);
        std::string key = "SOFTWARE\\Optic Pipeline\\" + sub;
        char out[600] = "untouched";
        if (what < 35) {
            const char* n = chance(10) ? nullptr : name.c_str();
            CALL("settings", RU::addStringValueToRegistryKey, n, chance(8) ? nullptr : value.c_str(), sub);
        } else if (what < 70) {
            bool ok = RU::getStringValueFromRegistryKey(name.c_str(), out, sub.c_str());
            emit("settings", "get(" + q(name) + "," + q(sub) + ")", fmt("%d ", ok) + q(out));
        } else if (what < 80) {
            bool ok = RU::getStringValueFromRegistryKey(key.c_str(), out);
            emit("settings", "getKey(" + q(key) + ")", fmt("%d ", ok) + q(out));
        } else if (what < 90) {
            CALL("settings", RU::deleteRegistryKey, sub);
        } else {
            emit("settings", "validateBase()", std::to_string(RU::validateAndUpdateBaseKey()));
        }
    }
}

const Strings kPathTokens = {"S:", "C:", "c:", "/", "\\", "//", ".", "..", "a", "Bc", "x.y", "n.ext", ".h", "*",
                             " ", "ab.", "d\\e", "./", "../", "\xc3\xa9"};

std::string randomPath()
{
    std::string p;
    if (chance(4)) {
        while (p.size() < 264) p += "abcdefg/";
        return p.substr(0, 250 + R(14));
    }
    for (unsigned n = R(8); n > 0; --n) p += pick(kPathTokens);
    return p;
}

// Work buffers: a holds p, d a second text (an extension, or a path beside p).
struct PathWork {
    std::string p, p2;
    char a[1200], b[1200], c[1200], d[1200];
    long st;
};
const std::pair<const char*, long (*)(PathWork&)> kPathOps[] = {
    {"nameExt", [](PathWork& w) { return FP::getFileNameAndExt(w.p.c_str(), w.b, w.c), 0L; }},
    {"backToForward", [](PathWork& w) { return FP::convertBackSlashToForward(w.a), 0L; }},
    {"forwardToDoubleBack", [](PathWork& w) { return FP::converForwardSlashToDoubleBackSlash(w.a), 0L; }},
    {"removeSlashes", [](PathWork& w) { return FP::removeContinuousSlashes(w.a), 0L; }},
    {"parent", [](PathWork& w) { return FP::getParentDirectory(w.a, w.b), 0L; }},
    {"filePathSplit", [](PathWork& w) { return long(FP::filePathSplit(w.p.c_str(), w.a, w.b, w.c, w.d)); }},
    {"requiredExt", [](PathWork& w) { return long(FP::checkRequiredFileExtension(w.p.c_str(), w.d)); }},
    {"toAbsolute", [](PathWork& w) { return FP::convertToAbsolutePath(w.p.c_str(), w.d, w.b, &w.st), 0L; }},
    {"toRelative", [](PathWork& w) { return FP::convertToRelativePath(w.p.c_str(), w.d, w.b, &w.st), 0L; }},
    {"specialChars", [](PathWork& w) { return long(FP::checkForSpecialCharacters(w.p.c_str())); }},
    {"fileExt", [](PathWork& w) { return long(FP::checkFileExt(w.p.c_str())); }},
    {"base", [](PathWork& w) { return FP::getFileNameAndBasePathFromFullPath(w.p.c_str(), w.b, w.c, &w.st), 0L; }},
};

void pathFamily(long count)
{
    for (long i = 0; i < count; ++i) {
        PathWork w{randomPath(), randomPath(), "", "untouched", "untouched", "", 7};
        if (chance(30)) w.p2 = pick({"bmp", "txt", ".bmp", "", "BMP", "ext"});
        else if (chance(50)) w.p2 = pick({"./", "../", "../../", "x/"}) + w.p2;
        else w.p2 = w.p + pick({"/x", "/a/b.c", "", "x", "/../y"});
        std::snprintf(w.a, sizeof w.a, "%s", w.p.c_str());
        std::snprintf(w.d, sizeof w.d, "%s", w.p2.c_str());
        const auto& op = kPathOps[R(static_cast<unsigned>(std::size(kPathOps)))];
        const std::string text = op.first + ("(" + q(w.p) + "," + q(w.p2) + ")");
        long r = op.second(w);
        emit("path", text, fmt("%ld %ld ", r, w.st) + q(w.a) + " " + q(w.b) + " " + q(w.c) + " " + q(w.d));
    }
}

// Folders and files, the tree shown after every change; existence checks.
const Strings kNames = {"a", "b.txt", "c.bmp", "dd", "e.ini", "sub", "sub2", "x"};
const Strings kContents = {"x\nb\n", "a\r\nb\r\n", "", "line 1\nx\n\nend", "x", "b\r\n\r\n", "a\rb\nx\n",
                           std::string("a\0b\nx\n", 6), "no end"};
const Strings kPatterns = {"*", "*.txt", "a*", "?", "b.*", "nothere", "*.t?t", "s*", "d?"};

std::string folderOf(const Tree& t) { return t.dirs.empty() || chance(30) ? "tree" : "tree/" + pick(t.dirs); }

void treeFamily(long count)
{
    fs::create_directories(g_native / "tree/sub");
    for (long i = 0; i < count; ++i) {
        Tree t = scan("tree");
        std::string folder = folderOf(t), name = pick(kNames), dir = t.dirs.empty() ? "tree/gone" : "tree/" + pick(t.dirs);
        std::string file = D(t.files.empty() ? "tree/nothing" : "tree/" + pick(t.files));
        std::string f = D(folder), n = D(folder + "/" + name), line = pick({"x", "b", "", "line 1", "a"});
        bool recreate = chance(20);
        long status = 7;
        unsigned what = t.lines.size() > 60 ? 52 : R(160);
        if (what < 25) {  // the files the library works on, made here (not an operation)
            if (fs::is_directory(g_native / folder / name, ec_)) continue;
            writeAll(g_native / folder / name, pick(kContents));
            if (chance(15)) fs::permissions(g_native / folder / name, fs::perms::owner_write | fs::perms::group_write |
                                                fs::perms::others_write, fs::perm_options::remove, ec_);
            continue;
        } else if (what < 33) {
            CALL("tree", FP::createNewFolder, f, name);
        } else if (what < 38) {
            CALL("tree", FP::checkOrCreateFolder, f, name, recreate);
        } else if (what < 43) {
            CALL("tree", FP::checkOrCreateFolder, n + pick({"", "/"}), recreate);
        } else if (what < 50) {
            n += "/" + pick(kNames);
            FP::createAllFolders(n.c_str(), recreate, &status);
            emit("tree", fmt("createAllFolders(%s,%d)", q(n).c_str(), recreate), std::to_string(status));
        } else if (what < 56) {
            CALL("tree", FP::deleteFolder, D(dir) + (chance(20) ? "/" : ""), D("tree"));
        } else if (what < 68) {
            CALL("tree", FP::copyFileExcludingLine, file, line);
        } else if (what < 76) {
            // Copies keep their "temp" names, by which their text line ends are told.
            if (fs::path(file).filename().string().rfind("temp", 0) == 0) continue;
            CALL("tree", FP::renameFile, file, name);
        } else if (what < 86) {
            CALL("tree", FP::deleteFile, chance(50) ? D(folder + "/" + pick(kPatterns)) : n);
        } else if (what < 92) {
            CALL("tree", FP::deleteFilesInFolder, f);
        } else if (what < 106) {
            std::string from = D(folderOf(t));
            CALL("tree", FP::copyFolder, chance(50) ? D(folderOf(t)) : n, from);
        } else if (what < 120) {
            CALL("tree", FP::isEmptyDirectory, f);
        } else {
            // The existence checks, which change nothing: no tree after them.
            name = chance(50) || t.files.empty() ? pick(kPatterns) : fs::path(pick(t.files)).filename().string();
            std::string full = f + "/" + name;
            if (chance(15)) std::replace(full.begin(), full.end(), '/', '\\');
            if (what < 130) CALL("exist", FP::checkFileExistence, full);
            else if (what < 140) CALL("exist", FP::checkFileExistance, f, name);
            else if (what < 150) CALL("exist", FP::checkForFile_Path_Existence, full);
            else CALL("exist", FP::checkForLocalDrive, pick({"S:", "s:", "S:\\", "S:/", "Q:", "C:", "SS", ""}));
        }
        homeCwd();
        if (what < 120) showTree("tree");
    }
}

// A file written byte by byte: `height` < 0 is top-down; `gap` bytes stand
// between the headers (and `colours` table entries) and the pixels.
std::string bmpBytes(int width, int height, int colours, int gap, int bits = 24, int cut = 0)
{
    int row = ((width * bits + 31) / 32) * 4, rows = height < 0 ? -height : height;
    int offset = 54 + 4 * colours + gap, size = offset + row * rows;
    std::string b(static_cast<std::size_t>(size), '\0');
    auto put = [&](int at, uint32_t v, int n) { for (int i = 0; i < n; ++i) b[at + i] = char(v >> (8 * i)); };
    b[0] = 'B'; b[1] = 'M';
    put(2, size, 4); put(10, offset, 4); put(14, 40, 4); put(18, width, 4); put(22, uint32_t(height), 4);
    put(26, 1, 2); put(28, bits, 2); put(34, row * rows, 4); put(46, colours, 4);
    for (int i = offset; i < size; ++i) b[i] = (i - offset) % row < width * bits / 8 ? char(i * 7 + 3) : 0;
    return b.substr(0, b.size() - cut);
}

std::string imageOps(const std::string& path, unsigned what)
{
    static unsigned char out[65536];
    std::memset(out, 0xEE, sizeof out);
    int w = -7, h = -7, nw = int(R(13)), nh = int(R(13)), x = int(R(12)) - 2, y = int(R(12)) - 2;
    int cw = int(R(12)) - 1, ch = int(R(12)) - 1;
    const char* p = path.c_str();
    IPicture* picture = nullptr;
    LONG pw = -7, ph = -7;  // the HIMETRIC sizes
    bool r = false;
    switch (what) {
    case 0: r = ktuBMPUtils::getImageSize(p, &w, &h); return fmt("size %d %d %d", r, w, h);
    case 1: r = ktuBMPUtils::getImageSize2(p, &w, &h); return fmt("size2 %d %d %d", r, w, h);
    case 2: r = ktuBMPUtils::getImageData(p, out); return fmt("data %d ", r) + hashOf(out, 1024);
    case 3: r = ktuBMPUtils::getImageBitmapData(p, out); return fmt("bits %d ", r) + hashOf(out, 1024);
    case 4: return fmt("check %d", ktuBMPUtils::checkBMPFormat(p));
    case 5: r = ktuBMPUtils::getResizedImageData(p, out, nw, nh); return fmt("resized %d %d %d ", nw, nh, r) + hashOf(out, 1024);
    case 6:
        fs::remove(g_native / "img/crop.bmp", ec_);
        r = ktuBMPUtils::cropAndSaveImage(p, D("img/crop.bmp").c_str(), x, y, cw, ch);
        return fmt("crop %d %d %d %d %d ", x, y, cw, ch, r) + fileHash("img/crop.bmp");
    default:
        r = ktuBMPUtils::LoadPictureFile(p, &picture, nullptr);
        if (picture) picture->get_Width(&pw), picture->get_Height(&ph), picture->Release();
        return fmt("picture %d %ld %ld", r, (long)pw, (long)ph);
    }
}

void bmpFamily(long count)
{
    // Wine's picture loader takes damaged files that Windows refuses and fills a
    // top-down file's DIB section with 0: the loader reads only the files of
    // loaderSafe, the pixel readers no top-down file.
    fs::create_directories(g_native / "img");
    const std::pair<const char*, std::string> crafted[] = {
        {"img/td.bmp", bmpBytes(3, -2, 0, 0)},    {"img/off64.bmp", bmpBytes(3, 2, 0, 10)},
        {"img/clr2.bmp", bmpBytes(3, 2, 2, 0)},   {"img/pal8.bmp", bmpBytes(4, 2, 4, 0, 8)},
        {"img/b32.bmp", bmpBytes(2, 2, 0, 0, 32)}, {"img/cut.bmp", bmpBytes(5, 5, 0, 0, 24, 7)},
        {"img/text.bmp", "BM not a picture"}};
    for (const auto& [name, bytes] : crafted) writeAll(g_native / name, bytes);
    const Strings all = {"img/p0.bmp", "img/p1.bmp", "img/p2.bmp", "img/off64.bmp", "img/clr2.bmp", "img/pal8.bmp",
                         "img/b32.bmp", "img/cut.bmp", "img/text.bmp", "img/missing.bmp", "img/td.bmp"};
    std::map<std::string, bool> loaderSafe = {{"img/td.bmp", true}, {"img/off64.bmp", true}, {"img/clr2.bmp", true},
                                              {"img/pal8.bmp", true}, {"img/missing.bmp", true}};
    std::map<std::string, bool> topDown = {{"img/td.bmp", true}};
    std::vector<unsigned char> pixels(4096);
    for (long i = 0; i < count; ++i) {
        unsigned what = R(11);
        if (what < 2) {
            int w = int(R(10)), h = int(R(10)) * (chance(15) ? -1 : 1);
            for (std::size_t at = 0; at < pixels.size(); ++at)  // rows of 3 w bytes, the alignment bytes 0
                pixels[at] = w > 0 && int(at % (3 * w + w % 4)) < 3 * w ? static_cast<unsigned char>(rng()) : 0;
            std::string f = fmt("img/p%u.bmp", R(3));
            bool r = ktuBMPUtils::saveAsBMP(w, h, pixels.data(), D(f).c_str());
            loaderSafe[f] = w > 0 && h > 0, topDown[f] = h < 0;
            emit("bmp", fmt("saveAsBMP(%d,%d,%s)", w, h, q(D(f)).c_str()), fmt("%d ", r) + fileHash(f));
        } else {
            what -= 2;  // 0..8: the readers, the picture loader twice as often
            std::string f = pick(all);
            bool loader = what >= 7 || what == 1;
            if ((loader && !loaderSafe[f]) || (what >= 2 && what != 4 && topDown[f])) continue;
            emit("bmp", "read(" + q(D(f)) + ")", imageOps(D(f), what));
        }
        homeCwd();
    }
}

// Rasters and buffers: no system calls, the two compilers' answers.
void rasterFamily(long count)
{
    static unsigned char src[4096], dst[65536];
    using RU = ktuRGB24DataUtils;
    for (long i = 0; i < count; ++i) {
        for (auto& b : src) b = static_cast<unsigned char>(rng());
        std::memset(dst, 0xEE, sizeof dst);
        int w = int(R(10)) - (chance(5) ? 3 : 0), h = int(R(10)) - (chance(5) ? 3 : 0), m = int(R(22)) - 1;
        int nw = int(R(16)), nh = int(R(16));
        unsigned n = R(40), size = R(40), what = R(9);
        unsigned char* source = chance(5) ? nullptr : src;
        if (what == 3 || what == 6)  // sizes out of every range too
            w = chance(30) ? int(rng()) : w, h = chance(30) ? int(rng()) : h, m = chance(30) ? int(rng() % 2000) : m;
        else if ((w < 0 || h < 0) && (what == 0 || what == 4 || what == 5))
            continue;  // unsigned sizes: the buffers would have to hold them
        const std::string op = fmt("%u(%d,%d,%d,%d,%d,%u,%u,%d)", what, w, h, m, nw, nh, n, size, source != nullptr);
        long st = 7;
        long long r = 0;  // also an unsigned int (long has 32 bits on Windows)
        switch (what) {
        case 0: r = RU::reverseData(src, dst, unsigned(w), unsigned(h), &st); break;
        case 1: r = RU::resizeData(w, h, src, m, &nw, &nh, dst, &st); break;
        case 2: r = RU::flipData(src, w, h, &st); break;
        case 3: ktuBMPUtils::getScaledSize(w, h, m, &nw, &nh); break;
        case 4: if (m > 0) ktuBMPUtils::resizeImageAndReturnData(w, h, src, m, dst); break;
        case 5: ktuBMPUtils::resizeImageAndReturnData(w, h, src, nw, nh, dst); break;
        case 6: r = ktuBMPUtils::getBMPFormatDataLen(unsigned(w), unsigned(h)); break;
        case 7: r = ktuBufferUtils::getEndBytes(source, n, dst, size); break;
        default: r = ktuBufferUtils::getStartingBytes(source, n, dst, size); break;
        }
        emit("raster", op, fmt("%lld %ld %d %d ", r, st, nw, nh) + hashOf(dst, 2048) + " " + hashOf(src, 512));
    }
}

void timeFamily(long count)
{
    for (long i = 0; i < count; ++i) {
        SYSTEMTIME t = {WORD(chance(80) ? 1990 + R(120) : R(65536)), 0, 0, 0, 0, 0, 0, 0};
        WORD* fields[] = {&t.wMonth, &t.wDayOfWeek, &t.wDay, &t.wHour, &t.wMinute, &t.wSecond, &t.wMilliseconds};
        unsigned at = 0;
        for (unsigned usual : {13, 7, 32, 24, 60, 60, 1000}) *fields[at++] = WORD(chance(10) ? R(65536) : R(usual));
        int format = int(R(9)) - 1;
        char out[64] = "untouched";
        ktuTimeString::getTimeString(t, format, out);
        emit("time", fmt("getTimeString(%u-%u-%u(%u) %u:%u:%u.%u,%d)", t.wYear, t.wMonth, t.wDay, t.wDayOfWeek,
                         t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, format), q(out));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::map<std::string, std::string> option = {{"--seed", "1"}, {"--count", "2000"}};
    for (int i = 1; i + 1 < argc; i += 2) option[argv[i]] = argv[i + 1];
    g_native = option["--sandbox"];
    if (g_native.empty()) return std::fprintf(stderr, "usage: ktu_differential --seed N --count N --sandbox DIR\n"), 2;
    const unsigned long seed = std::stoul(option["--seed"]);
    const long count = std::stol(option["--count"]);
    char version[] = "4.02";
    ktuLibVersionManagerUtils::validateVersion(version);
    ktuSetMessageBoxHandler(answerBox, nullptr);
    ktuLogUtils::setLogsDir(D("logs").c_str());
    homeCwd();
    std::printf("#seed %lu count %ld\n", seed, count);
    // Shares of the count; each family draws from its own stream of the seed.
    const struct { void (*run)(long); int percent; } families[] = {
        {iniFamily, 40}, {settingsFamily, 6}, {pathFamily, 20}, {treeFamily, 14}, {bmpFamily, 5}, {rasterFamily, 12},
        {timeFamily, 3}};
    unsigned index = 0;
    for (const auto& f : families) {
        rng.seed(static_cast<std::mt19937::result_type>(seed * 31 + index++));
        f.run(count * f.percent / 100);
    }
    for (const auto& n : g_ops) std::printf("#ops %s %ld\n", n.first.c_str(), n.second);
}
