#include "messages/ListEncodingBO.h"

#include "messages/ListCodec.h"

using xqlist::ListSize;
using xqlist::ReadList;
using xqlist::WriteList;

unsigned int CalculateRfcFieldDescListSize(const XQRfcFieldDescList& list) {
    return static_cast<unsigned int>(ListSize(list));
}
void CopyRfcFieldDescListToBuffer(const XQRfcFieldDescList& list, unsigned char* buffer,
                                  unsigned long* cursor) {
    WriteList(list, buffer, *cursor);
}
void GetRfcFieldDescListFromBuffer(XQRfcFieldDescList& list, const unsigned char* buffer,
                                   unsigned long* cursor) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    ReadList(list, reader);
    *cursor = reader.Cursor();
}
void GetRfcFieldDescListFromBuffer(XQRfcFieldDescList& list, XQFieldReader& reader) {
    ReadList(list, reader);
}

unsigned int CalculateRfcStElemDescListSize(const XQRfcStElemDescList& list) {
    return static_cast<unsigned int>(ListSize(list));
}
void CopyRfcStElemDescListToBuffer(const XQRfcStElemDescList& list, unsigned char* buffer,
                                   unsigned long* cursor) {
    WriteList(list, buffer, *cursor);
}
void GetRfcStElemDescListFromBuffer(XQRfcStElemDescList& list, const unsigned char* buffer,
                                    unsigned long* cursor) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    ReadList(list, reader);
    *cursor = reader.Cursor();
}
void GetRfcStElemDescListFromBuffer(XQRfcStElemDescList& list, XQFieldReader& reader) {
    ReadList(list, reader);
}

unsigned int CalculateBapiParamListSize(const XQBapiParamList& list) {
    return static_cast<unsigned int>(ListSize(list));
}
void CopyBapiParamListToBuffer(const XQBapiParamList& list, unsigned char* buffer,
                               unsigned long* cursor) {
    WriteList(list, buffer, *cursor);
}
void GetBapiParamListFromBuffer(XQBapiParamList& list, const unsigned char* buffer,
                                unsigned long* cursor) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    ReadList(list, reader);
    *cursor = reader.Cursor();
}
void GetBapiParamListFromBuffer(XQBapiParamList& list, XQFieldReader& reader) {
    ReadList(list, reader);
}

unsigned int CalculateBOBapiListSize(const XQBOBapiList& list) {
    return static_cast<unsigned int>(ListSize(list));
}
void CopyBOBapiListToBuffer(const XQBOBapiList& list, unsigned char* buffer,
                            unsigned long* cursor) {
    WriteList(list, buffer, *cursor);
}
void GetBOBapiListFromBuffer(XQBOBapiList& list, const unsigned char* buffer,
                             unsigned long* cursor) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    ReadList(list, reader);
    *cursor = reader.Cursor();
}
void GetBOBapiListFromBuffer(XQBOBapiList& list, XQFieldReader& reader) {
    ReadList(list, reader);
}

unsigned int CalculateBONodeListSize(const XQBONodeList& list) {
    return static_cast<unsigned int>(ListSize(list));
}
void CopyBONodeListToBuffer(const XQBONodeList& list, unsigned char* buffer,
                            unsigned long* cursor) {
    WriteList(list, buffer, *cursor);
}
void GetBONodeListFromBuffer(XQBONodeList& list, const unsigned char* buffer,
                             unsigned long* cursor) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    ReadList(list, reader);
    *cursor = reader.Cursor();
}
void GetBONodeListFromBuffer(XQBONodeList& list, XQFieldReader& reader) {
    ReadList(list, reader);
}

unsigned int CalculateBONameListSize(const XQBONameList& list) {
    return static_cast<unsigned int>(ListSize(list));
}
void CopyBONameListToBuffer(const XQBONameList& list, unsigned char* buffer,
                            unsigned long* cursor) {
    WriteList(list, buffer, *cursor);
}
void GetBONameListFromBuffer(XQBONameList& list, const unsigned char* buffer,
                             unsigned long* cursor) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    ReadList(list, reader);
    *cursor = reader.Cursor();
}
void GetBONameListFromBuffer(XQBONameList& list, XQFieldReader& reader) {
    ReadList(list, reader);
}

unsigned int CalculateLPZDataListSize(const XQLPZDataList& list) {
    return static_cast<unsigned int>(ListSize(list));
}
void CopyLPZDataListToBuffer(const XQLPZDataList& list, unsigned char* buffer,
                             unsigned long* cursor) {
    WriteList(list, buffer, *cursor);
}
void GetLPZDataListFromBuffer(XQLPZDataList& list, const unsigned char* buffer,
                              unsigned long* cursor) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    ReadList(list, reader);
    *cursor = reader.Cursor();
}
void GetLPZDataListFromBuffer(XQLPZDataList& list, XQFieldReader& reader) {
    ReadList(list, reader);
}
