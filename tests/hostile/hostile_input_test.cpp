// Hostile INI files, each read in a child limited to 512 MiB of address space (pictures: imaging suite).
#ifndef _WIN32

#include <string>

#include "KSUtilityClasses.h"
#include "ktuINIFileUtils.h"
#include "ktuTestSupport.h"

namespace {

using HostileInput = ktu::test::LoggedTest;

// 4 Mi blank lines, a value written after them and read back; a record per blank line took over 1 GB here.
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
