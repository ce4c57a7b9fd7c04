#ifndef TCORE_MESSAGES_LISTENCODING_H
#define TCORE_MESSAGES_LISTENCODING_H

// Size, writer and reader of the database-metadata lists that messages carry.
//
// A list travels as a number field with its entry count, then each
// element's members as fields in the record's wire order (texts as text
// fields, numbers as number fields); nothing marks the end of a list or of an
// element. A result set travels as the column count (the first row's number
// of values, 0 for an empty list) and then, row by row, that many text
// fields; its row count is not written and the reader is told it.
//
// Calculate...Size gives the bytes the writer will use: exact, except that a
// text longer than 99999 characters is counted whole (the writer cuts it),
// and the capture-schema size is an upper bound (ten prefixes per name).
//
// Copy...ToBuffer writes at *cursor and advances it; the caller must provide
// at least Calculate...Size bytes from there.
//
// Get...FromBuffer replaces the list's contents with what it reads. The form
// with an XQFieldReader never reads outside the reader's buffer: a count the
// remaining bytes cannot hold, or a list that runs past the end, reads as an
// empty list and leaves the reader at its end (Overrun()). The form with a
// bare buffer pointer trusts the counts and prefixes: only for buffers known
// to be whole and well formed.
//
// The base message's list members forward to these functions. They keep no
// state; different lists and buffers may be used from different threads.

#include <vector>

#include "foundation/Export.h"
#include "foundation/XQString.h"
#include "messages/XQAttributeData.h"
#include "messages/XQCfgParm.h"
#include "messages/XQColAttrData.h"
#include "messages/XQDPTableNameData.h"
#include "messages/XQFieldReader.h"
#include "messages/XQForeignKeyData.h"
#include "messages/XQPrimaryKeyData.h"
#include "messages/XQResultSetData.h"
#include "messages/XQTableNameData.h"

// Capture schemas: a list of plain names.
typedef std::vector<XQSTRING> XQCaptureSchemaList;

// XQPrimaryKeyData
TCORE_EXPORT unsigned int CalculatePrimaryKeyListSize(const XQPrimaryKeyDataList& list);
TCORE_EXPORT void CopyPrimaryKeyListToBuffer(const XQPrimaryKeyDataList& list,
                                             unsigned char* buffer, unsigned long* cursor);
TCORE_EXPORT void GetPrimaryKeyListFromBuffer(XQPrimaryKeyDataList& list,
                                              const unsigned char* buffer, unsigned long* cursor);
TCORE_EXPORT void GetPrimaryKeyListFromBuffer(XQPrimaryKeyDataList& list, XQFieldReader& reader);

// XQForeignKeyData
TCORE_EXPORT unsigned int CalculateForeignKeyListSize(const XQForeignKeyDataList& list);
TCORE_EXPORT void CopyForeignKeyListToBuffer(const XQForeignKeyDataList& list,
                                             unsigned char* buffer, unsigned long* cursor);
TCORE_EXPORT void GetForeignKeyListFromBuffer(XQForeignKeyDataList& list,
                                              const unsigned char* buffer, unsigned long* cursor);
TCORE_EXPORT void GetForeignKeyListFromBuffer(XQForeignKeyDataList& list, XQFieldReader& reader);

// XQAttributeData
TCORE_EXPORT unsigned int CalculateDataListSize(const XQAttributeDataList& list);
TCORE_EXPORT void CopyDataListToBuffer(const XQAttributeDataList& list, unsigned char* buffer,
                                       unsigned long* cursor);
TCORE_EXPORT void GetDataListFromBuffer(XQAttributeDataList& list, const unsigned char* buffer,
                                        unsigned long* cursor);
TCORE_EXPORT void GetDataListFromBuffer(XQAttributeDataList& list, XQFieldReader& reader);

// XQTableNameData
TCORE_EXPORT unsigned int CalculateTableListSize(const XQTableNameDataList& list);
TCORE_EXPORT void CopyTableListToBuffer(const XQTableNameDataList& list, unsigned char* buffer,
                                        unsigned long* cursor);
TCORE_EXPORT void GetTableListFromBuffer(XQTableNameDataList& list, const unsigned char* buffer,
                                         unsigned long* cursor);
TCORE_EXPORT void GetTableListFromBuffer(XQTableNameDataList& list, XQFieldReader& reader);

// XQDPTableNameData
TCORE_EXPORT unsigned int CalculateDPTableListSize(const XQDPTableNameDataList& list);
TCORE_EXPORT void CopyDPTableListToBuffer(const XQDPTableNameDataList& list, unsigned char* buffer,
                                          unsigned long* cursor);
TCORE_EXPORT void GetDPTableListFromBuffer(XQDPTableNameDataList& list, const unsigned char* buffer,
                                           unsigned long* cursor);
TCORE_EXPORT void GetDPTableListFromBuffer(XQDPTableNameDataList& list, XQFieldReader& reader);

// XQColAttrData
TCORE_EXPORT unsigned int CalculateColAttrListSize(const XQColAttrDataList& list);
TCORE_EXPORT void CopyColAttrListToBuffer(const XQColAttrDataList& list, unsigned char* buffer,
                                          unsigned long* cursor);
TCORE_EXPORT void GetColAttrListFromBuffer(XQColAttrDataList& list, const unsigned char* buffer,
                                           unsigned long* cursor);
TCORE_EXPORT void GetColAttrListFromBuffer(XQColAttrDataList& list, XQFieldReader& reader);

// XQCfgParm
TCORE_EXPORT unsigned int CalculateCfgParmListSize(const XQCfgParmList& list);
TCORE_EXPORT void CopyCfgParmListToBuffer(const XQCfgParmList& list, unsigned char* buffer,
                                          unsigned long* cursor);
TCORE_EXPORT void GetCfgParmListFromBuffer(XQCfgParmList& list, const unsigned char* buffer,
                                           unsigned long* cursor);
TCORE_EXPORT void GetCfgParmListFromBuffer(XQCfgParmList& list, XQFieldReader& reader);

// XQResultSetData: rows values of the column count each are read. Rows
// shorter than the first row are written with empty values for the missing
// columns and longer ones without their extra values; the size counts what
// is written. A result set whose rows and columns the remaining bytes cannot
// hold, or one of more than XQ_MAX_EMPTY_ROWS rows without columns, reads as
// empty with the reader at its end.
constexpr long XQ_MAX_EMPTY_ROWS = 65536;
TCORE_EXPORT unsigned int CalculateResultSetSize(const XQResultSetDataList& list);
TCORE_EXPORT void CopyResultSetToBuffer(const XQResultSetDataList& list, unsigned char* buffer,
                                        unsigned long* cursor);
TCORE_EXPORT void GetResultSetFromBuffer(XQResultSetDataList& list, const unsigned char* buffer,
                                         unsigned long* cursor, long rows);
TCORE_EXPORT void GetResultSetFromBuffer(XQResultSetDataList& list, XQFieldReader& reader,
                                         long rows);

// Capture schemas: each name is one text field; the size allows 200 bytes of
// prefixes per name, an upper bound.
TCORE_EXPORT unsigned int CalculateCaptureSchemaListSize(const XQCaptureSchemaList& list);
TCORE_EXPORT void CopyCaptureSchemaListToBuffer(const XQCaptureSchemaList& list,
                                                unsigned char* buffer, unsigned long* cursor);
TCORE_EXPORT void GetCaptureSchemaListFromBuffer(XQCaptureSchemaList& list,
                                                 const unsigned char* buffer,
                                                 unsigned long* cursor);
TCORE_EXPORT void GetCaptureSchemaListFromBuffer(XQCaptureSchemaList& list, XQFieldReader& reader);

#endif
