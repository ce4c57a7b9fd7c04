#include "db/XQOdbcCursor.h"

#include "db/OdbcDriver.h"
#include "db/XQOdbcConnect.h"
#include "foundation/Trace.h"
#include "os/ThreadId.h"

std::atomic<unsigned> XQOdbcCursor::executeCount(0);

namespace {

XQRC success() { return XQRC(0, 0, XQRC::WhsSrv); }

// Statement option of one vendor's driver; other drivers refuse it.
const SQLINTEGER kVendorOption1277 = 1277;

}  // namespace

XQOdbcCursor::XQOdbcCursor() : hstmt(SQL_HANDLE_STMT), state(0), pConnection(nullptr), lastReturn(0) {}

XQOdbcCursor::~XQOdbcCursor() = default;

XQRC XQOdbcCursor::testConnect() {
    if (pConnection != nullptr) return success();
    XQRC rc(0, 0, XQRC::ODBC);
    odbcStamp(rc, 2002, L"XQOdbcCursor::testConnect");
    return rc;
}

XQRC XQOdbcCursor::getRetcode(const XQSTRING& method, unsigned int code, const XQSTRING& insert1,
                              const XQSTRING& insert2) const {
    if (lastReturn == SQL_SUCCESS) return success();
    SQLHENV env = pConnection != nullptr ? pConnection->getEnvHandle() : SQL_NULL_HENV;
    SQLHDBC dbc = pConnection != nullptr ? pConnection->getConnectionHandle() : SQL_NULL_HDBC;
    return odbcRetcode(lastReturn, env, dbc, hstmt.get(), method, code, insert1, insert2);
}

XQRC XQOdbcCursor::prepare(const XQSTRING& statement) {
    XQ_TRACE_METHOD("XQOdbcCursor::prepare()");
    return prepareStatement(statement, false, 0, 0);
}

XQRC XQOdbcCursor::prepareArray(const XQSTRING& statement, unsigned long rowsetSize, unsigned long bindType) {
    XQ_TRACE_METHOD("XQOdbcCursor::prepareArray()");
    return prepareStatement(statement, true, rowsetSize, bindType);
}

XQRC XQOdbcCursor::prepareStatement(const XQSTRING& statement, bool array, unsigned long rowsetSize,
                                    unsigned long bindType) {
    XQRC rc = testConnect();
    if (rc.code != 0) {
        rc.AddComment(L"From XQOdbcCursor::prepare - stmt=" + statement);
        return rc;
    }
    if (state == 0) {
        lastReturn = hstmt.allocate(pConnection->getConnectionHandle());
        if (!SQL_SUCCEEDED(lastReturn)) {
            lastReturn = SQL_ERROR;
            return getRetcode(L"XQOdbcCursor::prepare - SQLAllocStmt", 2007, statement, XQSTRING());
        }
        state = 1;
    }
    if (state == 1) {
        if (array) {
            lastReturn = XQ_ODBC(SQLSetStmtAttr, hstmt.get(), SQL_ROWSET_SIZE,
                                 reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(rowsetSize)), 0);
            if (SQL_SUCCEEDED(lastReturn)) lastReturn = odbcSetBindType(hstmt.get(), bindType);
            if (!SQL_SUCCEEDED(lastReturn))
                return getRetcode(L"XQOdbcCursor::prepareArray", 2019, statement, XQSTRING());
            rowStatus.assign(rowsetSize > 0 ? rowsetSize : 1, 0);
        } else if (pConnection->option1277.load(std::memory_order_relaxed) != 0) {
            SQLRETURN r = XQ_ODBC(SQLSetStmtAttr, hstmt.get(), kVendorOption1277, reinterpret_cast<SQLPOINTER>(0),
                                  SQL_IS_INTEGER);
            pConnection->option1277.store(SQL_SUCCEEDED(r) ? 1 : 0, std::memory_order_relaxed);
        }
        std::string text = xqToMultibyte(statement);
        XQ_TRACE(4, "\tXQOdbcCursor::prepare - input string after toAscii; tid= " << currentThreadId() << " "
                                                                                  << text);
        lastReturn = XQ_ODBC(SQLPrepare, hstmt.get(), (SQLCHAR*)text.c_str(), SQL_NTS);
        XQ_TRACE(4, "\tXQOdbcCursor::prepare - input string after PREPARE; tid= " << currentThreadId() << " "
                                                                                  << text);
        XQ_TRACE(4, "\tXQOdbcCursor::prepare - sqlhstmt= " << static_cast<const void*>(hstmt.get()));
        const wchar_t* method = array ? L"XQOdbcConnect::prepareArray" : L"XQOdbcConnect::prepare";
        if (lastReturn == SQL_SUCCESS_WITH_INFO) {
            rc = getRetcode(method, 2014, statement, XQSTRING());
            // A warning that the query may perform poorly is no failure.
            if (rc.secondaryCode != 437) return rc;
            lastReturn = SQL_SUCCESS;
        } else if (lastReturn != SQL_SUCCESS) {
            return getRetcode(method, 2014, statement, XQSTRING());
        }
        state = 2;
    } else if (state == 3) {
        lastReturn = XQ_ODBC(SQLFreeStmt, hstmt.get(), SQL_CLOSE);
        if (!SQL_SUCCEEDED(lastReturn)) return getRetcode(L"XQOdbcCursor::prepare", 2008, statement, XQSTRING());
        state = 2;
    }
    return success();
}

XQRC XQOdbcCursor::execute() {
    XQ_TRACE_METHOD("XQOdbcCursor::execute()");
    executeCount.fetch_add(1, std::memory_order_relaxed);
    lastReturn = XQ_ODBC(SQLExecute, hstmt.get());
    if (state >= 2) state = 3;
    XQRC rc = getRetcode(L"XQOdbcCursor::execute", 2011, XQSTRING(), XQSTRING());
    if (!odbcIsNotice(lastReturn, rc)) return rc;
    lastReturn = SQL_SUCCESS;
    return success();
}

XQRC XQOdbcCursor::executeIgnoreNDF() {
    XQ_TRACE_METHOD("XQOdbcCursor::executeIgnoreNDF()");
    executeCount.fetch_add(1, std::memory_order_relaxed);
    lastReturn = XQ_ODBC(SQLExecute, hstmt.get());
    if (state >= 2) state = 3;
    if (lastReturn == SQL_NO_DATA) return success();
    XQRC rc = getRetcode(L"XQOdbcCursor::executeIgnoreNDF", 2011, XQSTRING(), XQSTRING());
    if (lastReturn == SQL_SUCCESS_WITH_INFO && rc.auxText == L"02000") return success();
    if (!odbcIsNotice(lastReturn, rc)) return rc;
    lastReturn = SQL_SUCCESS;
    return success();
}

int XQOdbcCursor::fetch(XQRC& rc) {
    XQ_TRACE_METHOD("XQOdbcCursor::fetch()");
    return fetchRows(rc, false, 1, nullptr);
}

int XQOdbcCursor::fetchArray(XQRC& rc, unsigned long rowsetSize, unsigned long& rowsFetched) {
    XQ_TRACE_METHOD("XQOdbcCursor::fetchArray()");
    return fetchRows(rc, true, rowsetSize, &rowsFetched);
}

int XQOdbcCursor::fetchRows(XQRC& rc, bool array, unsigned long rowsetSize, unsigned long* rowsFetched) {
    const unsigned int code = array ? 2016 : 2015;
    const wchar_t* method = array ? L"XQOdbcCursor::fetchArray" : L"XQOdbcCursor::fetch";
    if (rowsFetched != nullptr) *rowsFetched = 0;
    if (state == 2) {
        executeCount.fetch_add(1, std::memory_order_relaxed);
        lastReturn = XQ_ODBC(SQLExecute, hstmt.get());
        if (lastReturn != SQL_SUCCESS) {
            XQRC executed = getRetcode(L"XQOdbcCursor::fetch", 2011, XQSTRING(), XQSTRING());
            if (odbcIsNotice(lastReturn, executed)) {
                lastReturn = SQL_SUCCESS;
            } else {
                rc = executed;
                if (rc.code != 0) return 0;
            }
        }
        state = 3;
    }
    // The end was reached before: the driver is not asked again.
    if (lastReturn == SQL_NO_DATA) return rc.code;
    if (lastReturn == SQL_SUCCESS_WITH_INFO) {
        rc = getRetcode(method, code, XQSTRING(), XQSTRING());
        if (rc.auxText == L"02000") {
            rc.Reset();
            return 0;
        }
        return rc.code;
    }
    if (array) {
        if (rowStatus.size() < rowsetSize) rowStatus.assign(rowsetSize, 0);
        SQLULEN fetched = 0;
        lastReturn = XQ_ODBC(SQLExtendedFetch, hstmt.get(), SQL_FETCH_NEXT, 0, &fetched, rowStatus.data());
        if (lastReturn == SQL_SUCCESS || lastReturn == SQL_SUCCESS_WITH_INFO) *rowsFetched = fetched;
    } else {
        lastReturn = XQ_ODBC(SQLFetch, hstmt.get());
    }
    switch (lastReturn) {
        case SQL_NO_DATA:
            return rc.code;
        case SQL_SUCCESS:
            return 1;
        case SQL_SUCCESS_WITH_INFO:
            rc = getRetcode(method, code, XQSTRING(), XQSTRING());
            if (rc.auxText == L"02000") {
                rc.Reset();
                return 0;
            }
            return rc.code;
        default:
            rc = getRetcode(method, code, XQSTRING(), XQSTRING());
            return 0;
    }
}

XQRC XQOdbcCursor::bindParameter(unsigned int number, int paramType, int cType, int sqlType,
                                 unsigned int columnSize, int scale, void* value, long valueMax, long* length) {
    XQ_TRACE_METHOD("XQOdbcCursor::bindParameter()");
    lastReturn = XQ_ODBC(SQLBindParameter, hstmt.get(), static_cast<SQLUSMALLINT>(number),
                         static_cast<SQLSMALLINT>(paramType), static_cast<SQLSMALLINT>(cType),
                         static_cast<SQLSMALLINT>(sqlType), columnSize, static_cast<SQLSMALLINT>(scale), value,
                         valueMax, length);
    return getRetcode(L"XQOdbcCursor::bindParameter", 2017, xqNumber(static_cast<long>(number)), XQSTRING());
}

XQRC XQOdbcCursor::bindCol(unsigned int column, int cType, void* value, long valueMax, long* length) {
    XQ_TRACE_METHOD("XQOdbcCursor::bindCol()");
    lastReturn = XQ_ODBC(SQLBindCol, hstmt.get(), static_cast<SQLUSMALLINT>(column), static_cast<SQLSMALLINT>(cType),
                         value, valueMax, length);
    return getRetcode(L"XQOdbcCursor::bindCol", 2018, xqNumber(static_cast<long>(column)), XQSTRING());
}

XQRC XQOdbcCursor::free() {
    XQ_TRACE_METHOD("XQOdbcCursor::free()");
    if (state == 0) return success();
    XQRC rc = testConnect();
    if (rc.code != 0) return rc.AddComment(L"XQOdbcCursor::free");
    lastReturn = hstmt.free();
    if (!SQL_SUCCEEDED(lastReturn)) return getRetcode(L"XQOdbcCursor::free", 2008, XQSTRING(), XQSTRING());
    lastReturn = SQL_SUCCESS;
    state = 0;
    return success();
}

XQSTRING XQOdbcCursor::stateChar() {
    switch (state) {
        case 0: return L"None";
        case 1: return L"allocated";
        case 2: return L"prepared";
        case 3: return L"open";
        default: return L"???";
    }
}
