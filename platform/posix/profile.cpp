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
//
// Memory: the file's text (N bytes) is read once, into a buffer of its size,
// and kept as it is; every line is a 16-byte record of where it lies in that
// text (a changed or new line lies in a small text of its own), and a run of
// blank lines shares one record, so there are at most 2L + 1 records for L
// non-blank lines. Names and values are read from the text when asked for.
// A read needs at most N + 32 L + 16 bytes besides a few small buffers; a
// write needs that plus the new text (N plus the changed lines). As a
// non-blank line with the blank one after it takes at least three bytes, that
// is never more than about 12 N for a read and 13 N for a write. Measured (the
// peak resident size of a small program reading then writing one value in a
// file of 4 MiB, less the 2.8 MiB it starts with), read / write:
//   4 Mi line ends only:             4.6 / 8.7 MiB   (583 / 1194 MiB before)
//   1 Mi lines "[a]":               20.6 / 24.7 MiB  (288 / 405 MiB before)
//   5480 sections, 65760 entries:    5.7 / 9.7 MiB   (30 / 33 MiB before)
//   "a", blank, "a", blank, ...:    47.1 / 51.3 MiB
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>
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

bool sameName(const char* a, std::size_t length, const std::string& b)
{
    if (length != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// The file as lines
// ---------------------------------------------------------------------------

enum LineEnd { NoEnd, LF, CR, CRLF };
const char* const kLineEnds[] = {"", "\n", "\r", "\r\n"};
const std::size_t kLineEndLengths[] = {0, 1, 1, 2};

enum Kind { Blank, Header, Entry };

// A piece of text: `at` and `length` count from the start of a line.
struct Span {
    std::size_t at = 0;
    std::size_t length = 0;
};

// What a line says: its kind, and for a header its name, for an entry its
// key and value (trimmed).
struct Fields {
    Kind kind = Blank;
    bool hasValue = false;
    Span name;
    Span value;
};

Span trimmed(const char* text, std::size_t begin, std::size_t end)
{
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return Span{begin, end - begin};
}

Fields fieldsOf(const char* raw, std::size_t length)
{
    Fields fields;
    Span text = trimmed(raw, 0, length);
    if (text.length >= 3 && static_cast<unsigned char>(raw[text.at]) == 0xEF &&
        static_cast<unsigned char>(raw[text.at + 1]) == 0xBB && static_cast<unsigned char>(raw[text.at + 2]) == 0xBF) {
        text = trimmed(raw, text.at + 3, text.at + text.length);  // a UTF-8 byte order mark
    }
    if (text.length == 0) {
        return fields;
    }
    const std::size_t begin = text.at;
    const std::size_t end = text.at + text.length;
    if (raw[begin] == '[') {
        std::size_t close = end;
        while (close > begin + 1 && raw[close - 1] != ']') {
            --close;
        }
        if (close > begin + 1) {  // a ']' after the '['
            fields.kind = Header;
            fields.name = trimmed(raw, begin + 1, close - 1);
            return fields;
        }
    }
    fields.kind = Entry;
    const void* equals = std::memchr(raw + begin, '=', text.length);
    if (equals == nullptr) {
        fields.name = text;
        return fields;
    }
    std::size_t at = static_cast<std::size_t>(static_cast<const char*>(equals) - raw);
    fields.name = trimmed(raw, begin, at);
    fields.hasValue = true;
    fields.value = trimmed(raw, at + 1, end);
    return fields;
}

// One line of the file, or a run of blank lines taken together, as 16 bytes
// pointing into the file's text (or into the text of the lines a change
// made). The text runs to just before the last line end; a run's inner line
// ends are part of it. Names and values are read again from the text when
// asked for, so that memory grows with the number of lines by these 16 bytes
// alone.
struct Line {
    std::uint64_t start : 59;  // in the file's text; past its end, in the added text
    std::uint64_t end : 2;     // LineEnd
    std::uint64_t kind : 2;    // Kind
    std::uint64_t hasValue : 1;
    std::uint64_t length;
};
static_assert(sizeof(Line) == 16, "a line takes 16 bytes");

// The file's text, never changed, with the lines it holds after a change.
class Profile {
public:
    Profile() = default;
    explicit Profile(std::string text) : file_(std::move(text))
    {
        std::size_t count = 0;
        split([&count](std::size_t, std::size_t, LineEnd, Kind, bool, bool joins) { count += joins ? 0 : 1; });
        lines_.reserve(count + 2);  // room for the two lines a change may add
        split([this](std::size_t start, std::size_t length, LineEnd end, Kind kind, bool hasValue, bool joins) {
            if (joins) {
                Line& run = lines_.back();
                run.length = start + length - run.start;
                run.end = end;
            } else {
                lines_.push_back(make(start, length, end, kind, hasValue));
            }
        });
    }

    const std::string& file() const { return file_; }
    std::size_t size() const { return lines_.size(); }
    const Line& operator[](std::size_t i) const { return lines_[i]; }

    const char* text(const Line& line) const
    {
        return line.start < file_.size() ? file_.data() + line.start : added_.data() + (line.start - file_.size());
    }
    Fields fields(const Line& line) const { return fieldsOf(text(line), line.length); }

    // The line end of the first line, which new lines take (CR LF when it
    // has none).
    LineEnd firstLineEnd() const
    {
        if (lines_.empty()) {
            return CRLF;
        }
        const Line& first = lines_[0];
        const char* raw = text(first);
        for (std::size_t i = 0; first.kind == Blank && i < first.length; ++i) {
            if (raw[i] == '\r') {
                return i + 1 < first.length && raw[i + 1] == '\n' ? CRLF : CR;
            }
            if (raw[i] == '\n') {
                return LF;
            }
        }
        return first.end != NoEnd ? static_cast<LineEnd>(first.end) : CRLF;
    }

    // Inserts a new line at `at`, giving the line before it a line end if it
    // had none (the old last line of a file).
    void insert(std::size_t at, const std::string& raw, LineEnd end)
    {
        if (at > 0 && lines_[at - 1].end == NoEnd) {
            lines_[at - 1].end = end;
        }
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), add(raw, end));
    }
    void replace(std::size_t at, const std::string& raw) { lines_[at] = add(raw, static_cast<LineEnd>(lines_[at].end)); }
    void erase(std::size_t from, std::size_t to)
    {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(from), lines_.begin() + static_cast<std::ptrdiff_t>(to));
    }

    std::string joined() const
    {
        std::size_t total = 0;
        for (const Line& line : lines_) {
            total += line.length + kLineEndLengths[line.end];
        }
        std::string out;
        out.reserve(total);
        for (const Line& line : lines_) {
            out.append(text(line), line.length);
            out.append(kLineEnds[line.end], kLineEndLengths[line.end]);
        }
        return out;
    }

private:
    static Line make(std::size_t start, std::size_t length, LineEnd end, Kind kind, bool hasValue)
    {
        Line line;
        line.start = start;
        line.end = end;
        line.kind = kind;
        line.hasValue = hasValue ? 1 : 0;
        line.length = length;
        return line;
    }

    Line add(const std::string& raw, LineEnd end)
    {
        std::size_t start = file_.size() + added_.size();
        added_ += raw;
        Fields fields = fieldsOf(raw.data(), raw.size());
        return make(start, raw.size(), end, fields.kind, fields.hasValue);
    }

    // Calls `each` for every line of the file: where it starts, its length
    // without the line end, the line end, what it is, and whether it is a
    // blank line that joins the blank line before it.
    template <typename Each>
    void split(Each each) const
    {
        const std::string& text = file_;
        bool afterBlank = false;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find_first_of("\r\n", start);
            std::size_t next = end;
            LineEnd lineEnd = NoEnd;
            if (end == std::string::npos) {
                end = next = text.size();
            } else if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
                next = end + 2;
                lineEnd = CRLF;
            } else {
                next = end + 1;
                lineEnd = text[end] == '\r' ? CR : LF;
            }
            Fields fields = fieldsOf(text.data() + start, end - start);
            each(start, end - start, lineEnd, fields.kind, fields.hasValue, afterBlank && fields.kind == Blank);
            afterBlank = fields.kind == Blank;
            start = next;
        }
    }

    std::string file_;
    std::string added_;
    std::vector<Line> lines_;
};

// One section: its header line (none for the section before the first
// header) and the lines up to the next header.
struct Section {
    std::size_t header;  // index of the header line, or npos
    std::size_t begin;   // first line after the header
    std::size_t end;     // one past the section's last line
};

constexpr std::size_t kNone = std::string::npos;

// The section whose header is line `header` (kNone: the one before the
// first header).
Section sectionAt(const Profile& profile, std::size_t header)
{
    std::size_t begin = header == kNone ? 0 : header + 1;
    std::size_t end = begin;
    while (end < profile.size() && profile[end].kind != Header) {
        ++end;
    }
    return Section{header, begin, end};
}

bool hasNext(const Profile& profile, const Section& section)
{
    return section.end < profile.size();
}

Section next(const Profile& profile, const Section& section)
{
    return sectionAt(profile, section.end);
}

bool sectionNamed(const Profile& profile, const Section& section, const std::string& name)
{
    if (section.header == kNone) {
        return name.empty();
    }
    const Line& line = profile[section.header];
    Fields fields = profile.fields(line);
    return sameName(profile.text(line) + fields.name.at, fields.name.length, name);
}

// The first section of that name.
bool findSection(const Profile& profile, const std::string& name, Section& found)
{
    for (Section each = sectionAt(profile, kNone);; each = next(profile, each)) {
        if (sectionNamed(profile, each, name)) {
            found = each;
            return true;
        }
        if (!hasNext(profile, each)) {
            return false;
        }
    }
}

std::size_t findKey(const Profile& profile, const Section& section, const std::string& key)
{
    for (std::size_t i = section.begin; i < section.end; ++i) {
        const Line& line = profile[i];
        if (line.kind != Entry) {
            continue;
        }
        Fields fields = profile.fields(line);
        if (sameName(profile.text(line) + fields.name.at, fields.name.length, key)) {
            return i;
        }
    }
    return kNone;
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
    text.reserve(static_cast<std::size_t>(info.st_size));  // read in one piece, not grown by doubling
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
    struct stat info;
    if (::fstat(fd, &info) == 0 && info.st_size > 0) {
        text.reserve(static_cast<std::size_t>(info.st_size));
    }
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
void copyEntry(char* buffer, uint32_t size, const char* value, std::size_t length, bool stripQuote)
{
    std::size_t start = 0;
    bool quoted = false;
    if (stripQuote && length >= 2 && (value[0] == '\'' || value[0] == '"') && value[length - 1] == value[0]) {
        quoted = true;
        start = 1;
    }
    std::size_t rest = length - start;
    std::size_t n = rest < size - 1 ? rest : size - 1;
    std::memcpy(buffer, value + start, n);
    buffer[n] = '\0';
    if (quoted && size >= rest && n > 0) {
        buffer[n - 1] = '\0';
    }
}

uint32_t textLength(const char* buffer)
{
    return static_cast<uint32_t>(std::strlen(buffer));
}

// The names of the sections (those with a header and a name), each ended by
// a zero byte and the list by another. When it does not fit, the last name is
// cut, still followed by two zero bytes, and the result is size - 2.
uint32_t copySectionList(char* buffer, uint32_t size, const Profile& profile)
{
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    char* out = buffer;
    uint32_t room = size - 1;
    for (std::size_t i = 0; i < profile.size(); ++i) {
        const Line& line = profile[i];
        if (line.kind != Header) {
            continue;
        }
        Fields fields = profile.fields(line);
        if (fields.name.length == 0) {
            continue;
        }
        const char* name = profile.text(line) + fields.name.at;
        uint32_t need = static_cast<uint32_t>(fields.name.length) + 1;
        if (need >= room) {
            std::memcpy(out, name, room - 1);
            out += room - 1;
            *out++ = '\0';
            *out = '\0';
            return size - 2;
        }
        std::memcpy(out, name, need - 1);
        out[need - 1] = '\0';
        out += need;
        room -= need;
    }
    *out = '\0';
    return static_cast<uint32_t>(out - buffer);
}

// The key names of a section, in the manner of the Windows listing (which
// cuts a name that does not fit and ends with two zero bytes).
uint32_t copyKeyList(char* buffer, uint32_t size, const Profile& profile, const Section& section)
{
    char* out = buffer;
    uint32_t room = size;
    for (std::size_t i = section.begin; i < section.end; ++i) {
        const Line& line = profile[i];
        if (room <= 2) {
            break;
        }
        if (line.kind != Entry || !line.hasValue) {
            continue;
        }
        Fields fields = profile.fields(line);
        const char* name = profile.text(line) + fields.name.at;
        if (fields.name.length > 0 && name[0] == ';') {
            continue;
        }
        copyEntry(out, room - 1, name, fields.name.length, false);
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
    Profile profile;
    if (nativePath(file, native) && readWhole(native, text)) {
        profile = Profile(std::move(text));
    }

    if (section == nullptr) {
        return copySectionList(buffer, size, profile);
    }
    Section found{};
    bool hasSection = findSection(profile, trim(section), found);
    if (key == nullptr) {
        buffer[0] = '\0';
        uint32_t n = hasSection ? copyKeyList(buffer, size, profile, found) : 0;
        if (buffer[0] == '\0') {
            copyEntry(buffer, size, fallback.data(), fallback.size(), false);
            n = textLength(buffer);
        }
        return n;
    }
    while (!fallback.empty() && fallback.back() == ' ') {
        fallback.pop_back();
    }
    std::size_t at = hasSection ? findKey(profile, found, trim(key)) : kNone;
    if (at != kNone && profile[at].hasValue) {
        const Line& line = profile[at];
        Fields fields = profile.fields(line);
        copyEntry(buffer, size, profile.text(line) + fields.value.at, fields.value.length, true);
    } else {
        copyEntry(buffer, size, fallback.data(), fallback.size(), true);
    }
    return textLength(buffer);
}

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

// Applies the change to `profile`; false when nothing changed.
bool applyChange(Profile& profile, const std::string& section, const char* key, const char* value)
{
    Section found{};
    bool hasSection = findSection(profile, section, found);
    if (key == nullptr) {  // delete the section
        if (!hasSection) {
            return false;
        }
        std::size_t from = found.header == kNone ? found.begin : found.header;
        if (from == found.end) {
            return false;
        }
        profile.erase(from, found.end);
        return true;
    }
    std::string name = trim(key);
    if (value == nullptr) {  // delete the key, in the first section that has it
        for (Section each = found; hasSection; each = next(profile, each)) {
            if (sectionNamed(profile, each, section)) {
                std::size_t at = findKey(profile, each, name);
                if (at != kNone) {
                    profile.erase(at, at + 1);
                    return true;
                }
            }
            if (!hasNext(profile, each)) {
                break;
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
    LineEnd end = profile.firstLineEnd();
    if (!hasSection) {
        std::size_t at = profile.size();
        if (!section.empty()) {
            profile.insert(at++, "[" + section + "]", end);
        } else {
            at = 0;
        }
        profile.insert(at, name + "=" + stored, end);
        return true;
    }
    std::size_t at = findKey(profile, found, name);
    if (at != kNone) {
        const Line& line = profile[at];
        Fields fields = profile.fields(line);
        const char* raw = profile.text(line);
        if (line.hasValue && fields.value.length == stored.size() &&
            std::memcmp(raw + fields.value.at, stored.data(), stored.size()) == 0) {
            return false;
        }
        profile.replace(at, std::string(raw + fields.name.at, fields.name.length) + "=" + stored);
        return true;
    }
    std::size_t after = found.begin;  // after the last non-blank line of the section
    for (std::size_t i = found.begin; i < found.end; ++i) {
        if (profile[i].kind != Blank) {
            after = i + 1;
        }
    }
    profile.insert(after, name + "=" + stored, end);
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
        Profile profile;
        if (!applyChange(profile, trim(section), key, value)) {
            return true;  // a deletion: nothing to make
        }
        return createFile(native, profile.joined(), lock);
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
    Profile profile(std::move(text));
    if (!applyChange(profile, trim(section), key, value)) {
        return true;  // nothing to change
    }
    std::string changed = profile.joined();
    // A file with further hard links is written in place, so that every name
    // sees the change; so is one whose folder refuses the replacement.
    if (lock.held() && info.st_nlink == 1) {
        Replace outcome = replaceFile(native, changed, lock, fd.get(), info);
        if (outcome != Replace::NotPossible) {
            return outcome == Replace::Done;
        }
    }
    return writeInPlace(fd.get(), profile.file(), changed);
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
