// The framed read against a real peer, with frames sent whole, in fragments,
// cut short, malformed or too long.
#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuCommPeer.h"

namespace {

using ktu::test::buildFrame;
using ktu::test::Connection;
using namespace std::chrono_literals;

std::string log(const std::string& text) { return "KSUtilityClasses-" + text; }
std::string readLog(const std::string& what) { return log("ktuSocketUtils::readMessageFromSocket() - " + what); }

std::string withByte(std::string s, std::size_t at, char c)
{
    s[at] = c;
    return s;
}

const std::string f60 = buildFrame(std::string(10, 'p'));   // L = 60
const std::string f100 = buildFrame(std::string(50, 'q'));  // L = 100
const std::string next = buildFrame("next");                 // L = 54

struct FrameCase {
    const char* name;
    std::vector<std::string> chunks;
    bool fragmented;  // chunks arrive one by one while the reader waits
    unsigned start, end, bufferSize;
    int result;
    unsigned count;
    std::string stored;  // the start of the buffer afterwards; the rest keeps its bytes
    std::string left;    // what the socket still holds
    std::vector<std::string> logs;
};

// A 60-byte frame whose length field reads `field`: the whole frame is taken,
// or (when the field reads no number) the header alone, missing the end marker.
FrameCase fieldCase(const char* name, const std::string& field, bool readsAsSixty)
{
    const std::string f = buildFrame(std::string(10, 'p'), field);
    const std::vector<std::string> missed = {readLog("End Header un-available"),
                                             log("1 - 0, 2 - 20, 3 - 29, 4 - 30, 5 - -30, 6 - 1024"), log("7 - 1, 30")};
    return readsAsSixty ? FrameCase{name, {f}, false, 20, 29, 1024, 1, 60, f, "", {}}
                        : FrameCase{name, {f}, false, 20, 29, 1024, 1, 30, f.substr(0, 30), f.substr(30), missed};
}

std::vector<FrameCase> frameCases()
{
    std::vector<std::string> oneByte;
    for (char c : f60) {
        oneByte.emplace_back(1, c);
    }
    oneByte.push_back(next);
    const std::string diag60 = log("1 - 60, 2 - 20, 3 - 29, 4 - 60, 5 - 30, 6 - 1024");
    const std::string recv60 = log("7 - 2, 30, 30");
    const std::string minus50 = buildFrame(std::string(10, 'p'), "-50");
    const std::string huge = buildFrame(std::string(10, 'p'), "-99999999999999", 15);
    // Claims 2 GiB; holds more than the scratch area behind the buffer.
    const std::string claims2G = buildFrame(std::string(10000, 'c'), "2147483647");
    return {
        {"WholeFrameThenNext", {f60 + next}, false, 20, 29, 1024, 1, 60, f60, next, {}},
        {"FrameFillsBufferExactly", {f60 + next}, false, 20, 29, 60, 1, 60, f60, next, {}},
        {"OneByteAtATime", oneByte, true, 20, 29, 1024, 1, 60, f60, next, {}},
        {"ClosedMidHeader", {f60.substr(0, 15)}, true, 20, 29, 1024, 0, 0, f60.substr(0, 15), "", {}},
        {"ClosedMidBody", {f60.substr(0, 40)}, true, 20, 29, 1024, 0, 0, f60.substr(0, 40), "",
         {readLog("abnormal return 2")}},
        {"WrongStartMarker", {withByte(f60, 0, 'X')}, false, 20, 29, 1024, 1, 60, withByte(f60, 0, 'X'), "",
         {readLog("Start Header un-available"), diag60, recv60}},
        {"WrongEndMarker", {withByte(f60, 59, '1') + next}, false, 20, 29, 1024, 1, 60, withByte(f60, 59, '1'), next,
         {readLog("End Header un-available"), diag60, recv60}},
        {"FrameLongerThanBuffer", {f100 + next}, false, 20, 29, 64, -1, 0, f100.substr(0, 64), next,
         {readLog("Out Of Memory"), log("1 - 100, 2 - 20, 3 - 29, 4 - 64, 5 - 70, 6 - 64"), log("7 - 2, 30, 70"),
          readLog("abnormal return 3")}},
        {"OverflowOnTheRecvAfterTheBufferFilled", {f100.substr(0, 64), f100.substr(64) + next}, true, 20, 29, 64, -1,
         0, f100.substr(0, 64), next,
         {readLog("Out Of Memory"), log("1 - 100, 2 - 20, 3 - 29, 4 - 64, 5 - 70, 6 - 64"), "",
          readLog("abnormal return 3")}},
        {"NegativeLengthStopsAfterHeader", {minus50}, false, 20, 29, 1024, 1, 30, minus50.substr(0, 30),
         minus50.substr(30),
         {readLog("End Header un-available"), log("1 - -50, 2 - 20, 3 - 29, 4 - 30, 5 - -80, 6 - 1024"),
          log("7 - 1, 30")}},
        // The field reads as -2147483648: the frame is the header alone,
        // although the 32-bit body length wraps to a positive value.
        {"LengthBeyond32BitsIsTheHeaderAlone", {huge}, false, 20, 34, 40, 1, 35, huge.substr(0, 35), huge.substr(35),
         {readLog("End Header un-available"), log("1 - -2147483648, 2 - 20, 3 - 34, 4 - 35, 5 - 2147483613, 6 - 40"),
          log("7 - 1, 35")}},
        // A claimed length far beyond the buffer: the failing recv takes what
        // one recv would (here all that waits), and the answer is -1.
        {"ClaimedLengthFarBeyondBuffer", {claims2G + next}, false, 20, 29, 64, -1, 0, claims2G.substr(0, 64), "",
         {readLog("Out Of Memory"), log("1 - 2147483647, 2 - 20, 3 - 29, 4 - 64, 5 - 2147483617, 6 - 64"),
          log("7 - 2, 30, " + std::to_string(claims2G.size() + next.size() - 30)), readLog("abnormal return 3")}},
        {"FieldEndsBeforeItStarts", {f60}, false, 31, 29, 1024, -2, 0, "", f60, {readLog("Size less than 0")}},
        {"BufferShorterThanHeader", {f60}, false, 20, 29, 29, -3, 0, "", f60, {readLog("Insufficient buffer size")}},
        // A field ending at 0xFFFFFFFF: a header of 2^32 bytes, unless the
        // field's 32-bit length is negative.
        {"HeaderOfTwoToTheThirtyTwo", {f60}, false, 0, 0xFFFFFFFFu, 1024, -3, 0, "", f60,
         {readLog("Insufficient buffer size")}},
        {"FieldToTheLastPositionIsNegative", {f60}, false, 5, 0xFFFFFFFFu, 1024, -2, 0, "", f60,
         {readLog("Size less than 0")}},
        {"EmptyLengthField", {f60}, false, 30, 29, 1024, 1, 30, f60.substr(0, 30), f60.substr(30),
         {readLog("End Header un-available"), log("1 - 0, 2 - 30, 3 - 29, 4 - 30, 5 - -30, 6 - 1024"),
          log("7 - 1, 30")}},
        {"HeaderShorterThanAMarker", {std::string("AB0006rest")}, false, 2, 5, 1024, 1, 6, "AB0006", "rest",
         {readLog("Start Header un-available"), log("1 - 6, 2 - 2, 3 - 5, 4 - 6, 5 - 0, 6 - 1024"), log("7 - 1, 6"),
          readLog("End Header un-available"), log("1 - 6, 2 - 2, 3 - 5, 4 - 6, 5 - 0, 6 - 1024"), log("7 - 1, 6")}},
        // The length field as senders fill it: signed, ended early.
        fieldCase("FieldEndedByNuls", std::string("60\0\0\0\0\0\0\0\0", 10), true),
        fieldCase("FieldWithTrailingText", "60 garbage", true),
        fieldCase("FieldWithLeadingSpaceAndSign", " \t\n\v\f\r+60", true),
        fieldCase("FieldNotANumber", "abc", false),
        fieldCase("FieldBlank", "", false),
    };
}

// Reads case `c` from a peer and checks the result, the count, the bytes
// stored, what stays in the socket and the log lines.
bool readAndCheck(const FrameCase& c)
{
    ktu::test::Sandbox sb;
    EXPECT_TRUE(ktu::test::logInto(sb));
    Connection link;
    link.send(c.chunks, c.fragmented ? 1ms : 0ms);
    std::string buffer(c.bufferSize, '\xEE');
    unsigned count = 12345;
    EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(&link.reader, c.start, c.end, &buffer[0], c.bufferSize, &count),
              c.result);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(buffer, c.stored + std::string(c.bufferSize - c.stored.size(), '\xEE'));  // nothing past it written
    EXPECT_EQ(link.drainReader(), c.left);
    auto lines = ktu::test::logTexts(sb.native("logs/output.log"));
    EXPECT_EQ(lines.size(), c.logs.size()) << ::testing::PrintToString(lines);
    for (std::size_t i = 0; i < std::min(lines.size(), c.logs.size()); ++i) {
        if (!c.logs[i].empty()) {  // empty: a recv list that depends on when the pieces arrive
            EXPECT_EQ(lines[i], c.logs[i]);
        }
    }
    return !::testing::Test::HasFailure();
}

using FramedRead = ::testing::TestWithParam<FrameCase>;

// Under a bounded address space: a length field's claim must cost no memory.
TEST_P(FramedRead, OverALoopbackConnection)
{
    ktu::test::expectWithinAddressSpace([] { return readAndCheck(GetParam()); });
}

INSTANTIATE_TEST_SUITE_P(Frames, FramedRead, ::testing::ValuesIn(frameCases()),
                         [](const ::testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

// A peer handing out `g_stream` in recv results of the sizes listed.
std::string g_stream;
std::vector<int> g_sizes;
std::size_t g_calls = 0, g_at = 0;

int scriptedRecv(SOCKET, char* buffer, int length, int)
{
    const int n = g_calls < g_sizes.size() ? std::min(g_sizes[g_calls++], length) : 0;
    std::memcpy(buffer, g_stream.data() + g_at, static_cast<std::size_t>(n));
    g_at += static_cast<std::size_t>(n);
    return n;
}

// The record keeps the results of the first 100 recv calls in call order and
// counts no further; the list stops at the last whole entry within 255
// characters.
using FramedReadRecord = ktu::test::LoggedTest;

TEST_F(FramedReadRecord, HoldsTheFirstHundredResults)
{
    ktu::test::ScopedOverride o(ktu::platform::ops().socket.recv, &scriptedRecv);
    for (int calls : {99, 100, 101, 140}) {
        SCOPED_TRACE(calls);
        g_sizes = {30};  // the header, then bodies of 1 to 7 bytes: one-digit entries
        std::string list = "7 - " + std::to_string(std::min(calls, 100)) + ", 30";
        for (int i = 1; i < calls; ++i) {
            g_sizes.push_back(i % 7 + 1);
            if (i < 100 && list.size() + 3 <= 255) {
                list += ", " + std::to_string(i % 7 + 1);
            }
        }
        const int body = std::accumulate(g_sizes.begin() + 1, g_sizes.end(), 0);
        g_stream = withByte(buildFrame(std::string(static_cast<std::size_t>(body) - 20, 'r')), 0, 'x');
        g_calls = g_at = 0;
        std::string buffer(4096, '\0');
        unsigned count = 0;
        SOCKET s = 3;
        ASSERT_EQ(ktuSocketUtils::readMessageFromSocket(&s, 20, 29, &buffer[0], 4096, &count), 1);
        EXPECT_EQ(count, static_cast<unsigned>(30 + body));
        const auto lines = logs();  // the recv list ends the lines of the missing start marker
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), log(list));
    }
}

}  // namespace
