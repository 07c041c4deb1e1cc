// The version handshake and the gate it opens.
#include <cstring>
#include <string>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

bool acceptedAfter(const char* text)
{
    std::string copy(text);
    ktuLibVersionManagerUtils::validateVersion(copy.data());
    return ktuLibVersionManagerUtils::isValidVersion();
}

// The same whole number opens the gate, each text in a process of its own as
// the gate never closes again; getVersion writes five bytes and asks no
// handshake; everything else is refused; once open, the gate stays open.
TEST(VersionHandshake, OnlyTheSameWholeNumberOpensTheGateForGood)
{
    for (const char* text : {"4.02", "4", "4.7", "4.99", "  4abc", "+4"}) {
        SCOPED_TRACE(text);
        ktu::test::expectInFreshProcess([text] { return acceptedAfter(text); });
    }
    ktu::test::expectInFreshProcess([] {
        char buffer[8];
        std::memset(buffer, 'x', sizeof buffer);
        bool ok = ktuLibVersionManagerUtils::getVersion(buffer) && std::memcmp(buffer, "4.02\0xxx", 8) == 0 &&
                  KsUtils_getVersion(buffer) && !KsUtils_getVersion(nullptr) &&
                  !ktuLibVersionManagerUtils::getVersion(nullptr);
        for (const char* text : {"3.02", "3.99", "5.0", "", "abc", "-4", "40", "99999999999999999999999"}) {
            ok = ok && !acceptedAfter(text);
        }
        ktuLibVersionManagerUtils::validateVersion(nullptr);
        return ok && !ktuLibVersionManagerUtils::isValidVersion() && acceptedAfter("4.02") && acceptedAfter("9.0");
    });
}

}  // namespace
