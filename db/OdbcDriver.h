#ifndef TCORE_DB_ODBCDRIVER_H
#define TCORE_DB_ODBCDRIVER_H

// Internal to the database classes: the one trace point of ODBC calls, the
// one translation of diagnostics into an XQRC, and the places where the
// drivers differ. Includes the ODBC headers; never included by public headers.

#include <sql.h>
#include <sqlext.h>

#include <string>

#include "foundation/XQRC.h"

static_assert(sizeof(SQLLEN) == sizeof(long), "the cursor interface passes SQLLEN as long");
static_assert(sizeof(SQLULEN) == sizeof(unsigned long), "the cursor interface passes SQLULEN as unsigned long");

// Every ODBC call goes through here: at level 4 it writes the call's name and
// result. Returns result unchanged.
SQLRETURN odbcTraced(const char* call, SQLRETURN result);
#define XQ_ODBC(fn, ...) ::odbcTraced(#fn, fn(__VA_ARGS__))

// One diagnostic record.
struct OdbcDiagnostic {
    std::string state = "00000";
    SQLINTEGER native = 0;
    std::string message;
};

// Reads the diagnostic records of one handle from the first until the driver
// stops returning success; the last one read is kept. Returns false when
// there was none.
bool odbcLastDiagnostic(SQLSMALLINT type, SQLHANDLE handle, OdbcDiagnostic& out);
// Record 1 only.
bool odbcFirstDiagnostic(SQLSMALLINT type, SQLHANDLE handle, OdbcDiagnostic& out);

// The return code of a failed ODBC call: nothing read when lastReturn is
// SQL_SUCCESS; else the diagnostics of the statement (when given), else of
// the connection, else of the environment, turned into code/native (-9999
// for 0)/SQLSTATE/driver message, with the method name, the two inserts, the
// command line and the host name.
XQRC odbcRetcode(SQLRETURN lastReturn, SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, const XQSTRING& method,
                 unsigned int code, const XQSTRING& insert1, const XQSTRING& insert2);

// Fills the fields every ODBC return code carries besides the diagnostics:
// domain ODBC, method, command line, host name (traces when it cannot be
// looked up).
void odbcStamp(XQRC& rc, unsigned int code, const XQSTRING& method);

// The driver differences, one place each.
// The environment asks for ODBC 3 behaviour: searched UPDATE/DELETE touching
// no rows then answer no-data on every driver.
SQLRETURN odbcDeclareVersion(SQLHENV env);
// Bind type of an array fetch: the SQLite driver refuses the ODBC 2 option.
SQLRETURN odbcSetBindType(SQLHSTMT stmt, SQLULEN bindType);
// "The named object does not exist", whatever the driver says it with.
bool odbcIsMissingObject(const XQRC& rc);
// A with-info result that carries only a server notice (SQLSTATE 00000, as
// PostgreSQL sends for "IF EXISTS" and the like) rather than a warning:
// success, not a failure.
bool odbcIsNotice(SQLRETURN result, const XQRC& rc);
// A text column as read into a bound buffer of bufferSize bytes with length
// indicator length: empty for NULL, never past the buffer.
std::string odbcText(const char* value, size_t bufferSize, SQLLEN length);
// The same for a CHAR column, without its padding: PostgreSQL pads CHAR
// values with blanks, SQLite does not. VARCHAR values are read with odbcText,
// trailing blanks and all.
std::string odbcTrimCharPadding(const char* value, size_t bufferSize, SQLLEN length);
// Bytes one value of a fixed-length C type takes in a column-wise array;
// 0 for character and binary types, whose values lie BufferLength apart.
SQLLEN odbcFixedCTypeSize(SQLSMALLINT cType);
// Whether the DBMS name is SQLite (no schemas: the store attaches its prefix).
bool odbcIsSQLite(const XQSTRING& dbmsName);

#endif
