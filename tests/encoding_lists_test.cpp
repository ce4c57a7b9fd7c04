// The list encodings: exact wire fields of every record kind; random lists of
// every kind round-trip with written size == computed size; every truncation
// of a valid encoding and every bad count reads safely, without allocating
// for counts the bytes cannot hold.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "ListKindCodecs.h"
#include "messages/ListCodec.h"
#include "messages/ListEncoding.h"
#include "messages/ListEncodingBO.h"
#include "support/EncodingTestUtil.h"

// Counts the bytes this program allocates, to check that a huge count in the
// input does not turn into a huge allocation.
namespace {
std::atomic<unsigned long> gAllocatedBytes{0};
}

void* operator new(std::size_t n) {
    gAllocatedBytes.fetch_add(n, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
// The replaced operators pair malloc with free; once GCC inlines them it
// takes the pair for a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

using listcodec::Codec;

// Writes a list into a buffer of its computed size plus slack that must stay
// untouched; the written bytes.
template <class List>
Bytes encode(const Codec<List>& codec, const List& list) {
    const unsigned long computed = codec.size(list);
    Bytes buffer(computed + 16, 0xEE);
    unsigned long cursor = 0;
    codec.write(list, buffer.data(), &cursor);
    EXPECT_EQ(cursor + codec.slackPerElement * list.size(), computed) << codec.name;
    for (unsigned long i = computed; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xEE) << i;
    buffer.resize(cursor);
    return buffer;
}

// The wire text of a list, through the codec of its kind.
template <class List>
std::wstring wire(const List& list) {
    std::wstring text;
    listcodec::forEachListKind([&](unsigned, const auto& codec) {
        if constexpr (std::is_same<typename std::decay_t<decltype(codec)>::ListType, List>::value)
            text = payloadText(encode(codec, list));
    });
    return text;
}

// Records are written member by member in declaration order; the wire order
// differs where a number or a nested list moves.
TEST(ListEncoding, EveryRecordKindsWireOrder) {
    const XQRfcFieldDesc rfc{1, 2, 3, 4, 5, L"a", L"b", 6};
    const XQBOBapi bapi{{}, L"D", L"E", L"F", 7, L"G", L"H", L"I"};
    const struct {
        const char* kind;
        std::wstring wire;
        std::vector<std::wstring> fields;
    } cases[] = {
        {"empty", wire(XQColAttrDataList()), {L"0"}},
        {"primary key",
         wire(XQPrimaryKeyDataList{{L"a", L"b", L"c", L"d", L"e", L"f", L"g", -8, L"h"}}),
         {L"1", L"a", L"b", L"c", L"d", L"e", L"f", L"g", L"-8", L"h"}},
        {"foreign key",
         wire(XQForeignKeyDataList{{L"T1", L"T2", L"T3", L"T4", L"T5", L"T6", L"T7", L"T8", L"T9",
                                    L"T10", L"T11", L"T12", L"T13", L"T14", 99, L"T15", L"T16",
                                    L"T17", L"T18"}}),
         {L"1",   L"T1",  L"T2",  L"T3",  L"T4",  L"T5", L"T6",  L"T7",  L"T8",  L"T9",
          L"T10", L"T11", L"T12", L"T13", L"T14", L"99", L"T15", L"T16", L"T17", L"T18"}},
        {"attribute: Number2 moves",
         wire(XQAttributeDataList{{L"t1", L"t2", L"t3", 1, 2, 3, 4, 5, 6, L"t4", 7}}),
         {L"1", L"t1", L"t2", L"t3", L"1", L"3", L"4", L"5", L"2", L"6", L"t4", L"7"}},
        {"table",
         wire(XQTableNameDataList{{L"a", L"b", L"c", L"d", 5, L"e"}}),
         {L"1", L"a", L"b", L"c", L"d", L"5", L"e"}},
        {"DP table",
         wire(XQDPTableNameDataList{{L"a", L"b", 1, L"c", L"d", L"e", 2, L"f", L"g", L"h"}}),
         {L"1", L"a", L"b", L"1", L"c", L"d", L"e", L"2", L"f", L"g", L"h"}},
        {"column attributes",
         wire(XQColAttrDataList{{L"col", 12, -3}, {L"col", 12, -3}}),
         {L"2", L"col", L"12", L"-3", L"col", L"12", L"-3"}},
        {"configuration",
         wire(XQCfgParmList{{L"a", L"b", L"c", L"d", 4}}),
         {L"1", L"a", L"b", L"c", L"d", L"4"}},
        {"LPZ", wire(XQLPZDataList{{L"imp", 1, 2, L"x"}}), {L"1", L"imp", L"1", L"2", L"x"}},
        {"RFC field",
         wire(XQRfcFieldDescList{rfc}),
         {L"1", L"1", L"2", L"3", L"4", L"5", L"a", L"b", L"6"}},
        // Nested lists are written in place, after the record's own fields.
        {"RFC structure",
         wire(XQRfcStElemDescList{{{rfc}, L"s1", L"s2"}}),
         {L"1", L"s1", L"s2", L"1", L"1", L"2", L"3", L"4", L"5", L"a", L"b", L"6"}},
        {"BAPI parameter",
         wire(XQBapiParamList{
             {{}, {XQRfcStElemDesc()}, L"a", L"b", L"c", 1, 2, 3, 4, L"d", L"e", L"f", L"g"}}),
         {L"1", L"a", L"b", L"c", L"1", L"2", L"3", L"4", L"d", L"e", L"f", L"g", L"0", L"1", L"",
          L"", L"0"}},
        {"BO BAPI",
         wire(XQBOBapiList{{{XQBapiParam()}, L"a", L"b", L"c", 1, L"d", L"e", L"f"}}),
         {L"1", L"a", L"b", L"c", L"1", L"d", L"e", L"f", L"1", L"",  L"",
          L"",  L"0", L"0", L"0", L"0", L"",  L"",  L"",  L"",  L"0", L"0"}},
        {"BO node",
         wire(XQBONodeList{{{}, {bapi}, L"A", L"B", L"C"}}),
         {L"1", L"A", L"B", L"C", L"0", L"1", L"D", L"E", L"F", L"7", L"G", L"H", L"I", L"0"}},
        {"BO name",
         wire(XQBONameList{{{L"X", L"Y"}, L"A", L"B"}}),
         {L"1", L"A", L"B", L"2", L"X", L"Y"}},
        {"result set: column count, then row by row",
         wire(XQResultSetDataList{{L"a", L"b", L"c"}, {L"d", L"", L"\u00e9f"}}),
         {L"3", L"a", L"b", L"c", L"d", L"", L"\u00e9f"}},
        {"ragged rows: the first row's width",
         wire(XQResultSetDataList{{L"a", L"b"}, {L"c"}, {L"d", L"e", L"extra"}}),
         {L"2", L"a", L"b", L"c", L"", L"d", L"e"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        EXPECT_EQ(c.wire, fieldsText(c.fields));
    }
}

TEST(ListEncoding, ResultSetRowCountComesFromTheCaller) {
    const XQResultSetDataList rows{XQResultSetData{L"a", L"b"}, XQResultSetData{L"c", L"d"}};
    const Bytes b = packedChars(wire(rows));
    // Fewer rows announced: the rest is left for the fields that follow.
    XQResultSetDataList one;
    unsigned long cursor = 0;
    GetResultSetFromBuffer(one, b.data(), &cursor, 1);
    EXPECT_EQ(one, (XQResultSetDataList{XQResultSetData{L"a", L"b"}}));
    EXPECT_EQ(cursor, 24u + 2 * 24);
}

// Each record kind's key members, and members that are not: a change to the
// former makes records unequal, to the latter not.
template <class T, class NotKey, class Key>
void expectKeyMembers(NotKey notKey, Key key) {
    T a, b, c;
    notKey(b);
    key(c);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

TEST(ListRecords, EqualityComparesTheKeyMembersOnly) {
    expectKeyMembers<XQAttributeData>([](auto& r) { r.Number2 = 5; },
                                      [](auto& r) { r.Number7 = 1; });
    expectKeyMembers<XQForeignKeyData>([](auto& r) { r.Text10 = L"x"; },
                                       [](auto& r) { r.Text17 = L"k"; });
    expectKeyMembers<XQBOBapi>([](auto& r) { r.BapiParamList.resize(2); },
                               [](auto& r) { r.Number1 = 1; });
    expectKeyMembers<XQRfcFieldDesc>([](auto& r) { r.Text2 = L"x"; },
                                     [](auto& r) { r.Number2 = 1; });
    const XQResultSetData row{L"a", L"b"};
    EXPECT_EQ(row, (XQResultSetData{L"a", L"b"}));
    EXPECT_NE(row, (XQResultSetData{L"a"}));
}

template <class List>
void checkRoundTrips(const Codec<List>& codec, unsigned seed) {
    RandomValues random(seed);
    for (int i = 0; i < 150; ++i) {
        const List list = randomList<List>(random, 6);
        const Bytes bytes = encode(codec, list);
        const long rows = static_cast<long>(list.size());

        List back = randomList<List>(random, 3);  // replaced by the read
        XQFieldReader reader(bytes.data(), bytes.size());
        codec.read(back, reader, rows);
        ASSERT_FALSE(reader.Overrun()) << codec.name << " case " << i;
        ASSERT_EQ(reader.Cursor(), bytes.size()) << codec.name;
        // Every member, not only the compared keys, came back.
        ASSERT_EQ(encode(codec, back), bytes) << codec.name << " case " << i;
    }
}

template <class List>
void checkTruncations(const Codec<List>& codec, unsigned seed) {
    RandomValues random(seed);
    for (int i = 0; i < 12; ++i) {
        const List list = randomList<List>(random, 3, 2);
        const Bytes bytes = encode(codec, list);
        for (unsigned long cut = 0; cut < bytes.size(); ++cut) {
            const Bytes part(bytes.begin(),
                             bytes.begin() + cut);  // exactly sized: ASan sees any overread
            List back = randomList<List>(random, 1, 1);
            XQFieldReader reader(part.data(), part.size());
            codec.read(back, reader, static_cast<long>(list.size()));
            ASSERT_TRUE(reader.Overrun()) << codec.name << " cut " << cut;
            ASSERT_EQ(reader.Cursor(), cut & ~3UL) << codec.name;
            ASSERT_TRUE(back.empty()) << codec.name << " cut " << cut;
        }
    }
}

// A count the bytes cannot hold: empty list, reader at its end, and no
// allocation worth mentioning.
template <class List>
void checkHugeCounts(const Codec<List>& codec) {
    for (const wchar_t* count :
         {L"2000000000", L"-1", L"4294967295", L"99999999999999999999", L"1000"}) {
        const Bytes bytes = packedChars(fieldsText({count, L"a", L"b", L"c", L"1", L"2", L"3"}));
        RandomValues seeded(7);
        List back = randomList<List>(seeded, 2);
        XQFieldReader reader(bytes.data(), bytes.size());
        const unsigned long before = gAllocatedBytes.load();
        codec.read(back, reader, 5);
        const unsigned long allocated = gAllocatedBytes.load() - before;
        EXPECT_LT(allocated, 16384u)
            << codec.name << " count " << std::string(count, count + std::wcslen(count));
        EXPECT_TRUE(back.empty()) << codec.name;
        EXPECT_TRUE(reader.Overrun()) << codec.name;
        EXPECT_EQ(reader.Cursor(), bytes.size()) << codec.name;
    }
}

template <class Check>
void forEveryKind(Check check) {
    listcodec::forEachListKind([&](unsigned, const auto& codec) { check(codec); });
}

TEST(ListEncodingProperty, RandomListsOfEveryKindRoundTrip) {
    unsigned seed = 100;
    forEveryKind([&](const auto& codec) { checkRoundTrips(codec, ++seed); });
}

TEST(ListEncodingProperty, EveryTruncationReadsSafelyAsEmpty) {
    unsigned seed = 200;
    forEveryKind([&](const auto& codec) { checkTruncations(codec, ++seed); });
}

TEST(ListEncodingBadInput, CountsTheBytesCannotHoldReadAsEmptyWithoutAllocating) {
    forEveryKind([](const auto& codec) { checkHugeCounts(codec); });
}

TEST(ListEncodingBadInput, ResultSetRowAndColumnCountsAreBounded) {
    // Negative and zero row counts read no rows; rows without columns are
    // read up to a limit.
    const Bytes three = packedChars(fieldsText({L"3", L"a", L"b", L"c"}));
    const Bytes hugeColumns = packedChars(fieldsText({L"2000000000", L"a"}));
    const Bytes noColumns = packedChars(fieldsText({L"0"}));
    const struct {
        const Bytes* bytes;
        long rows;
        size_t read;
        bool overrun;
    } cases[] = {{&three, 2000000000L, 0, true},   {&hugeColumns, 1, 0, true},
                 {&noColumns, 2000000000L, 0, true}, {&noColumns, XQ_MAX_EMPTY_ROWS + 1, 0, true},
                 {&three, -1, 0, false},             {&three, 0, 0, false},
                 {&noColumns, XQ_MAX_EMPTY_ROWS, XQ_MAX_EMPTY_ROWS, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rows);
        XQResultSetDataList rows(1);
        XQFieldReader reader(c.bytes->data(), c.bytes->size());
        const unsigned long before = gAllocatedBytes.load();
        GetResultSetFromBuffer(rows, reader, c.rows);
        EXPECT_LT(c.overrun ? gAllocatedBytes.load() - before : 0UL, 16384u);
        EXPECT_EQ(rows.size(), c.read);
        EXPECT_EQ(reader.Overrun(), c.overrun);
    }
}

}  // namespace
