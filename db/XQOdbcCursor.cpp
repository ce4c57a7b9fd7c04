#include "db/XQOdbcCursor.h"

#include <algorithm>

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

XQOdbcCursor::XQOdbcCursor()
    : hstmt(SQL_HANDLE_STMT),
      state(0),
      pConnection(nullptr),
      lastReturn(0),
      paramsetSize(0),
      paramsetNow(0),
      paramBindType(0),
      paramsProcessed(0) {}

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
    return prepareStatement(statement, ArrayOf::none, 0, 0);
}

XQRC XQOdbcCursor::prepareArray(const XQSTRING& statement, unsigned long rowsetSize, unsigned long bindType) {
    XQ_TRACE_METHOD("XQOdbcCursor::prepareArray()");
    return prepareStatement(statement, ArrayOf::rows, rowsetSize, bindType);
}

XQRC XQOdbcCursor::prepareParamArray(const XQSTRING& statement, unsigned long paramsetSize_,
                                     unsigned long bindType) {
    XQ_TRACE_METHOD("XQOdbcCursor::prepareParamArray()");
    return prepareStatement(statement, ArrayOf::parameters, paramsetSize_, bindType);
}

short XQOdbcCursor::setParamArray(unsigned long size, unsigned long bindType) {
    paramStatus.assign(size, SQL_PARAM_UNUSED);
    paramsProcessed = 0;
    short r = XQ_ODBC(SQLSetStmtAttr, hstmt.get(), SQL_ATTR_PARAM_BIND_TYPE,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(bindType)), 0);
    if (SQL_SUCCEEDED(r))
        r = XQ_ODBC(SQLSetStmtAttr, hstmt.get(), SQL_ATTR_PARAM_STATUS_PTR, paramStatus.data(), 0);
    if (SQL_SUCCEEDED(r))
        r = XQ_ODBC(SQLSetStmtAttr, hstmt.get(), SQL_ATTR_PARAMS_PROCESSED_PTR, &paramsProcessed,
                    0);
    if (SQL_SUCCEEDED(r)) r = setParamsetSize(size);
    if (!SQL_SUCCEEDED(r)) return r;
    paramsetSize = size;
    paramBindType = bindType;
    return r;
}

short XQOdbcCursor::setParamsetSize(unsigned long rows) {
    if (rows == paramsetNow) return SQL_SUCCESS;
    short r = XQ_ODBC(SQLSetStmtAttr, hstmt.get(), SQL_ATTR_PARAMSET_SIZE,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(rows)), 0);
    paramsetNow = SQL_SUCCEEDED(r) ? rows : 0;
    return r;
}

XQRC XQOdbcCursor::prepareStatement(const XQSTRING& statement, ArrayOf array, unsigned long size,
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
        if (array == ArrayOf::rows) {
            lastReturn = XQ_ODBC(SQLSetStmtAttr, hstmt.get(), SQL_ROWSET_SIZE,
                                 reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(size)), 0);
            if (SQL_SUCCEEDED(lastReturn)) lastReturn = odbcSetBindType(hstmt.get(), bindType);
            if (!SQL_SUCCEEDED(lastReturn))
                return getRetcode(L"XQOdbcCursor::prepareArray", 2019, statement, XQSTRING());
            rowStatus.assign(size > 0 ? size : 1, 0);
        } else if (array == ArrayOf::parameters) {
            lastReturn = setParamArray(size > 0 ? size : 1, bindType);
            if (!SQL_SUCCEEDED(lastReturn))
                return getRetcode(L"XQOdbcCursor::prepareParamArray", 2019, statement, XQSTRING());
        }
        if (array != ArrayOf::rows &&
            pConnection->option1277.load(std::memory_order_relaxed) != 0) {
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
        const wchar_t* method =
            array == ArrayOf::rows ? L"XQOdbcConnect::prepareArray" : L"XQOdbcConnect::prepare";
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

XQRC XQOdbcCursor::executeArray(unsigned long rows, unsigned long& failedRow) {
    XQ_TRACE_METHOD("XQOdbcCursor::executeArray()");
    failedRow = 0;
    if (rows == 0 || rows > paramsetSize) {
        XQRC rc(0, 0, XQRC::ODBC);
        odbcStamp(rc, 2011, L"XQOdbcCursor::executeArray");
        rc.comment = L"rows " + xqNumber(static_cast<long>(rows)) +
                     L" outside 1 to the parameter array size " +
                     xqNumber(static_cast<long>(paramsetSize));
        return rc;
    }
    lastReturn = setParamsetSize(rows);
    if (!SQL_SUCCEEDED(lastReturn))
        return getRetcode(L"XQOdbcCursor::executeArray", 2019, XQSTRING(), XQSTRING());
    // Drivers that write no status leave UNUSED behind, never an error.
    std::fill(paramStatus.begin(), paramStatus.begin() + static_cast<long>(rows), SQL_PARAM_UNUSED);
    paramsProcessed = 0;
    executeCount.fetch_add(1, std::memory_order_relaxed);
    lastReturn = XQ_ODBC(SQLExecute, hstmt.get());
    if (state >= 2) state = 3;
    const bool rowFailed =
        std::find(paramStatus.begin(), paramStatus.begin() + static_cast<long>(rows),
                  SQL_PARAM_ERROR) != paramStatus.begin() + static_cast<long>(rows);
    if (lastReturn == SQL_SUCCESS && !rowFailed) return success();
    XQRC rc = getRetcode(L"XQOdbcCursor::executeArray", 2011, XQSTRING(), XQSTRING());
    if (!rowFailed && odbcIsNotice(lastReturn, rc)) {
        lastReturn = SQL_SUCCESS;
        return success();
    }
    failedRow = findFailedRow(rows, rc);
    if (failedRow != 0) {
        rc.messageToken1 = xqNumber(static_cast<long>(failedRow));
        rc.AddComment(L"row " + rc.messageToken1 + L" of " + xqNumber(static_cast<long>(rows)) +
                      L" in the parameter array failed");
    }
    return rc;
}

short XQOdbcCursor::bindParameterRow(unsigned long row) {
    for (const BoundParameter& p : boundParameters) {
        if (p.number == 0) continue;  // a number left out
        char* value = static_cast<char*>(p.value);
        char* length = reinterpret_cast<char*>(p.length);
        if (paramBindType != 0) {
            const unsigned long offset = row * paramBindType;
            if (value) value += offset;
            if (length) length += offset;
        } else {
            const SQLLEN fixed = odbcFixedCTypeSize(static_cast<SQLSMALLINT>(p.cType));
            if (value) value += row * static_cast<unsigned long>(fixed != 0 ? fixed : p.valueMax);
            if (length) length += row * sizeof(SQLLEN);
        }
        short r = XQ_ODBC(SQLBindParameter, hstmt.get(), static_cast<SQLUSMALLINT>(p.number),
                          static_cast<SQLSMALLINT>(p.paramType), static_cast<SQLSMALLINT>(p.cType),
                          static_cast<SQLSMALLINT>(p.sqlType), p.columnSize,
                          static_cast<SQLSMALLINT>(p.scale), value, p.valueMax,
                          reinterpret_cast<SQLLEN*>(length));
        if (!SQL_SUCCEEDED(r)) return r;
    }
    return SQL_SUCCESS;
}

unsigned long XQOdbcCursor::findFailedRow(unsigned long rows, XQRC& rc) {
    // The first row not known to have gone through: the first one marked as
    // failed, else the count of rows the driver processed.
    unsigned long first = static_cast<unsigned long>(
        std::find(paramStatus.begin(), paramStatus.begin() + static_cast<long>(rows),
                  SQL_PARAM_ERROR) -
        paramStatus.begin());
    const bool marked = first < rows;
    if (!marked) first = paramsProcessed < rows ? paramsProcessed : rows - 1;
    unsigned long found = 0;
    XQRC located = rc;
    if (setParamsetSize(1) == SQL_SUCCESS) {
        for (unsigned long row = first; row < rows && found == 0; ++row) {
            if (!SQL_SUCCEEDED(bindParameterRow(row))) break;
            executeCount.fetch_add(1, std::memory_order_relaxed);
            lastReturn = XQ_ODBC(SQLExecute, hstmt.get());
            if (lastReturn == SQL_SUCCESS) continue;
            XQRC again = getRetcode(L"XQOdbcCursor::executeArray", 2011, XQSTRING(), XQSTRING());
            if (odbcIsNotice(lastReturn, again)) continue;
            // Only the same failure names the row: another (an aborted
            // transaction, for one) tells nothing about it.
            if (again.auxText != rc.auxText) break;
            found = row + 1;
            located = again;
        }
    }
    // Back to the whole arrays; a cursor that cannot be set back is set up
    // again by the next executeArray.
    if (!SQL_SUCCEEDED(bindParameterRow(0))) paramsetNow = 0;
    lastReturn = SQL_ERROR;
    if (found != 0) {
        rc = located;
        return found;
    }
    // Not found again: the first row the driver marked, if it marked one.
    return marked ? first + 1 : 0;
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
    if (SQL_SUCCEEDED(lastReturn) && number > 0) {
        if (boundParameters.size() < number) boundParameters.resize(number);
        boundParameters[number - 1] = {number, paramType, cType,    sqlType, columnSize,
                                       scale,  value,     valueMax, length};
    }
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
    boundParameters.clear();
    paramsetSize = paramsetNow = paramBindType = 0;
    paramStatus.clear();
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
