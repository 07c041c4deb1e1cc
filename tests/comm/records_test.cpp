// The network records: defaults, field-by-field copies, whole-record
// assignment, and the peer description's defaults, copies and port window.
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
// find every field through this table, not through the header's names.
enum class Kind { Text32, Text, Value, Tag, Byte, Double, List };
struct Run {
    Kind kind;
    int count;
};
struct Field {
    std::size_t offset, size;
    Kind kind;
};

std::size_t sizeOf(Kind k)
{
    switch (k) {
    case Kind::Text32: return 32;
    case Kind::Text: return 256;
    case Kind::Value: case Kind::Tag: return 4;
    case Kind::Byte: return 1;
    case Kind::Double: return 8;
    case Kind::List: return 400;
    }
    return 0;
}

std::size_t alignOf(Kind k)
{
    return k == Kind::Double ? 8 : (k == Kind::Value || k == Kind::Tag || k == Kind::List) ? 4 : 1;
}

std::vector<Field> layout(const std::vector<Run>& runs, std::size_t& total)
{
    std::vector<Field> fields;
    std::size_t at = 0;
    for (const Run& run : runs) {
        for (int i = 0; i < run.count; ++i) {
            at = (at + alignOf(run.kind) - 1) / alignOf(run.kind) * alignOf(run.kind);
            fields.push_back({at, sizeOf(run.kind), run.kind});
            at += sizeOf(run.kind);
        }
    }
    total = (at + 7) / 8 * 8;
    return fields;
}

const std::vector<Run> kEventRuns = {
    {Kind::Text32, 1}, {Kind::Value, 3}, {Kind::Byte, 1},  {Kind::Text, 2},  {Kind::Value, 1},
    {Kind::Text, 3},   {Kind::Value, 15}, {Kind::Double, 3}, {Kind::Value, 1}, {Kind::Byte, 1},
    {Kind::Text, 1},   {Kind::Byte, 5},  {Kind::Value, 5},  {Kind::Double, 5}, {Kind::Text, 5},
    {Kind::Tag, 1},    {Kind::Text, 2},  {Kind::List, 1},   {Kind::List, 1},  {Kind::Value, 1}};
const std::vector<Run> kObjectRuns = {
    {Kind::Text32, 1}, {Kind::Value, 19}, {Kind::Byte, 3},   {Kind::Text, 1},  {Kind::Value, 2},
    {Kind::Byte, 1},   {Kind::Value, 1},  {Kind::Byte, 5},   {Kind::Value, 5}, {Kind::Double, 5},
    {Kind::Text, 10},  {Kind::Value, 7},  {Kind::List, 1},   {Kind::List, 1},  {Kind::Value, 1}};

bool isText(Kind k) { return k == Kind::Text32 || k == Kind::Text; }

// The bytes a field reads after its record's initialisation; texts give
// only "NA" and its NUL (the rest is checked to be untouched).
std::vector<unsigned char> defaultOf(const Field& f)
{
    if (isText(f.kind)) {
        return {'N', 'A', 0};
    }
    std::vector<unsigned char> bytes(f.size, 0);
    if (f.kind == Kind::Tag) {
        const int32_t tag = 36;
        std::memcpy(bytes.data(), &tag, 4);
    }
    return bytes;
}

// A source whose fields differ from each other and from their defaults:
// short texts over a tail of 'S' (one text fills its array with no NUL),
// counting values and list entries, doubles n + 0.25, gaps 0xCD.
template <class R>
void fillSource(R& r, const std::vector<Field>& fields, std::size_t unterminated)
{
    auto* p = reinterpret_cast<unsigned char*>(&r);
    std::memset(p, 0xCD, sizeof r);
    for (std::size_t n = 0; n < fields.size(); ++n) {
        const Field& f = fields[n];
        if (isText(f.kind)) {
            std::memset(p + f.offset, 'S', f.size);
            if (n != unterminated) {
                std::string text = "t" + std::to_string(n);
                std::memcpy(p + f.offset, text.c_str(), text.size() + 1);
            }
        } else if (f.kind == Kind::Double) {
            double d = static_cast<double>(n) + 0.25;
            std::memcpy(p + f.offset, &d, 8);
        } else {
            for (std::size_t i = 0; i < f.size; i += f.kind == Kind::Byte ? 1 : 4) {
                int32_t v = static_cast<int32_t>(n * 1000 + i + 1);
                std::memcpy(p + f.offset + i, &v, f.kind == Kind::Byte ? 1 : 4);
            }
        }
    }
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

    // Expected bytes: `base` everywhere, then each field's own.
    auto expectBytes = [&](const unsigned char* got, unsigned char base, auto fieldBytes) {
        std::vector<unsigned char> want(sizeof(R), base);
        for (std::size_t n = 0; n < fields.size(); ++n) {
            std::vector<unsigned char> bytes = fieldBytes(n);
            std::memcpy(want.data() + fields[n].offset, bytes.data(), bytes.size());
        }
        for (std::size_t i = 0; i < sizeof(R); ++i) {
            ASSERT_EQ(got[i], want[i]) << "byte " << i;
        }
    };

    std::memset(r, 0xCD, sizeof(R));
    init(rec.get());
    expectBytes(r, 0xCD, [&](std::size_t n) { return defaultOf(fields[n]); });

    std::size_t unterminated = 0;
    while (!isText(fields[unterminated].kind) || fields[unterminated].kind == Kind::Text32) {
        ++unterminated;  // the first 256-byte text
    }
    fillSource(*src, fields, unterminated);
    std::memset(d, 'x', sizeof(R));
    copy(dst.get(), src.get());
    expectBytes(d, 'x', [&](std::size_t n) {
        const Field& f = fields[n];
        const unsigned char* from = s + f.offset;
        if (!isText(f.kind)) {
            return std::vector<unsigned char>(from, from + f.size);
        }
        std::size_t len = n == unterminated ? f.size - 1 : std::strlen(reinterpret_cast<const char*>(from));
        std::vector<unsigned char> bytes(from, from + len);
        bytes.push_back(0);  // a text without a NUL is cut within its field
        return bytes;
    });

    *dst = *src;
    EXPECT_EQ(std::memcmp(d, s, sizeof(R)), 0);  // assignment copies every byte, gaps too

    init(nullptr);  // ignored
    copy(dst.get(), nullptr);
    copy(nullptr, src.get());
}

TEST(NetworkRecords, EventRecordDefaultsCopyAndAssignment)
{
    checkRecord<iKSNetworkEventData>(kEventRuns, &ktuKSNetworkInitInfo::initNetworkEventData,
                                     &ktuKSNetworkInitInfo::copyNetworkEventData);
}

TEST(NetworkRecords, ObjectRecordDefaultsCopyAndAssignment)
{
    checkRecord<iKSNetworkObjectData>(kObjectRuns, &ktuKSNetworkInitInfo::initNetworkObjectData,
                                      &ktuKSNetworkInitInfo::copyNetworkObjectData);
}

// The peer description: its defaults, and all four fields in both copies.
TEST(NetworkInitInfo, DefaultsAndCopies)
{
    ktuKSNetworkInitInfo fresh;
    EXPECT_EQ(std::vector<int>(fresh.ipAddress, fresh.ipAddress + 4), std::vector<int>(4, 0));
    EXPECT_EQ(fresh.portNumber, 0u);
    EXPECT_EQ(std::vector<int32_t>(fresh.extraValues, fresh.extraValues + 13), std::vector<int32_t>(13, 0));
    EXPECT_EQ(fresh.doubleValue, 9.0);

    ktuKSNetworkInitInfo source;
    const unsigned char ip[4] = {10, 20, 30, 40};
    std::memcpy(source.ipAddress, ip, 4);
    source.portNumber = 0xFFFFFFF0u;
    for (int i = 0; i < 13; ++i) {
        source.extraValues[i] = -100 - i;
    }
    source.doubleValue = -2.5;
    ktuKSNetworkInitInfo copied(source), assigned;
    EXPECT_EQ(&(assigned = source), &assigned);
    for (const ktuKSNetworkInitInfo* x : {&copied, &assigned}) {
        EXPECT_EQ(std::memcmp(x->ipAddress, ip, 4), 0);
        EXPECT_EQ(x->portNumber, 0xFFFFFFF0u);
        EXPECT_EQ(std::memcmp(x->extraValues, source.extraValues, sizeof source.extraValues), 0);
        EXPECT_EQ(x->doubleValue, -2.5);
    }
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
        EXPECT_EQ(row.left == row.right, row.equal);
    }
}

}  // namespace
