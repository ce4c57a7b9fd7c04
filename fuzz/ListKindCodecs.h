#ifndef TCORE_FUZZ_LISTKINDCODECS_H
#define TCORE_FUZZ_LISTKINDCODECS_H

// Every list kind's size, writer and two readers behind one shape, for the
// decoders that walk all kinds (the fuzz target and the property test).

#include "messages/ListEncoding.h"
#include "messages/ListEncodingBO.h"

namespace listcodec {

// rows is used by the result set only.
template <class List>
struct Codec {
    typedef List ListType;
    const char* name;
    unsigned int (*size)(const List&);
    void (*write)(const List&, unsigned char*, unsigned long*);
    void (*readRaw)(List&, const unsigned char*, unsigned long*, long rows);
    void (*read)(List&, XQFieldReader&, long rows);
    // Extra bytes the size allows per element (the capture-schema bound).
    unsigned long slackPerElement;
};

// clang-format off
#define TCORE_CODEC(List, Name, slack)                                                   \
    ::listcodec::Codec<List> {                                                           \
        #Name,                                                                           \
        [](const List& l) { return Calculate##Name##Size(l); },                          \
        [](const List& l, unsigned char* b, unsigned long* c) {                          \
            Copy##Name##ToBuffer(l, b, c);                                               \
        },                                                                               \
        [](List& l, const unsigned char* b, unsigned long* c, long) {                    \
            Get##Name##FromBuffer(l, b, c);                                              \
        },                                                                               \
        [](List& l, XQFieldReader& r, long) { Get##Name##FromBuffer(l, r); },            \
        slack                                                                            \
    }
// clang-format on

const Codec<XQResultSetDataList> kResultSet{
    "ResultSet",
    [](const XQResultSetDataList& l) { return CalculateResultSetSize(l); },
    [](const XQResultSetDataList& l, unsigned char* b, unsigned long* c) {
        CopyResultSetToBuffer(l, b, c);
    },
    [](XQResultSetDataList& l, const unsigned char* b, unsigned long* c, long rows) {
        GetResultSetFromBuffer(l, b, c, rows);
    },
    [](XQResultSetDataList& l, XQFieldReader& r, long rows) { GetResultSetFromBuffer(l, r, rows); },
    0};

// Calls visit(kind, codec) for the sixteen list kinds, kind being the number
// the encoding fuzz target gives each (fuzz/FuzzTargets.h).
template <class Visit>
void forEachListKind(Visit&& visit) {
    visit(0u, TCORE_CODEC(XQPrimaryKeyDataList, PrimaryKeyList, 0));
    visit(1u, TCORE_CODEC(XQForeignKeyDataList, ForeignKeyList, 0));
    visit(2u, TCORE_CODEC(XQAttributeDataList, DataList, 0));
    visit(3u, TCORE_CODEC(XQTableNameDataList, TableList, 0));
    visit(4u, TCORE_CODEC(XQDPTableNameDataList, DPTableList, 0));
    visit(5u, TCORE_CODEC(XQColAttrDataList, ColAttrList, 0));
    visit(6u, TCORE_CODEC(XQCfgParmList, CfgParmList, 0));
    // Ten prefixes sized per name, where the writer uses one.
    visit(7u, TCORE_CODEC(XQCaptureSchemaList, CaptureSchemaList, 180));
    visit(8u, kResultSet);
    visit(9u, TCORE_CODEC(XQRfcFieldDescList, RfcFieldDescList, 0));
    visit(10u, TCORE_CODEC(XQRfcStElemDescList, RfcStElemDescList, 0));
    visit(11u, TCORE_CODEC(XQBapiParamList, BapiParamList, 0));
    visit(12u, TCORE_CODEC(XQBOBapiList, BOBapiList, 0));
    visit(13u, TCORE_CODEC(XQBONodeList, BONodeList, 0));
    visit(14u, TCORE_CODEC(XQBONameList, BONameList, 0));
    visit(15u, TCORE_CODEC(XQLPZDataList, LPZDataList, 0));
}

}  // namespace listcodec

#endif
