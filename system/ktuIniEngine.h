// The INI engine: a profile file's text as lines, and the answers and changes
// of the Windows profile functions (GetPrivateProfileStringA,
// WritePrivateProfileStringA) worked out on that text. It does no file access:
// the POSIX seam reads the file, asks the engine, and writes the text back;
// the Windows build has the system's own functions and runs the engine in its
// tests only, where the two are compared.
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
// Blanks around the names the caller gives: a value read or written by key
// name trims the section and key names first (" main ", " k " find [main]
// k). The other three compare the names exactly as given, so that a name with
// blanks around it matches no section or key (a file's own names are always
// trimmed): the key listing of a section (a null key; the default is given),
// the deletion of a section (a null key) and the deletion of a key (a null
// value). This is what the Windows functions do (and Wine's, which find a
// section for a listing or deletion by comparing the names whole, and trim
// only in the lookup of a key).
//
// Writing: every line the change does not concern is kept byte for byte,
// with its line end; new lines take the line end of the file's first line
// (CR LF in a new file, as Windows writes them). A new key goes after the last
// non-blank line of its section; a new section goes to the end of the file.
//
// Memory: the file's text (N bytes) is kept as it is; every line is a 16-byte
// record of where it lies in that text (a changed or new line lies in a small
// text of its own), and a run of blank lines shares one record, so there are
// at most 2L + 1 records for L non-blank lines. Names and values are read from
// the text when asked for. A read needs at most N + 32 L + 16 bytes besides a
// few small buffers; a write needs that plus the new text (N plus the changed
// lines). As a non-blank line with the blank one after it takes at least three
// bytes, that is never more than about 12 N for a read and 13 N for a write.
// Measured (the peak resident size of a small program reading then writing
// one value in a file of 4 MiB, less the 2.8 MiB it starts with), read /
// write:
//   4 Mi line ends only:             4.6 / 8.7 MiB
//   1 Mi lines "[a]":               20.6 / 24.7 MiB
//   5480 sections, 65760 entries:    5.7 / 9.7 MiB
//   "a", blank, "a", blank, ...:    47.1 / 51.3 MiB
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ktu {
namespace ini {

enum LineEnd { NoEnd, LF, CR, CRLF };
enum Kind { Blank, Header, Entry };

// One line of the file, or a run of blank lines taken together, as 16 bytes
// pointing into the file's text (or into the text of the lines a change
// made). The text runs to just before the last line end; a run's inner line
// ends are part of it.
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
    explicit Profile(std::string text);

    // The text the profile was made from.
    const std::string& file() const { return file_; }
    // The text with every change made.
    std::string joined() const;

    std::size_t size() const { return lines_.size(); }
    const Line& operator[](std::size_t i) const { return lines_[i]; }
    const char* text(const Line& line) const
    {
        return line.start < file_.size() ? file_.data() + line.start : added_.data() + (line.start - file_.size());
    }

    LineEnd firstLineEnd() const;
    void insert(std::size_t at, const std::string& raw, LineEnd end);
    void replace(std::size_t at, const std::string& raw);
    void erase(std::size_t from, std::size_t to);

private:
    Line add(const std::string& raw, LineEnd end);

    std::string file_;
    std::string added_;
    std::vector<Line> lines_;
};

// GetPrivateProfileStringA on a file holding `profile` (null: no such file):
// the value of `key` in `section`, the key names of `section` (null key) or
// the section names (null section), each name ended by a zero byte, or the
// default, into `buffer` of `size` bytes. Returns the characters written
// before the final terminator; 0 (nothing written) for a null buffer or a
// size of 0.
uint32_t getString(const Profile* profile, const char* section, const char* key, const char* defaultValue,
                   char* buffer, uint32_t size);

// WritePrivateProfileStringA's change on `profile`: stores `value` (a null
// value deletes the key, a null key the whole section). The names are given
// as the caller gave them; `section` is not null. False when nothing changed
// (the text is then to be left as it is).
bool applyChange(Profile& profile, const char* section, const char* key, const char* value);

}  // namespace ini
}  // namespace ktu
