// Hostile inputs under a bounded address space: each runs in a child process
// limited to 512 MiB (RLIMIT_AS) and must get the answer the operation gives
// any bad input, without needing more memory than that. Under AddressSanitizer
// the limit is left off (its shadow memory alone passes it); the answers are
// checked all the same.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

#include "KSUtilityClasses.h"
#include "ktuPlatform.h"
#include "ktuTestSupport.h"

#if defined(__SANITIZE_ADDRESS__)
#define KTU_HOSTILE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KTU_HOSTILE_ASAN 1
#endif
#endif

namespace {

using ktu::test::Sandbox;

constexpr rlim_t kAddressSpace = rlim_t{512} << 20;

// Runs `check` in a child under the address-space limit; the child's exit
// status is 0 when `check` answered true. A crash or a wrong answer fails.
void runBounded(const std::function<bool()>& check)
{
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
#ifndef KTU_HOSTILE_ASAN
        struct rlimit limit = {kAddressSpace, kAddressSpace};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) {
            ::_exit(3);
        }
#endif
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "wrong answer (1) or no limit could be set (3)";
}

// The bytes a peer sends, handed to the framed read by a stand-in for recv.
std::string g_peer;
std::size_t g_sent = 0;

int peerRecv(SOCKET, char* buffer, int length, int)
{
    std::size_t give = std::min<std::size_t>(static_cast<std::size_t>(length), g_peer.size() - g_sent);
    std::memcpy(buffer, g_peer.data() + g_sent, give);
    g_sent += give;
    return static_cast<int>(give);
}

class HostileInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        ktu::test::openGate();
        ktuLogUtils::setLogsDir(sandbox.path("logs").c_str());
    }
    Sandbox sandbox;
};

// A length field of 2147483647 and a 64-byte buffer: the frame does not fit
// (-1), and the read must not need memory for the length it claims.
TEST_F(HostileInput, FrameClaimingTwoGibibytes)
{
    g_peer = std::string("KS_NET_API_MSG_START") + "2147483647" + std::string(300, 'p');
    g_sent = 0;
    runBounded([] {
        ktu::test::ScopedOverride recv(ktu::platform::ops().socket.recv, peerRecv);
        SOCKET s = 5;
        char buffer[64];
        unsigned int read = 7;
        int result = ktuSocketUtils::readMessageFromSocket(&s, 20, 29, buffer, sizeof buffer, &read);
        return result == -1 && read == 0;
    });
}

// A PNG of 53 bytes (100 x 100 pixels) whose data chunk claims 1.6 GB: not a
// picture, and no reservation of what it claims.
TEST_F(HostileInput, PictureWhoseDataChunkClaimsGigabytes)
{
    const unsigned char png[] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
        0x00, 0x64, 0x00, 0x00, 0x00, 0x64, 0x08, 0x02, 0x00, 0x00, 0x00, 0xff, 0x80, 0x02, 0x03,
        0x5f, 0x5e, 0x10, 0x00,  // the data chunk's length: 1 600 000 000
        0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x60, 0xa0, 0x0c, 0x00, 0x00, 0x00, 0x40, 0x00, 0x01};
    sandbox.writeFile("claims.png", std::string(reinterpret_cast<const char*>(png), sizeof png));
    const std::string path = sandbox.path("claims.png");
    runBounded([&] {
        IPicture* picture = nullptr;
        int width = 0, height = 0;
        return !ktuBMPUtils::LoadPictureFile(path.c_str(), &picture, nullptr) && picture == nullptr &&
               !ktuBMPUtils::getImageSize2(path.c_str(), &width, &height);
    });
}

// A 24-bit BMP claiming 30000 x 30000 pixels with 48 bytes of them: the
// resized read answers true (without the size, or with it), never failing
// for want of memory.
TEST_F(HostileInput, BitmapClaimingMorePixelsThanItHolds)
{
    std::string file(54 + 48, '\0');
    auto put32 = [&file](std::size_t at, uint32_t v) { std::memcpy(&file[at], &v, 4); };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, 30000);
    put32(22, 30000);
    file[26] = 1;
    file[28] = 24;
    put32(34, 48);
    sandbox.writeFile("claims.bmp", file);
    const std::string path = sandbox.path("claims.bmp");
    runBounded([&] {
        unsigned char out[4 * 4 * 3 + 16] = {};
        return ktuBMPUtils::getResizedImageData(path.c_str(), out, 4, 4);
    });
}

// openFile with a path of 259 characters whose folder part has 257: the file
// becomes current (1), and reads and writes on it answer with their codes.
TEST_F(HostileInput, IniPathOfTheLongestLength)
{
    std::string path = sandbox.path("");
    path += std::string(259 - path.size() - 2, 'd') + "/i";
    ASSERT_EQ(path.size(), 259u);
    runBounded([&] {
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
    sandbox.writeFile("blank.ini", blanks);
    const std::string path = sandbox.path("blank.ini");
    runBounded([&] {
        char out[500] = "";
        char fallback[] = "none";
        return ktuINIFileUtils::openFile(path.c_str()) == 1 && ktuINIFileUtils::setTagValue("S", "K", "V") == 1 &&
               ktuINIFileUtils::getTagValue("S", "K", out, fallback) == 1 && std::string(out) == "V" &&
               ktuINIFileUtils::closeFile() == 1;
    });
    EXPECT_TRUE(sandbox.readFile("blank.ini") == blanks + "[S]\nK=V\n");
}

}  // namespace

#endif
