// The network records: defaults, field-by-field copies, whole-record
// assignment, and the peer description's copies and port window.
#include <cstring>
#include <memory>
#include <string>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

// Every byte in [from, to) of the object at `p` holds `byte`.
bool span(const void* p, std::size_t from, std::size_t to, unsigned char byte)
{
    for (std::size_t i = from; i < to; ++i) {
        if (static_cast<const unsigned char*>(p)[i] != byte) {
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

// The alignment gap after the source texts.
constexpr std::size_t kGapFrom = offsetof(iKSNetworkEventData, sourceTexts) + 512;
constexpr std::size_t kGapTo = offsetof(iKSNetworkEventData, sourceValue);

// Defaults go into each field's own bytes: "NA" at the head of every text
// (its tail and the alignment gaps keep their bytes), 36 in the tag, 0 in
// every value, flag, double and list entry. The copy takes texts up to their
// NUL (a text without one is cut within its field) and leaves the
// destination's tails and gaps; assignment copies every byte.
TEST(NetworkRecords, DefaultsAndCopiesTouchOnlyTheFieldsOwnBytes)
{
    ktu::test::openGate();
    auto e = std::make_unique<iKSNetworkEventData>(), dst = std::make_unique<iKSNetworkEventData>();
    std::memset(static_cast<void*>(e.get()), 0xCD, sizeof *e);
    ktuKSNetworkInitInfo::initNetworkEventData(e.get());
    EXPECT_TRUE(isNAOver(e->eventId, 0xCD));
    for (auto& t : e->detailTexts) EXPECT_TRUE(isNAOver(t, 0xCD));
    for (auto& t : e->tailTexts) EXPECT_TRUE(isNAOver(t, 0xCD));
    EXPECT_EQ(e->recordTag, 36);
    EXPECT_TRUE(e->measureFlag == 0 && e->listValue == 0 && span(e->extraFlags, 0, 5, 0));
    EXPECT_TRUE(span(e->measures, 0, sizeof e->measures, 0) && span(e->secondList, 0, sizeof e->secondList, 0));
    EXPECT_TRUE(span(e.get(), kGapFrom, kGapTo, 0xCD));

    std::strcpy(e->eventId, "cam-7");
    std::strcpy(e->tailTexts[1], "last");
    e->measures[2] = 2.5;
    e->secondList[99] = -4;
    e->listValue = 77;
    std::memset(static_cast<void*>(dst.get()), 'x', sizeof *dst);
    ktuKSNetworkInitInfo::copyNetworkEventData(dst.get(), e.get());
    EXPECT_STREQ(dst->eventId, "cam-7");
    EXPECT_TRUE(span(dst->eventId, 6, 32, 'x'));
    EXPECT_STREQ(dst->tailTexts[1], "last");
    EXPECT_TRUE(span(dst->tailTexts[1], 5, 256, 'x'));
    EXPECT_TRUE(dst->recordTag == 36 && dst->measures[2] == 2.5 && dst->secondList[99] == -4 && dst->listValue == 77);
    EXPECT_TRUE(span(dst.get(), kGapFrom, kGapTo, 'x'));
    *dst = *e;
    EXPECT_EQ(std::memcmp(dst.get(), e.get(), sizeof *e), 0);

    auto o = std::make_unique<iKSNetworkObjectData>(), odst = std::make_unique<iKSNetworkObjectData>();
    std::memset(static_cast<void*>(o.get()), 0xCD, sizeof *o);
    ktuKSNetworkInitInfo::initNetworkObjectData(o.get());
    EXPECT_TRUE(isNAOver(o->labelText, 0xCD));
    for (auto& t : o->extraTexts) EXPECT_TRUE(isNAOver(t, 0xCD));
    EXPECT_TRUE(o->listValue == 0 && span(o->objectFlags, 0, 3, 0));
    EXPECT_TRUE(span(o->extraDoubles, 0, sizeof o->extraDoubles, 0) && span(o->firstList, 0, sizeof o->firstList, 0));

    std::memset(o->objectId, 'A', sizeof o->objectId);
    std::memset(o->extraTexts[9], 'B', sizeof o->extraTexts[9]);
    o->tailValues[0] = 0;
    std::memset(static_cast<void*>(odst.get()), 'x', sizeof *odst);
    ktuKSNetworkInitInfo::copyNetworkObjectData(odst.get(), o.get());
    EXPECT_EQ(std::string(odst->objectId), std::string(31, 'A'));
    EXPECT_EQ(std::string(odst->extraTexts[9]), std::string(255, 'B'));
    EXPECT_EQ(odst->tailValues[0], 0);  // the next field is the source's, not the text's overrun

    ktuKSNetworkInitInfo::initNetworkEventData(nullptr);  // ignored
    ktuKSNetworkInitInfo::copyNetworkObjectData(o.get(), nullptr);
}

ktuKSNetworkInitInfo peer(unsigned char a, unsigned char b, unsigned char c, unsigned char d, uint32_t port)
{
    ktuKSNetworkInitInfo info;
    const unsigned char ip[4] = {a, b, c, d};
    std::memcpy(info.ipAddress, ip, 4);
    info.portNumber = port;
    return info;
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
        row.left.extraValues[12] = 5;
        ktuKSNetworkInitInfo copy(row.left), assigned;
        assigned = row.left;
        for (ktuKSNetworkInitInfo* x : {&row.left, &copy, &assigned}) {
            EXPECT_EQ(*x == row.right, row.equal);
            EXPECT_TRUE(x->doubleValue == 1 && x->extraValues[12] == 5);  // copies take every field
        }
    }
}

}  // namespace
