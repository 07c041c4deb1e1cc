// One scenario over the public headers, built for Linux and for Windows:
// scripts/differential runs both builds and compares what they print.
//
//   ktu_differential --seed N --count N --sandbox DIR
//
// DIR is an empty folder in this program's own file-name form. The library is
// handed the same folder as drive S: (KTU_DRIVES on Linux, a drive of the Wine
// prefix on Windows), so both builds print the same paths.
//
// Every line is "family <tab> operation(arguments) <tab> => answers". A line
// may end in "<tab>~tag detail": the comparison (compare.py) knows which tags
// mark differences the two systems are allowed to show.
#include <KSUtilityClasses.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
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

#if defined(_WIN32)
const bool kWindows = true;
#else
const bool kWindows = false;
#endif

std::mt19937 rng;
unsigned R(unsigned n) { return n ? static_cast<unsigned>(rng() % n) : 0; }
bool chance(unsigned percent) { return R(100) < percent; }
const std::string& pick(const Strings& v) { return v[R(static_cast<unsigned>(v.size()))]; }

fs::path g_native;                    // the sandbox as the C++ library sees it
std::map<std::string, long> g_ops;    // compared operations per family
std::string g_box;                    // message boxes shown since the last line

std::string D(const std::string& rel) { return "S:/" + rel; }
std::string yes(bool b) { return b ? "1" : "0"; }
using FP = ktuFilePathUtils;

std::string fmt(const char* f, ...)
{
    char text[4096];
    va_list args;
    va_start(args, f);
    std::vsnprintf(text, sizeof text, f, args);
    va_end(args);
    return text;
}

// Tabs, line ends and other control bytes are shown escaped; a long run of one
// character as "<c>*count" so over-long arguments keep lines short.
std::string esc(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0, run = 1; i < s.size(); i += run, run = 1) {
        while (i + run < s.size() && s[i + run] == s[i]) ++run;
        unsigned char c = static_cast<unsigned char>(s[i]);
        std::string one = (c < 0x20 || c >= 0x7f) ? fmt("\\x%02x", c) : std::string(1, s[i]);
        if (run >= 8) out += one + fmt("*%zu", run);
        else for (std::size_t k = 0; k < run; ++k) out += one;
    }
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

void emit(const char* family, const std::string& op, const std::string& answer, const std::string& tag = "",
          long calls = 1)
{
    g_ops[family] += calls;
    std::string line = std::string(family) + "\t" + op + "\t=> " + answer;
    if (!g_box.empty()) line += " box=" + g_box;
    g_box.clear();
    if (!tag.empty()) line += "\t~" + tag;
    std::puts(line.c_str());
}

int answerBox(void*, void*, const char* text, const char* caption, unsigned int)
{
    return g_box += "[" + esc(caption ? caption : "") + ":" + esc(text ? text : "") + "]", 1;
}

std::string readAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
void writeAll(const fs::path& p, const std::string& b) { std::ofstream(p, std::ios::binary).write(b.data(), std::streamsize(b.size())); }
std::string fileHash(const std::string& rel) { return fs::exists(g_native / rel) ? hashOf(readAll(g_native / rel)) : "none"; }

// ---- The tree below a folder of the sandbox: one canonical line ------------
// Copies that copyFileExcludingLine writes ("temp..." names) are text files:
// on Windows their lines end in CR LF. The line shows them as the lines they
// hold and puts the bytes themselves in the "~lineend" detail.
struct Tree { Strings dirs, files, lines; std::string rawDetail; };

Tree scan(const std::string& rel)
{
    Tree t;
    std::error_code ec;
    fs::path root = g_native / rel;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().lexically_relative(root).generic_string();
        fs::file_status st = it->symlink_status(ec);
        bool readOnly = (st.permissions() & fs::perms::owner_write) == fs::perms::none;
        if (fs::is_directory(st)) {
            t.dirs.push_back(name);
            t.lines.push_back(name + "/");
            continue;
        }
        t.files.push_back(name);
        std::string raw = readAll(it->path()), text = raw;
        if (kWindows && it->path().filename().string().rfind("temp", 0) == 0) {
            text.clear();  // each CR LF that text mode wrote back to the LF it was given
            for (std::size_t i = 0; i < raw.size(); ++i)
                if (raw[i] != '\r' || i + 1 == raw.size() || raw[i + 1] != '\n') text += raw[i];
        }
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
    if (!t.rawDetail.empty()) line += "\t~lineend" + t.rawDetail;
    std::puts(line.c_str());
}

void homeCwd() { std::error_code ec; fs::current_path(g_native, ec); }

// ---- INI files ---------------------------------------------------------------
const Strings kSections = {"main", "Cam", "x y", "s1", "MAIN"};
const Strings kKeys = {"k", "Key2", "a b", "w", "K"};
const Strings kValues = {"1", "", "v x", "\"q\"", "'s'", " pad ", "a=b", "0", "x;y", "[z]", std::string(600, 'L')};
const Strings kDefaults = {"d", "", " sp ", "'t'", "\"dq\""};

std::string iniGet(const char* section, const char* key, const std::string& def, long& result)
{
    char out[500] = "untouched";
    char defaultValue[600];
    std::snprintf(defaultValue, sizeof defaultValue, "%s", def.c_str());
    result = ktuINIFileUtils::getTagValue(section, key, out, defaultValue);
    return esc(out) + (def.empty() ? " default=" + q(defaultValue) : "");
}

// Every value and both listings as a reader sees them.
void iniView()
{
    std::string all;
    long calls = 0;
    auto one = [&](const char* s, const char* k) {
        long result = 0;
        std::string value = iniGet(s, k, "-", result);
        return ++calls, value + fmt(":%ld", result);
    };
    for (const char* s : {"main", "Cam", "x y", "s1"}) {
        all += std::string(s) + "{" + one(s, nullptr);
        for (const char* k : {"k", "Key2", "a b", "w"}) all += " " + one(s, k);
        all += "} ";
    }
    all += "sections=" + one(nullptr, nullptr);
    emit("ini", "view()", all, "", calls);
}

void iniFamily(long count)
{
    using INI = ktuINIFileUtils;
    const Strings files = {"ini/a.ini", "ini/b.ini", "ini/new/deep/c.ini"};
    emit("ini", "openFile(" + q(D(files[0])) + ")", fmt("%ld", INI::openFile(D(files[0]).c_str())));
    for (long i = 1; i < count; ++i) {
        unsigned what = R(100);
        std::string s = pick(kSections), k = pick(kKeys), v = pick(kValues), f = D(pick(files));
        // A null value deletes the key, a null key the section.
        const char* key = what >= 86 && what < 90 ? nullptr : k.c_str();
        const char* value = what < 40 ? v.c_str() : nullptr;
        long result = 0;
        if (what < 40 || (what >= 80 && what < 90)) {
            result = INI::setTagValue(s.c_str(), key, value);
            emit("ini", "set(" + q(s) + "," + q(key) + "," + q(value) + ")", fmt("%ld", result));
        } else if (what < 72) {
            // A default in quotes with a null key is left to the hand-picked cases.
            bool list = chance(15);
            std::string def = list ? pick({"d", ""}) : pick(kDefaults);
            std::string out = iniGet(s.c_str(), list ? nullptr : key, def, result);
            emit("ini", "get(" + q(s) + "," + (list ? "null" : q(k)) + "," + q(def) + ")", fmt("%ld ", result) + out);
        } else if (what < 80) {
            iniView();
        } else if (what < 97) {
            if (chance(30)) emit("ini", "closeFile()", fmt("%ld", INI::closeFile()));
            emit("ini", "openFile(" + q(f) + ")", fmt("%ld", INI::openFile(f.c_str())));
        } else {
            emit("ini", "clearFileContent()", fmt("%ld", INI::clearFileContent()));
        }
        homeCwd();
    }
}

// ---- Settings (registry) -----------------------------------------------------
void settingsFamily(long count)
{
    using RU = ktuRegistryUtils;
    const Strings subs = {"diff\\A", "diff\\b", "diff\\A\\B", "diff\\b\\c d", "diff\\Cam", "diff\\a\\b\\c", "diff",
                          "diff\\" + std::string(250, 'k')};
    const Strings names = {"", "v", "V", "x y", "Common Desktop"};
    const Strings values = {"1", "hello", "", "a\\b", "\xc3\xa9t\xc3\xa9", std::string(300, 'r'), std::string(600, 'R')};
    const Strings rectParts = {"1", "-2", " 3", "4x", "", "2147483648", "-99999999999", "+7", "abc"};
    for (long i = 0; i < count; ++i) {
        unsigned what = R(100);
        std::string sub = pick(subs), name = pick(names), value = pick(values), text;
        std::string key = "SOFTWARE\\Optic Pipeline\\" + sub;
        const char* n = chance(10) ? nullptr : name.c_str();
        const char* v = chance(8) ? nullptr : value.c_str();
        char out[600] = "untouched";
        bool ok = false;
        RECT r = {7, 7, 7, 7};
        if (what < 35) {
            ok = RU::addStringValueToRegistryKey(n, v, sub.c_str());
            emit("settings", "add(" + q(n) + "," + q(v) + "," + q(sub) + ")", yes(ok));
        } else if (what < 70) {
            ok = RU::getStringValueFromRegistryKey(name.c_str(), out, sub.c_str());
            emit("settings", "get(" + q(name) + "," + q(sub) + ")", yes(ok) + " " + q(out));
        } else if (what < 80) {
            ok = RU::getStringValueFromRegistryKey(key.c_str(), out);
            emit("settings", "getKey(" + q(key) + ")", yes(ok) + " " + q(out));
        } else if (what < 90) {
            emit("settings", "delete(" + q(sub) + ")", yes(RU::deleteRegistryKey(sub.c_str())));
        } else if (what < 93) {
            emit("settings", "validateBase()", yes(RU::validateAndUpdateBaseKey()));
        } else {
            for (unsigned m = R(6); m > 0; --m) text += pick(rectParts) + (m > 1 || chance(30) ? "," : "");
            RU::getWindowRectFromString(&r, text.c_str());
            emit("settings", "rect(" + q(text) + ")",
                 fmt("%ld %ld %ld %ld", (long)r.left, (long)r.right, (long)r.bottom, (long)r.top));
        }
    }
}

// ---- Path strings ------------------------------------------------------------
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

// One operation on the text p (and a second text p2 for those that take one);
// a (holding p), b, c and d are work buffers.
struct PathWork {
    std::string p, p2;
    char a[1200], b[1200], c[1200], d[1200];
    long st;
};
using PathOp = std::string (*)(PathWork&);
const std::pair<const char*, PathOp> kPathOps[] = {
    {"nameExt", [](PathWork& w) { ktuFilePathUtils::getFileNameAndExt(w.p.c_str(), w.b, w.c); return q(w.b) + " " + q(w.c); }},
    {"backToForward", [](PathWork& w) { ktuFilePathUtils::convertBackSlashToForward(w.a); return q(w.a); }},
    {"forwardToDoubleBack", [](PathWork& w) { ktuFilePathUtils::converForwardSlashToDoubleBackSlash(w.a); return q(w.a); }},
    {"removeSlashes", [](PathWork& w) { ktuFilePathUtils::removeContinuousSlashes(w.a); return q(w.a); }},
    {"parent", [](PathWork& w) { ktuFilePathUtils::getParentDirectory(w.a, w.b); return q(w.b); }},
    {"filePathSplit", [](PathWork& w) {
         bool r = ktuFilePathUtils::filePathSplit(w.p.c_str(), w.a, w.b, w.c, w.d);
         return fmt("%d ", r) + q(w.a) + " " + q(w.b) + " " + q(w.c) + " " + q(w.d);
     }},
    {"requiredExt", [](PathWork& w) {
         std::strcpy(w.b, (w.p2 = pick({"bmp", "txt", ".bmp", "", "BMP", "ext"})).c_str());
         bool r = ktuFilePathUtils::checkRequiredFileExtension(w.p.c_str(), w.b);
         return fmt("%d ", r) + q(w.b);
     }},
    {"toAbsolute", [](PathWork& w) {
         w.p2 = pick({"./", "../", "../../", "x/"}) + w.p2;
         ktuFilePathUtils::convertToAbsolutePath(w.p.c_str(), w.p2.c_str(), w.b, &w.st);
         return q(w.b) + fmt(" %ld", w.st);
     }},
    {"toRelative", [](PathWork& w) {
         if (chance(50)) w.p2 = w.p + pick({"/x", "/a/b.c", "", "x", "/../y"});
         ktuFilePathUtils::convertToRelativePath(w.p.c_str(), w.p2.c_str(), w.b, &w.st);
         return q(w.b) + fmt(" %ld", w.st);
     }},
    {"specialChars", [](PathWork& w) { return fmt("%d", ktuFilePathUtils::checkForSpecialCharacters(w.p.c_str())); }},
    {"fileExt", [](PathWork& w) { return fmt("%d", ktuFilePathUtils::checkFileExt(w.p.c_str())); }},
};

void pathFamily(long count)
{
    for (long i = 0; i < count; ++i) {
        PathWork w{randomPath(), randomPath(), "", "untouched", "untouched", "untouched", 7};
        std::snprintf(w.a, sizeof w.a, "%s", w.p.c_str());
        const auto& op = kPathOps[R(11)];
        std::string answer = op.second(w), second = std::strstr("requiredExt toAbsolute toRelative", op.first) ? "," + q(w.p2) : "";
        emit("path", op.first + ("(" + q(w.p) + second + ")"), answer);
    }
}

// ---- Folders and files, the tree shown after every call -----------------------
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
        std::string file = t.files.empty() ? "tree/nothing" : "tree/" + pick(t.files), op, ans;
        std::string f = D(folder), n = D(folder + "/" + name), line = pick({"x", "b", "", "line 1", "a"});
        bool recreate = chance(20);
        long status = 7;
        unsigned what = t.lines.size() > 60 ? 52 : R(120);
        std::error_code ec;
        if (what < 25) {  // the files the library works on, made here (not an operation)
            if (fs::is_directory(g_native / folder / name, ec)) continue;
            writeAll(g_native / folder / name, pick(kContents));
            if (chance(15)) fs::permissions(g_native / folder / name, fs::perms::owner_write | fs::perms::group_write |
                                                fs::perms::others_write, fs::perm_options::remove, ec);
            continue;
        } else if (what < 33) {
            op = "createNewFolder(" + q(f) + "," + q(name) + ")", ans = yes(FP::createNewFolder(f.c_str(), name.c_str()));
        } else if (what < 38) {
            op = fmt("checkOrCreateFolder(%s,%s,%d)", q(f).c_str(), q(name).c_str(), recreate);
            ans = yes(FP::checkOrCreateFolder(f.c_str(), name.c_str(), recreate));
        } else if (what < 43) {
            n += pick({"", "/"});
            op = fmt("checkOrCreateFolder(%s,%d)", q(n).c_str(), recreate), ans = yes(FP::checkOrCreateFolder(n.c_str(), recreate));
        } else if (what < 50) {
            n += "/" + pick(kNames);
            FP::createAllFolders(n.c_str(), recreate, &status);
            op = fmt("createAllFolders(%s,%d)", q(n).c_str(), recreate), ans = fmt("%ld", status);
        } else if (what < 56) {
            dir = D(dir) + (chance(20) ? "/" : "");
            op = "deleteFolder(" + q(dir) + "," + q(D("tree")) + ")", ans = yes(FP::deleteFolder(dir.c_str(), D("tree").c_str()));
        } else if (what < 68) {
            op = "copyFileExcludingLine(" + q(D(file)) + "," + q(line) + ")";
            ans = yes(FP::copyFileExcludingLine(D(file).c_str(), line.c_str()));
        } else if (what < 76) {
            // Copies keep their "temp" names, by which their text line ends are told.
            if (fs::path(file).filename().string().rfind("temp", 0) == 0) continue;
            op = "renameFile(" + q(D(file)) + "," + q(name) + ")", ans = yes(FP::renameFile(D(file).c_str(), name.c_str()));
        } else if (what < 86) {
            if (chance(50)) n = D(folder + "/" + pick(kPatterns));
            op = "deleteFile(" + q(n) + ")", ans = yes(FP::deleteFile(n.c_str()));
        } else if (what < 92) {
            op = "deleteFilesInFolder(" + q(f) + ")", ans = yes(FP::deleteFilesInFolder(f.c_str()));
        } else if (what < 106) {
            std::string from = D(folderOf(t)), to = chance(50) ? D(folderOf(t)) : n;
            op = "copyFolder(" + q(to) + "," + q(from) + ")", ans = yes(FP::copyFolder(to.c_str(), from.c_str()));
        } else {
            op = "isEmptyDirectory(" + q(f) + ")", ans = yes(FP::isEmptyDirectory(f.c_str()));
        }
        homeCwd();
        emit("tree", op, ans);
        showTree("tree");
    }
}

// ---- Path split and existence checks over the tree the family above left ------
void existFamily(long count)
{
    for (long i = 0; i < count; ++i) {
        Tree t = scan("tree");
        std::string folder = D(folderOf(t)), op, ans;
        std::string name = chance(50) || t.files.empty() ? pick(kPatterns) : fs::path(pick(t.files)).filename().string();
        std::string full = folder + "/" + name, drive = pick({"S:", "s:", "S:\\", "S:/", "Q:", "C:", "SS", ""});
        if (chance(15)) std::replace(full.begin(), full.end(), '/', '\\');
        char base[300] = "untouched", file[300] = "untouched";
        long status = 7;
        switch (R(7)) {
        case 0:
            if (chance(50)) full = randomPath();
            FP::getFileNameAndBasePathFromFullPath(full.c_str(), base, file, &status);
            op = "basePathAndName(" + q(full) + ")", ans = fmt("%ld ", status) + q(base) + " " + q(file);
            break;
        case 1: op = "checkFileExistence(" + q(full) + ")", ans = yes(FP::checkFileExistence(full.c_str())); break;
        case 2:
            op = "checkFileExistance(" + q(folder) + "," + q(name) + ")";
            ans = yes(FP::checkFileExistance(folder.c_str(), name.c_str()));
            break;
        case 3: op = "checkForFile_Path_Existence(" + q(full) + ")", ans = yes(FP::checkForFile_Path_Existence(full.c_str())); break;
        case 4: op = "checkForLocalDrive(" + q(drive) + ")", ans = yes(FP::checkForLocalDrive(drive.c_str())); break;
        default: op = "isEmptyDirectory(" + q(folder) + ")", ans = yes(FP::isEmptyDirectory(folder.c_str())); break;
        }
        homeCwd();
        emit("exist", op, ans);
    }
}

// ---- BMP files and pictures ----------------------------------------------------
// A 24-bit file written byte by byte: `height` < 0 is top-down; `gap` bytes
// stand between the headers (and `colours` table entries) and the pixels.
std::string bmpBytes(int width, int height, int colours, int gap, int bits = 24, int ppm = 0, int cut = 0, char pad = 0)
{
    int row = ((width * bits + 31) / 32) * 4, rows = height < 0 ? -height : height;
    int offset = 54 + 4 * colours + gap, size = offset + row * rows;
    std::string b(static_cast<std::size_t>(size), '\0');
    auto put = [&](int at, uint32_t v, int n) { for (int i = 0; i < n; ++i) b[at + i] = char(v >> (8 * i)); };
    b[0] = 'B'; b[1] = 'M';
    put(2, size, 4); put(10, offset, 4); put(14, 40, 4); put(18, width, 4); put(22, uint32_t(height), 4);
    put(26, 1, 2); put(28, bits, 2); put(34, row * rows, 4); put(38, ppm, 4); put(42, ppm, 4); put(46, colours, 4);
    for (int i = offset; i < size; ++i) b[i] = (i - offset) % row < width * bits / 8 ? char(i * 7 + 3) : pad;
    return b.substr(0, b.size() - cut);
}

std::string imageOps(const std::string& path, unsigned what)
{
    static unsigned char out[65536];
    std::memset(out, 0xEE, sizeof out);
    int w = -7, h = -7, nw = int(R(13)), nh = int(R(13)), x = int(R(12)) - 2, y = int(R(12)) - 2;
    int cw = int(R(12)) - 1, ch = int(R(12)) - 1;
    const char* p = path.c_str();
    std::error_code ec;
    IPicture* picture = nullptr;
    OLE_XSIZE_HIMETRIC pw = -7;
    OLE_YSIZE_HIMETRIC ph = -7;
    bool r = false;
    switch (what) {
    case 0: r = ktuBMPUtils::getImageSize(p, &w, &h); return fmt("size %d %d %d", r, w, h);
    case 1: r = ktuBMPUtils::getImageSize2(p, &w, &h); return fmt("size2 %d %d %d", r, w, h);
    case 2: r = ktuBMPUtils::getImageData(p, out); return fmt("data %d ", r) + hashOf(out, 1024);
    case 3: r = ktuBMPUtils::getImageBitmapData(p, out); return fmt("bits %d ", r) + hashOf(out, 1024);
    case 4: return fmt("check %d", ktuBMPUtils::checkBMPFormat(p));
    case 5: r = ktuBMPUtils::getResizedImageData(p, out, nw, nh); return fmt("resized %d %d %d ", nw, nh, r) + hashOf(out, 1024);
    case 6:
        fs::remove(g_native / "img/crop.bmp", ec);
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
    fs::create_directories(g_native / "img");
    // Files the Windows loader takes; those that the picture loader on Linux
    // refuses today (top-down, a gap, a colour table) get hand-picked cases.
    const std::map<std::string, std::string> crafted = {
        {"img/td.bmp", bmpBytes(3, -2, 0, 0)},   {"img/off64.bmp", bmpBytes(3, 2, 0, 10)},
        {"img/clr2.bmp", bmpBytes(3, 2, 2, 0)},  {"img/pal8.bmp", bmpBytes(4, 2, 4, 0, 8)},
        {"img/b32.bmp", bmpBytes(2, 2, 0, 0, 32)}, {"img/trunc.bmp", bmpBytes(5, 5, 0, 0, 24, 0, 7)},
        {"img/text.bmp", "BM not a picture"}};
    for (const auto& f : crafted) writeAll(g_native / f.first, f.second);
    // The picture loader reads saved files with both sides non-zero; the pixel
    // readers leave top-down files (whose DIB sections Wine fills with 0) to
    // the hand-picked case.
    const Strings all = {"img/p0.bmp", "img/p1.bmp", "img/p2.bmp", "img/off64.bmp", "img/clr2.bmp", "img/pal8.bmp",
                         "img/b32.bmp", "img/trunc.bmp", "img/text.bmp", "img/missing.bmp", "img/td.bmp"};
    std::map<std::string, bool> loaderSafe = {{"img/pal8.bmp", true}, {"img/missing.bmp", true}}, topDown = {{"img/td.bmp", true}};
    std::vector<unsigned char> pixels(4096);
    for (long i = 0; i < count; ++i) {
        unsigned what = R(12);
        if (what < 2) {
            int w = int(R(10)), h = int(R(10)) * (chance(15) ? -1 : 1);
            for (std::size_t at = 0; at < pixels.size(); ++at)  // rows of 3 w bytes, the alignment bytes 0
                pixels[at] = w > 0 && int(at % (3 * w + w % 4)) < 3 * w ? static_cast<unsigned char>(rng()) : 0;
            std::string f = fmt("img/p%u.bmp", R(3));
            bool r = ktuBMPUtils::saveAsBMP(w, h, pixels.data(), D(f).c_str());
            loaderSafe[f] = w > 0 && h > 0, topDown[f] = h < 0;
            emit("bmp", fmt("saveAsBMP(%d,%d,%s)", w, h, q(D(f)).c_str()), fmt("%d ", r) + fileHash(f));
        } else if (what < 3) {  // a header of the library's, with a colour table of 0 to 2 entries
            int w = int(R(20)) - 3, h = int(R(20)) - 3;
            unsigned colours = R(3);
            BITMAPINFO* info = ktuBMPUtils::CreateBitmapInfoStruct(w, h);
            std::vector<unsigned char> block(40 + 4 * colours, 0x55);
            std::memcpy(block.data(), info, 40);
            BITMAPINFOHEADER& hd = reinterpret_cast<BITMAPINFO*>(block.data())->bmiHeader;
            hd.biClrUsed = colours;
            bool r = hd.biSizeImage <= pixels.size() &&
                     ktuBMPUtils::CreateBMPFile(D("img/made.bmp").c_str(), reinterpret_cast<BITMAPINFO*>(block.data()), pixels.data());
#if defined(_WIN32)
            LocalFree(info);
#else
            std::free(info);
#endif
            emit("bmp", fmt("CreateBMPFile(%d,%d,colours %u)", w, h, colours),
                 fmt("%lu %ld %ld %u %u %lu %d ", (unsigned long)hd.biSize, (long)hd.biWidth, (long)hd.biHeight, hd.biPlanes,
                     hd.biBitCount, (unsigned long)hd.biSizeImage, r) + fileHash("img/made.bmp"));
        } else {
            what -= 3;  // 0..8: the readers, the picture loader twice as often
            std::string f = pick(all);
            bool loader = what >= 7 || what == 1;
            if ((loader && !loaderSafe[f]) || (what >= 2 && what != 4 && topDown[f])) continue;
            emit("bmp", "read(" + q(D(f)) + ")", imageOps(D(f), what));
        }
        homeCwd();
    }
}

// ---- Rasters and buffers (no system calls: the two compilers' answers) -------
void rasterFamily(long count)
{
    static unsigned char src[4096], dst[65536];
    using RU = ktuRGB24DataUtils;
    for (long i = 0; i < count; ++i) {
        for (auto& b : src) b = static_cast<unsigned char>(rng());
        std::memset(dst, 0xEE, sizeof dst);
        int w = int(R(10)) - (chance(5) ? 3 : 0), h = int(R(10)) - (chance(5) ? 3 : 0), m = int(R(22)) - 1;
        int nw = -7, nh = -7, big = int(rng()), tall = int(rng());
        unsigned n = R(40), size = R(40), what = R(9);
        long st = 7;
        bool r = false, nullSource = chance(5), unsignedOk = w >= 0 && h >= 0;
        std::string op, ans;
        if (what == 0 && unsignedOk) {  // unsigned sizes: the buffers would have to hold them
            r = RU::reverseData(src, dst, unsigned(w), unsigned(h), &st);
            op = fmt("reverseData(%d,%d)", w, h), ans = fmt("%d %ld ", r, st) + hashOf(dst, 2048);
        } else if (what == 1) {
            r = RU::resizeData(w, h, src, m, &nw, &nh, dst, &st);
            op = fmt("resizeData(%d,%d,%d)", w, h, m), ans = fmt("%d %ld %d %d ", r, st, nw, nh) + hashOf(dst, 2048);
        } else if (what == 2) {
            r = RU::flipData(src, w, h, &st);
            op = fmt("flipData(%d,%d)", w, h), ans = fmt("%d %ld ", r, st) + hashOf(src, 512);
        } else if (what == 3) {
            w = chance(30) ? big : w, h = chance(30) ? tall : h, m = chance(30) ? int(rng() % 2000) : m;
            ktuBMPUtils::getScaledSize(w, h, m, &nw, &nh);
            op = fmt("getScaledSize(%d,%d,%d)", w, h, m), ans = fmt("%d %d", nw, nh);
        } else if (what == 4 && unsignedOk && m > 0) {
            ktuBMPUtils::resizeImageAndReturnData(w, h, src, m, dst);
            op = fmt("resizeToMax(%d,%d,%d)", w, h, m), ans = hashOf(dst, 2048);
        } else if (what == 5 && unsignedOk) {
            nw = int(n % 16), nh = int(size % 16);
            ktuBMPUtils::resizeImageAndReturnData(w, h, src, nw, nh, dst);
            op = fmt("resizeTo(%d,%d,%d,%d)", w, h, nw, nh), ans = hashOf(dst, 2048);
        } else if (what == 6) {
            unsigned bw = chance(50) ? unsigned(big) : unsigned(w), bh = chance(50) ? unsigned(tall) : unsigned(h);
            op = fmt("getBMPFormatDataLen(%u,%u)", bw, bh), ans = fmt("%u", ktuBMPUtils::getBMPFormatDataLen(bw, bh));
        } else if (what >= 7) {
            unsigned got = what == 7 ? ktuBufferUtils::getEndBytes(nullSource ? nullptr : src, n, dst, size)
                                     : ktuBufferUtils::getStartingBytes(nullSource ? nullptr : src, n, dst, size);
            op = fmt("%s(%s,%u,%u)", what == 7 ? "getEndBytes" : "getStartingBytes", nullSource ? "null" : "src", n, size);
            ans = fmt("%u ", got) + hashOf(dst, 64);
        } else {
            continue;
        }
        emit("raster", op, ans);
    }
}

// ---- Time strings from fixed SYSTEMTIME values --------------------------------
void timeFamily(long count)
{
    for (long i = 0; i < count; ++i) {
        auto field = [](unsigned usual) { return WORD(chance(10) ? R(65536) : R(usual)); };
        SYSTEMTIME t = {};
        t.wYear = WORD(chance(80) ? 1990 + R(120) : R(65536));
        t.wMonth = field(13); t.wDayOfWeek = field(7); t.wDay = field(32);
        t.wHour = field(24); t.wMinute = field(60); t.wSecond = field(60); t.wMilliseconds = field(1000);
        int format = int(R(9)) - 1;
        char out[64];
        std::memset(out, '#', sizeof out);
        out[63] = '\0';
        ktuTimeString::getTimeString(t, format, out);
        emit("time", fmt("getTimeString(%u-%u-%u(%u) %u:%u:%u.%u,%d)", t.wYear, t.wMonth, t.wDay, t.wDayOfWeek,
                         t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, format), q(out));
    }
}

// ---- Hand-picked cases ----------------------------------------------------------
// Faults once seen between the two builds ("pick-"), and one case for each
// difference the two systems may show ("allow-", the line carries the tag).
void handPicked()
{
    for (const char* d : {"pick", "pickini", "pickimg", "allow"}) fs::create_directories(g_native / d);
    long r = 0, g = 0;
    // INI: a null key and a default in double quotes.
    writeAll(g_native / "pickini/q.ini", "[s]\r\nk=1\r\n");
    ktuINIFileUtils::openFile(D("pickini/q.ini").c_str());
    for (const char* s : {"t", "s"}) {
        std::string out = iniGet(s, nullptr, "\"q\"", r);
        emit("ini", "pick-nullkey-quotes get(" + q(s) + ",null,\"\\\"q\\\"\")", fmt("%ld ", r) + out);
    }
    // INI: blanks around names in a key listing and in deletes.
    const std::string blanks = "[main]\r\na=1\r\n key =2\r\n[t]\r\nc=3\r\n";
    writeAll(g_native / "pickini/b.ini", blanks);
    ktuINIFileUtils::openFile(D("pickini/b.ini").c_str());
    std::string listing = iniGet(" main ", nullptr, "d", r);
    emit("ini", "pick-blanks get(\" main \",null)", fmt("%ld ", r) + listing);
    for (auto& d : std::vector<std::pair<const char*, const char*>>{{"main", " key "}, {" t ", nullptr}, {" main ", "a"}}) {
        writeAll(g_native / "pickini/b.ini", blanks);
        r = ktuINIFileUtils::setTagValue(d.first, d.second, nullptr);
        std::string after = " main.a=" + iniGet("main", "a", "-", g) + " main.key=" + iniGet("main", "key", "-", g);
        emit("ini", "pick-blanks set(" + q(d.first) + "," + q(d.second) + ",null)", fmt("%ld", r) + after + " t.c=" + iniGet("t", "c", "-", g));
    }
    ktuINIFileUtils::closeFile();
    // copyFileExcludingLine on a line that ends in CR CR LF, and on plain ones.
    writeAll(g_native / "pick/cr.txt", "x\r\r\nb\r\n");
    writeAll(g_native / "pick/plain.txt", "x\nb\r\nc\n");
    for (const char* f : {"pick/cr.txt", "pick/plain.txt"})
        emit("tree", "pick-crcrlf copyFileExcludingLine(" + q(D(f)) + ",\"x\")", yes(FP::copyFileExcludingLine(D(f).c_str(), "x")));
    homeCwd();
    showTree("pick");
    // Pictures: files the picture loader on Linux refused while getImageSize
    // read them; a top-down file's pixels, damaged files, a resolution of 200
    // dpi (HIMETRIC sizes from the file on Linux, from the screen on Windows),
    // and alignment bytes that are not 0 (Linux reads them from the file, the
    // DIB section that Wine makes holds 0).
    const struct { const char* name; std::string bytes; std::vector<unsigned> ops; const char* tag; } pictures[] = {
        {"td", bmpBytes(3, -2, 0, 0), {0, 1, 7}, ""}, {"off64", bmpBytes(3, 2, 0, 10), {0, 1, 7}, ""},
        {"clr2", bmpBytes(3, 2, 2, 0), {0, 1, 7}, ""}, {"td", bmpBytes(3, -2, 0, 0), {2, 3}, "wine-topdown"},
        {"cut", bmpBytes(5, 5, 0, 0, 24, 0, 7), {1, 7}, "wine-notpicture"}, {"text", "BM not a picture", {1, 7}, "wine-notpicture"},
        {"dpi", bmpBytes(4, 4, 0, 0, 24, 7874), {1, 7}, "dpi"}, {"padding", bmpBytes(3, 2, 0, 0, 24, 0, 0, 'Z'), {3}, "padding"}};
    for (const auto& p : pictures) {
        std::string rel = "pickimg/" + std::string(p.name) + ".bmp", kind = *p.tag ? "allow-" + std::string(p.tag) : "pick-" + std::string(p.name);
        writeAll(g_native / rel, p.bytes);
        for (unsigned what : p.ops) emit("bmp", kind + " read(" + q(D(rel)) + ")", imageOps(D(rel), what), p.tag);
    }
    // Letter case, reserved names and 8.3 names in the folder queries.
    writeAll(g_native / "allow/b.txt", "b");
    writeAll(g_native / "allow/longname.text", "l");
    const char* queries[][2] = {{"B.TXT", "case"}, {"*.TXT", "case"}, {"con", "reserved"}, {"nul.txt", "reserved"},
                                {"*.tex", "8.3"}, {"longna~1.tex", "8.3"}};
    for (auto& c : queries) {
        std::string full = D("allow/" + std::string(c[0])), kind = "allow-" + std::string(c[1]);
        emit("exist", kind + " checkFileExistence(" + q(full) + ")", yes(FP::checkFileExistence(full.c_str())), c[1]);
        emit("exist", kind + " checkFileExistance(" + q(D("allow")) + "," + q(c[0]) + ")",
             yes(FP::checkFileExistance(D("allow").c_str(), c[0])), c[1]);
    }
    homeCwd();
    // A fault of Wine: a key path with an empty name in it.
    for (const char* sub : {"diff\\e\\\\f", "\\diff\\g"})
        emit("settings", "allow-emptykey add(\"v\",\"1\"," + q(sub) + ")",
             yes(ktuRegistryUtils::addStringValueToRegistryKey("v", "1", sub)), "wine-emptykey");
}

}  // namespace

int main(int argc, char** argv)
{
    unsigned long seed = 1;
    long count = 2000;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--seed") seed = std::strtoul(argv[i + 1], nullptr, 10);
        else if (option == "--count") count = std::strtol(argv[i + 1], nullptr, 10);
        else if (option == "--sandbox") g_native = argv[i + 1];
    }
    if (g_native.empty()) return std::fprintf(stderr, "usage: ktu_differential --seed N --count N --sandbox DIR\n"), 2;
    char version[] = "4.02";
    ktuLibVersionManagerUtils::validateVersion(version);
    ktuSetMessageBoxHandler(answerBox, nullptr);
    homeCwd();
    ktuLogUtils::setLogsDir(D("logs").c_str());
    homeCwd();
    std::printf("#seed %lu count %ld\n", seed, count);
    handPicked();
    // Shares of the count; each family draws from its own stream of the seed.
    const struct { void (*run)(long); int percent; } families[] = {
        {iniFamily, 40}, {settingsFamily, 6}, {pathFamily, 20}, {treeFamily, 8},
        {existFamily, 6}, {bmpFamily, 5}, {rasterFamily, 12}, {timeFamily, 3}};
    unsigned index = 0;
    for (const auto& f : families) {
        rng.seed(static_cast<std::mt19937::result_type>(seed * 31 + index++));
        f.run(count * f.percent / 100);
    }
    for (const auto& n : g_ops) std::printf("#ops %s %ld\n", n.first.c_str(), n.second);
    std::fflush(stdout);
    return 0;
}
