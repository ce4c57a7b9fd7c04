#include "messages/ListEncoding.h"

#include "messages/ListCodec.h"

using xqlist::ListSize;
using xqlist::ReadList;
using xqlist::WriteList;

unsigned int CalculatePrimaryKeyListSize(const XQPrimaryKeyDataList& list) {
    return static_cast<unsigned int>(ListSize(list));
}
void CopyPrimaryKeyListToBuffer(const XQPrimaryKeyDataList& list, unsigned char* buffer,
                                unsigned long* cursor) {
    WriteList(list, buffer, *cursor);
}
void GetPrimaryKeyListFromBuffer(XQPrimaryKeyDataList& list, const unsigned char* buffer,
                                 unsigned long* cursor) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    ReadList(list, reader);
    *cursor = reader.Cursor();
}
void GetPrimaryKeyListFromBuffer(XQPrimaryKeyDataList& list, XQFieldReader& reader) {
    ReadList(list, reader);
}

unsigned int CalculateForeignKeyListSize(const XQForeignKeyDataList& list) {
    return static_cast<unsigned int>(ListSize(list));
}
void CopyForeignKeyListToBuffer(const XQForeignKeyDataList& list, unsigned char* buffer,
                                unsigned long* cursor) {
    WriteList(list, buffer, *cursor);
}
void GetForeignKeyListFromBuffer(XQForeignKeyDataList& list, const unsigned char* buffer,
                                 unsigned long* cursor) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    ReadList(list, reader);
    *cursor = reader.Cursor();
}
void GetForeignKeyListFromBuffer(XQForeignKeyDataList& list, XQFieldReader& reader) {
    ReadList(list, reader);
}

unsigned int CalculateDataListSize(const XQAttributeDataList& list) {
    return static_cast<unsigned int>(ListSize(list));
}
void CopyDataListToBuffer(const XQAttributeDataList& list, unsigned char* buffer,
                          unsigned long* cursor) {
    WriteList(list, buffer, *cursor);
}
void GetDataListFromBuffer(XQAttributeDataList& list, const unsigned char* buffer,
                           unsigned long* cursor) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    ReadList(list, reader);
    *cursor = reader.Cursor();
}
void GetDataListFromBuffer(XQAttributeDataList& list, XQFieldReader& reader) {
    ReadList(list, reader);
}

unsigned int CalculateTableListSize(const XQTableNameDataList& list) {
    return static_cast<unsigned int>(ListSize(list));
}
void CopyTableListToBuffer(const XQTableNameDataList& list, unsigned char* buffer,
                           unsigned long* cursor) {
    WriteList(list, buffer, *cursor);
}
void GetTableListFromBuffer(XQTableNameDataList& list, const unsigned char* buffer,
                            unsigned long* cursor) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    ReadList(list, reader);
    *cursor = reader.Cursor();
}
void GetTableListFromBuffer(XQTableNameDataList& list, XQFieldReader& reader) {
    ReadList(list, reader);
}

unsigned int CalculateDPTableListSize(const XQDPTableNameDataList& list) {
    return static_cast<unsigned int>(ListSize(list));
}
void CopyDPTableListToBuffer(const XQDPTableNameDataList& list, unsigned char* buffer,
                             unsigned long* cursor) {
    WriteList(list, buffer, *cursor);
}
void GetDPTableListFromBuffer(XQDPTableNameDataList& list, const unsigned char* buffer,
                              unsigned long* cursor) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    ReadList(list, reader);
    *cursor = reader.Cursor();
}
void GetDPTableListFromBuffer(XQDPTableNameDataList& list, XQFieldReader& reader) {
    ReadList(list, reader);
}

unsigned int CalculateColAttrListSize(const XQColAttrDataList& list) {
    return static_cast<unsigned int>(ListSize(list));
}
void CopyColAttrListToBuffer(const XQColAttrDataList& list, unsigned char* buffer,
                             unsigned long* cursor) {
    WriteList(list, buffer, *cursor);
}
void GetColAttrListFromBuffer(XQColAttrDataList& list, const unsigned char* buffer,
                              unsigned long* cursor) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    ReadList(list, reader);
    *cursor = reader.Cursor();
}
void GetColAttrListFromBuffer(XQColAttrDataList& list, XQFieldReader& reader) {
    ReadList(list, reader);
}

unsigned int CalculateCfgParmListSize(const XQCfgParmList& list) {
    return static_cast<unsigned int>(ListSize(list));
}
void CopyCfgParmListToBuffer(const XQCfgParmList& list, unsigned char* buffer,
                             unsigned long* cursor) {
    WriteList(list, buffer, *cursor);
}
void GetCfgParmListFromBuffer(XQCfgParmList& list, const unsigned char* buffer,
                              unsigned long* cursor) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    ReadList(list, reader);
    *cursor = reader.Cursor();
}
void GetCfgParmListFromBuffer(XQCfgParmList& list, XQFieldReader& reader) {
    ReadList(list, reader);
}

namespace {

unsigned long columnCount(const XQResultSetDataList& list) {
    return list.empty() ? 0 : list.front().size();
}

// Bytes of one row as written: column-count fields, missing values empty.
unsigned long rowSize(const XQResultSetData& row, unsigned long columns) {
    const unsigned long present = row.size() < columns ? row.size() : columns;
    unsigned long chars = 0;
    for (unsigned long c = 0; c < present; ++c) chars += row[c].size();
    return columns * XQ_FIELD_PREFIX_BYTES + 4 * chars;
}

}  // namespace

unsigned int CalculateResultSetSize(const XQResultSetDataList& list) {
    const unsigned long columns = columnCount(list);
    unsigned long total =
        XQ_FIELD_PREFIX_BYTES + 4 * xqfield::numberTextLength(static_cast<long>(columns));
    for (const XQResultSetData& row : list) total += rowSize(row, columns);
    return static_cast<unsigned int>(total);
}

void CopyResultSetToBuffer(const XQResultSetDataList& list, unsigned char* buffer,
                           unsigned long* cursor) {
    const unsigned long columns = columnCount(list);
    unsigned long position = *cursor;
    xqfield::writeNumberField(buffer, position, static_cast<long>(columns));
    for (const XQResultSetData& row : list) {
        const unsigned long present = row.size() < columns ? row.size() : columns;
        for (unsigned long c = 0; c < present; ++c)
            xqfield::writeTextField(buffer, position, row[c].data(), row[c].size());
        for (unsigned long c = present; c < columns; ++c)
            xqfield::writeTextField(buffer, position, nullptr, 0);
    }
    *cursor = position;
}

void GetResultSetFromBuffer(XQResultSetDataList& list, XQFieldReader& reader, long rows) {
    const unsigned long columns = XQFieldReaderAccess::ReadNumber(reader);
    const unsigned long rowCount = rows > 0 ? static_cast<unsigned long>(rows) : 0;
    bool fits = !reader.Overrun();
    if (fits && rowCount > 0) {
        if (columns == 0)
            fits = rowCount <= static_cast<unsigned long>(XQ_MAX_EMPTY_ROWS);
        else
            fits = reader.Fits(columns, XQ_FIELD_PREFIX_BYTES) &&
                   reader.Fits(rowCount, columns * XQ_FIELD_PREFIX_BYTES);
    }
    if (!fits) {
        reader.MarkOverrun();
        list.clear();
        return;
    }
    if (list.size() > rowCount) list.resize(rowCount);
    if (reader.Bounded()) list.reserve(rowCount);
    for (unsigned long r = 0; r < rowCount; ++r) {
        if (r == list.size()) list.emplace_back();
        XQResultSetData& row = list[r];
        if (row.size() > columns) row.resize(columns);
        if (reader.Bounded()) row.reserve(columns);
        for (unsigned long c = 0; c < columns; ++c) {
            if (c == row.size()) row.emplace_back();
            XQFieldReaderAccess::ReadString(reader, row[c]);
        }
        if (reader.Overrun()) {
            list.clear();
            return;
        }
    }
}

void GetResultSetFromBuffer(XQResultSetDataList& list, const unsigned char* buffer,
                            unsigned long* cursor, long rows) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    GetResultSetFromBuffer(list, reader, rows);
    *cursor = reader.Cursor();
}

unsigned int CalculateCaptureSchemaListSize(const XQCaptureSchemaList& list) {
    // Ten prefixes per name, where the writer uses one.
    const unsigned long extraPrefixes = 9 * XQ_FIELD_PREFIX_BYTES;
    return static_cast<unsigned int>(ListSize(list) + list.size() * extraPrefixes);
}

void CopyCaptureSchemaListToBuffer(const XQCaptureSchemaList& list, unsigned char* buffer,
                                   unsigned long* cursor) {
    WriteList(list, buffer, *cursor);
}

void GetCaptureSchemaListFromBuffer(XQCaptureSchemaList& list, const unsigned char* buffer,
                                    unsigned long* cursor) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    ReadList(list, reader);
    *cursor = reader.Cursor();
}

void GetCaptureSchemaListFromBuffer(XQCaptureSchemaList& list, XQFieldReader& reader) {
    ReadList(list, reader);
}
