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

}  // namespace listcodec

#endif
