// Profile (INI) files on POSIX systems: an engine that answers as the Windows
// profile functions do.
//
// Reading: lines are trimmed of blanks (and ^Z); "[name]" starts a section
// (the name is what stands between '[' and the last ']', trimmed); any other
// non-blank line is an entry "key=value" (key and value trimmed) or a bare
// "key" without a value. Lines before the first section belong to the
// section with the empty name. Section and key names match without regard to
// ASCII case; the first matching section is searched, and in it the first
// matching key. A value (or default) in matching quotes ('...' or "...") is
// given without them. Lines starting with ';' are comments: they never appear
// in a listing of keys (though a ";name=value" line can still be asked for by
// name, as on Windows).
//
// Writing: the file is read, changed in memory and replaced whole (a
// temporary file in the same folder, flushed to disk, renamed over the old
// one), so a reader sees either the old file or the new one, never a torn
// one. Writers in one folder take turns (an exclusive lock on the folder), so
// two processes changing one file at once both keep their change. Every line
// the change does not concern is written back byte for byte, with its line
// end; new lines take the line end of the file's first line (CR LF in a new
// file, as Windows writes them). A new key goes after the last non-blank line
// of its section; a new section goes to the end of the file.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "drives.h"
#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0x1a;
}

std::string trim(const std::string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// The file as lines
// ---------------------------------------------------------------------------

struct Line {
    enum Kind { Blank, Header, Entry };
    std::string raw;  // as in the file, without the line end
    std::string eol;  // "\r\n", "\n", "\r" or "" for a last line without one
    Kind kind = Blank;
    std::string name;  // section name or key
    bool hasValue = false;
    std::string value;
};

Line parseLine(std::string raw, std::string eol)
{
    Line line;
    line.raw = std::move(raw);
    line.eol = std::move(eol);
    std::string text = trim(line.raw);
    if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
        static_cast<unsigned char>(text[1]) == 0xBB && static_cast<unsigned char>(text[2]) == 0xBF) {
        text = trim(text.substr(3));  // a UTF-8 byte order mark
    }
    if (text.empty()) {
        return line;
    }
    if (text[0] == '[') {
        std::size_t close = text.rfind(']');
        if (close != std::string::npos && close > 0) {
            line.kind = Line::Header;
            line.name = trim(text.substr(1, close - 1));
            return line;
        }
    }
    line.kind = Line::Entry;
    std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
        line.name = text;
        return line;
    }
    line.name = trim(text.substr(0, equals));
    line.hasValue = true;
    line.value = trim(text.substr(equals + 1));
    return line;
}

std::vector<Line> parseText(const std::string& text)
{
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(parseLine(text.substr(start), ""));
            break;
        }
        std::size_t next = end + 1;
        if (text[end] == '\r' && next < text.size() && text[next] == '\n') {
            ++next;
        }
        lines.push_back(parseLine(text.substr(start, end - start), text.substr(end, next - end)));
        start = next;
    }
    return lines;
}

std::string joinLines(const std::vector<Line>& lines)
{
    std::string text;
    for (const Line& line : lines) {
        text += line.raw;
        text += line.eol;
    }
    return text;
}

// One section: its header line (none for the section before the first
// header) and the lines up to the next header.
struct Section {
    std::string name;
    std::size_t header;  // index of the header line, or npos
    std::size_t begin;   // first line after the header
    std::size_t end;     // one past the section's last line
};

std::vector<Section> sectionsOf(const std::vector<Line>& lines)
{
    std::vector<Section> sections;
    sections.push_back(Section{"", std::string::npos, 0, lines.size()});
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == Line::Header) {
            sections.back().end = i;
            sections.push_back(Section{lines[i].name, i, i + 1, lines.size()});
        }
    }
    return sections;
}

const Section* findSection(const std::vector<Section>& sections, const std::string& name)
{
    for (const Section& section : sections) {
        if (sameName(section.name, name)) {
            return &section;
        }
    }
    return nullptr;
}

std::size_t findKey(const std::vector<Line>& lines, const Section& section, const std::string& key)
{
    for (std::size_t i = section.begin; i < section.end; ++i) {
        if (lines[i].kind == Line::Entry && sameName(lines[i].name, key)) {
            return i;
        }
    }
    return std::string::npos;
}

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------

bool nativePath(const char* file, std::string& native)
{
    return file != nullptr && file[0] != '\0' && posix::toNativePath(file, native) && !native.empty();
}

// The whole file; false when it cannot be read (missing, a folder, ...).
bool readWhole(const std::string& path, std::string& text)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    text.clear();
    char chunk[8192];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) {
            break;
        }
        text.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string folderOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Replaces `path` by a file holding `text`: a temporary file beside it,
// flushed, given the old file's permissions, then renamed over it.
bool replaceFile(const std::string& path, const std::string& text)
{
    static std::atomic<unsigned> counter{0};
    std::string folder = folderOf(path);
    std::size_t slash = path.rfind('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "/." + base + ".ktu-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (fd < 0) {
        return false;
    }
    struct stat old;
    if (::stat(path.c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777);
    }
    bool written = writeAll(fd, text) && ::fsync(fd) == 0;
    written = (::close(fd) == 0) && written;
    if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);  // makes the rename itself durable
        ::close(dir);
    }
    return true;
}

// Holds the folder's writer lock for its lifetime.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder)
    {
        fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FolderLock()
    {
        if (fd_ >= 0) {
            ::close(fd_);  // releases the lock
        }
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------

// Copies `value` into `buffer` (`size` > 0 bytes) as the Windows functions
// copy an entry: at most size - 1 characters; with `stripQuote`, a value in
// matching quotes loses them (the closing one only when the whole rest fits).
void copyEntry(char* buffer, uint32_t size, const std::string& value, bool stripQuote)
{
    std::size_t start = 0;
    bool quoted = false;
    if (stripQuote && value.size() >= 2 && (value[0] == '\'' || value[0] == '"') && value.back() == value[0]) {
        quoted = true;
        start = 1;
    }
    std::size_t rest = value.size() - start;
    std::size_t n = rest < size - 1 ? rest : size - 1;
    std::memcpy(buffer, value.data() + start, n);
    buffer[n] = '\0';
    if (quoted && size >= rest && n > 0) {
        buffer[n - 1] = '\0';
    }
}

uint32_t textLength(const char* buffer)
{
    return static_cast<uint32_t>(std::strlen(buffer));
}

// A list of names, each ended by a zero byte and the list by another. When it
// does not fit, the last name is cut, still followed by two zero bytes, and
// the result is size - 2.
uint32_t copyNameList(char* buffer, uint32_t size, const std::vector<std::string>& names)
{
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    char* out = buffer;
    uint32_t room = size - 1;
    for (const std::string& name : names) {
        uint32_t need = static_cast<uint32_t>(name.size()) + 1;
        if (need >= room) {
            std::memcpy(out, name.data(), room - 1);
            out += room - 1;
            *out++ = '\0';
            *out = '\0';
            return size - 2;
        }
        std::memcpy(out, name.c_str(), need);
        out += need;
        room -= need;
    }
    *out = '\0';
    return static_cast<uint32_t>(out - buffer);
}

// The key names of a section, in the manner of the Windows listing (which
// cuts a name that does not fit and ends with two zero bytes).
uint32_t copyKeyList(char* buffer, uint32_t size, const std::vector<Line>& lines, const Section& section)
{
    char* out = buffer;
    uint32_t room = size;
    for (std::size_t i = section.begin; i < section.end; ++i) {
        const Line& line = lines[i];
        if (room <= 2) {
            break;
        }
        if (line.kind != Line::Entry || !line.hasValue || (!line.name.empty() && line.name[0] == ';')) {
            continue;
        }
        copyEntry(out, room - 1, line.name, false);
        uint32_t used = textLength(out) + 1;
        room -= used;
        out += used;
        if (room < 2) {
            break;
        }
    }
    *out = '\0';
    if (room <= 1) {
        out[-1] = '\0';
        return size - 2;
    }
    return size - room;
}

uint32_t getString(const char* section, const char* key, const char* defaultValue, char* buffer, uint32_t size,
                   const char* file)
{
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    std::string fallback = defaultValue != nullptr ? defaultValue : "";
    std::string native;
    std::string text;
    std::vector<Line> lines;
    if (nativePath(file, native) && readWhole(native, text)) {
        lines = parseText(text);
    }
    std::vector<Section> sections = sectionsOf(lines);

    if (section == nullptr) {
        std::vector<std::string> names;
        for (const Section& each : sections) {
            if (!each.name.empty()) {
                names.push_back(each.name);
            }
        }
        return copyNameList(buffer, size, names);
    }
    const Section* found = findSection(sections, trim(section));
    if (key == nullptr) {
        buffer[0] = '\0';
        uint32_t n = found != nullptr ? copyKeyList(buffer, size, lines, *found) : 0;
        if (buffer[0] == '\0') {
            copyEntry(buffer, size, fallback, false);
            n = textLength(buffer);
        }
        return n;
    }
    while (!fallback.empty() && fallback.back() == ' ') {
        fallback.pop_back();
    }
    std::size_t at = found != nullptr ? findKey(lines, *found, trim(key)) : std::string::npos;
    bool hasValue = at != std::string::npos && lines[at].hasValue;
    copyEntry(buffer, size, hasValue ? lines[at].value : fallback, true);
    return textLength(buffer);
}

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

std::string lineEndOf(const std::vector<Line>& lines)
{
    return !lines.empty() && !lines[0].eol.empty() ? lines[0].eol : std::string("\r\n");
}

// Inserts a new line at `at`, giving the line before it a line end if it had
// none (the old last line of a file).
void insertLine(std::vector<Line>& lines, std::size_t at, const std::string& raw, const std::string& eol)
{
    if (at > 0 && lines[at - 1].eol.empty()) {
        lines[at - 1].eol = eol;
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), parseLine(raw, eol));
}

// Applies the change to `lines`; false when nothing changed.
bool applyChange(std::vector<Line>& lines, const std::string& section, const char* key, const char* value)
{
    std::vector<Section> sections = sectionsOf(lines);
    const Section* found = findSection(sections, section);
    if (key == nullptr) {  // delete the section
        if (found == nullptr) {
            return false;
        }
        std::size_t from = found->header == std::string::npos ? found->begin : found->header;
        if (from == found->end) {
            return false;
        }
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(from),
                    lines.begin() + static_cast<std::ptrdiff_t>(found->end));
        return true;
    }
    std::string name = trim(key);
    if (value == nullptr) {  // delete the key, in the first section that has it
        for (const Section& each : sections) {
            if (!sameName(each.name, section)) {
                continue;
            }
            std::size_t at = findKey(lines, each, name);
            if (at != std::string::npos) {
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
                return true;
            }
        }
        return false;
    }
    std::string stored = value;
    std::size_t lead = 0;
    while (lead < stored.size() && isBlank(stored[lead])) {
        ++lead;
    }
    stored.erase(0, lead);  // leading blanks go, as on Windows; trailing ones are trimmed on reading
    std::string eol = lineEndOf(lines);
    if (found == nullptr) {
        std::size_t at = lines.size();
        if (!section.empty()) {
            insertLine(lines, at++, "[" + section + "]", eol);
        } else {
            at = 0;
        }
        insertLine(lines, at, name + "=" + stored, eol);
        return true;
    }
    std::size_t at = findKey(lines, *found, name);
    if (at != std::string::npos) {
        Line& line = lines[at];
        if (line.hasValue && line.value == stored) {
            return false;
        }
        lines[at] = parseLine(line.name + "=" + stored, line.eol);
        return true;
    }
    std::size_t after = found->begin;  // after the last non-blank line of the section
    for (std::size_t i = found->begin; i < found->end; ++i) {
        if (lines[i].kind != Line::Blank) {
            after = i + 1;
        }
    }
    insertLine(lines, after, name + "=" + stored, eol);
    return true;
}

bool writeString(const char* section, const char* key, const char* value, const char* file)
{
    std::string native;
    if (section == nullptr || !nativePath(file, native)) {
        return false;
    }
    char resolved[PATH_MAX];
    if (::realpath(native.c_str(), resolved) != nullptr) {
        native = resolved;  // write through a symbolic link, not over it
    }
    FolderLock lock(folderOf(native));
    if (!lock.held()) {
        return false;  // the folder does not exist (or cannot be opened)
    }
    std::string text;
    bool exists = readWhole(native, text);
    struct stat info;
    if (!exists && ::stat(native.c_str(), &info) == 0) {
        return false;  // there, but not a readable file
    }
    std::vector<Line> lines = exists ? parseText(text) : std::vector<Line>();
    if (!applyChange(lines, trim(section), key, value)) {
        return true;  // nothing to change
    }
    return replaceFile(native, joinLines(lines));
}

bool createEmptyFile(const char* file)
{
    std::string native;
    if (!nativePath(file, native)) {
        return false;
    }
    int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_SYNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    return ::close(fd) == 0;
}

}  // namespace

ProfileOps makeProfileOps()
{
    ProfileOps table{};
    table.getString = getString;
    table.writeString = writeString;
    table.createEmptyFile = createEmptyFile;
    return table;
}

}  // namespace platform
}  // namespace ktu
