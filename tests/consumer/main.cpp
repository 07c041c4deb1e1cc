// A minimal application of the installed library.
#include <KSUtilityClasses.h>

#include <cstdio>

int main()
{
    char version[8] = "";
    if (!KsUtils_getVersion(version)) return 1;
    ktuLibVersionManagerUtils::validateVersion(version);
    std::printf("%s %s\n", version, ktuLibVersionManagerUtils::isValidVersion() ? "accepted" : "refused");
}
