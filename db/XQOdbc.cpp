#include "db/XQOdbc.h"

#include "db/OdbcDriver.h"
#include "foundation/ProcessInfo.h"
#include "foundation/Trace.h"

XQOdbc* XQOdbc::pEnv = nullptr;

XQOdbc::XQOdbc() : henv(SQL_HANDLE_ENV) {
    XQ_TRACE_METHOD("XQOdbc::XQOdbc()");
    xqLocalHostName(hostName);
    SQLRETURN r = henv.allocate(SQL_NULL_HANDLE);
    if (SQL_SUCCEEDED(r)) {
        r = odbcDeclareVersion(henv.get());
        if (!SQL_SUCCEEDED(r)) henv.free();
    }
    if (!SQL_SUCCEEDED(r)) {
        XQRC rc(0, 0, XQRC::ODBC);
        rc.secondaryCode = r;
        odbcStamp(rc, 2003, L"XQOdbc::XQOdbc");
        throw rc;
    }
}

XQOdbc::~XQOdbc() = default;

XQOdbc* XQOdbc::getEnv() {
    if (pEnv == nullptr) pEnv = new XQOdbc();
    return pEnv;
}

void XQOdbc::free() {
    delete pEnv;
    pEnv = nullptr;
}
