#ifndef TCORE_MESSAGES_LISTCODEC_H
#define TCORE_MESSAGES_LISTCODEC_H

// Inside the library only: the wire order of every list record, and the one
// size, writer and reader that all list kinds share. A list is a number field
// with the entry count, then each element's fields in wire order; a nested
// list is written in place, depth first, by the same code.

#include <vector>

#include "foundation/XQString.h"
#include "messages/FieldEncoding.h"
#include "messages/FieldReaderImpl.h"
#include "messages/FieldWriter.h"
#include "messages/XQAttributeData.h"
#include "messages/XQBOBapi.h"
#include "messages/XQBOName.h"
#include "messages/XQBONode.h"
#include "messages/XQBapiParam.h"
#include "messages/XQCfgParm.h"
#include "messages/XQColAttrData.h"
#include "messages/XQDPTableNameData.h"
#include "messages/XQFieldReader.h"
#include "messages/XQForeignKeyData.h"
#include "messages/XQLPZData.h"
#include "messages/XQPrimaryKeyData.h"
#include "messages/XQRfcFieldDesc.h"
#include "messages/XQRfcStElemDesc.h"
#include "messages/XQTableNameData.h"

namespace xqlist {

// Wire<T>::Fields(record, f) calls f once per field in wire order: f(text),
// f(number) or f(nested list). R is T or const T.
// clang-format off
template <class T>
struct Wire;

// A plain string list element (capture schemas, the names of a XQBOName) is
// one text field.
template <>
struct Wire<XQSTRING> {
    template <class R, class F>
    static void Fields(R& r, F& f) { f(r); }
};

template <>
struct Wire<XQPrimaryKeyData> {
    template <class R, class F>
    static void Fields(R& r, F& f) {
        f(r.Text1); f(r.Text2); f(r.Text3); f(r.Text4); f(r.Text5); f(r.Text6); f(r.Text7);
        f(r.Number1); f(r.Text8);
    }
};

template <>
struct Wire<XQForeignKeyData> {
    template <class R, class F>
    static void Fields(R& r, F& f) {
        f(r.Text1); f(r.Text2); f(r.Text3); f(r.Text4); f(r.Text5); f(r.Text6); f(r.Text7);
        f(r.Text8); f(r.Text9); f(r.Text10); f(r.Text11); f(r.Text12); f(r.Text13); f(r.Text14);
        f(r.Number1); f(r.Text15); f(r.Text16); f(r.Text17); f(r.Text18);
    }
};

template <>
struct Wire<XQAttributeData> {
    template <class R, class F>
    static void Fields(R& r, F& f) {
        f(r.Text1); f(r.Text2); f(r.Text3);
        f(r.Number1); f(r.Number3); f(r.Number4); f(r.Number5); f(r.Number2); f(r.Number6);
        f(r.Text4); f(r.Number7);
    }
};

template <>
struct Wire<XQTableNameData> {
    template <class R, class F>
    static void Fields(R& r, F& f) {
        f(r.Text1); f(r.Text2); f(r.Text3); f(r.Text4); f(r.Number1); f(r.Text5);
    }
};

template <>
struct Wire<XQDPTableNameData> {
    template <class R, class F>
    static void Fields(R& r, F& f) {
        f(r.Text1); f(r.Text2); f(r.Number1); f(r.Text3); f(r.Text4); f(r.Text5);
        f(r.Number2); f(r.Text6); f(r.Text7); f(r.Text8);
    }
};

template <>
struct Wire<XQColAttrData> {
    template <class R, class F>
    static void Fields(R& r, F& f) { f(r.Text1); f(r.Number1); f(r.Number2); }
};

template <>
struct Wire<XQCfgParm> {
    template <class R, class F>
    static void Fields(R& r, F& f) { f(r.Text1); f(r.Text2); f(r.Text3); f(r.Text4); f(r.Number1); }
};

template <>
struct Wire<XQRfcFieldDesc> {
    template <class R, class F>
    static void Fields(R& r, F& f) {
        f(r.Number1); f(r.Number2); f(r.Number3); f(r.Number4); f(r.Number5);
        f(r.Text1); f(r.Text2); f(r.Number6);
    }
};

template <>
struct Wire<XQRfcStElemDesc> {
    template <class R, class F>
    static void Fields(R& r, F& f) { f(r.Text1); f(r.Text2); f(r.RfcFieldDescList); }
};

template <>
struct Wire<XQBapiParam> {
    template <class R, class F>
    static void Fields(R& r, F& f) {
        f(r.Text1); f(r.Text2); f(r.Text3);
        f(r.Number1); f(r.Number2); f(r.Number3); f(r.Number4);
        f(r.Text4); f(r.Text5); f(r.Text6); f(r.Text7);
        f(r.RfcFieldDescList); f(r.RfcStElemDescList);
    }
};

template <>
struct Wire<XQBOBapi> {
    template <class R, class F>
    static void Fields(R& r, F& f) {
        f(r.Text1); f(r.Text2); f(r.Text3); f(r.Number1); f(r.Text4); f(r.Text5); f(r.Text6);
        f(r.BapiParamList);
    }
};

template <>
struct Wire<XQBONode> {
    template <class R, class F>
    static void Fields(R& r, F& f) {
        f(r.Text1); f(r.Text2); f(r.Text3); f(r.BapiParamList); f(r.BOBapiList);
    }
};

template <>
struct Wire<XQBOName> {
    template <class R, class F>
    static void Fields(R& r, F& f) { f(r.Text1); f(r.Text2); f(r.StringList); }
};

template <>
struct Wire<XQLPZData> {
    template <class R, class F>
    static void Fields(R& r, F& f) { f(r.Text1); f(r.Number1); f(r.Number2); f(r.Text2); }
};

// clang-format on

template <class T>
unsigned long ListSize(const std::vector<T>& list);
template <class T>
void WriteList(const std::vector<T>& list, unsigned char* buffer, unsigned long& cursor);
template <class T>
void ReadList(std::vector<T>& list, XQFieldReader& reader);

struct SizeVisitor {
    unsigned long total = 0;
    void operator()(const XQSTRING& text) { total += XQ_FIELD_PREFIX_BYTES + 4 * text.size(); }
    void operator()(int number) {
        total += XQ_FIELD_PREFIX_BYTES + 4 * xqfield::numberTextLength(number);
    }
    template <class T>
    void operator()(const std::vector<T>& list) {
        total += ListSize(list);
    }
};

struct WriteVisitor {
    unsigned char* buffer;
    unsigned long& cursor;
    void operator()(const XQSTRING& text) {
        xqfield::writeTextField(buffer, cursor, text.data(), text.size());
    }
    void operator()(int number) { xqfield::writeNumberField(buffer, cursor, number); }
    template <class T>
    void operator()(const std::vector<T>& list) {
        WriteList(list, buffer, cursor);
    }
};

struct ReadVisitor {
    XQFieldReader& reader;
    void operator()(XQSTRING& text) { XQFieldReaderAccess::ReadString(reader, text); }
    void operator()(int& number) {
        number = static_cast<int>(XQFieldReaderAccess::ReadNumberLong(reader));
    }
    template <class T>
    void operator()(std::vector<T>& list) {
        ReadList(list, reader);
    }
};

// Every field, a nested list's count included, takes at least its 20-byte
// prefix: the least an element can occupy.
struct FieldCountVisitor {
    unsigned long fields = 0;
    template <class X>
    void operator()(const X&) {
        ++fields;
    }
};

template <class T>
unsigned long MinElementBytes() {
    static const unsigned long bytes = [] {
        const T probe{};
        FieldCountVisitor counter;
        Wire<T>::Fields(probe, counter);
        return counter.fields * XQ_FIELD_PREFIX_BYTES;
    }();
    return bytes;
}

template <class T>
unsigned long ListSize(const std::vector<T>& list) {
    SizeVisitor sizer;
    for (const T& element : list) Wire<T>::Fields(element, sizer);
    return XQ_FIELD_PREFIX_BYTES + 4 * xqfield::numberTextLength(static_cast<long>(list.size())) +
           sizer.total;
}

template <class T>
void WriteList(const std::vector<T>& list, unsigned char* buffer, unsigned long& cursor) {
    xqfield::writeNumberField(buffer, cursor, static_cast<long>(list.size()));
    WriteVisitor writer{buffer, cursor};
    for (const T& element : list) Wire<T>::Fields(element, writer);
}

// Replaces the list's contents. Elements already in the list are read into
// in place, so their strings' storage is reused. A count the remaining bytes
// cannot hold, or a list that runs past the end, leaves the list empty and
// the reader at its end.
template <class T>
void ReadList(std::vector<T>& list, XQFieldReader& reader) {
    const unsigned long count = XQFieldReaderAccess::ReadNumber(reader);
    if (reader.Overrun() || !reader.Fits(count, MinElementBytes<T>())) {
        reader.MarkOverrun();
        list.clear();
        return;
    }
    if (list.size() > count) list.resize(count);
    if (reader.Bounded()) list.reserve(count);
    ReadVisitor visitor{reader};
    for (unsigned long i = 0; i < count; ++i) {
        if (i == list.size()) list.emplace_back();
        Wire<T>::Fields(list[i], visitor);
        if (reader.Overrun()) {
            list.clear();
            return;
        }
    }
}

}  // namespace xqlist

#endif
