// The network records and the peer description: defaults, copies and the
// peer's port window.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

// The records as the applications lay them out: runs of like fields in
// declaration order, each field at its natural alignment. The checks below
// find every field through these tables, not through the header's names.
struct Kind {
    std::size_t size, align;
    bool text;
    int32_t initial;  // what initialisation writes into a value
};
// A double's place in a record: 8-byte aligned on Windows and x86-64, 4 on
// 32-bit Linux (its ABI), where the applications' records align it so too.
struct DoubleAfterByte {
    char c;
    double d;
};
constexpr Kind T32{32, 1, true, 0}, T{256, 1, true, 0}, V{4, 4, false, 0}, Tag{4, 4, false, 36}, B{1, 1, false, 0},
    D{8, offsetof(DoubleAfterByte, d), false, 0}, L{400, 4, false, 0};
struct Run {
    Kind kind;
    int count;
};
const std::vector<Run> kEventRuns = {{T32, 1}, {V, 3},  {B, 1}, {T, 2}, {V, 1}, {T, 3}, {V, 15},
                                     {D, 3},   {V, 1},  {B, 1}, {T, 1}, {B, 5}, {V, 5}, {D, 5},
                                     {T, 5},   {Tag, 1}, {T, 2}, {L, 1}, {L, 1}, {V, 1}};
const std::vector<Run> kObjectRuns = {{T32, 1}, {V, 19}, {B, 3}, {T, 1}, {V, 2},  {B, 1}, {V, 1}, {B, 5},
                                      {V, 5},   {D, 5},  {T, 10}, {V, 7}, {L, 1}, {L, 1}, {V, 1}};

struct Field {
    std::size_t offset;
    Kind kind;
};

std::vector<Field> layout(const std::vector<Run>& runs, std::size_t& total)
{
    std::vector<Field> fields;
    std::size_t at = 0;
    for (const Run& run : runs) {
        for (int i = 0; i < run.count; ++i) {
            at = (at + run.kind.align - 1) / run.kind.align * run.kind.align;
            fields.push_back({at, run.kind});
            at += run.kind.size;
        }
    }
    total = (at + D.align - 1) / D.align * D.align;  // the records' widest alignment is a double's
    return fields;
}

// Initialisation, field-by-field copy and assignment, checked byte by byte
// over the whole record: every field, every text's tail, every gap.
template <class R>
void checkRecord(const std::vector<Run>& runs, void (*init)(R*), void (*copy)(R*, const R*))
{
    std::size_t total = 0;
    const std::vector<Field> fields = layout(runs, total);
    ASSERT_EQ(total, sizeof(R));
    ktu::test::openGate();
    auto rec = std::make_unique<R>(), src = std::make_unique<R>(), dst = std::make_unique<R>();
    auto* r = reinterpret_cast<unsigned char*>(rec.get());
    auto* s = reinterpret_cast<unsigned char*>(src.get());
    auto* d = reinterpret_cast<unsigned char*>(dst.get());
    auto firstDifference = [](const unsigned char* got, const std::vector<unsigned char>& want) {
        return static_cast<std::size_t>(std::mismatch(want.begin(), want.end(), got).first - want.begin());
    };

    // Defaults: "NA" and its NUL at the head of each text, the values'
    // initial values; text tails and gaps keep their bytes.
    std::memset(r, 0xCD, sizeof(R));
    init(rec.get());
    std::vector<unsigned char> want(sizeof(R), 0xCD);
    for (const Field& f : fields) {
        if (f.kind.text) {
            std::memcpy(&want[f.offset], "NA", 3);
        } else {
            std::memset(&want[f.offset], 0, f.kind.size);
            std::memcpy(&want[f.offset], &f.kind.initial, std::min<std::size_t>(f.kind.size, 4));
        }
    }
    EXPECT_EQ(firstDifference(r, want), sizeof(R));

    // A source whose fields all differ: short texts over a tail of 'S' (the
    // first 256-byte text fills its array with no NUL and is cut within its
    // field), and values numbered by field and byte. The copy takes
    // texts up to their NUL; the destination's tails and gaps stay 'x'.
    std::memset(s, 0xCD, sizeof(R));
    std::memset(d, 'x', sizeof(R));
    want.assign(sizeof(R), 'x');
    bool cut = false;
    for (std::size_t n = 0; n < fields.size(); ++n) {
        const Field& f = fields[n];
        unsigned char* at = s + f.offset;
        if (f.kind.text) {
            std::memset(at, 'S', f.kind.size);
            std::string text = "t" + std::to_string(n);
            if (!cut && f.kind.size == 256) {
                cut = true;
                text.assign(255, 'S');
            } else {
                std::memcpy(at, text.c_str(), text.size() + 1);
            }
            std::memcpy(&want[f.offset], text.c_str(), text.size() + 1);
            continue;
        }
        const std::size_t step = std::min<std::size_t>(f.kind.align, 4);
        for (std::size_t i = 0; i < f.kind.size; i += step) {
            const int32_t value = static_cast<int32_t>(n * 1000 + i + 1);
            std::memcpy(at + i, &value, step);
        }
        std::memcpy(&want[f.offset], at, f.kind.size);
    }
    copy(dst.get(), src.get());
    EXPECT_EQ(firstDifference(d, want), sizeof(R));

    *dst = *src;
    EXPECT_EQ(std::memcmp(d, s, sizeof(R)), 0);  // assignment copies every byte, gaps too

    init(nullptr);  // ignored
    copy(dst.get(), nullptr);
    copy(nullptr, src.get());
}

TEST(NetworkRecords, DefaultsCopyAndAssignment)
{
    checkRecord<iKSNetworkEventData>(kEventRuns, &ktuKSNetworkInitInfo::initNetworkEventData,
                                     &ktuKSNetworkInitInfo::copyNetworkEventData);
    checkRecord<iKSNetworkObjectData>(kObjectRuns, &ktuKSNetworkInitInfo::initNetworkObjectData,
                                      &ktuKSNetworkInitInfo::copyNetworkObjectData);
}

ktuKSNetworkInitInfo peer(unsigned char a, unsigned char b, unsigned char c, unsigned char d, uint32_t port)
{
    ktuKSNetworkInitInfo info;
    const unsigned char ip[4] = {a, b, c, d};
    std::memcpy(info.ipAddress, ip, 4);
    info.portNumber = port;
    return info;
}

// The peer description: its defaults, all four fields in both copies, and
// the comparison within the port window.
TEST(NetworkInitInfo, DefaultsCopiesAndPortWindow)
{
    ktuKSNetworkInitInfo fresh, source = peer(10, 20, 30, 40, 0xFFFFFFF0u);
    EXPECT_EQ(std::vector<int>(fresh.ipAddress, fresh.ipAddress + 4), std::vector<int>(4, 0));
    EXPECT_EQ(fresh.portNumber, 0u);
    EXPECT_EQ(std::vector<int32_t>(fresh.extraValues, fresh.extraValues + 13), std::vector<int32_t>(13, 0));
    EXPECT_EQ(fresh.doubleValue, 9.0);

    for (int i = 0; i < 13; ++i) {
        source.extraValues[i] = -100 - i;
    }
    source.doubleValue = -2.5;
    ktuKSNetworkInitInfo copied(source), assigned;
    EXPECT_EQ(&(assigned = source), &assigned);
    for (const ktuKSNetworkInitInfo* x : {&copied, &assigned}) {
        EXPECT_EQ(std::memcmp(x->ipAddress, source.ipAddress, sizeof source.ipAddress), 0);
        EXPECT_EQ(x->portNumber, 0xFFFFFFF0u);
        EXPECT_EQ(std::memcmp(x->extraValues, source.extraValues, sizeof source.extraValues), 0);
        EXPECT_EQ(x->doubleValue, -2.5);
    }

    struct Row {
        ktuKSNetworkInitInfo left, right;
        bool equal;
    } rows[] = {
        {peer(10, 0, 0, 5, 1000), peer(10, 0, 0, 5, 1000), true},
        {peer(10, 0, 0, 5, 1005), peer(10, 0, 0, 5, 1000), true},
        {peer(10, 0, 0, 5, 1006), peer(10, 0, 0, 5, 1000), false},
        {peer(10, 0, 0, 5, 1000), peer(10, 0, 0, 5, 1001), false},  // not symmetric
        {peer(10, 0, 0, 6, 1000), peer(10, 0, 0, 5, 1000), false},
        {peer(127, 0, 0, 1, 1003), peer(192, 168, 1, 9, 1000), true},  // loopback on the left
        {peer(192, 168, 1, 9, 1003), peer(127, 0, 0, 1, 1000), false},
        {peer(127, 0, 0, 1, 994), peer(192, 168, 1, 9, 1000), false},
        {peer(1, 2, 3, 4, 0xFFFFFFFFu), peer(1, 2, 3, 4, 0xFFFFFFFEu), false},  // the window's top wraps in 32 bits
    };
    for (Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.left.portNumber) + " vs " + std::to_string(row.right.portNumber));
        EXPECT_EQ(row.left == row.right, row.equal);
    }
}

}  // namespace
