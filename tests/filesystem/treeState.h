// The state of a part of a folder tree, to tell whether anything in it
// changed: kind, permissions and content (a link: its target) of each entry.
#pragma once

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <string>

namespace ktu {
namespace test {

// Every entry named in `tops` (relative to `base`) and everything below it,
// keyed by its path relative to `base`; links are described, never followed.
inline std::map<std::string, std::string> treeState(const std::filesystem::path& base,
                                                    std::initializer_list<const char*> tops = {""})
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> seen;
    auto describe = [&](const fs::path& path) {
        fs::file_status status = fs::symlink_status(path);
        std::string& text = seen[fs::relative(path, base).generic_string()];
        text = std::to_string(static_cast<int>(status.type())) + " " +
               std::to_string(static_cast<unsigned>(status.permissions()));
        if (fs::is_symlink(status)) {
            text += " -> " + fs::read_symlink(path).string();
        } else if (fs::is_regular_file(status)) {
            std::ifstream in(path, std::ios::binary);
            text += " " + std::string(std::istreambuf_iterator<char>(in), {});
        }
    };
    for (const char* top : tops) {
        const fs::path root = base / top;
        if (*top != '\0') {
            describe(root);
        }
        if (fs::is_directory(fs::symlink_status(root))) {
            for (const auto& entry : fs::recursive_directory_iterator(root)) {
                describe(entry.path());
            }
        }
    }
    return seen;
}

}  // namespace test
}  // namespace ktu
