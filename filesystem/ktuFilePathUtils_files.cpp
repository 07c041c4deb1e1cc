// Single files: a copy without a given line, renaming, deleting.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "ktuFilePathInternal.h"
#include "ktuFilePathUtils.h"
#include "ktuGuard.h"
#include "ktuPlatform.h"
#include "ktuText.h"

namespace {

using ktu::kPathBuffer;

struct StreamCloser {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

// Reads the next line, whole, without its line break: "\n", or "\r\n" as a
// text-mode read gives it. The source is read as bytes on every system and
// one carriage return before the line feed is taken away here, just as text
// mode would, so "x\r\r\n" is the line "x\r" everywhere. False when the
// source ended (or could no longer be read) during this read; the text read
// so far is still a line.
bool readLine(std::FILE* in, std::string& line)
{
    line.clear();
    int c;
    while ((c = std::fgetc(in)) != EOF && c != '\n') {
        line += static_cast<char>(c);
    }
    if (c == '\n' && !line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return c != EOF;
}

}  // namespace

// The copy is written to a new file beside it, which then replaces it: what
// the copy held before is carried over first, so the new lines still come
// after it, and a copy that fails half way leaves the old one as it was.
bool ktuFilePathUtils::copyFileExcludingLine(const char* filePath, const char* line)
{
    auto& fs = ktu::platform::ops().fs;
    bool result = false;
    Stream source;
    Stream copy;
    std::string temp;
    auto discard = [&] {
        source.reset();
        copy.reset();
        if (!temp.empty()) {
            fs.deleteFile(temp.c_str());
        }
        return result;
    };
    return ktu::enter(ktu::site(ktu::kModKSUtility, "ktuFilePathUtils::copyFileExcludingLine()"), false, discard, [&] {
        ktu::FullPathSplit split;
        if (!split.of(ktu::require(filePath))) {
            return false;
        }
        std::string copyPath = std::string(split.basePath) + "/temp" + split.fileName;
        uint32_t attributes = fs.getAttributes(filePath);
        if (attributes != ktu::platform::kInvalidAttributes && (attributes & ktu::platform::kAttrDirectory) != 0) {
            return false;  // a folder (or a link to one) has no lines: no copy is made
        }
        source.reset(fs.openStream(filePath, "rb", ktu::platform::ShareMode::DenyWrite));
        // A link standing at the copy's name is not written through, nor
        // replaced: the copy then counts as one that cannot be opened.
        uint32_t copyAttributes = fs.getAttributes(copyPath.c_str());
        char tempPath[2 * kPathBuffer];
        if ((copyAttributes == ktu::platform::kInvalidAttributes ||
             (copyAttributes & ktu::platform::kAttrReparsePoint) == 0) &&
            fs.makeTempBeside(copyPath.c_str(), tempPath, sizeof tempPath)) {
            temp = tempPath;
            if (copyAttributes == ktu::platform::kInvalidAttributes ||
                fs.copyFile(copyPath.c_str(), temp.c_str(), false)) {
                copy.reset(fs.openStream(temp.c_str(), "at", ktu::platform::ShareMode::Any));
            }
        }
        bool written = copy != nullptr;
        if (source) {
            std::string text;
            bool more = true;
            while (more) {
                more = readLine(source.get(), text);
                if (text == ktu::require(line) || text.empty()) {
                    result = true;
                } else if (copy) {
                    std::fputs(text.c_str(), copy.get());
                    std::fputc('\n', copy.get());
                    written = std::fflush(copy.get()) == 0 && written;
                }
            }
        }
        source.reset();
        written = copy && std::fclose(copy.release()) == 0 && written;
        if (written && fs.replaceFile(temp.c_str(), copyPath.c_str())) {
            temp.clear();
        }
        discard();
        return result;
    });
}

bool ktuFilePathUtils::renameFile(const char* filePath, const char* newName)
{
    bool result = false;
    auto asItStood = [&] { return result; };
    return ktu::enter(ktu::site(ktu::kModKSUtility, "ktuFilePathUtils::renameFile()"), false, asItStood, [&] {
        if (!checkFileExistence(filePath)) {
            ktu::platform::ops().ui.messageBox(nullptr, "Invalid File Path", "Invalid File Path", 0);
            return false;
        }
        ktu::FullPathSplit split;
        if (!split.of(filePath) || split.basePath[0] == '\0') {
            return false;
        }
        std::string newPath = std::string(split.basePath) + "/" + ktu::require(newName);
        if (newPath.size() > kPathBuffer - 1) {
            return false;
        }
        if (!ktu::platform::ops().fs.copyFile(filePath, newPath.c_str(), true)) {
            return false;
        }
        result = deleteFile(filePath);
        return result;
    });
}

bool ktuFilePathUtils::deleteFile(const char* filePath)
{
    bool result = false;
    auto asItStood = [&] { return result; };
    return ktu::enter(ktu::site(ktu::kModKSUtility, "ktuFilePathUtils()::deleteFolder()"), false, asItStood, [&] {
        ktu::FullPathSplit split;
        if (!split.of(ktu::require(filePath))) {
            return false;
        }
        auto& fs = ktu::platform::ops().fs;
        if (!fs.setCurrentDir(split.basePath)) {
            return false;
        }
        ktu::platform::FindEntry entry;
        ktu::platform::FindHandle handle = fs.findFirst(split.fileName, &entry);
        if (handle != nullptr) {
            struct Closer {
                ktu::platform::FindHandle handle;
                ~Closer() { ktu::platform::ops().fs.findClose(handle); }
            } closer{handle};
            fs.setAttributes(entry.name, ktu::platform::kAttrArchive);
            result = fs.deleteFile(entry.name);
            if (!result && (entry.attributes & ktu::platform::kAttrReparsePoint) != 0) {
                result = fs.removeDir(entry.name);  // a link to a folder: the link alone
            }
        }
        return result;
    });
}
