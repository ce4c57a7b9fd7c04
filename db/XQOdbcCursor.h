#ifndef TCORE_DB_XQODBCCURSOR_H
#define TCORE_DB_XQODBCCURSOR_H

#include <atomic>
#include <vector>

#include "db/XQOdbcHandle.h"
#include "foundation/Export.h"
#include "foundation/XQRC.h"

class XQOdbcConnect;

// One statement of a connection's cursor pool.
//
// State: 0 "None", 1 "allocated" (statement handle held), 2 "prepared",
// 3 "open" (executed). A cursor keeps the first statement prepared on it:
// once in state 2 or 3, prepare() with another text neither prepares nor
// fails, and the next execution runs the first text again, until free()
// returns it to state 0.
//
// Thread-safety: none of its own. A cursor of a connection's pool is used by
// one thread between XQOdbcConnect::getCursor and dropCursor. Buffers given
// to bindParameter and bindCol must stay valid while the statement is
// executed or fetched.
//
// Failures are XQRC of domain ODBC: 2002 no connection, 2007 statement not
// allocated, 2008 statement not freed or closed, 2011 execution, 2014
// prepare, 2015 fetch, 2016 array fetch, 2017 parameter binding, 2018 column
// binding, 2019 array fetch or parameter array options.
class TCORE_EXPORT XQOdbcCursor {
public:
    XQOdbcCursor();
    ~XQOdbcCursor();
    XQOdbcCursor(const XQOdbcCursor&) = delete;
    XQOdbcCursor& operator=(const XQOdbcCursor&) = delete;

    // Set by the owning connection; a cursor without one is not usable.
    void setConnection(XQOdbcConnect* connection) { pConnection = connection; }
    XQOdbcConnect* getConnection() const { return pConnection; }

    XQRC prepare(const XQSTRING& statement);
    // As prepare, for SQLExtendedFetch: rowsetSize rows per fetch, bindType 0
    // for column-wise binding or the size of one row's structure.
    XQRC prepareArray(const XQSTRING& statement, unsigned long rowsetSize, unsigned long bindType);

    // Parameter arrays, the counterpart of the array fetch: one execution
    // sends up to paramsetSize rows of parameters. As prepare, and sets the
    // statement up for it: bindType 0 for column-wise binding (bindParameter
    // gets arrays: character and binary values valueMax bytes apart, other
    // values the size of their C type apart, lengths one long apart) or the
    // size of one row's structure (row-wise: every value and length of row i
    // is i structures after row 0's). Option failures are 2019.
    XQRC prepareParamArray(const XQSTRING& statement, unsigned long paramsetSize,
                           unsigned long bindType);
    // Executes a statement prepared with prepareParamArray once for rows 1 to
    // rows of the bound arrays (REQUIRES 1 <= rows <= paramsetSize). Success
    // when every row went through (a server notice included). Otherwise 2011
    // with the driver's diagnostics for the first row that failed; failedRow
    // and message token 1 give its number (from 1), or 0 and empty when the
    // driver tells no row. What the driver marks is not always one row
    // (psqlODBC marks every row it sent in one batch, the SQLite driver
    // marks none and stops at the failing row), so the rows from the first
    // one not known to have gone through are executed again one at a time
    // until one fails the same way. A failed call leaves an unspecified part
    // of the rows in the transaction: roll back.
    XQRC executeArray(unsigned long rows, unsigned long& failedRow);

    // Any result but plain success (no-data and warnings included) is 2011;
    // a server notice (with-info of SQLSTATE 00000) is success.
    XQRC execute();
    // As execute, but no data (or a warning with SQLSTATE 02000) is success.
    XQRC executeIgnoreNDF();

    // Executes a prepared cursor first. Returns 1 for a row fetched cleanly;
    // 0 when there is no further row (rc untouched) or an error stopped it
    // (rc filled); the code of rc (nonzero) for a row that came with a
    // warning. After the last row every further call returns 0 without
    // calling the driver. After a row with a warning each further call
    // reports that warning again until the cursor is prepared anew.
    int fetch(XQRC& rc);
    // As fetch, rowsetSize rows at a time into arrays bound with bindCol;
    // rowsFetched receives the rows of this row set (0 at the end).
    int fetchArray(XQRC& rc, unsigned long rowsetSize, unsigned long& rowsFetched);

    // Passed to SQLBindParameter / SQLBindCol unchanged. The parameter's
    // description is kept for executeArray's search of a failed row.
    XQRC bindParameter(unsigned int number, int paramType, int cType, int sqlType, unsigned int columnSize,
                       int scale, void* value, long valueMax, long* length);
    XQRC bindCol(unsigned int column, int cType, void* value, long valueMax, long* length);

    XQRC testConnect();
    // Drops the statement handle: state 0.
    XQRC free();
    XQSTRING stateChar();
    XQRC getRetcode(const XQSTRING& method, unsigned int code, const XQSTRING& insert1,
                    const XQSTRING& insert2) const;

    int getState() const { return state; }
    short getLastReturn() const { return lastReturn; }
    XQSQLHSTMT getStatementHandle() const { return hstmt.get(); }

    // Statement executions of all cursors of the process.
    static std::atomic<unsigned> executeCount;

private:
    enum class ArrayOf { none, rows, parameters };
    XQRC prepareStatement(const XQSTRING& statement, ArrayOf array, unsigned long size, unsigned long bindType);
    short setParamArray(unsigned long size, unsigned long bindType);
    int fetchRows(XQRC& rc, bool array, unsigned long rowsetSize, unsigned long* rowsFetched);
    short setParamsetSize(unsigned long rows);
    short bindParameterRow(unsigned long row);
    unsigned long findFailedRow(unsigned long rows, XQRC& rc);

    // A parameter as given to bindParameter (number 0: not bound).
    struct BoundParameter {
        unsigned int number = 0;
        int paramType = 0, cType = 0, sqlType = 0;
        unsigned int columnSize = 0;
        int scale = 0;
        void* value = nullptr;
        long valueMax = 0;
        long* length = nullptr;
    };

    XQOdbcHandle hstmt;
    int state;
    XQOdbcConnect* pConnection;
    short lastReturn;
    std::vector<unsigned short> rowStatus;
    // Parameter arrays: the parameters by number - 1, rows per execution as
    // prepared and as set now, the bind type, the status of each row and the
    // rows processed, as the driver writes them.
    std::vector<BoundParameter> boundParameters;
    unsigned long paramsetSize;
    unsigned long paramsetNow;
    unsigned long paramBindType;
    std::vector<unsigned short> paramStatus;
    unsigned long paramsProcessed;
};

#endif
