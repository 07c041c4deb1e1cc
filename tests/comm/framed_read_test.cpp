// The framed read against a real peer: loopback TCP connections and socket
// pairs, with frames sent whole, in fragments, cut short, malformed or too
// long. Each case checks the result, the bytes stored, the count, what stays
// in the socket and the log lines.
#include <cstring>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuCommPeer.h"
#include "ktuTestSupport.h"

namespace {

using ktu::test::Connection;
using ktu::test::Transport;
using namespace std::chrono_literals;

constexpr char kFill = '\xEE';

std::string log(const std::string& text)
{
    return "KSUtilityClasses-" + text;
}
std::string readLog(const std::string& what)
{
    return log("ktuSocketUtils::readMessageFromSocket() - " + what);
}
const std::string kAnyRecvList = log("7 - *");

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

const std::string f60 = ktu::test::buildFrame(std::string(10, 'p'));        // L = 60
const std::string f100 = ktu::test::buildFrame(std::string(50, 'q'));       // L = 100
const std::string next = ktu::test::buildFrame("next");                      // L = 54
const std::string fieldMinus50 = ktu::test::buildFrameWithField(std::string(10, 'p'), "-50");
const std::string fieldHuge = ktu::test::buildFrameWithField(std::string(10, 'p'), "-99999999999999", 15);

struct FrameCase {
    const char* name;
    std::vector<std::string> chunks;
    bool fragmented;  // chunks arrive one by one while the reader waits
    unsigned start, end, bufferSize;
    int result;
    unsigned count;
    std::string stored;  // the start of the buffer afterwards
    std::string left;    // what the socket still holds
    std::vector<std::string> logs;
};

std::vector<FrameCase> frameCases()
{
    std::vector<std::string> oneByte = bytewise(f60);
    oneByte.push_back(next);
    const std::string diag60 = log("1 - 60, 2 - 20, 3 - 29, 4 - 60, 5 - 30, 6 - 1024");
    const std::string recv60 = log("7 - 2, 30, 30");
    return {
        {"WholeFrameThenNext", {f60 + next}, false, 20, 29, 1024, 1, 60, f60, next, {}},
        {"FrameFillsBufferExactly", {f60 + next}, false, 20, 29, 60, 1, 60, f60, next, {}},
        {"OneByteAtATime", oneByte, true, 20, 29, 1024, 1, 60, f60, next, {}},
        {"HeaderSplitAcrossWrites",
         {f60.substr(0, 7), f60.substr(7, 15), f60.substr(22, 13), f60.substr(35) + next},
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
        {"NegativeLengthStopsAfterHeader", {fieldMinus50}, false, 20, 29, 1024, 1, 30, fieldMinus50.substr(0, 30),
         fieldMinus50.substr(30),
         {readLog("End Header un-available"), log("1 - -50, 2 - 20, 3 - 29, 4 - 30, 5 - -80, 6 - 1024"),
          log("7 - 1, 30")}},
        {"LengthBeyond32BitsReadsAsTheLimit", {fieldHuge}, false, 20, 34, 1024, 1, 35, fieldHuge.substr(0, 35),
         fieldHuge.substr(35),
         {readLog("End Header un-available"), log("1 - -2147483648, 2 - 20, 3 - 34, 4 - 35, 5 - -2147483683, 6 - 1024"),
          log("7 - 1, 35")}},
        {"FieldEndsBeforeItStarts", {f60}, false, 31, 29, 1024, -2, 0, "", f60, {readLog("Size less than 0")}},
        {"BufferShorterThanHeader", {f60}, false, 20, 29, 29, -3, 0, "", f60, {readLog("Insufficient buffer size")}},
        {"EmptyLengthField", {f60}, false, 30, 29, 1024, 1, 30, f60.substr(0, 30), f60.substr(30),
         {readLog("End Header un-available"), log("1 - 0, 2 - 30, 3 - 29, 4 - 30, 5 - -30, 6 - 1024"),
          log("7 - 1, 30")}},
        {"HeaderShorterThanAMarker", {std::string("AB0006rest")}, false, 2, 5, 1024, 1, 6, "AB0006", "rest",
         {readLog("Start Header un-available"), log("1 - 6, 2 - 2, 3 - 5, 4 - 6, 5 - 0, 6 - 1024"), log("7 - 1, 6"),
          readLog("End Header un-available"), log("1 - 6, 2 - 2, 3 - 5, 4 - 6, 5 - 0, 6 - 1024"),
          log("7 - 1, 6")}},
    };
}

class FramedRead : public ::testing::TestWithParam<FrameCase> {
protected:
    void SetUp() override { ktu::test::openGate(); }
};

void expectLogs(const std::vector<std::string>& actual, const std::vector<std::string>& expected)
{
    ASSERT_EQ(actual.size(), expected.size()) << ::testing::PrintToString(actual);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] == kAnyRecvList) {
            EXPECT_EQ(actual[i].rfind(log("7 - "), 0), 0u) << actual[i];
        } else {
            EXPECT_EQ(actual[i], expected[i]);
        }
    }
}

TEST_P(FramedRead, OverARealConnection)
{
    const FrameCase& c = GetParam();
    for (Transport transport : ktu::test::transports()) {
        SCOPED_TRACE(ktu::test::transportName(transport));
        ktu::test::Sandbox sb;
        ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
        Connection link(transport);
        ASSERT_TRUE(link.ok());
        link.send(c.chunks, true, c.fragmented ? 1ms : 0ms);

        std::vector<char> buffer(c.bufferSize, kFill);
        unsigned count = 12345;
        int result = ktuSocketUtils::readMessageFromSocket(&link.reader, c.start, c.end, buffer.data(), c.bufferSize,
                                                           &count);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(count, c.count);
        ASSERT_LE(c.stored.size(), buffer.size());
        EXPECT_EQ(std::string(buffer.data(), c.stored.size()), c.stored);
        for (std::size_t i = c.stored.size(); i < buffer.size(); ++i) {
            ASSERT_EQ(buffer[i], kFill) << "byte " << i << " was written";
        }
        EXPECT_EQ(link.drainReader(), c.left);
        expectLogs(ktu::test::logTexts(sb.native("logs/output.log")), c.logs);
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, FramedRead, ::testing::ValuesIn(frameCases()),
                         [](const ::testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

// The length field as senders fill it: padded, signed, ended early.
TEST(FramedReadLengthField, ReadsTheDecimalTextsSendersWrite)
{
    ktu::test::openGate();
    const std::string payload(10, 'p');  // a 60-byte frame
    struct Row {
        std::string field;
        unsigned count;    // 60: the whole frame; 30: the header alone
        std::string diag;  // the first diagnostic line, when the end marker is missed
    } rows[] = {
        {"        60", 60, ""},
        {"0000000060", 60, ""},
        {std::string("60\0\0\0\0\0\0\0\0", 10), 60, ""},
        {"60 garbage", 60, ""},
        {" \t\n+60", 60, ""},
        {"abc", 30, "1 - 0, 2 - 20, 3 - 29, 4 - 30, 5 - -30, 6 - 256"},
        {"", 30, "1 - 0, 2 - 20, 3 - 29, 4 - 30, 5 - -30, 6 - 256"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.field);
        ktu::test::Sandbox sb;
        ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
        Connection link(Transport::Tcp);
        ASSERT_TRUE(link.ok());
        std::string frame = ktu::test::buildFrameWithField(payload, row.field.substr(0, 10));
        link.send({frame});
        std::vector<char> buffer(256);
        unsigned count = 0;
        EXPECT_EQ(ktuSocketUtils::readMessageFromSocket(&link.reader, 20, 29, buffer.data(), 256, &count), 1);
        EXPECT_EQ(count, row.count);
        EXPECT_EQ(link.drainReader(), frame.substr(row.count));
        auto lines = ktu::test::logTexts(sb.native("logs/output.log"));
        if (row.diag.empty()) {
            EXPECT_TRUE(lines.empty());
        } else {
            ASSERT_EQ(lines.size(), 3u);
            EXPECT_EQ(lines[1], log(row.diag));
        }
    }
}

// Frames back to back, cut into pieces that straddle frame boundaries: each
// read takes exactly one frame.
TEST(FramedReadStream, FramesBackToBackInRandomPieces)
{
    ktu::test::openGate();
    ktu::test::Sandbox sb;
    ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
    const std::vector<std::string> frames = {ktu::test::buildFrame("first"), ktu::test::buildFrame(std::string(3000, 'b')),
                                             ktu::test::buildFrame(""), ktu::test::buildFrame("last one")};
    std::string stream;
    for (const auto& f : frames) {
        stream += f;
    }
    for (Transport transport : ktu::test::transports()) {
        SCOPED_TRACE(ktu::test::transportName(transport));
        Connection link(transport);
        ASSERT_TRUE(link.ok());
        std::vector<std::string> pieces;
        const std::size_t sizes[] = {1, 7, 29, 2, 64, 513, 3, 1024};
        for (std::size_t at = 0, i = 0; at < stream.size(); ++i) {
            std::size_t n = std::min(sizes[i % 8], stream.size() - at);
            pieces.push_back(stream.substr(at, n));
            at += n;
        }
        link.send(pieces, true, 1ms);
        for (const auto& expected : frames) {
            std::vector<char> buffer(4096);
            unsigned count = 0;
            ASSERT_EQ(ktuSocketUtils::readMessageFromSocket(&link.reader, 20, 29, buffer.data(), 4096, &count), 1);
            EXPECT_EQ(std::string(buffer.data(), count), expected);
        }
        EXPECT_EQ(link.drainReader(), "");
    }
    EXPECT_TRUE(ktu::test::logTexts(sb.native("logs/output.log")).empty());
}

// More recv calls than the record holds: the list line stays within its
// 255 characters and ends with a whole entry.
TEST(FramedReadDiagnostics, RecvListIsBounded)
{
    ktu::test::openGate();
    ktu::test::Sandbox sb;
    ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
    Connection link(Transport::Tcp);
    ASSERT_TRUE(link.ok());
    std::string frame = withByte(ktu::test::buildFrame(std::string(100, 'z')), 0, 'x');  // 150 bytes
    link.send(bytewise(frame), true, 1ms);
    std::vector<char> buffer(256);
    unsigned count = 0;
    ASSERT_EQ(ktuSocketUtils::readMessageFromSocket(&link.reader, 20, 29, buffer.data(), 256, &count), 1);
    EXPECT_EQ(count, 150u);
    auto lines = ktu::test::logTexts(sb.native("logs/output.log"));
    ASSERT_EQ(lines.size(), 3u);
    const std::string list = lines[2].substr(std::strlen("KSUtilityClasses-"));
    EXPECT_LE(list.size(), 255u);
    EXPECT_EQ(list.rfind("7 - ", 0), 0u);
    EXPECT_TRUE(list.back() >= '0' && list.back() <= '9');
    EXPECT_GT(list.size(), 200u);  // the list was filled, not dropped
}

}  // namespace
