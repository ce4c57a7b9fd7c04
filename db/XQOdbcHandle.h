#ifndef TCORE_DB_XQODBCHANDLE_H
#define TCORE_DB_XQODBCHANDLE_H

// Plain ODBC handle types, so that the public database headers need no
// <sql.h>. They are the driver manager's SQLHANDLE (a pointer).
typedef void* XQSQLHANDLE;
typedef void* XQSQLHSTMT;

// Owns one ODBC handle (environment, connection or statement). Freeing is
// idempotent; the destructor frees what is still held and never throws. A
// connection handle still connected is rolled back and disconnected first.
// Internal to the library; not copyable.
class XQOdbcHandle {
public:
    // type is SQL_HANDLE_ENV (1), SQL_HANDLE_DBC (2) or SQL_HANDLE_STMT (3).
    explicit XQOdbcHandle(short type) : type_(type), handle_(nullptr) {}
    ~XQOdbcHandle();
    XQOdbcHandle(const XQOdbcHandle&) = delete;
    XQOdbcHandle& operator=(const XQOdbcHandle&) = delete;

    // Allocates under parent (null for an environment) when nothing is held;
    // returns the ODBC result. On failure nothing is held.
    short allocate(XQSQLHANDLE parent);
    // Frees the handle; on success nothing is held, on failure it is kept.
    // Without a handle it returns success.
    short free();

    XQSQLHANDLE get() const { return handle_; }
    bool held() const { return handle_ != nullptr; }

private:
    short type_;
    XQSQLHANDLE handle_;
};

#endif
