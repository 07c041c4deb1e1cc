// The framed read against a real peer: loopback TCP connections and socket
// pairs, with frames sent whole, in fragments, cut short, malformed or too
// long. Each case checks the result, the bytes stored, the count, what stays
// in the socket and the log lines.
#include <cctype>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuCommPeer.h"

namespace {

using ktu::test::buildFrame;
using ktu::test::Connection;
using ktu::test::Transport;
using namespace std::chrono_literals;

std::string log(const std::string& text) { return "KSUtilityClasses-" + text; }
std::string readLog(const std::string& what) { return log("ktuSocketUtils::readMessageFromSocket() - " + what); }
const std::string kAnyRecvList = log("7 - *");  // any recv list

std::string withByte(std::string s, std::size_t at, char c)
{
    s[at] = c;
    return s;
}

std::vector<std::string> bytewise(const std::string& s)
{
    std::vector<std::string> out;
    for (char c : s) {
        out.emplace_back(1, c);
    }
    return out;
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
    std::vector<std::string> oneByte = bytewise(f60);
    oneByte.push_back(next);
    const std::string diag60 = log("1 - 60, 2 - 20, 3 - 29, 4 - 60, 5 - 30, 6 - 1024");
    const std::string recv60 = log("7 - 2, 30, 30");
    const std::string minus50 = buildFrame(std::string(10, 'p'), "-50");
    const std::string huge = buildFrame(std::string(10, 'p'), "-99999999999999", 15);
    const std::string bad150 = withByte(buildFrame(std::string(100, 'z')), 0, 'x');
    const std::string big = buildFrame(std::string(3000, 'b'));
    std::vector<std::string> bigPieces;
    for (std::size_t at = 0, n = 1; at < big.size(); at += n, n = n * 3 % 1031) {
        bigPieces.push_back(big.substr(at, n));
    }
    bigPieces.back() += next;
    return {
        {"WholeFrameThenNext", {f60 + next}, false, 20, 29, 1024, 1, 60, f60, next, {}},
        {"FrameFillsBufferExactly", {f60 + next}, false, 20, 29, 60, 1, 60, f60, next, {}},
        {"OneByteAtATime", oneByte, true, 20, 29, 1024, 1, 60, f60, next, {}},
        {"HeaderSplitAcrossWrites", {f60.substr(0, 7), f60.substr(7, 15), f60.substr(22, 13), f60.substr(35) + next},
         true, 20, 29, 1024, 1, 60, f60, next, {}},
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
         {readLog("Out Of Memory"), log("1 - 100, 2 - 20, 3 - 29, 4 - 64, 5 - 70, 6 - 64"), kAnyRecvList,
          readLog("abnormal return 3")}},
        {"NegativeLengthStopsAfterHeader", {minus50}, false, 20, 29, 1024, 1, 30, minus50.substr(0, 30),
         minus50.substr(30),
         {readLog("End Header un-available"), log("1 - -50, 2 - 20, 3 - 29, 4 - 30, 5 - -80, 6 - 1024"),
          log("7 - 1, 30")}},
        {"LengthBeyond32BitsReadsAsTheLimit", {huge}, false, 20, 34, 1024, 1, 35, huge.substr(0, 35), huge.substr(35),
         {readLog("End Header un-available"), log("1 - -2147483648, 2 - 20, 3 - 34, 4 - 35, 5 - -2147483683, 6 - 1024"),
          log("7 - 1, 35")}},
        {"FieldEndsBeforeItStarts", {f60}, false, 31, 29, 1024, -2, 0, "", f60, {readLog("Size less than 0")}},
        {"BufferShorterThanHeader", {f60}, false, 20, 29, 29, -3, 0, "", f60, {readLog("Insufficient buffer size")}},
        {"EmptyLengthField", {f60}, false, 30, 29, 1024, 1, 30, f60.substr(0, 30), f60.substr(30),
         {readLog("End Header un-available"), log("1 - 0, 2 - 30, 3 - 29, 4 - 30, 5 - -30, 6 - 1024"),
          log("7 - 1, 30")}},
        {"HeaderShorterThanAMarker", {std::string("AB0006rest")}, false, 2, 5, 1024, 1, 6, "AB0006", "rest",
         {readLog("Start Header un-available"), log("1 - 6, 2 - 2, 3 - 5, 4 - 6, 5 - 0, 6 - 1024"), log("7 - 1, 6"),
          readLog("End Header un-available"), log("1 - 6, 2 - 2, 3 - 5, 4 - 6, 5 - 0, 6 - 1024"), log("7 - 1, 6")}},
        // The length field as senders fill it: padded, signed, ended early.
        fieldCase("FieldZeroPadded", "0000000060", true),
        fieldCase("FieldEndedByNuls", std::string("60\0\0\0\0\0\0\0\0", 10), true),
        fieldCase("FieldWithTrailingText", "60 garbage", true),
        fieldCase("FieldWithLeadingSpaceAndSign", " \t\n+60", true),
        fieldCase("FieldNotANumber", "abc", false),
        fieldCase("FieldBlank", "", false),
        {"LargeFrameInPieces", bigPieces, true, 20, 29, 4096, 1, 3050, big, next, {}},
        // More recv calls than the diagnostic record holds: the list stays
        // within its 255 characters and ends with a whole entry.
        {"RecvListIsBounded", bytewise(bad150), true, 20, 29, 1024, 1, 150, bad150, "",
         {readLog("Start Header un-available"), log("1 - 150, 2 - 20, 3 - 29, 4 - 150, 5 - 120, 6 - 1024"),
          kAnyRecvList}},
    };
}

using FramedRead = ::testing::TestWithParam<FrameCase>;

TEST_P(FramedRead, OverARealConnection)
{
    const FrameCase& c = GetParam();
    ktu::test::openGate();
    for (Transport transport : ktu::test::kTransports) {
        SCOPED_TRACE(ktu::test::transportName(transport));
        ktu::test::Sandbox sb;
        ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
        Connection link(transport);
        ASSERT_TRUE(link.ok());
        link.send(c.chunks, true, c.fragmented ? 1ms : 0ms);

        std::string buffer(c.bufferSize, '\xEE');
        unsigned count = 12345;
        EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(&link.reader, c.start, c.end, &buffer[0], c.bufferSize, &count),
                  c.result);
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(buffer, c.stored + std::string(c.bufferSize - c.stored.size(), '\xEE'));  // nothing past it written
        EXPECT_EQ(link.drainReader(), c.left);
        auto lines = ktu::test::logTexts(sb.native("logs/output.log"));
        ASSERT_EQ(lines.size(), c.logs.size()) << ::testing::PrintToString(lines);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (c.logs[i] == kAnyRecvList) {  // "7 - <count>, <size>, ...", cut after a whole entry
                const std::string list = lines[i].substr(log("").size());
                EXPECT_TRUE(list.rfind("7 - ", 0) == 0 && list.size() <= 255 && std::isdigit(list.back())) << list;
            } else {
                EXPECT_EQ(lines[i], c.logs[i]);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, FramedRead, ::testing::ValuesIn(frameCases()),
                         [](const ::testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

}  // namespace
