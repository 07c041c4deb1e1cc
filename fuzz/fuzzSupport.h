// What every fuzz target shares: the handshake, a quiet log, a scratch
// folder, exactly-sized heap copies of texts, and a check that ends the run
// with a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <system_error>

#include "KSUtilityClasses.h"
#include "ktuHostHooks.h"

namespace ktufuzz {

// A broken invariant is a finding: print it and abort, so that libFuzzer
// keeps the input as a crash.
#define KTU_FUZZ_CHECK(condition)                                                              \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

inline int answerOk(void*, void*, const char*, const char*, unsigned int)
{
    return 1;  // IDOK, without showing anything
}

// A folder of its own below the system's temporary folder, removed at exit.
class ScratchFolder {
public:
    explicit ScratchFolder(const char* name)
    {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                (std::string("ktu-fuzz-") + name + "-" + std::to_string(random() % 1000000u + 1000000u));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder as the library names it: drive form ("C:/tmp/...").
    std::string drivePath() const { return "C:" + path_.generic_string(); }

    // Empties the folder between two inputs.
    void clear() const
    {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(path_, ignored)) {
            std::filesystem::remove_all(entry.path(), ignored);
        }
    }

    void writeFile(const char* name, const uint8_t* data, std::size_t size) const
    {
        std::FILE* file = std::fopen((path_ / name).c_str(), "wb");
        if (file != nullptr) {
            if (size != 0) {
                std::fwrite(data, 1, size, file);
            }
            std::fclose(file);
        }
    }

private:
    std::filesystem::path path_;
};

// The handshake made, log lines formatted but not written, message boxes
// answered at once, the log folder (should logging be switched on) inside
// `scratch`. Call once, from LLVMFuzzerInitialize or the first input.
inline void startLibrary(const ScratchFolder& scratch)
{
    char version[] = "4.02";
    ktuLibVersionManagerUtils::validateVersion(version);
    ktuSetMessageBoxHandler(answerOk, nullptr);
    std::string logs = scratch.drivePath() + "/logs";
    ktuLogUtils::setLogsDir(logs.c_str());
    ktuLogUtils::enableDisableLogs(false);
}

// A text in a heap buffer that ends exactly where the operation's room ends,
// so that AddressSanitizer reports a read or write one byte beyond it.
class TightText {
public:
    // The text with its terminator, in a buffer of exactly that size.
    explicit TightText(const std::string& text) : TightText(text, text.size() + 1) {}
    // The text in a buffer of `size` bytes (at least the text and its
    // terminator): the room an operation that grows the text may use.
    TightText(const std::string& text, std::size_t size)
        : size_(size < text.size() + 1 ? text.size() + 1 : size), bytes_(new char[size_])
    {
        std::memset(bytes_.get(), 'x', size_);
        std::memcpy(bytes_.get(), text.c_str(), text.size() + 1);
    }
    char* get() const { return bytes_.get(); }
    std::size_t size() const { return size_; }

private:
    std::size_t size_;
    std::unique_ptr<char[]> bytes_;
};

// An output buffer of exactly `size` bytes, prefilled so that an unwritten
// output shows.
class TightBuffer {
public:
    explicit TightBuffer(std::size_t size) : size_(size), bytes_(new char[size == 0 ? 1 : size])
    {
        std::memset(bytes_.get(), '#', size_);
        if (size_ != 0) {
            bytes_[0] = '\0';  // an unwritten output reads as the empty text
        }
    }
    char* get() const { return bytes_.get(); }
    std::size_t size() const { return size_; }
    // True when the buffer holds a terminator.
    bool terminated() const { return std::memchr(bytes_.get(), '\0', size_) != nullptr; }

private:
    std::size_t size_;
    std::unique_ptr<char[]> bytes_;
};

}  // namespace ktufuzz
