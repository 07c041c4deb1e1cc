// Hostile INI files, each read in a child limited to 512 MiB of address space.
// (The hostile frames and pictures are in the comm and imaging suites.)
#ifndef _WIN32

#include <string>

#include "KSUtilityClasses.h"
#include "ktuINIFileUtils.h"
#include "ktuTestSupport.h"

namespace {

using HostileInput = ktu::test::LoggedTest;

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
