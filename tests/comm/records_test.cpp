// The network records: defaults, field-by-field copies, whole-record
// assignment, and the peer description's port window.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

template <class T>
void fill(T& record, unsigned char byte)
{
    std::memset(static_cast<void*>(&record), byte, sizeof record);
}

template <class T>
const unsigned char* bytes(const T& record)
{
    return reinterpret_cast<const unsigned char*>(&record);
}

// Every byte of `record` in [from, to) holds `byte`.
template <class T>
bool span(const T& record, std::size_t from, std::size_t to, unsigned char byte)
{
    for (std::size_t i = from; i < to; ++i) {
        if (bytes(record)[i] != byte) {
            return false;
        }
    }
    return true;
}

template <std::size_t N>
bool isNAOver(const char (&text)[N], unsigned char old)
{
    return std::memcmp(text, "NA", 3) == 0 && span(text, 3, N, old);
}

// Defaults go into each field's own bytes: "NA" at the head of every text
// (its tail and the alignment gaps keep their bytes), 36 in the tag, 0 in
// every value, flag, double and list entry.
TEST(NetworkRecords, DefaultsTouchOnlyTheFieldsOwnBytes)
{
    ktu::test::openGate();
    auto e = std::make_unique<iKSNetworkEventData>();
    fill(*e, 0xCD);
    ktuKSNetworkInitInfo::initNetworkEventData(e.get());
    EXPECT_TRUE(isNAOver(e->eventId, 0xCD));
    for (auto& t : e->detailTexts) EXPECT_TRUE(isNAOver(t, 0xCD));
    for (auto& t : e->tailTexts) EXPECT_TRUE(isNAOver(t, 0xCD));
    EXPECT_EQ(e->recordTag, 36);
    EXPECT_EQ(e->measureFlag, 0);
    EXPECT_TRUE(span(e->measures, 0, sizeof e->measures, 0));
    EXPECT_TRUE(span(e->extraFlags, 0, 5, 0));
    EXPECT_TRUE(span(e->secondList, 0, sizeof e->secondList, 0));
    EXPECT_EQ(e->listValue, 0);
    EXPECT_TRUE(span(*e, offsetof(iKSNetworkEventData, sourceTexts) + 512, offsetof(iKSNetworkEventData, sourceValue),
                     0xCD));

    auto o = std::make_unique<iKSNetworkObjectData>();
    fill(*o, 0xCD);
    ktuKSNetworkInitInfo::initNetworkObjectData(o.get());
    EXPECT_TRUE(isNAOver(o->labelText, 0xCD));
    for (auto& t : o->extraTexts) EXPECT_TRUE(isNAOver(t, 0xCD));
    EXPECT_TRUE(span(o->objectFlags, 0, 3, 0));
    EXPECT_TRUE(span(o->extraDoubles, 0, sizeof o->extraDoubles, 0));
    EXPECT_TRUE(span(o->firstList, 0, sizeof o->firstList, 0));
    EXPECT_EQ(o->listValue, 0);

    ktuKSNetworkInitInfo::initNetworkEventData(nullptr);  // ignored
    ktuKSNetworkInitInfo::copyNetworkObjectData(o.get(), nullptr);
}

// The copy takes texts up to their NUL and leaves the destination's tails;
// assignment copies every byte.
TEST(NetworkRecords, CopyKeepsTextTailsAssignmentDoesNot)
{
    ktu::test::openGate();
    auto src = std::make_unique<iKSNetworkEventData>();
    auto dst = std::make_unique<iKSNetworkEventData>();
    fill(*src, 0x11);
    ktuKSNetworkInitInfo::initNetworkEventData(src.get());
    std::strcpy(src->eventId, "cam-7");
    std::strcpy(src->tailTexts[1], "last");
    src->measures[2] = 2.5;
    src->secondList[99] = -4;
    src->listValue = 77;
    fill(*dst, 'x');

    ktuKSNetworkInitInfo::copyNetworkEventData(dst.get(), src.get());
    EXPECT_STREQ(dst->eventId, "cam-7");
    EXPECT_TRUE(span(dst->eventId, 6, 32, 'x'));
    EXPECT_STREQ(dst->tailTexts[1], "last");
    EXPECT_TRUE(span(dst->tailTexts[1], 5, 256, 'x'));
    EXPECT_EQ(dst->recordTag, 36);
    EXPECT_EQ(dst->measures[2], 2.5);
    EXPECT_EQ(dst->secondList[99], -4);
    EXPECT_EQ(dst->listValue, 77);
    EXPECT_TRUE(span(*dst, offsetof(iKSNetworkEventData, sourceTexts) + 512, offsetof(iKSNetworkEventData, sourceValue),
                     'x'));  // alignment gaps are not copied

    *dst = *src;
    EXPECT_EQ(std::memcmp(dst.get(), src.get(), sizeof *src), 0);

    iKSNetworkCallBackDetails a{}, b{};
    a.callBackId = 3;
    a.callBackValue = -9;
    b = a;
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
}

TEST(NetworkRecords, TextWithoutNulIsCutWithinItsField)
{
    ktu::test::openGate();
    auto src = std::make_unique<iKSNetworkObjectData>();
    auto dst = std::make_unique<iKSNetworkObjectData>();
    ktuKSNetworkInitInfo::initNetworkObjectData(src.get());
    std::memset(src->objectId, 'A', sizeof src->objectId);
    std::memset(src->extraTexts[9], 'B', sizeof src->extraTexts[9]);
    fill(*dst, 'x');
    ktuKSNetworkInitInfo::copyNetworkObjectData(dst.get(), src.get());
    EXPECT_EQ(std::string(dst->objectId), std::string(31, 'A'));
    EXPECT_EQ(std::string(dst->extraTexts[9]), std::string(255, 'B'));
    EXPECT_EQ(dst->tailValues[0], 0);  // the next field is the source's, not the text's overrun
}

ktuKSNetworkInitInfo peer(unsigned char a, unsigned char b, unsigned char c, unsigned char d, uint32_t port)
{
    ktuKSNetworkInitInfo info;
    info.ipAddress[0] = a;
    info.ipAddress[1] = b;
    info.ipAddress[2] = c;
    info.ipAddress[3] = d;
    info.portNumber = port;
    return info;
}

TEST(NetworkInitInfo, DefaultsAndCopies)
{
    ktuKSNetworkInitInfo info;
    EXPECT_EQ(std::vector<int>(info.ipAddress, info.ipAddress + 4), std::vector<int>({0, 0, 0, 0}));
    EXPECT_EQ(info.portNumber, 0u);
    EXPECT_EQ(info.doubleValue, 9.0);
    for (int v : info.extraValues) EXPECT_EQ(v, 0);

    ktuKSNetworkInitInfo a = peer(10, 1, 2, 3, 4000);
    a.extraValues[12] = 5;
    a.doubleValue = -1.5;
    ktuKSNetworkInitInfo b(a), c;
    c = a;
    for (const ktuKSNetworkInitInfo* x : {&b, &c}) {
        EXPECT_EQ(std::memcmp(x->ipAddress, a.ipAddress, 4), 0);
        EXPECT_EQ(x->portNumber, 4000u);
        EXPECT_EQ(x->extraValues[12], 5);
        EXPECT_EQ(x->doubleValue, -1.5);
    }
}

TEST(NetworkInitInfo, PortWindowComparison)
{
    struct Row {
        ktuKSNetworkInitInfo left, right;
        bool equal;
    } rows[] = {
        {peer(10, 0, 0, 5, 1000), peer(10, 0, 0, 5, 1000), true},
        {peer(10, 0, 0, 5, 1005), peer(10, 0, 0, 5, 1000), true},
        {peer(10, 0, 0, 5, 1006), peer(10, 0, 0, 5, 1000), false},
        {peer(10, 0, 0, 5, 999), peer(10, 0, 0, 5, 1000), false},
        {peer(10, 0, 0, 5, 1000), peer(10, 0, 0, 5, 1003), false},  // not symmetric
        {peer(10, 0, 0, 6, 1000), peer(10, 0, 0, 5, 1000), false},
        {peer(127, 0, 0, 1, 1003), peer(192, 168, 1, 9, 1000), true},  // loopback on the left
        {peer(192, 168, 1, 9, 1003), peer(127, 0, 0, 1, 1000), false},
        {peer(127, 0, 0, 1, 994), peer(192, 168, 1, 9, 1000), false},
        // The window's top is formed in 32 bits: it wraps past 0xFFFFFFFF.
        {peer(1, 2, 3, 4, 0xFFFFFFFFu), peer(1, 2, 3, 4, 0xFFFFFFFEu), false},
        {peer(1, 2, 3, 4, 0xFFFFFFFAu), peer(1, 2, 3, 4, 0xFFFFFFFAu), true},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.left.portNumber) + " vs " + std::to_string(row.right.portNumber));
        row.left.doubleValue = 1;  // takes no part
        EXPECT_EQ(row.left == row.right, row.equal);
    }
}

}  // namespace
