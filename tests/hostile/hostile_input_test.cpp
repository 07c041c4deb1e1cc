// Hostile INI files under a bounded address space: each runs in a child
// limited to 512 MiB and must get the answer the operation gives any bad
// input, without needing more memory than that. (The hostile frames and
// pictures are in the comm and imaging suites.)
#ifndef _WIN32

#include <string>

#include "KSUtilityClasses.h"
#include "ktuINIFileUtils.h"
#include "ktuTestSupport.h"

namespace {

using HostileInput = ktu::test::LoggedTest;

// openFile with a path of 259 characters whose folder part has 257: the file
// becomes current (1), and reads and writes on it answer with their codes.
TEST_F(HostileInput, IniPathOfTheLongestLength)
{
    std::string path = sb.path("");
    path += std::string(259 - path.size() - 2, 'd') + "/i";
    ASSERT_EQ(path.size(), 259u);
    ktu::test::expectWithinAddressSpace([&] {
        if (ktuINIFileUtils::openFile(path.c_str()) != 1) {
            return false;
        }
        long set = ktuINIFileUtils::setTagValue("S", "K", "V");
        char out[500] = "";
        char fallback[] = "none";
        long get = ktuINIFileUtils::getTagValue("S", "K", out, fallback);
        return (set == 1 || set == -2) && (get == 1 || get == -2) && ktuINIFileUtils::closeFile() == 1;
    });
}

// An INI file of 4 MiB of line ends (4 Mi blank lines): a value is written
// after them and read back, and every line end stays as it was. Holding a
// record of its own for every blank line took over 1 GB here.
TEST_F(HostileInput, IniOfMillionsOfBlankLines)
{
    const std::string blanks(std::size_t{4} << 20, '\n');
    sb.writeFile("blank.ini", blanks);
    const std::string path = sb.path("blank.ini");
    ktu::test::expectWithinAddressSpace([&] {
        char out[500] = "";
        char fallback[] = "none";
        return ktuINIFileUtils::openFile(path.c_str()) == 1 && ktuINIFileUtils::setTagValue("S", "K", "V") == 1 &&
               ktuINIFileUtils::getTagValue("S", "K", out, fallback) == 1 && std::string(out) == "V" &&
               ktuINIFileUtils::closeFile() == 1;
    });
    EXPECT_TRUE(sb.readFile("blank.ini") == blanks + "[S]\nK=V\n");
}

}  // namespace

#endif
