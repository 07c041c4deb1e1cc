// A plain main for a fuzz target, for compilers and machines without
// libFuzzer (the 32-bit build, run under an emulator): it feeds every file
// named on the command line, and every file of every folder named there (in
// name order), to the target once, each in a heap block of exactly its size
// so that a read past the end is as visible as in a fuzz run. A broken
// invariant or a sanitizer report ends the program as it ends a fuzz run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace {

bool replay(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
        return false;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() > 0 ? bytes.size() : 1]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    LLVMFuzzerTestOneInput(exact.get(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    std::size_t count = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(argv[i])) {
            for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
            std::sort(files.begin(), files.end());
        } else {
            files.emplace_back(argv[i]);
        }
        for (const auto& file : files) {
            std::fprintf(stderr, "replaying %s\n", file.string().c_str());
            ok = replay(file) && ok;
            ++count;
        }
    }
    std::printf("%zu inputs replayed\n", count);
    return ok && count > 0 ? 0 : 1;
}
