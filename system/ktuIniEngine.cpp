// The INI engine (see ktuIniEngine.h).
#include "ktuIniEngine.h"

#include <cstring>

namespace ktu {
namespace ini {
namespace {

const char* const kLineEnds[] = {"", "\n", "\r", "\r\n"};
const std::size_t kLineEndLengths[] = {0, 1, 1, 2};
constexpr std::size_t kNone = std::string::npos;

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

Fields fieldsOf(const Profile& profile, const Line& line)
{
    return fieldsOf(profile.text(line), line.length);
}

Line make(std::size_t start, std::size_t length, LineEnd end, Kind kind, bool hasValue)
{
    Line line;
    line.start = start;
    line.end = end;
    line.kind = kind;
    line.hasValue = hasValue ? 1 : 0;
    line.length = length;
    return line;
}

// Calls `each` for every line of `text`: where it starts, its length without
// the line end, the line end, what it is, and whether it is a blank line
// that joins the blank line before it.
template <typename Each>
void split(const std::string& text, Each each)
{
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

// ---------------------------------------------------------------------------
// Sections
// ---------------------------------------------------------------------------

// One section: its header line (none for the section before the first
// header) and the lines up to the next header.
struct Section {
    std::size_t header;  // index of the header line, or kNone
    std::size_t begin;   // first line after the header
    std::size_t end;     // one past the section's last line
};

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
    Fields fields = fieldsOf(profile, line);
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
        Fields fields = fieldsOf(profile, line);
        if (sameName(profile.text(line) + fields.name.at, fields.name.length, key)) {
            return i;
        }
    }
    return kNone;
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
        Fields fields = fieldsOf(profile, line);
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
        Fields fields = fieldsOf(profile, line);
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

}  // namespace

// ---------------------------------------------------------------------------
// The profile
// ---------------------------------------------------------------------------

Profile::Profile(std::string text) : file_(std::move(text))
{
    std::size_t count = 0;
    split(file_, [&count](std::size_t, std::size_t, LineEnd, Kind, bool, bool joins) { count += joins ? 0 : 1; });
    lines_.reserve(count + 2);  // room for the two lines a change may add
    split(file_, [this](std::size_t start, std::size_t length, LineEnd end, Kind kind, bool hasValue, bool joins) {
        if (joins) {
            Line& run = lines_.back();
            run.length = start + length - run.start;
            run.end = end;
        } else {
            lines_.push_back(make(start, length, end, kind, hasValue));
        }
    });
}

// The line end of the first line, which new lines take (CR LF when it has
// none).
LineEnd Profile::firstLineEnd() const
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

// Inserts a new line at `at`, giving the line before it a line end if it had
// none (the old last line of a file).
void Profile::insert(std::size_t at, const std::string& raw, LineEnd end)
{
    if (at > 0 && lines_[at - 1].end == NoEnd) {
        lines_[at - 1].end = end;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), add(raw, end));
}

void Profile::replace(std::size_t at, const std::string& raw)
{
    lines_[at] = add(raw, static_cast<LineEnd>(lines_[at].end));
}

void Profile::erase(std::size_t from, std::size_t to)
{
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(from), lines_.begin() + static_cast<std::ptrdiff_t>(to));
}

std::string Profile::joined() const
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

Line Profile::add(const std::string& raw, LineEnd end)
{
    std::size_t start = file_.size() + added_.size();
    added_ += raw;
    Fields fields = fieldsOf(raw.data(), raw.size());
    return make(start, raw.size(), end, fields.kind, fields.hasValue);
}

// ---------------------------------------------------------------------------
// The answers
// ---------------------------------------------------------------------------

uint32_t getString(const Profile* file, const char* section, const char* key, const char* defaultValue,
                   char* buffer, uint32_t size)
{
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    const Profile none;
    const Profile& profile = file != nullptr ? *file : none;
    std::string fallback = defaultValue != nullptr ? defaultValue : "";
    if (section == nullptr) {
        return copySectionList(buffer, size, profile);
    }
    Section found{};
    if (key == nullptr) {  // the listing finds the section by its name as given
        buffer[0] = '\0';
        uint32_t n = findSection(profile, section, found) ? copyKeyList(buffer, size, profile, found) : 0;
        if (buffer[0] == '\0') {
            copyEntry(buffer, size, fallback.data(), fallback.size(), true);
            n = textLength(buffer);
        }
        return n;
    }
    while (!fallback.empty() && fallback.back() == ' ') {
        fallback.pop_back();
    }
    std::size_t at = findSection(profile, trim(section), found) ? findKey(profile, found, trim(key)) : kNone;
    if (at != kNone && profile[at].hasValue) {
        const Line& line = profile[at];
        Fields fields = fieldsOf(profile, line);
        copyEntry(buffer, size, profile.text(line) + fields.value.at, fields.value.length, true);
    } else {
        copyEntry(buffer, size, fallback.data(), fallback.size(), true);
    }
    return textLength(buffer);
}

bool applyChange(Profile& profile, const char* sectionName, const char* key, const char* value)
{
    Section found{};
    if (key == nullptr) {  // delete the section named exactly so
        if (!findSection(profile, sectionName, found)) {
            return false;
        }
        std::size_t from = found.header == kNone ? found.begin : found.header;
        if (from == found.end) {
            return false;
        }
        profile.erase(from, found.end);
        return true;
    }
    if (value == nullptr) {  // delete the key named exactly so, in the first section that has it
        const std::string section = sectionName;
        for (bool more = findSection(profile, section, found); more; found = next(profile, found)) {
            if (sectionNamed(profile, found, section)) {
                std::size_t at = findKey(profile, found, key);
                if (at != kNone) {
                    profile.erase(at, at + 1);
                    return true;
                }
            }
            more = hasNext(profile, found);
        }
        return false;
    }
    const std::string section = trim(sectionName);
    const std::string name = trim(key);
    const bool hasSection = findSection(profile, section, found);
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
        Fields fields = fieldsOf(profile, line);
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

}  // namespace ini
}  // namespace ktu
