// Path strings, the path split and existence checks, and the time texts.
// Every input text sits at the end of a heap buffer of exactly its size and
// every output buffer has exactly the size its operation documents, so a
// byte written or read beyond either is reported.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>

#include "fuzzSupport.h"
#include "ktuPlatform.h"

namespace {

using ktufuzz::TightBuffer;
using ktufuzz::TightText;

constexpr std::size_t kPath = 260;  // the library's path buffers
constexpr std::size_t kPart = 256;  // one component of a split path

std::string text(FuzzedDataProvider& input)
{
    return input.ConsumeRandomLengthString(600);
}

void nameAndExtension(FuzzedDataProvider& input)
{
    std::string fileName = text(input);
    TightText in(fileName);
    TightBuffer name(kPath), ext(kPart);
    ktuFilePathUtils::getFileNameAndExt(in.get(), name.get(), ext.get());
    KTU_FUZZ_CHECK(name.terminated() && ext.terminated());
    // The name splits at its last dot after the first character; a name or
    // an extension too long for its buffer gives two empty texts.
    const std::string whole = fileName.c_str();
    std::size_t dot = whole.rfind('.');
    dot = dot == 0 ? std::string::npos : dot;
    std::string wantName = dot == std::string::npos ? whole : whole.substr(0, dot);
    std::string wantExt = dot == std::string::npos ? std::string() : whole.substr(dot + 1);
    if (whole.size() > 259 || wantExt.size() > 255) {
        wantName.clear();
        wantExt.clear();
    }
    KTU_FUZZ_CHECK(wantName == name.get() && wantExt == ext.get());
}

void slashes(FuzzedDataProvider& input, int which)
{
    std::string path = text(input);
    const std::size_t length = std::strlen(path.c_str());
    switch (which) {
    case 0: {
        TightText in(path);
        ktuFilePathUtils::convertBackSlashToForward(in.get());
        KTU_FUZZ_CHECK(std::strlen(in.get()) == length && std::strchr(in.get(), '\\') == nullptr);
        break;
    }
    case 1: {
        // A text of up to 259 characters grows by one character for every
        // '/', and the buffer holds exactly the grown text; a longer text is
        // left as it is.
        const std::size_t grown = length + static_cast<std::size_t>(std::count(path.c_str(), path.c_str() + length, '/'));
        TightText in(path, length <= 259 ? grown + 1 : path.size() + 1);
        ktuFilePathUtils::converForwardSlashToDoubleBackSlash(in.get());
        if (length <= 259) {
            KTU_FUZZ_CHECK(std::strlen(in.get()) == grown && std::strchr(in.get(), '/') == nullptr);
        } else {
            KTU_FUZZ_CHECK(std::strcmp(in.get(), path.c_str()) == 0);
        }
        break;
    }
    default: {
        TightText in(path);
        ktuFilePathUtils::removeContinuousSlashes(in.get());
        KTU_FUZZ_CHECK(std::strstr(in.get(), "//") == nullptr && std::strlen(in.get()) <= length);
        break;
    }
    }
}

void parentAndSplit(FuzzedDataProvider& input, bool split)
{
    std::string path = text(input);
    TightText in(path);
    if (!split) {
        TightBuffer parent(kPath);
        ktuFilePathUtils::getParentDirectory(in.get(), parent.get());
        KTU_FUZZ_CHECK(parent.terminated());
        return;
    }
    TightBuffer drive(kPart), folder(kPart), name(kPart), ext(kPart);
    KTU_FUZZ_CHECK(!ktuFilePathUtils::filePathSplit(in.get(), drive.get(), folder.get(), name.get(), ext.get()));
    KTU_FUZZ_CHECK(drive.terminated() && folder.terminated() && name.terminated() && ext.terminated());
}

void requiredExtension(FuzzedDataProvider& input)
{
    std::string fileName = text(input);
    std::string wanted = input.ConsumeRandomLengthString(300);
    TightText name(fileName);
    TightText ext(wanted, wanted.size() + 2);  // room for the leading '.'
    ktuFilePathUtils::checkRequiredFileExtension(name.get(), ext.get());
}

void conversions(FuzzedDataProvider& input, bool toAbsolute)
{
    std::string base = text(input);
    std::string other = text(input);
    TightText a(base), b(other);
    long status = 12345;
    if (toAbsolute) {
        // The output holds the two inputs' lengths plus one character.
        std::size_t room = std::strlen(base.c_str()) + std::strlen(other.c_str()) + 2;
        TightBuffer out(std::max<std::size_t>(room, 3));
        ktuFilePathUtils::convertToAbsolutePath(a.get(), b.get(), out.get(), &status);
        KTU_FUZZ_CHECK(status == 100 || status == -105);
        KTU_FUZZ_CHECK(out.terminated());
        KTU_FUZZ_CHECK(status == 100 || std::strcmp(out.get(), "NA") == 0);
    } else {
        // Three characters for every folder climbed plus the tail: at most
        // 633 for inputs of 255 characters.
        TightBuffer out(634);
        ktuFilePathUtils::convertToRelativePath(a.get(), b.get(), out.get(), &status);
        KTU_FUZZ_CHECK(status == 12345 || status == -105);
        KTU_FUZZ_CHECK(out.terminated());
    }
}

void fullPathSplit(FuzzedDataProvider& input)
{
    std::string path = text(input);
    TightText in(path);
    TightBuffer base(kPath), name(kPath);
    long status = 12345;
    ktuFilePathUtils::getFileNameAndBasePathFromFullPath(in.get(), base.get(), name.get(), &status);
    KTU_FUZZ_CHECK(status == 100 || (status <= -100 && status >= -104));
    KTU_FUZZ_CHECK(base.terminated() && name.terminated());
    if (status != 100) {
        KTU_FUZZ_CHECK(base.get()[0] == '\0' && name.get()[0] == '\0');  // written only on success
    }
}

// The existence checks read the file system and enter folders; they must
// leave the current folder as it was.
void existence(FuzzedDataProvider& input)
{
    const int which = input.ConsumeIntegralInRange<int>(0, 3);
    std::string first = text(input);
    std::string second = text(input);
    TightText a(first), b(second);
    char before[kPath] = "";
    char after[kPath] = "";
    ktu::platform::ops().fs.getCurrentDir(before, sizeof before);
    switch (which) {
    case 0:
        ktuFilePathUtils::checkFileExistence(a.get());
        break;
    case 1:
        ktuFilePathUtils::checkForFile_Path_Existence(a.get());
        break;
    case 2:
        ktuFilePathUtils::checkFileExistance(a.get(), b.get());
        break;
    default:
        ktuFilePathUtils::checkFileExt(a.get());
        break;
    }
    ktu::platform::ops().fs.getCurrentDir(after, sizeof after);
    KTU_FUZZ_CHECK(std::strcmp(before, after) == 0);
}

void timeText(FuzzedDataProvider& input)
{
    SYSTEMTIME time;
    time.wYear = input.ConsumeIntegral<uint16_t>();
    time.wMonth = input.ConsumeIntegral<uint16_t>();
    time.wDayOfWeek = input.ConsumeIntegral<uint16_t>();
    time.wDay = input.ConsumeIntegral<uint16_t>();
    time.wHour = input.ConsumeIntegral<uint16_t>();
    time.wMinute = input.ConsumeIntegral<uint16_t>();
    time.wSecond = input.ConsumeIntegral<uint16_t>();
    time.wMilliseconds = input.ConsumeIntegral<uint16_t>();
    const int format = input.ConsumeIntegralInRange<int>(-2, 8);
    // 25 bytes hold any date of the years 1000 to 9999; fields out of range
    // may need up to 43 (every field at 65535).
    const bool inRange = time.wYear >= 1000 && time.wYear <= 9999 && time.wMonth >= 1 && time.wMonth <= 12 &&
                         time.wDay >= 1 && time.wDay <= 31 && time.wHour <= 23 && time.wMinute <= 59 &&
                         time.wSecond <= 59 && time.wMilliseconds <= 999;
    TightBuffer out(inRange ? 25 : 43);
    ktuTimeString::getTimeString(time, format, out.get());
    KTU_FUZZ_CHECK(out.terminated());
    if (format < 0 || format > 6) {
        KTU_FUZZ_CHECK(out.get()[0] == '\0');
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static ktufuzz::ScratchFolder scratch("texts");
    ktufuzz::startLibrary(scratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange<int>(0, 11)) {
    case 0:
        nameAndExtension(input);
        break;
    case 1:
    case 2:
    case 3:
        slashes(input, input.ConsumeIntegralInRange<int>(0, 2));
        break;
    case 4:
        parentAndSplit(input, input.ConsumeBool());
        break;
    case 5:
        requiredExtension(input);
        break;
    case 6:
    case 7:
        conversions(input, input.ConsumeBool());
        break;
    case 8:
        fullPathSplit(input);
        break;
    case 9:
        existence(input);
        break;
    default:
        timeText(input);
        break;
    }
    return 0;
}
