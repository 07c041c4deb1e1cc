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
// Writing: a file whose owner may not write it (the read-only attribute) is
// refused, to root too, as Windows refuses its read-only files to
// administrators; otherwise the system's own check of opening it for writing
// decides. The file is read, changed in memory and written back whole, in
// one of two ways:
// - Replaced (the usual way): a temporary file in the same folder gets the
//   old file's owner, group, extended attributes and mode, then the new
//   text; it is flushed to disk and renamed over the old file, and the folder
//   is flushed. A reader sees the old file or the new one, and a writer
//   killed at any moment leaves the old content or the new, never a torn
//   file (at worst a stray temporary ".~ktu-ini.tmp", which the next write in
//   that folder removes). The file gets a new inode number.
// - In place, when replacing would change the file itself: a file with
//   further hard links (every name must see the change), a file in a folder
//   that refuses new files or the rename (read-only or sticky folders), and a
//   file whose owner, group, mode or extended attributes this caller cannot
//   give a new file. The inode and every link stay. Only the bytes from the
//   first change on are rewritten, after room on the disk has been reserved;
//   a failed write puts the old bytes back. A writer killed during the write
//   itself, or a crash before the data reach the disk, can leave the new
//   text up to some point followed by the old text after it.
// A new file is written under the temporary name and renamed into place, so
// it appears whole or not at all; it has the caller's owner and the usual
// mode (0666 less the umask). Writers in one folder take turns (an exclusive
// lock on the folder; on the file itself when the folder cannot be opened),
// so two processes changing one file at once both keep their change. Every
// line the change does not concern is written back byte for byte, with its
// line end; new lines take the line end of the file's first line (CR LF in a
// new file, as Windows writes them). A new key goes after the last non-blank
// line of its section; a new section goes to the end of the file.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

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

// The whole content of an open file, read from its start.
bool readAll(int fd, std::string& text)
{
    text.clear();
    char chunk[8192];
    for (off_t at = 0;;) {
        ssize_t n = ::pread(fd, chunk, sizeof chunk, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        text.append(chunk, static_cast<std::size_t>(n));
        at += n;
    }
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
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now; false when the close reports a failure (a write that did
    // not reach the disk).
    bool close()
    {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// The temporary file of a replacement. One name per folder is enough: every
// replacement in the folder happens under the folder's lock, so a file of
// this name found by a writer holding the lock was left by a writer that was
// killed, and is removed. The name is short, so that it fits beside a file
// name of any length.
constexpr const char* kTempName = ".~ktu-ini.tmp";

std::string tempPathIn(const std::string& folder)
{
    return (folder == "/" ? std::string() : folder) + "/" + kTempName;
}

std::vector<std::string> xattrNames(int fd)
{
    std::vector<std::string> names;
    ssize_t size = ::flistxattr(fd, nullptr, 0);
    if (size <= 0) {
        return names;
    }
    std::vector<char> list(static_cast<std::size_t>(size));
    size = ::flistxattr(fd, list.data(), list.size());
    for (ssize_t at = 0; size > 0 && at < size;) {
        std::string name(list.data() + at);
        at += static_cast<ssize_t>(name.size()) + 1;
        names.push_back(name);
    }
    return names;
}

// Gives `to` the extended attributes of `from` (and no others): access
// control lists, labels, the user's own attributes. False when one cannot
// be carried over.
bool copyXattrs(int from, int to)
{
    std::vector<std::string> wanted = xattrNames(from);
    for (const std::string& name : xattrNames(to)) {
        bool keep = false;
        for (const std::string& each : wanted) {
            keep = keep || each == name;
        }
        if (!keep && ::fremovexattr(to, name.c_str()) != 0) {
            return false;
        }
    }
    for (const std::string& name : wanted) {
        ssize_t size = ::fgetxattr(from, name.c_str(), nullptr, 0);
        if (size < 0) {
            return false;
        }
        std::vector<char> value(static_cast<std::size_t>(size) + 1);
        size = ::fgetxattr(from, name.c_str(), value.data(), value.size());
        if (size < 0 || ::fsetxattr(to, name.c_str(), value.data(), static_cast<std::size_t>(size), 0) != 0) {
            return false;
        }
    }
    return true;
}

enum class Replace { Done, Failed, NotPossible };

// Replaces the file at `path` (open as `old`, described by `info`) by one
// holding `text`, under the folder lock `lock`: a temporary file beside it
// gets the old file's owner, group, extended attributes and mode and the new
// text, is flushed, and is renamed over the old one. NotPossible (nothing
// changed) when the folder refuses the temporary file or the rename, or the
// file's identity cannot be carried over; Failed when the text could not be
// written.
Replace replaceFile(const std::string& path, const std::string& text, const FolderLock& lock, int old,
                    const struct stat& info)
{
    std::string temp = tempPathIn(folderOf(path));
    ::unlink(temp.c_str());  // left by a writer that was killed
    Descriptor fd(::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.get() < 0) {
        return Replace::NotPossible;
    }
    Replace outcome = Replace::NotPossible;
    struct stat made;
    if (::fchown(fd.get(), info.st_uid, info.st_gid) == 0 && copyXattrs(old, fd.get()) &&
        ::fchmod(fd.get(), info.st_mode & 07777) == 0 && ::fstat(fd.get(), &made) == 0 &&
        made.st_uid == info.st_uid && made.st_gid == info.st_gid && made.st_mode == info.st_mode) {
        outcome = Replace::Failed;
        if (writeAll(fd.get(), text) && ::fsync(fd.get()) == 0 && fd.close()) {
            if (::rename(temp.c_str(), path.c_str()) == 0) {
                ::fsync(lock.fd());  // makes the rename itself durable
                return Replace::Done;
            }
            outcome = (errno == EPERM || errno == EACCES) ? Replace::NotPossible : Replace::Failed;
        }
    }
    ::unlink(temp.c_str());
    return outcome;
}

// Writes `text` over the file's `old` content in place: only from the first
// byte that changes, after making sure the disk has room for it. When the
// write fails part way, the old bytes are put back as far as possible.
bool writeInPlace(int fd, const std::string& old, const std::string& text)
{
    std::size_t same = 0;
    while (same < old.size() && same < text.size() && old[same] == text[same]) {
        ++same;
    }
    if (text.size() > old.size() &&
        ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(text.size())) != 0 && errno == ENOSPC) {
        return false;
    }
    auto writeFrom = [fd](const std::string& content, std::size_t from) {
        while (from < content.size()) {
            ssize_t n = ::pwrite(fd, content.data() + from, content.size() - from, static_cast<off_t>(from));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            from += static_cast<std::size_t>(n);
        }
        return ::ftruncate(fd, static_cast<off_t>(content.size())) == 0;
    };
    if (writeFrom(text, same) && ::fsync(fd) == 0) {
        return true;
    }
    writeFrom(old, same);
    ::fsync(fd);
    return false;
}

// A new file: written under a temporary name and renamed into place, so that
// it appears whole or not at all. Its owner and mode are the caller's, as
// for any new file.
bool createFile(const std::string& path, const std::string& text, const FolderLock& lock)
{
    std::string temp = tempPathIn(folderOf(path));
    ::unlink(temp.c_str());
    Descriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
        return false;
    }
    if (writeAll(fd.get(), text) && ::fsync(fd.get()) == 0 && fd.close() &&
        ::rename(temp.c_str(), path.c_str()) == 0) {
        ::fsync(lock.fd());
        return true;
    }
    ::unlink(temp.c_str());
    return false;
}

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
    struct stat info;
    if (::stat(native.c_str(), &info) != 0) {
        if (errno != ENOENT || !lock.held()) {
            return false;  // no such folder, or one that cannot be used
        }
        std::vector<Line> lines;
        if (!applyChange(lines, trim(section), key, value)) {
            return true;  // a deletion: nothing to make
        }
        return createFile(native, joinLines(lines), lock);
    }
    // A file whose owner may not write it carries the read-only attribute:
    // refused as Windows refuses it, to administrators too. Otherwise the
    // system decides whether this caller may write it.
    if (!S_ISREG(info.st_mode) || (info.st_mode & S_IWUSR) == 0) {
        return false;
    }
    Descriptor fd(::open(native.c_str(), O_RDWR | O_CLOEXEC));
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    if (!lock.held()) {
        while (::flock(fd.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    std::string text;
    if (!readAll(fd.get(), text)) {
        return false;
    }
    std::vector<Line> lines = parseText(text);
    if (!applyChange(lines, trim(section), key, value)) {
        return true;  // nothing to change
    }
    std::string changed = joinLines(lines);
    // A file with further hard links is written in place, so that every name
    // sees the change; so is one whose folder refuses the replacement.
    if (lock.held() && info.st_nlink == 1) {
        Replace outcome = replaceFile(native, changed, lock, fd.get(), info);
        if (outcome != Replace::NotPossible) {
            return outcome == Replace::Done;
        }
    }
    return writeInPlace(fd.get(), text, changed);
}

bool createEmptyFile(const char* file)
{
    std::string native;
    if (!nativePath(file, native)) {
        return false;
    }
    struct stat info;
    if (::stat(native.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0) {
        return false;  // read-only, as on Windows (to administrators too)
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
