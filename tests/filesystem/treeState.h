// The state of part of a folder tree, and the folder outside the trees that the link and race tests walk.
#pragma once

#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>

#include "ktuTestSupport.h"

namespace ktu {
namespace test {

// Every entry named in `tops` (relative to `base`) and everything below it, keyed by its path relative to `base`: kind,
// permissions and content (a link: its target); links are described, never followed.
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

// A logged sandbox with what no walk of a tree beside it may change, checked after the test: "outside" (read-only and
// 0600 files, a read-only folder), the read-only "outsideFile.txt" that links lead to, and "src", the copies' source.
class OutsideTest : public LoggedTest {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        LoggedTest::SetUp();
        for (const char* file : {"outside/inner/deep.txt", "outside/o.txt", "outside/hard.txt", "outsideFile.txt",
                                 "src/a.txt", "src/sub/b.txt", "src/sub/deeper/c.txt"}) {
            sb.writeFile(file, file);
        }
        fs::permissions(sb.native("outside/o.txt"), fs::perms::owner_read | fs::perms::group_read);
        fs::permissions(sb.native("outside/inner"), fs::perms::owner_read | fs::perms::owner_exec);
        fs::permissions(sb.native("outsideFile.txt"), fs::perms::owner_read);
        fs::permissions(sb.native("outside/hard.txt"), fs::perms::owner_read | fs::perms::owner_write);
        before_ = outside();
    }
    void TearDown() override { EXPECT_EQ(outside(), before_) << "something outside the trees changed"; }
    std::map<std::string, std::string> outside() const
    {
        return treeState(sb.native(), {"outside", "outsideFile.txt", "src"});
    }
    std::map<std::string, std::string> before_;
};

}  // namespace test
}  // namespace ktu
