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
// binding, 2019 array fetch options.
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

    // Passed to SQLBindParameter / SQLBindCol unchanged.
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
    XQRC prepareStatement(const XQSTRING& statement, bool array, unsigned long rowsetSize,
                          unsigned long bindType);
    int fetchRows(XQRC& rc, bool array, unsigned long rowsetSize, unsigned long* rowsFetched);

    XQOdbcHandle hstmt;
    int state;
    XQOdbcConnect* pConnection;
    short lastReturn;
    std::vector<unsigned short> rowStatus;
};

#endif
