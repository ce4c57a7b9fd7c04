#include "support/TableCopy.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <memory>

#include "db/XQOdbcConnect.h"
#include "db/XQOdbcCursor.h"

namespace demo {

namespace {

// Where one column lives in a fetched row: the rows are bound row-wise, so a
// row set is an array of rows of rowBytes bytes, each holding every column's
// value and length. The same bytes are bound as the insert's parameters: no
// value is copied between the fetch and the insert.
struct ColumnSlot {
    int cType = SQL_C_CHAR;
    int sqlType = SQL_VARCHAR;
    unsigned int columnSize = 0;
    long width = 0;  // bytes of the value
    size_t value = 0;
    size_t length = 0;
};

struct RowLayout {
    std::vector<ColumnSlot> columns;
    size_t rowBytes = 0;
};

size_t alignUp(size_t n) {
    return (n + alignof(SQLLEN) - 1) / alignof(SQLLEN) * alignof(SQLLEN);
}

RowLayout makeLayout(const std::vector<XQAttributeData>& columns) {
    RowLayout layout;
    for (const XQAttributeData& col : columns) {
        ColumnSlot b;
        b.sqlType = col.Number1;
        auto as = [&b](int cType, long width, unsigned int columnSize) {
            b.cType = cType;
            b.width = width;
            b.columnSize = columnSize;
        };
        switch (col.Number1) {
            case SQL_INTEGER:
            case SQL_BIGINT:
            case SQL_SMALLINT: as(SQL_C_SBIGINT, sizeof(int64_t), 19); break;
            case SQL_DOUBLE:
            case SQL_FLOAT:
            case SQL_REAL: as(SQL_C_DOUBLE, sizeof(double), 15); break;
            case SQL_TYPE_TIMESTAMP: as(SQL_C_CHAR, 32, 26); break;
            default: {
                const unsigned int size = col.Number2 > 0 ? static_cast<unsigned int>(col.Number2) : 255;
                as(SQL_C_CHAR, static_cast<long>(size) * 4 + 1, size);  // UTF-8: up to 4 bytes a character
            }
        }
        b.value = layout.rowBytes;
        b.length = alignUp(b.value + static_cast<size_t>(b.width));
        layout.rowBytes = b.length + sizeof(SQLLEN);
        layout.columns.push_back(b);
    }
    return layout;
}

// "INSERT INTO table (a, b) VALUES (?, ?), (?, ?)" for rows rows.
XQSTRING insertStatement(const XQSTRING& table, const std::vector<XQAttributeData>& columns,
                         unsigned long rows) {
    XQSTRING names, marks = L"(";
    for (size_t i = 0; i < columns.size(); ++i) {
        names += (i ? L", " : L"") + columns[i].Text1;
        marks += i ? L", ?" : L"?";
    }
    marks += L")";
    XQSTRING values = marks;
    for (unsigned long r = 1; r < rows; ++r) values += L", " + marks;
    return L"INSERT INTO " + table + L" (" + names + L") VALUES " + values;
}

// Rows a statement of the insert carries. The drivers go through a
// parameter array one set at a time (SQLite prepares the statement again for
// each set, psqlODBC sends each set as a statement of its own), so one set
// should carry many rows; a few thousand parameters stay within every
// driver's limit.
unsigned long rowsPerStatement(size_t columns, unsigned long rowset) {
    const unsigned long byParameters = 3000 / static_cast<unsigned long>(columns ? columns : 1);
    unsigned long rows = byParameters < rowset ? byParameters : rowset;
    return rows ? rows : 1;
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

// The insert side of the copy: a statement of rowsPerStatement rows, bound to
// the fetch buffer as a parameter array whose set s is rows s x n to
// (s + 1) x n - 1 (row-wise, n rows' bytes apart), one execution per row set.
// The rows a row set has beyond whole sets go through a statement of just
// that many rows.
class BatchInsert {
  public:
    BatchInsert(XQOdbcConnect& target, const XQSTRING& table,
                const std::vector<XQAttributeData>& columns, const RowLayout& layout,
                std::vector<char>& rows, unsigned long rowset)
        : target_(target),
          table_(table),
          columns_(columns),
          layout_(layout),
          rows_(rows),
          rowset_(rowset),
          perSet_(rowsPerStatement(columns.size(), rowset)) {}

    // Inserts the first fetched rows of the buffer. On failure failedRow
    // receives the row that failed (from 1, within these rows) when known.
    XQRC insert(unsigned long fetched, unsigned long& failedRow) {
        failedRow = 0;
        const unsigned long sets = fetched / perSet_, rest = fetched % perSet_;
        XQRC rc(0, 0, XQRC::WhsSrv);
        unsigned long failed = 0;
        if (sets > 0) {
            rc = statement(sets_, 0, perSet_, rowset_ / perSet_, 0);
            if (rc.code == 0) rc = sets_->get()->executeArray(sets, failed);
            if (rc.code != 0 && failed != 0)
                return findRow((failed - 1) * perSet_, perSet_, rc, failedRow);
        }
        if (rc.code == 0 && rest > 0) {
            rc = statement(rest_, 1, rest, 1, sets * perSet_);
            if (rc.code == 0) rc = rest_->get()->executeArray(1, failed);
            if (rc.code != 0) return findRow(sets * perSet_, rest, rc, failedRow);
        }
        return rc;
    }

  private:
    // A cursor holding the statement of rows rows, prepared for paramsets
    // sets and bound from row first of the buffer. A prepared one is reused
    // when it has the same shape.
    XQRC statement(std::unique_ptr<CursorLease>& lease, int index, unsigned long rows,
                   unsigned long paramsets, unsigned long first) {
        XQRC rc(0, 0, XQRC::WhsSrv);
        Shape shape{rows, paramsets, first};
        if (lease && shapes_[index] == shape) return rc;
        if (!lease) lease.reset(new CursorLease(target_, index, rc));
        if (rc.code != 0) return rc;
        XQOdbcCursor* c = lease->get();
        c->free();
        rc = c->prepareParamArray(insertStatement(table_, columns_, rows), paramsets,
                                  rows * layout_.rowBytes);
        unsigned int number = 0;
        for (unsigned long r = 0; rc.code == 0 && r < rows; ++r) {
            char* row = rows_.data() + (first + r) * layout_.rowBytes;
            for (size_t k = 0; rc.code == 0 && k < layout_.columns.size(); ++k) {
                const ColumnSlot& b = layout_.columns[k];
                rc = c->bindParameter(++number, SQL_PARAM_INPUT, b.cType, b.sqlType, b.columnSize,
                                      0, row + b.value, b.width,
                                      reinterpret_cast<long*>(row + b.length));
            }
        }
        shapes_[index] = rc.code == 0 ? shape : Shape{};
        return rc;
    }

    // rows rows from row first failed together: one row at a time names the
    // one that fails (the transaction is rolled back afterwards anyway).
    XQRC findRow(unsigned long first, unsigned long rows, XQRC rc, unsigned long& failedRow) {
        unsigned long failed = 0;
        XQRC single = statement(single_, 2, 1, perSet_, first);
        if (single.code == 0) single = single_->get()->executeArray(rows, failed);
        if (single.code != 0 && failed != 0) {
            rc = single;
            failedRow = first + failed;
        }
        return rc;
    }

    struct Shape {
        unsigned long rows = 0, paramsets = 0, first = 0;
        bool operator==(const Shape& o) const {
            return rows == o.rows && paramsets == o.paramsets && first == o.first;
        }
    };

    XQOdbcConnect& target_;
    const XQSTRING& table_;
    const std::vector<XQAttributeData>& columns_;
    const RowLayout& layout_;
    std::vector<char>& rows_;
    const unsigned long rowset_;
    const unsigned long perSet_;
    std::unique_ptr<CursorLease> sets_, rest_, single_;
    Shape shapes_[3];
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

    const RowLayout layout = makeLayout(columns);
    std::vector<char> rows(layout.rowBytes * rowset, 0);
    rc = in.get()->prepareArray(select, rowset, layout.rowBytes);
    for (size_t c = 0; rc.code == 0 && c < layout.columns.size(); ++c) {
        const ColumnSlot& b = layout.columns[c];
        rc = in.get()->bindCol(static_cast<unsigned int>(c + 1), b.cType, rows.data() + b.value,
                               b.width, reinterpret_cast<long*>(rows.data() + b.length));
    }
    if (rc.code == 0 && replaceTarget) {
        // Mode 1: an empty target (no data) is not a failure.
        rc = target.executeStmt(L"DELETE FROM " + targetTable, 1);
    }
    if (rc.code != 0) return result.rc = rc, result;
    BatchInsert out(target, targetTable, columns, layout, rows, rowset);

    while (true) {
        unsigned long fetched = 0;
        XQRC fetchRc(0, 0, XQRC::WhsSrv);
        int got = in.get()->fetchArray(fetchRc, rowset, fetched);
        if (got == 0 && fetchRc.code != 0) {
            rc = fetchRc;
            break;
        }
        if (fetched == 0) break;
        // Fetched lengths serve as the parameters' lengths: a text cut to its
        // buffer goes as the NUL-terminated text it was cut to, a fixed-size
        // value's length is ignored.
        for (unsigned long r = 0; r < fetched; ++r) {
            char* row = rows.data() + r * layout.rowBytes;
            for (const ColumnSlot& b : layout.columns) {
                SQLLEN& len = *reinterpret_cast<SQLLEN*>(row + b.length);
                if (len == SQL_NULL_DATA) continue;
                if (b.cType == SQL_C_CHAR) {
                    result.bytes += len > 0 ? static_cast<unsigned long long>(len) : 0;
                    if (len < 0 || len >= b.width) len = SQL_NTS;
                } else {
                    len = 0;
                    result.bytes += static_cast<unsigned long long>(b.width);
                }
            }
        }
        unsigned long failedRow = 0;
        rc = out.insert(fetched, failedRow);
        if (rc.code != 0) {
            if (failedRow != 0) {
                result.rows += failedRow - 1;
                rc.messageToken1 = xqNumber(static_cast<long>(result.rows + 1));
                rc.AddComment(L"row " + rc.messageToken1 + L" of the copy failed");
            }
            break;
        }
        result.rows += fetched;
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
