// Exact wire fields of every list record and of the list encodings.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "messages/ListEncoding.h"
#include "messages/ListEncodingBO.h"
#include "support/EncodingTestUtil.h"

namespace {

typedef std::vector<std::wstring> Fields;

// Writes a list with its writer into a buffer of its computed size (plus
// slack that must stay untouched) and returns the written bytes.
template <class List, class Size, class Write>
Bytes encode(const List& list, Size size, Write write, bool exactSize = true) {
    const unsigned long computed = size(list);
    Bytes buffer(computed + 16, 0xEE);
    unsigned long cursor = 0;
    write(list, buffer.data(), &cursor);
    if (exactSize) {
        EXPECT_EQ(cursor, computed);
    }
    EXPECT_LE(cursor, computed);
    for (unsigned long i = computed; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], 0xEE);
    }
    buffer.resize(cursor);
    return buffer;
}

std::wstring n(int i) {
    return std::to_wstring(i);
}

TEST(ListEncoding, EmptyListIsTheSingleField0) {
    const Bytes b = encode(XQColAttrDataList(), CalculateColAttrListSize, CopyColAttrListToBuffer);
    EXPECT_EQ(wireText(b), L"000010");
    EXPECT_EQ(b.size(), 24u);
    EXPECT_EQ(CalculateBONodeListSize(XQBONodeList()), 24u);
    EXPECT_EQ(CalculateResultSetSize(XQResultSetDataList()), 24u);
    EXPECT_EQ(CalculateCaptureSchemaListSize(XQCaptureSchemaList()), 24u);
}

TEST(ListEncoding, AttributeDataWireOrderMovesNumber2) {
    XQAttributeData a;
    a.Text1 = L"t1";
    a.Text2 = L"t2";
    a.Text3 = L"t3";
    a.Number1 = 1;
    a.Number2 = 2;
    a.Number3 = 3;
    a.Number4 = 4;
    a.Number5 = 5;
    a.Number6 = 6;
    a.Text4 = L"t4";
    a.Number7 = 7;
    const XQAttributeDataList list{a};
    const Bytes b = encode(list, CalculateDataListSize, CopyDataListToBuffer);
    EXPECT_EQ(wireText(b), fieldsText({L"1", L"t1", L"t2", L"t3", L"1", L"3", L"4", L"5", L"2",
                                       L"6", L"t4", L"7"}));
    // 20 + 4 + 220 + 4 x (8 text + 7 number characters)
    EXPECT_EQ(b.size(), 20u + 4 + 220 + 4 * 15);
    XQAttributeDataList back;
    unsigned long cursor = 0;
    GetDataListFromBuffer(back, b.data(), &cursor);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(cursor, b.size());
    EXPECT_EQ(back[0], a);
    EXPECT_EQ(back[0].Number2, 2);
    EXPECT_EQ(back[0].Number3, 3);
    EXPECT_EQ(back[0].Number5, 5);
    EXPECT_EQ(back[0].Number6, 6);
}

TEST(ListEncoding, FlatRecordsTravelInDeclarationOrder) {
    XQPrimaryKeyData pk;
    pk.Text1 = L"a";
    pk.Text2 = L"b";
    pk.Text3 = L"c";
    pk.Text4 = L"d";
    pk.Text5 = L"e";
    pk.Text6 = L"f";
    pk.Text7 = L"g";
    pk.Number1 = -8;
    pk.Text8 = L"h";
    EXPECT_EQ(wireFields(encode(XQPrimaryKeyDataList{pk}, CalculatePrimaryKeyListSize,
                                CopyPrimaryKeyListToBuffer)),
              (Fields{L"1", L"a", L"b", L"c", L"d", L"e", L"f", L"g", L"-8", L"h"}));

    XQForeignKeyData fk;
    std::wstring* fkTexts[] = {&fk.Text1,  &fk.Text2,  &fk.Text3,  &fk.Text4,  &fk.Text5,
                               &fk.Text6,  &fk.Text7,  &fk.Text8,  &fk.Text9,  &fk.Text10,
                               &fk.Text11, &fk.Text12, &fk.Text13, &fk.Text14, &fk.Text15,
                               &fk.Text16, &fk.Text17, &fk.Text18};
    for (int i = 0; i < 18; ++i) *fkTexts[i] = L"T" + n(i + 1);
    fk.Number1 = 99;
    Fields fkWire{L"1"};
    for (int i = 1; i <= 14; ++i) fkWire.push_back(L"T" + n(i));
    fkWire.push_back(L"99");
    for (int i = 15; i <= 18; ++i) fkWire.push_back(L"T" + n(i));
    const Bytes fkBytes =
        encode(XQForeignKeyDataList{fk}, CalculateForeignKeyListSize, CopyForeignKeyListToBuffer);
    EXPECT_EQ(wireFields(fkBytes), fkWire);
    EXPECT_EQ(fkBytes.size(), 24u + 380 + 4 * (9 * 2 + 9 * 3 + 2));

    XQTableNameData t;
    t.Text1 = L"a";
    t.Text2 = L"b";
    t.Text3 = L"c";
    t.Text4 = L"d";
    t.Number1 = 5;
    t.Text5 = L"e";
    EXPECT_EQ(
        wireFields(encode(XQTableNameDataList{t}, CalculateTableListSize, CopyTableListToBuffer)),
        (Fields{L"1", L"a", L"b", L"c", L"d", L"5", L"e"}));

    XQDPTableNameData d;
    d.Text1 = L"a";
    d.Text2 = L"b";
    d.Number1 = 1;
    d.Text3 = L"c";
    d.Text4 = L"d";
    d.Text5 = L"e";
    d.Number2 = 2;
    d.Text6 = L"f";
    d.Text7 = L"g";
    d.Text8 = L"h";
    EXPECT_EQ(wireFields(encode(XQDPTableNameDataList{d}, CalculateDPTableListSize,
                                CopyDPTableListToBuffer)),
              (Fields{L"1", L"a", L"b", L"1", L"c", L"d", L"e", L"2", L"f", L"g", L"h"}));

    XQColAttrData c;
    c.Text1 = L"col";
    c.Number1 = 12;
    c.Number2 = -3;
    EXPECT_EQ(wireText(encode(XQColAttrDataList{c, c}, CalculateColAttrListSize,
                              CopyColAttrListToBuffer)),
              fieldsText({L"2", L"col", L"12", L"-3", L"col", L"12", L"-3"}));

    XQCfgParm p;
    p.Text1 = L"a";
    p.Text2 = L"b";
    p.Text3 = L"c";
    p.Text4 = L"d";
    p.Number1 = 4;
    EXPECT_EQ(
        wireFields(encode(XQCfgParmList{p}, CalculateCfgParmListSize, CopyCfgParmListToBuffer)),
        (Fields{L"1", L"a", L"b", L"c", L"d", L"4"}));

    XQLPZData z;
    z.Text1 = L"imp";
    z.Number1 = 1;
    z.Number2 = 2;
    z.Text2 = L"x";
    EXPECT_EQ(
        wireFields(encode(XQLPZDataList{z}, CalculateLPZDataListSize, CopyLPZDataListToBuffer)),
        (Fields{L"1", L"imp", L"1", L"2", L"x"}));

    XQRfcFieldDesc f;
    f.Number1 = 1;
    f.Number2 = 2;
    f.Number3 = 3;
    f.Number4 = 4;
    f.Number5 = 5;
    f.Text1 = L"a";
    f.Text2 = L"b";
    f.Number6 = 6;
    EXPECT_EQ(wireFields(encode(XQRfcFieldDescList{f}, CalculateRfcFieldDescListSize,
                                CopyRfcFieldDescListToBuffer)),
              (Fields{L"1", L"1", L"2", L"3", L"4", L"5", L"a", L"b", L"6"}));
}

TEST(ListEncoding, CaptureSchemaSizeIsAnUpperBound) {
    const XQCaptureSchemaList list{L"ABC", L"DEF"};
    EXPECT_EQ(CalculateCaptureSchemaListSize(list), 448u);
    const Bytes b =
        encode(list, CalculateCaptureSchemaListSize, CopyCaptureSchemaListToBuffer, false);
    EXPECT_EQ(b.size(), 88u);
    EXPECT_EQ(wireText(b), fieldsText({L"2", L"ABC", L"DEF"}));
    XQCaptureSchemaList back{L"old"};
    unsigned long cursor = 0;
    GetCaptureSchemaListFromBuffer(back, b.data(), &cursor);
    EXPECT_EQ(back, list);
    EXPECT_EQ(cursor, 88u);
}

TEST(ListEncoding, ResultSetWritesColumnCountThenValuesRowByRow) {
    const XQResultSetDataList rows{XQResultSetData{L"a", L"b", L"c"},
                                   XQResultSetData{L"d", L"", L"\u00e9f"}};
    const Bytes b = encode(rows, CalculateResultSetSize, CopyResultSetToBuffer);
    EXPECT_EQ(wireText(b), fieldsText({L"3", L"a", L"b", L"c", L"d", L"", L"\u00e9f"}));
    EXPECT_EQ(b.size(), 24u + 6 * 20 + 4 * 6);
    EXPECT_EQ(rows[1].Size(), 3u);
    XQResultSetDataList back{XQResultSetData{L"x"}};
    XQFieldReader reader(b.data(), b.size());
    GetResultSetFromBuffer(back, reader, 2);
    EXPECT_EQ(back, rows);
    EXPECT_EQ(reader.Cursor(), b.size());
    EXPECT_FALSE(reader.Overrun());
}

TEST(ListEncoding, ResultSetRowCountComesFromTheCaller) {
    const XQResultSetDataList rows{XQResultSetData{L"a", L"b"}, XQResultSetData{L"c", L"d"}};
    const Bytes b = encode(rows, CalculateResultSetSize, CopyResultSetToBuffer);
    // Fewer rows announced: the rest is left for the fields that follow.
    XQResultSetDataList one;
    unsigned long cursor = 0;
    GetResultSetFromBuffer(one, b.data(), &cursor, 1);
    EXPECT_EQ(one, (XQResultSetDataList{XQResultSetData{L"a", L"b"}}));
    EXPECT_EQ(cursor, 24u + 2 * 24);
    // More rows announced than present: the bounded reader gives up.
    XQResultSetDataList three{XQResultSetData{L"old"}};
    XQFieldReader reader(b.data(), b.size());
    GetResultSetFromBuffer(three, reader, 3);
    EXPECT_TRUE(three.empty());
    EXPECT_TRUE(reader.Overrun());
    // Rows without values: only the column count 0 travels.
    const XQResultSetDataList empties(3);
    const Bytes e = encode(empties, CalculateResultSetSize, CopyResultSetToBuffer);
    EXPECT_EQ(wireText(e), L"000010");
    XQResultSetDataList back;
    XQFieldReader er(e.data(), e.size());
    GetResultSetFromBuffer(back, er, 3);
    EXPECT_EQ(back, empties);
    EXPECT_FALSE(er.Overrun());
}

TEST(ListEncoding, RaggedResultSetRowsAreWrittenToTheFirstRowsWidth) {
    const XQResultSetDataList rows{XQResultSetData{L"a", L"b"}, XQResultSetData{L"c"},
                                   XQResultSetData{L"d", L"e", L"extra"}};
    const Bytes b = encode(rows, CalculateResultSetSize, CopyResultSetToBuffer);
    EXPECT_EQ(wireText(b), fieldsText({L"2", L"a", L"b", L"c", L"", L"d", L"e"}));
}

XQBOBapi bapi(const std::wstring& t1, const std::wstring& t2, const std::wstring& t3, int n1,
              const std::wstring& t4, const std::wstring& t5, const std::wstring& t6) {
    XQBOBapi b;
    b.Text1 = t1;
    b.Text2 = t2;
    b.Text3 = t3;
    b.Number1 = n1;
    b.Text4 = t4;
    b.Text5 = t5;
    b.Text6 = t6;
    return b;
}

TEST(ListEncodingBO, WorkedBusinessObjectExample) {
    XQBONode node;
    node.Text1 = L"A";
    node.Text2 = L"B";
    node.Text3 = L"C";
    node.BOBapiList.push_back(bapi(L"D", L"E", L"F", 7, L"G", L"H", L"I"));
    const XQBONodeList list{node};
    const Bytes b = encode(list, CalculateBONodeListSize, CopyBONodeListToBuffer);
    EXPECT_EQ(wireText(b), fieldsText({L"1", L"A", L"B", L"C", L"0", L"1", L"D", L"E", L"F", L"7",
                                       L"G", L"H", L"I", L"0"}));
    XQBONodeList back;
    unsigned long cursor = 0;
    GetBONodeListFromBuffer(back, b.data(), &cursor);
    ASSERT_EQ(back, list);
    ASSERT_EQ(back[0].BOBapiList, list[0].BOBapiList);
    EXPECT_TRUE(back[0].BapiParamList.empty());
    EXPECT_EQ(back[0].BOBapiList[0].Text3, L"F");
    EXPECT_EQ(cursor, b.size());
}

TEST(ListEncodingBO, NodeWithEmptyNestedListsAddsTwoZeroFields) {
    XQBONode node;
    node.Text1 = L"x";
    const Bytes b = encode(XQBONodeList{node}, CalculateBONodeListSize, CopyBONodeListToBuffer);
    EXPECT_EQ(wireFields(b), (Fields{L"1", L"x", L"", L"", L"0", L"0"}));
}

TEST(ListEncodingBO, BONameWritesItsStringsInPlace) {
    XQBOName name;
    name.Text1 = L"A";
    name.Text2 = L"B";
    name.StringList = {L"X", L"Y"};
    const XQBONameList list{name};
    const Bytes b = encode(list, CalculateBONameListSize, CopyBONameListToBuffer);
    EXPECT_EQ(wireText(b), fieldsText({L"1", L"A", L"B", L"2", L"X", L"Y"}));
    // 20 + 4 + 60 + 4 x (2 + 1) + 2 x 24
    EXPECT_EQ(b.size(), 20u + 4 + 60 + 12 + 48);
    XQBONameList back;
    unsigned long cursor = 0;
    GetBONameListFromBuffer(back, b.data(), &cursor);
    ASSERT_EQ(back, list);
    EXPECT_EQ(back[0].StringList, name.StringList);
}

XQRfcFieldDesc field(int n1, const std::wstring& t1) {
    XQRfcFieldDesc f;
    f.Number1 = n1;
    f.Number2 = n1 + 1;
    f.Number6 = -n1;
    f.Text1 = t1;
    f.Text2 = t1 + L"2";
    return f;
}

// Deeper trees, and reads that replace what the target held, are walked by
// the property test over random lists of every kind.
TEST(ListEncodingBO, NestedRecordsWireOrder) {
    XQRfcStElemDesc e;
    e.Text1 = L"s1";
    e.Text2 = L"s2";
    e.RfcFieldDescList = {field(1, L"f")};
    EXPECT_EQ(wireFields(encode(XQRfcStElemDescList{e}, CalculateRfcStElemDescListSize,
                                CopyRfcStElemDescListToBuffer)),
              (Fields{L"1", L"s1", L"s2", L"1", L"1", L"2", L"0", L"0", L"0", L"f", L"f2", L"-1"}));

    XQBapiParam p;
    p.Text1 = L"a";
    p.Text2 = L"b";
    p.Text3 = L"c";
    p.Number1 = 1;
    p.Number2 = 2;
    p.Number3 = 3;
    p.Number4 = 4;
    p.Text4 = L"d";
    p.Text5 = L"e";
    p.Text6 = L"f";
    p.Text7 = L"g";
    p.RfcStElemDescList = {XQRfcStElemDesc()};
    EXPECT_EQ(wireFields(encode(XQBapiParamList{p}, CalculateBapiParamListSize,
                                CopyBapiParamListToBuffer)),
              (Fields{L"1", L"a", L"b", L"c", L"1", L"2", L"3", L"4", L"d", L"e", L"f", L"g", L"0",
                      L"1", L"", L"", L"0"}));

    XQBOBapi b = bapi(L"a", L"b", L"c", 1, L"d", L"e", L"f");
    b.BapiParamList = {XQBapiParam()};
    EXPECT_EQ(wireFields(encode(XQBOBapiList{b}, CalculateBOBapiListSize, CopyBOBapiListToBuffer)),
              (Fields{L"1", L"a", L"b", L"c", L"1", L"d", L"e", L"f", L"1", L"",  L"",
                      L"",  L"0", L"0", L"0", L"0", L"",  L"",  L"",  L"",  L"0", L"0"}));
}

TEST(ListRecords, EqualityComparesTheKeyMembersOnly) {
    XQAttributeData a, b;
    a.Number2 = 5;  // not a key member
    EXPECT_EQ(a, b);
    b.Number7 = 1;
    EXPECT_NE(a, b);

    XQPrimaryKeyData p, q;
    p.Text1 = L"x";
    p.Number1 = 3;
    EXPECT_EQ(p, q);
    q.Text8 = L"k";
    EXPECT_NE(p, q);

    XQForeignKeyData f, g;
    f.Text10 = L"x";
    EXPECT_EQ(f, g);
    g.Text17 = L"k";
    EXPECT_NE(f, g);

    XQBOBapi b1, b2;
    b1.Text3 = L"x";
    b1.BapiParamList.resize(2);
    EXPECT_EQ(b1, b2);
    b2.Number1 = 1;
    EXPECT_NE(b1, b2);

    XQBapiParam p1, p2;
    p1.Text5 = L"x";
    EXPECT_EQ(p1, p2);
    p2.Number4 = 1;
    EXPECT_NE(p1, p2);

    XQRfcFieldDesc r1, r2;
    r1.Number3 = 9;
    r1.Text2 = L"x";
    EXPECT_EQ(r1, r2);
    r2.Number2 = 1;
    EXPECT_NE(r1, r2);

    XQLPZData l1, l2;
    l2.Number2 = 1;
    EXPECT_NE(l1, l2);

    XQCfgParm c1, c2;
    c2.Number1 = 1;
    EXPECT_NE(c1, c2);

    XQResultSetData row{L"a", L"b"};
    EXPECT_EQ(row, (XQResultSetData{L"a", L"b"}));
    EXPECT_NE(row, (XQResultSetData{L"a"}));
    EXPECT_EQ(row.Size(), 2u);
}

}  // namespace
