#ifndef TCORE_MESSAGES_LISTENCODINGBO_H
#define TCORE_MESSAGES_LISTENCODINGBO_H

// Size, writer and reader of the business-object and site-analysis lists.
//
// The encoding is that of messages/ListEncoding.h (a count, then each
// element's fields in wire order) with nested lists written in place, depth
// first: after an element's own fields come its nested lists, each by its
// own writer, each starting with its count. The names of a XQBOName are
// written as a count and one text field per name. The size, writer and
// reader contracts are those of messages/ListEncoding.h; a nested list that
// runs past the end of a reader's buffer empties the lists that contain it.
//
// The base message calls the XQBONode, XQBOName and XQLPZData functions;
// the others serve the nested lists and are exported for completeness.

#include "foundation/Export.h"
#include "messages/XQBOBapi.h"
#include "messages/XQBOName.h"
#include "messages/XQBONode.h"
#include "messages/XQBapiParam.h"
#include "messages/XQFieldReader.h"
#include "messages/XQLPZData.h"
#include "messages/XQRfcFieldDesc.h"
#include "messages/XQRfcStElemDesc.h"

// XQRfcFieldDesc
TCORE_EXPORT unsigned int CalculateRfcFieldDescListSize(const XQRfcFieldDescList& list);
TCORE_EXPORT void CopyRfcFieldDescListToBuffer(const XQRfcFieldDescList& list,
                                               unsigned char* buffer, unsigned long* cursor);
TCORE_EXPORT void GetRfcFieldDescListFromBuffer(XQRfcFieldDescList& list,
                                                const unsigned char* buffer, unsigned long* cursor);
TCORE_EXPORT void GetRfcFieldDescListFromBuffer(XQRfcFieldDescList& list, XQFieldReader& reader);

// XQRfcStElemDesc
TCORE_EXPORT unsigned int CalculateRfcStElemDescListSize(const XQRfcStElemDescList& list);
TCORE_EXPORT void CopyRfcStElemDescListToBuffer(const XQRfcStElemDescList& list,
                                                unsigned char* buffer, unsigned long* cursor);
TCORE_EXPORT void GetRfcStElemDescListFromBuffer(XQRfcStElemDescList& list,
                                                 const unsigned char* buffer,
                                                 unsigned long* cursor);
TCORE_EXPORT void GetRfcStElemDescListFromBuffer(XQRfcStElemDescList& list, XQFieldReader& reader);

// XQBapiParam
TCORE_EXPORT unsigned int CalculateBapiParamListSize(const XQBapiParamList& list);
TCORE_EXPORT void CopyBapiParamListToBuffer(const XQBapiParamList& list, unsigned char* buffer,
                                            unsigned long* cursor);
TCORE_EXPORT void GetBapiParamListFromBuffer(XQBapiParamList& list, const unsigned char* buffer,
                                             unsigned long* cursor);
TCORE_EXPORT void GetBapiParamListFromBuffer(XQBapiParamList& list, XQFieldReader& reader);

// XQBOBapi
TCORE_EXPORT unsigned int CalculateBOBapiListSize(const XQBOBapiList& list);
TCORE_EXPORT void CopyBOBapiListToBuffer(const XQBOBapiList& list, unsigned char* buffer,
                                         unsigned long* cursor);
TCORE_EXPORT void GetBOBapiListFromBuffer(XQBOBapiList& list, const unsigned char* buffer,
                                          unsigned long* cursor);
TCORE_EXPORT void GetBOBapiListFromBuffer(XQBOBapiList& list, XQFieldReader& reader);

// XQBONode
TCORE_EXPORT unsigned int CalculateBONodeListSize(const XQBONodeList& list);
TCORE_EXPORT void CopyBONodeListToBuffer(const XQBONodeList& list, unsigned char* buffer,
                                         unsigned long* cursor);
TCORE_EXPORT void GetBONodeListFromBuffer(XQBONodeList& list, const unsigned char* buffer,
                                          unsigned long* cursor);
TCORE_EXPORT void GetBONodeListFromBuffer(XQBONodeList& list, XQFieldReader& reader);

// XQBOName
TCORE_EXPORT unsigned int CalculateBONameListSize(const XQBONameList& list);
TCORE_EXPORT void CopyBONameListToBuffer(const XQBONameList& list, unsigned char* buffer,
                                         unsigned long* cursor);
TCORE_EXPORT void GetBONameListFromBuffer(XQBONameList& list, const unsigned char* buffer,
                                          unsigned long* cursor);
TCORE_EXPORT void GetBONameListFromBuffer(XQBONameList& list, XQFieldReader& reader);

// XQLPZData
TCORE_EXPORT unsigned int CalculateLPZDataListSize(const XQLPZDataList& list);
TCORE_EXPORT void CopyLPZDataListToBuffer(const XQLPZDataList& list, unsigned char* buffer,
                                          unsigned long* cursor);
TCORE_EXPORT void GetLPZDataListFromBuffer(XQLPZDataList& list, const unsigned char* buffer,
                                           unsigned long* cursor);
TCORE_EXPORT void GetLPZDataListFromBuffer(XQLPZDataList& list, XQFieldReader& reader);

#endif
