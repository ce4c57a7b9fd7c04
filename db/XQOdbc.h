#ifndef TCORE_DB_XQODBC_H
#define TCORE_DB_XQODBC_H

#include "db/XQOdbcConnect.h"
#include "db/XQOdbcHandle.h"
#include "foundation/Export.h"
#include "foundation/XQString.h"

// The process's ODBC environment, with two connections of its own.
//
// ODBCSYSINI and ODBCINI must be set before the first getEnv(): the driver
// manager reads them once.
//
// Thread-safety: getEnv() and free() take no lock; a program calls getEnv()
// before it starts threads and free() after they have stopped using it.
class TCORE_EXPORT XQOdbc {
public:
    // The environment, created on the first call. Creation that fails throws
    // an XQRC (code 2003, domain ODBC, method "XQOdbc::XQOdbc"). The result
    // belongs to the library and must never be deleted.
    static XQOdbc* getEnv();
    // Destroys the environment and its connections (disconnecting them). The
    // next getEnv() creates a new one. Connections made outside the
    // environment must be disconnected first.
    static void free();

    // Connection 0 or 1 (not checked).
    XQOdbcConnect* getConnection(int index) { return &connections[index]; }
    XQSQLHANDLE getEnvHandle() const { return henv.get(); }
    const XQSTRING& getHostName() const { return hostName; }

    XQOdbc(const XQOdbc&) = delete;
    XQOdbc& operator=(const XQOdbc&) = delete;

private:
    XQOdbc();
    ~XQOdbc();

    XQOdbcHandle henv;
    XQSTRING hostName;
    XQOdbcConnect connections[2];

    static XQOdbc* pEnv;
};

#endif
