#include "db/XQOdbcHandle.h"

#include "db/OdbcDriver.h"

XQOdbcHandle::~XQOdbcHandle() {
    if (handle_ == nullptr) return;
    if (type_ == SQL_HANDLE_DBC) {
        // A connection given up without an orderly disconnect: its open work
        // is rolled back, not committed.
        XQ_ODBC(SQLEndTran, SQL_HANDLE_DBC, handle_, SQL_ROLLBACK);
        XQ_ODBC(SQLDisconnect, handle_);
    }
    free();
}

short XQOdbcHandle::allocate(XQSQLHANDLE parent) {
    if (handle_ != nullptr) return SQL_SUCCESS;
    SQLHANDLE h = SQL_NULL_HANDLE;
    SQLRETURN r = XQ_ODBC(SQLAllocHandle, type_, parent, &h);
    if (SQL_SUCCEEDED(r))
        handle_ = h;
    else
        handle_ = nullptr;
    return r;
}

short XQOdbcHandle::free() {
    if (handle_ == nullptr) return SQL_SUCCESS;
    SQLRETURN r = XQ_ODBC(SQLFreeHandle, type_, handle_);
    if (SQL_SUCCEEDED(r)) handle_ = nullptr;
    return r;
}
