// The INI engine: file names, sections, keys, values and the file's own
// content all come from the input; reads and writes run in a scratch folder.
// Every path stays inside that folder (".." is never formed), and a path can
// be stretched to an exact length to reach the 259-character limit.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <string>

#include "fuzzSupport.h"

namespace {

ktufuzz::ScratchFolder* g_scratch = nullptr;
std::string g_currentFile;  // the current INI file in the scratch folder, "" when none

// The input's name, made safe: no NUL, no ".." (a dot after a dot becomes '_').
std::string safeName(const std::string& raw)
{
    std::string name;
    for (char c : raw) {
        if (c == '\0') {
            continue;
        }
        if (c == '.' && !name.empty() && name.back() == '.') {
            c = '_';
        }
        name += c;
    }
    return name;
}

std::string wordOf(const std::string& raw)
{
    std::string word;
    for (char c : raw) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
            word += c;
        }
    }
    return word;
}

void openFile(FuzzedDataProvider& input)
{
    const std::size_t wanted = input.ConsumeIntegralInRange<std::size_t>(0, 600);
    std::string name = safeName(input.ConsumeRandomLengthString(300));
    std::string prefix = g_scratch->drivePath() + "/";
    // Stretch the path to `wanted` characters with a folder name of 'd's in front.
    if (wanted > prefix.size() + name.size()) {
        name.insert(0, wanted - prefix.size() - name.size(), 'd');
    }
    std::string path = prefix + name;
    ktufuzz::TightText text(path);
    long result = ktuINIFileUtils::openFile(text.get());
    KTU_FUZZ_CHECK(result == 0 || result == 1);
    g_currentFile = result == 1 ? (g_scratch->path() / name).string() : g_currentFile;
}

void writeContent(FuzzedDataProvider& input)
{
    std::string content = input.ConsumeRandomLengthString(2000);
    if (!g_currentFile.empty()) {
        if (std::FILE* file = std::fopen(g_currentFile.c_str(), "wb")) {
            std::fwrite(content.data(), 1, content.size(), file);
            std::fclose(file);
        }
    }
}

// A text or, when the input says so, a null pointer.
struct MaybeText {
    bool present;
    std::string text;
    const char* get() const { return present ? text.c_str() : nullptr; }
};

MaybeText maybeText(FuzzedDataProvider& input, std::size_t maxLength)
{
    bool present = input.ConsumeIntegralInRange<int>(0, 7) != 0;
    return MaybeText{present, present ? input.ConsumeRandomLengthString(maxLength) : std::string()};
}

void setValue(FuzzedDataProvider& input)
{
    MaybeText section = maybeText(input, 300);
    MaybeText key = maybeText(input, 300);
    MaybeText value = maybeText(input, 1200);
    long result = ktuINIFileUtils::setTagValue(section.get(), key.get(), value.get());
    const bool anyNull = !section.present || !key.present || !value.present;
    KTU_FUZZ_CHECK(result == 1 || result == -2 || (anyNull && result == 0));
}

void getValue(FuzzedDataProvider& input)
{
    MaybeText section = maybeText(input, 300);
    MaybeText key = maybeText(input, 300);
    std::string fallback = input.ConsumeRandomLengthString(600);
    ktufuzz::TightText defaultValue(fallback, fallback.size() < 2 ? 2 : fallback.size() + 1);
    ktufuzz::TightBuffer out(500);
    long result = ktuINIFileUtils::getTagValue(section.get(), key.get(), out.get(), defaultValue.get());
    const bool anyNull = !section.present || !key.present;
    KTU_FUZZ_CHECK(result == 1 || result == -2 || (anyNull && result == 0));
    KTU_FUZZ_CHECK(out.terminated());
    if (result == -2) {
        KTU_FUZZ_CHECK(out.get()[0] == '\0');  // left untouched
    }
}

// A plain word written and read back must come back unchanged.
void roundTrip(FuzzedDataProvider& input)
{
    std::string section = wordOf(input.ConsumeRandomLengthString(100));
    std::string key = wordOf(input.ConsumeRandomLengthString(100));
    std::string value = wordOf(input.ConsumeRandomLengthString(499));
    if (section.empty() || key.empty() || value.empty() || g_currentFile.empty()) {
        return;
    }
    if (ktuINIFileUtils::setTagValue(section.c_str(), key.c_str(), value.c_str()) != 1) {
        return;  // the folder could not be made: nothing to read back
    }
    ktufuzz::TightBuffer out(500);
    char fallback[] = "missing";
    long result = ktuINIFileUtils::getTagValue(section.c_str(), key.c_str(), out.get(), fallback);
    KTU_FUZZ_CHECK(result == 1);
    KTU_FUZZ_CHECK(value == out.get());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static ktufuzz::ScratchFolder scratch("ini");
    g_scratch = &scratch;
    ktufuzz::startLibrary(scratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    g_scratch->clear();
    ktuINIFileUtils::closeFile();
    g_currentFile.clear();
    for (int step = 0; step < 16 && input.remaining_bytes() != 0; ++step) {
        switch (input.ConsumeIntegralInRange<int>(0, 6)) {
        case 0:
            openFile(input);
            break;
        case 1:
            writeContent(input);
            break;
        case 2:
            setValue(input);
            break;
        case 3:
            getValue(input);
            break;
        case 4: {
            long result = ktuINIFileUtils::clearFileContent();
            KTU_FUZZ_CHECK(result == 1 || result == -1);
            break;
        }
        case 5:
            KTU_FUZZ_CHECK(ktuINIFileUtils::closeFile() == 1);
            g_currentFile.clear();
            break;
        default:
            roundTrip(input);
            break;
        }
    }
    return 0;
}
