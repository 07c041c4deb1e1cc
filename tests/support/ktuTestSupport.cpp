#include "ktuTestSupport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ktuHostHooks.h"
#include "ktuLibVersionManagerUtils.h"

namespace fs = std::filesystem;

namespace ktu {
namespace test {

void openGate()
{
    char version[] = "4.02";
    ktuLibVersionManagerUtils::validateVersion(version);
}

namespace {

std::string forwardSlashes(std::string text)
{
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

}  // namespace

Sandbox::Sandbox()
{
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::string name = "ktu_test_" + std::to_string(stamp) + "_" + std::to_string(counter++);
#if defined(_WIN32)
    // Directly below a drive root, so that a folder chain built from the
    // sandbox starts at the sandbox: operations that recreate the first level
    // of a chain then recreate the sandbox, never a folder of the machine
    // (a sandbox in %TEMP% would make that level C:/Users).
    // KTU_TEST_DRIVE ("D:") picks another drive than the system drive.
    const char* drive = std::getenv("KTU_TEST_DRIVE");
    if (drive == nullptr || drive[0] == '\0') {
        drive = std::getenv("SystemDrive");
    }
    root_ = fs::path(std::string(drive != nullptr && drive[0] != '\0' ? drive : "C:").substr(0, 2) + "\\") / name;
#else
    root_ = fs::temp_directory_path() / name;
#endif
    fs::create_directories(root_);
    root_ = fs::canonical(root_);
    savedCwd_ = fs::current_path();
#if defined(_WIN32)
    drivePath_ = forwardSlashes(root_.string());
#else
    if (const char* drives = std::getenv("KTU_DRIVES")) {
        savedDrives_ = drives;
    }
    setenv("KTU_DRIVES", ("C=/;T=" + root_.string()).c_str(), 1);
    drivePath_ = "T:";
#endif
}

Sandbox::~Sandbox()
{
    std::error_code ignored;
    fs::current_path(savedCwd_, ignored);
    // Give read-only entries their write permission back so that they can go.
    for (auto it = fs::recursive_directory_iterator(root_, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root_, ignored);
#if !defined(_WIN32)
    if (savedDrives_) {
        setenv("KTU_DRIVES", savedDrives_->c_str(), 1);
    } else {
        unsetenv("KTU_DRIVES");
    }
#endif
}

std::string Sandbox::path(const std::string& relative) const
{
    return relative.empty() ? drivePath_ : drivePath_ + "/" + relative;
}

fs::path Sandbox::native(const std::string& relative) const
{
    return relative.empty() ? root_ : root_ / fs::path(relative);
}

void Sandbox::writeFile(const std::string& relative, const std::string& content) const
{
    fs::create_directories(native(relative).parent_path());
    std::ofstream(native(relative), std::ios::binary) << content;
}

std::string Sandbox::readFile(const std::string& relative) const
{
    std::ostringstream text;
    text << std::ifstream(native(relative), std::ios::binary).rdbuf();
    return text.str();
}

void Sandbox::makeFolder(const std::string& relative) const
{
    fs::create_directories(native(relative));
}

bool Sandbox::exists(const std::string& relative) const
{
    std::error_code ignored;
    return fs::exists(native(relative), ignored);
}

MessageBoxRecorder::MessageBoxRecorder()
{
    ktuSetMessageBoxHandler(&MessageBoxRecorder::answer, this);
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    ktuSetMessageBoxHandler(nullptr, nullptr);
}

int MessageBoxRecorder::answer(void* context, void*, const char* text, const char* caption, unsigned int style)
{
    auto* self = static_cast<MessageBoxRecorder*>(context);
    self->calls_.push_back({text != nullptr ? text : "", caption != nullptr ? caption : "", style});
    return 1;
}

std::vector<std::string> readLines(const fs::path& file)
{
    std::vector<std::string> lines;
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::string currentFolder()
{
    char buffer[4096];
    uint32_t n = platform::ops().fs.getCurrentDir(buffer, sizeof buffer);
    return (n == 0 || n >= sizeof buffer) ? std::string() : forwardSlashes(buffer);
}

bool currentFolderIs(const fs::path& folder)
{
    std::error_code ec;
    return fs::equivalent(fs::current_path(), folder, ec);
}

std::vector<std::string> logTexts(const fs::path& file)
{
    std::vector<std::string> texts;
    for (const auto& line : readLines(file)) {
        auto at = line.find(" : ");
        texts.push_back(at == std::string::npos ? line : line.substr(at + 3));
    }
    return texts;
}

}  // namespace test
}  // namespace ktu
