#include "db/OdbcDriver.h"

#include <cstring>

#include "foundation/ProcessInfo.h"
#include "foundation/Trace.h"
#include "foundation/XQString.h"

SQLRETURN odbcTraced(const char* call, SQLRETURN result) {
    XQ_TRACE(4, "\tODBC " << call << " returned " << static_cast<int>(result));
    return result;
}

namespace {

bool readDiagnostic(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, OdbcDiagnostic& out) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR message[1025] = {};
    SQLSMALLINT length = 0;
    SQLRETURN r = XQ_ODBC(SQLGetDiagRec, type, handle, record, state, &native, message,
                          static_cast<SQLSMALLINT>(sizeof(message)), &length);
    // Some drivers misbehave when asked past the last record: stop at the
    // first answer that is not a record.
    if (!SQL_SUCCEEDED(r)) return false;
    out.state.assign(reinterpret_cast<const char*>(state), strnlen(reinterpret_cast<const char*>(state), 5));
    out.native = native;
    out.message = reinterpret_cast<const char*>(message);
    return true;
}

}  // namespace

bool odbcLastDiagnostic(SQLSMALLINT type, SQLHANDLE handle, OdbcDiagnostic& out) {
    if (handle == SQL_NULL_HANDLE) return false;
    bool found = false;
    // Bounded: a driver that keeps answering stops after 64 records.
    for (SQLSMALLINT record = 1; record <= 64; ++record) {
        if (!readDiagnostic(type, handle, record, out)) break;
        found = true;
    }
    return found;
}

bool odbcFirstDiagnostic(SQLSMALLINT type, SQLHANDLE handle, OdbcDiagnostic& out) {
    if (handle == SQL_NULL_HANDLE) return false;
    return readDiagnostic(type, handle, 1, out);
}

void odbcStamp(XQRC& rc, unsigned int code, const XQSTRING& method) {
    rc.code = static_cast<int>(code);
    rc.domain = XQRC::ODBC;
    rc.methodName = method;
    rc.executableName = GetCommandLine();
    XQSTRING host;
    if (xqLocalHostName(host) != 0) {
        XQ_TRACE(1, "Error during creating XQSocket: ");
        return;
    }
    rc.hostName = host;
}

XQRC odbcRetcode(SQLRETURN lastReturn, SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, const XQSTRING& method,
                 unsigned int code, const XQSTRING& insert1, const XQSTRING& insert2) {
    XQRC rc(0, 0, XQRC::WhsSrv);
    if (lastReturn == SQL_SUCCESS) return rc;
    OdbcDiagnostic diag;
    bool found = odbcLastDiagnostic(SQL_HANDLE_STMT, stmt, diag);
    if (!found) found = odbcLastDiagnostic(SQL_HANDLE_DBC, dbc, diag);
    if (!found) found = odbcLastDiagnostic(SQL_HANDLE_ENV, env, diag);
    rc.secondaryCode = diag.native != 0 ? static_cast<int>(diag.native) : -9999;
    rc.auxText = xqFromMultibyte(diag.state);
    rc.systemMessage = xqFromMultibyte(diag.message);
    rc.SetXQMessage(insert1, insert2, XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(),
                    XQSTRING(), XQSTRING());
    odbcStamp(rc, code, method);
    return rc;
}

SQLRETURN odbcDeclareVersion(SQLHENV env) {
    return XQ_ODBC(SQLSetEnvAttr, env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
}

SQLRETURN odbcSetBindType(SQLHSTMT stmt, SQLULEN bindType) {
    return XQ_ODBC(SQLSetStmtAttr, stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(bindType), 0);
}

bool odbcIsMissingObject(const XQRC& rc) {
    if (rc.secondaryCode == -204) return true;
    if (rc.auxText == L"42S02" || rc.auxText == L"42P01" || rc.auxText == L"42704") return true;
    // SQLite reports every failure as HY000 with native 1: only its text
    // tells a missing object apart.
    static const wchar_t* const texts[] = {L"no such table", L"no such view", L"no such index"};
    for (const wchar_t* t : texts)
        if (xqFindNoCase(rc.systemMessage, t) != XQSTRING::npos) return true;
    return false;
}

bool odbcIsNotice(SQLRETURN result, const XQRC& rc) {
    return result == SQL_SUCCESS_WITH_INFO && rc.auxText == L"00000";
}

std::string odbcText(const char* value, size_t bufferSize, SQLLEN length) {
    if (length == SQL_NULL_DATA || length < 0) return std::string();
    size_t n = static_cast<size_t>(length) < bufferSize ? static_cast<size_t>(length) : bufferSize;
    return std::string(value, strnlen(value, n));
}

std::string odbcTrimCharPadding(const char* value, size_t bufferSize, SQLLEN length) {
    std::string s = odbcText(value, bufferSize, length);
    std::string::size_type end = s.find_last_not_of(' ');
    s.erase(end == std::string::npos ? 0 : end + 1);
    return s;
}

bool odbcIsSQLite(const XQSTRING& dbmsName) { return xqFindNoCase(dbmsName, L"SQLite") == 0; }

SQLLEN odbcFixedCTypeSize(SQLSMALLINT cType) {
    switch (cType) {
        case SQL_C_BIT:
        case SQL_C_TINYINT:
        case SQL_C_STINYINT:
        case SQL_C_UTINYINT:
            return 1;
        case SQL_C_SHORT:
        case SQL_C_SSHORT:
        case SQL_C_USHORT:
            return sizeof(SQLSMALLINT);
        case SQL_C_LONG:
        case SQL_C_SLONG:
        case SQL_C_ULONG:
            return sizeof(SQLINTEGER);
        case SQL_C_FLOAT:
            return sizeof(SQLREAL);
        case SQL_C_DOUBLE:
            return sizeof(SQLDOUBLE);
        case SQL_C_SBIGINT:
        case SQL_C_UBIGINT:
            return sizeof(SQLBIGINT);
        case SQL_C_TYPE_DATE:
        case SQL_C_DATE:
            return sizeof(SQL_DATE_STRUCT);
        case SQL_C_TYPE_TIME:
        case SQL_C_TIME:
            return sizeof(SQL_TIME_STRUCT);
        case SQL_C_TYPE_TIMESTAMP:
        case SQL_C_TIMESTAMP:
            return sizeof(SQL_TIMESTAMP_STRUCT);
        case SQL_C_NUMERIC:
            return sizeof(SQL_NUMERIC_STRUCT);
        case SQL_C_GUID:
            return sizeof(SQLGUID);
        default:
            return 0;
    }
}
