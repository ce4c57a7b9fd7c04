#include "db/XQOdbcConnect.h"

#include "db/OdbcDriver.h"
#include "db/XQConfiguration.h"
#include "db/XQOdbc.h"
#include "foundation/ProcessInfo.h"
#include "foundation/Trace.h"
#include "os/XQabsFactory.h"
#include "os/XQabsMutexSemaphore.h"

namespace {

XQRC success() { return XQRC(0, 0, XQRC::WhsSrv); }

}  // namespace

XQOdbcConnect::XQOdbcConnect()
    : henv(nullptr),
      hdbc(SQL_HANDLE_DBC), hstmt(SQL_HANDLE_STMT), lastReturn(0), state(0), autoCommit(true), option1277(-1) {
    XQabsFactory* factory = XQabsFactory::Instance();
    for (int i = 0; i < cursorCount; ++i) {
        cursors[i].setConnection(this);
        cursorLocks[i].reset(factory->CreateMutexSemaphore(XQSTRING()));
    }
    connectionLock.reset(factory->CreateMutexSemaphore(XQSTRING()));
}

XQOdbcConnect::~XQOdbcConnect() {
    if (state != 0) disconnect();
}

XQRC XQOdbcConnect::connect(const XQSTRING& dataSource, const XQSTRING& user, const XQSTRING& password,
                            const int implicitLogin) {
    XQ_TRACE_METHOD("XQOdbcConnect::connect()");
    if (state == 0) {
        henv = XQOdbc::getEnv()->getEnvHandle();
        lastReturn = hdbc.allocate(henv);
        if (!SQL_SUCCEEDED(lastReturn))
            return odbcRetcode(SQL_ERROR, henv, SQL_NULL_HDBC, SQL_NULL_HSTMT, L"XQOdbcConnect::connect", 2005,
                               dataSource, XQSTRING());
        state = 1;
    }

    std::string source = xqToMultibyte(dataSource);
    std::string uid = implicitLogin ? std::string() : xqToMultibyte(user);
    std::string pwd = implicitLogin ? std::string() : xqToMultibyte(password);
    lastReturn = XQ_ODBC(SQLConnect, hdbc.get(), (SQLCHAR*)source.c_str(), SQL_NTS, (SQLCHAR*)uid.c_str(), SQL_NTS,
                         (SQLCHAR*)pwd.c_str(), SQL_NTS);
    if (!SQL_SUCCEEDED(lastReturn)) {
        OdbcDiagnostic diag;
        odbcFirstDiagnostic(SQL_HANDLE_DBC, hdbc.get(), diag);
        XQRC rc(0, 0, XQRC::ODBC);
        rc.secondaryCode = diag.native != 0 ? static_cast<int>(diag.native) : -9999;
        rc.auxText = xqFromMultibyte(diag.state);
        rc.systemMessage = xqFromMultibyte(diag.message);
        rc.SetXQMessage(dataSource, XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(),
                        XQSTRING(), XQSTRING(), XQSTRING());
        odbcStamp(rc, 2009, L"XQOdbc::connect");
        return rc;
    }
    state = 2;
    autoCommit = true;

    lastReturn = hstmt.allocate(hdbc.get());
    if (!SQL_SUCCEEDED(lastReturn)) return getRetcode(L"XQOdbcConnect::connect", 2007, dataSource, XQSTRING());
    state = 3;
    return success();
}

XQRC XQOdbcConnect::setAutoCommit(bool on, const wchar_t* method) {
    lastReturn = XQ_ODBC(SQLSetConnectAttr, hdbc.get(), SQL_ATTR_AUTOCOMMIT,
                         reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
    if (!SQL_SUCCEEDED(lastReturn))
        return odbcRetcode(lastReturn, henv, hdbc.get(), SQL_NULL_HSTMT, method, 2005, XQSTRING(), XQSTRING());
    autoCommit = on;
    return success();
}

XQRC XQOdbcConnect::connectOptionManual() {
    XQ_TRACE_METHOD("XQOdbcConnect::connectOptionManual()");
    return setAutoCommit(false, L"XQOdbcConnect::connectOptionManual");
}

XQRC XQOdbcConnect::connectOptionAuto() {
    XQ_TRACE_METHOD("XQOdbcConnect::connectOptionAuto()");
    return setAutoCommit(true, L"XQOdbcConnect::connectOptionAuto");
}

XQRC XQOdbcConnect::disconnect() {
    XQ_TRACE_METHOD("XQOdbcConnect::disconnect()");
    if (state == 3) {
        lastReturn = hstmt.free();
        if (!SQL_SUCCEEDED(lastReturn)) return getRetcode(L"XQOdbcConnect::disconnect", 2008, XQSTRING(), XQSTRING());
        state = 2;
    }
    for (int i = 0; i < cursorCount; ++i) {
        XQRC rc = cursors[i].free();
        if (rc.code != 0) return rc;
    }
    if (state == 2) {
        lastReturn = XQ_ODBC(SQLDisconnect, hdbc.get());
        if (!SQL_SUCCEEDED(lastReturn))
            return odbcRetcode(lastReturn, henv, hdbc.get(), SQL_NULL_HSTMT,
                               L"XQOdbcConnect::disconnect", 2010, XQSTRING(), XQSTRING());
        state = 1;
        option1277 = -1;
    }
    if (state == 1) {
        lastReturn = hdbc.free();
        if (!SQL_SUCCEEDED(lastReturn))
            return odbcRetcode(lastReturn, henv, hdbc.get(), SQL_NULL_HSTMT,
                               L"XQOdbcConnect::disconnect", 2006, XQSTRING(), XQSTRING());
        state = 0;
    }
    return success();
}

XQRC XQOdbcConnect::executeStmt(const XQSTRING& statement, int mode) {
    XQ_TRACE_METHOD("XQOdbcConnect::executeStmt()");
    std::string text = xqToMultibyte(statement);
    if (XQConfiguration::sqlTraceOn()) traceBareLine("------------ Executing:\n" + text);
    // A result set left open by an earlier statement would make the next
    // execution fail with an invalid cursor state.
    XQ_ODBC(SQLFreeStmt, hstmt.get(), SQL_CLOSE);
    lastReturn = XQ_ODBC(SQLExecDirect, hstmt.get(), (SQLCHAR*)text.c_str(), SQL_NTS);
    if (lastReturn == SQL_SUCCESS) return success();
    if (mode == 1 && lastReturn == SQL_NO_DATA) return success();
    XQRC rc = getRetcode(L"XQOdbcConnect::executeStmt", 2012, statement, XQSTRING());
    if (mode == 1 && lastReturn == SQL_SUCCESS_WITH_INFO && rc.auxText == L"02000") return success();
    if (!odbcIsNotice(lastReturn, rc)) return rc;
    lastReturn = SQL_SUCCESS;
    return success();
}

XQRC XQOdbcConnect::executeDrop(const XQSTRING& statement) {
    XQ_TRACE_METHOD("XQOdbcConnect::executeDrop()");
    XQRC rc = executeStmt(statement, 0);
    if (rc.code != 0 && odbcIsMissingObject(rc)) return success();
    return rc;
}

XQRC XQOdbcConnect::commit() {
    XQ_TRACE_METHOD("XQOdbcConnect::commit()");
    lastReturn = XQ_ODBC(SQLEndTran, SQL_HANDLE_DBC, hdbc.get(), SQL_COMMIT);
    return odbcRetcode(lastReturn, henv, hdbc.get(), SQL_NULL_HSTMT, L"XQOdbcConnect::commit", 2013,
                       XQSTRING(), XQSTRING());
}

XQRC XQOdbcConnect::rollback() {
    XQ_TRACE_METHOD("XQOdbcConnect::rollback()");
    lastReturn = XQ_ODBC(SQLEndTran, SQL_HANDLE_DBC, hdbc.get(), SQL_ROLLBACK);
    return odbcRetcode(lastReturn, henv, hdbc.get(), SQL_NULL_HSTMT, L"XQOdbcConnect::rollback",
                       2013, XQSTRING(), XQSTRING());
}

XQOdbcCursor* XQOdbcConnect::getCursor(int index, XQRC& rc) {
    XQabsMutexSemaphore* lock = cursorLocks[index].get();
    XQRC lockRc = lock != nullptr ? lock->Acquire() : XQRC(9015, 0, XQRC::WhsSrv);
    if (lockRc.code != 0) {
        rc = lockRc;
        rc.AddComment(L"XQOdbcConnect::getCursor");
        return nullptr;
    }
    return &cursors[index];
}

XQRC XQOdbcConnect::dropCursor(int index) {
    XQabsMutexSemaphore* lock = cursorLocks[index].get();
    XQRC rc = lock != nullptr ? lock->Release() : XQRC(9015, 0, XQRC::WhsSrv);
    if (rc.code != 0) rc.AddComment(L"XQOdbcConnect::dropCursor");
    return rc;
}

XQSTRING XQOdbcConnect::getInfo(unsigned short type, const wchar_t* method, XQRC& rc) {
    SQLCHAR buffer[255] = {};
    SQLSMALLINT length = 0;
    lastReturn = XQ_ODBC(SQLGetInfo, hdbc.get(), type, buffer, static_cast<SQLSMALLINT>(sizeof(buffer)), &length);
    if (!SQL_SUCCEEDED(lastReturn)) {
        rc = odbcRetcode(lastReturn, henv, hdbc.get(), SQL_NULL_HSTMT, method, 2005, XQSTRING(),
                         XQSTRING());
        return XQSTRING();
    }
    rc = success();
    buffer[sizeof(buffer) - 1] = 0;
    return xqFromMultibyte(reinterpret_cast<const char*>(buffer));
}

XQSTRING XQOdbcConnect::getDBType(XQRC& rc) {
    XQ_TRACE_METHOD("XQOdbcConnect::getDBType()");
    return getInfo(SQL_DBMS_NAME, L"XQOdbcConnect::getDBType", rc);
}

XQSTRING XQOdbcConnect::getDBVersion(XQRC& rc) {
    XQ_TRACE_METHOD("XQOdbcConnect::getDBVersion()");
    return getInfo(SQL_DBMS_VER, L"XQOdbcConnect::getDBVersion", rc);
}

XQRC XQOdbcConnect::getRetcode(const XQSTRING& method, unsigned int code, const XQSTRING& insert1,
                               const XQSTRING& insert2) const {
    return getRetcode(method, code, hstmt.get(), insert1, insert2);
}

XQRC XQOdbcConnect::getRetcode(const XQSTRING& method, unsigned int code, XQSQLHSTMT statement,
                               const XQSTRING& insert1, const XQSTRING& insert2) const {
    if (lastReturn == SQL_SUCCESS) return success();
    return odbcRetcode(lastReturn, henv, hdbc.get(), statement, method, code, insert1, insert2);
}
