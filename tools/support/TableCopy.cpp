#include "support/TableCopy.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <memory>

#include "db/XQOdbcConnect.h"
#include "db/XQOdbcCursor.h"

namespace demo {

namespace {

// One column's buffers: rowset values for the fetch, one value for the insert.
struct ColumnBuffer {
    int cType = SQL_C_CHAR;
    int sqlType = SQL_VARCHAR;
    unsigned int columnSize = 0;
    long width = 0;  // bytes per value
    std::vector<char> fetched;
    std::vector<SQLLEN> fetchedLength;
    std::vector<char> param;
    SQLLEN paramLength = 0;
};

ColumnBuffer makeBuffer(const XQAttributeData& col, unsigned long rowset) {
    ColumnBuffer b;
    b.sqlType = col.Number1;
    switch (col.Number1) {
        case SQL_INTEGER:
        case SQL_BIGINT:
        case SQL_SMALLINT:
            b.cType = SQL_C_SBIGINT;
            b.width = sizeof(int64_t);
            b.columnSize = 19;
            break;
        case SQL_DOUBLE:
        case SQL_FLOAT:
        case SQL_REAL:
            b.cType = SQL_C_DOUBLE;
            b.width = sizeof(double);
            b.columnSize = 15;
            break;
        case SQL_TYPE_TIMESTAMP:
            b.cType = SQL_C_CHAR;
            b.width = 32;
            b.columnSize = 26;
            break;
        default:
            b.cType = SQL_C_CHAR;
            b.columnSize = col.Number2 > 0 ? static_cast<unsigned int>(col.Number2) : 255;
            b.width = static_cast<long>(b.columnSize) * 4 + 1;  // UTF-8 needs up to 4 bytes a character
            break;
    }
    b.fetched.assign(static_cast<size_t>(b.width) * rowset, 0);
    b.fetchedLength.assign(rowset, 0);
    b.param.assign(static_cast<size_t>(b.width), 0);
    return b;
}

XQSTRING insertStatement(const XQSTRING& table, const std::vector<XQAttributeData>& columns) {
    XQSTRING names, marks;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i) {
            names += L", ";
            marks += L", ";
        }
        names += columns[i].Text1;
        marks += L"?";
    }
    return L"INSERT INTO " + table + L" (" + names + L") VALUES (" + marks + L")";
}

// Gives a cursor of the pool back on every path.
class CursorLease {
public:
    CursorLease(XQOdbcConnect& c, int index, XQRC& rc) : conn_(c), index_(index), cursor_(c.getCursor(index, rc)) {}
    ~CursorLease() {
        if (cursor_) conn_.dropCursor(index_);
    }
    XQOdbcCursor* get() const { return cursor_; }

private:
    XQOdbcConnect& conn_;
    int index_;
    XQOdbcCursor* cursor_;
};

}  // namespace

CopyResult copyRows(XQOdbcConnect& source, XQOdbcConnect& target, const XQSTRING& select,
                    const XQSTRING& targetTable, const std::vector<XQAttributeData>& columns, unsigned long rowset,
                    bool replaceTarget, const std::function<bool(unsigned long, unsigned long long)>& progress) {
    CopyResult result;
    if (columns.empty() || rowset == 0) {
        result.rc = XQRC(9147, 0, XQRC::WhsSrv);
        result.rc.comment = L"nothing to copy: no columns or no row-set size";
        return result;
    }
    XQRC rc(0, 0, XQRC::WhsSrv);
    CursorLease in(source, 0, rc);
    if (rc.code != 0) return result.rc = rc, result;
    CursorLease out(target, 0, rc);
    if (rc.code != 0) return result.rc = rc, result;

    std::vector<ColumnBuffer> buffers;
    buffers.reserve(columns.size());
    for (const auto& col : columns) buffers.push_back(makeBuffer(col, rowset));

    rc = in.get()->prepareArray(select, rowset, 0);
    for (size_t c = 0; rc.code == 0 && c < buffers.size(); ++c)
        rc = in.get()->bindCol(static_cast<unsigned int>(c + 1), buffers[c].cType, buffers[c].fetched.data(),
                               buffers[c].width, buffers[c].fetchedLength.data());
    if (rc.code == 0 && replaceTarget) {
        // Mode 1: an empty target (no data) is not a failure.
        rc = target.executeStmt(L"DELETE FROM " + targetTable, 1);
    }
    if (rc.code == 0) rc = out.get()->prepare(insertStatement(targetTable, columns));
    for (size_t c = 0; rc.code == 0 && c < buffers.size(); ++c)
        rc = out.get()->bindParameter(static_cast<unsigned int>(c + 1), SQL_PARAM_INPUT, buffers[c].cType,
                                      buffers[c].sqlType, buffers[c].columnSize, 0, buffers[c].param.data(),
                                      buffers[c].width, &buffers[c].paramLength);
    if (rc.code != 0) return result.rc = rc, result;

    while (true) {
        unsigned long fetched = 0;
        XQRC fetchRc(0, 0, XQRC::WhsSrv);
        int got = in.get()->fetchArray(fetchRc, rowset, fetched);
        if (got == 0 && fetchRc.code != 0) {
            rc = fetchRc;
            break;
        }
        if (fetched == 0) break;
        for (unsigned long r = 0; r < fetched && rc.code == 0; ++r) {
            for (auto& b : buffers) {
                SQLLEN len = b.fetchedLength[r];
                std::memcpy(b.param.data(), b.fetched.data() + r * static_cast<size_t>(b.width),
                            static_cast<size_t>(b.width));
                if (b.cType == SQL_C_CHAR) {
                    b.paramLength = len == SQL_NULL_DATA ? SQL_NULL_DATA : SQL_NTS;
                    result.bytes += len > 0 ? static_cast<unsigned long long>(len) : 0;
                } else {
                    b.paramLength = len == SQL_NULL_DATA ? SQL_NULL_DATA : 0;
                    result.bytes += static_cast<unsigned long long>(b.width);
                }
            }
            rc = out.get()->execute();
            if (rc.code == 0) ++result.rows;
        }
        if (rc.code != 0) break;
        if (progress && !progress(result.rows, result.bytes)) {
            rc = XQRC(9147, 0, XQRC::WhsSrv);
            rc.comment = L"copy stopped on request";
            break;
        }
        if (fetched < rowset) break;
    }
    if (rc.code == 0) rc = target.commit();
    if (rc.code != 0) target.rollback();
    result.rc = rc;
    return result;
}

XQRC readAllAsText(XQOdbcConnect& connection, const XQSTRING& select, size_t columnCount,
                   std::vector<std::vector<std::string>>& rows) {
    rows.clear();
    XQRC rc(0, 0, XQRC::WhsSrv);
    CursorLease lease(connection, 1, rc);
    if (rc.code != 0) return rc;
    const long width = 1024;
    std::vector<std::vector<char>> values(columnCount, std::vector<char>(width));
    std::vector<SQLLEN> lengths(columnCount);
    rc = lease.get()->prepare(select);
    for (size_t c = 0; rc.code == 0 && c < columnCount; ++c)
        rc = lease.get()->bindCol(static_cast<unsigned int>(c + 1), SQL_C_CHAR, values[c].data(), width, &lengths[c]);
    if (rc.code != 0) return rc;
    while (true) {
        XQRC fetchRc(0, 0, XQRC::WhsSrv);
        int got = lease.get()->fetch(fetchRc);
        if (got == 0) {
            if (fetchRc.code != 0) return fetchRc;
            break;
        }
        std::vector<std::string> row;
        for (size_t c = 0; c < columnCount; ++c)
            row.push_back(lengths[c] == SQL_NULL_DATA ? std::string("<null>") : std::string(values[c].data()));
        rows.push_back(std::move(row));
    }
    return XQRC(0, 0, XQRC::WhsSrv);
}

}  // namespace demo
