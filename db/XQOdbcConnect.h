#ifndef TCORE_DB_XQODBCCONNECT_H
#define TCORE_DB_XQODBCCONNECT_H

#include <atomic>
#include <memory>

#include "db/XQOdbcCursor.h"
#include "db/XQOdbcHandle.h"
#include "foundation/Export.h"
#include "foundation/XQRC.h"

class XQabsMutexSemaphore;

// One ODBC connection: a default statement for executeStmt and a pool of
// eight cursors, each with a lock of its own.
//
// State: 0 nothing allocated, 1 connection handle allocated, 2 connected,
// 3 connected with the default statement allocated. A failed connect leaves
// state 1, from which connect may be called again. The destructor
// disconnects.
//
// Thread-safety: getCursor/dropCursor may be called from any thread; a
// cursor belongs to the thread that got it until it drops it. Everything
// else (connect, disconnect, executeStmt, commit, rollback, getDBType, ...)
// is unlocked: a program sharing the connection serialises those calls.
//
// Operations return success as code 0 of domain WhsSrv, failures as XQRC of
// domain ODBC with codes 2005 to 2013.
class TCORE_EXPORT XQOdbcConnect {
public:
    enum { cursorCount = 8 };

    XQOdbcConnect();
    ~XQOdbcConnect();
    XQOdbcConnect(const XQOdbcConnect&) = delete;
    XQOdbcConnect& operator=(const XQOdbcConnect&) = delete;

    // Connects through the process environment (XQOdbc::getEnv(), which may
    // throw its XQRC 2003). With implicitLogin not 0 the data source's own
    // login is used: empty user and password are passed.
    XQRC connect(const XQSTRING& dataSource, const XQSTRING& user, const XQSTRING& password,
                 const int implicitLogin);
    // Switches auto-commit off (2005 on failure).
    XQRC connectOptionManual();
    // Switches auto-commit back on (2005 on failure).
    XQRC connectOptionAuto();
    bool isAutoCommit() const { return autoCommit; }
    XQRC disconnect();

    // Runs statement on the default statement. Mode 1: no data is success,
    // and so is a warning with SQLSTATE 02000. Any other mode: only plain
    // success is success. In both, a server notice (with-info of SQLSTATE
    // 00000) is success. Failure 2012 with the statement as first token.
    XQRC executeStmt(const XQSTRING& statement, int mode);
    // executeStmt(statement, 0), where "the object does not exist" is success.
    XQRC executeDrop(const XQSTRING& statement);
    XQRC commit();
    XQRC rollback();

    // Blocks until cursor index (0 to 7, not checked) is free and returns
    // it; null with rc filled when its lock fails.
    XQOdbcCursor* getCursor(int index, XQRC& rc);
    XQRC dropCursor(int index);

    XQSTRING getDBType(XQRC& rc);
    XQSTRING getDBVersion(XQRC& rc);

    // The XQRC of the last ODBC call on this connection: success when it
    // succeeded plainly, else code with the driver's diagnostics (the given
    // statement's, else the connection's, else the environment's).
    XQRC getRetcode(const XQSTRING& method, unsigned int code, const XQSTRING& insert1,
                    const XQSTRING& insert2) const;
    XQRC getRetcode(const XQSTRING& method, unsigned int code, XQSQLHSTMT statement, const XQSTRING& insert1,
                    const XQSTRING& insert2) const;

    int getState() const { return state; }
    short getLastReturn() const { return lastReturn; }
    XQSQLHANDLE getEnvHandle() const { return henv; }
    XQSQLHANDLE getConnectionHandle() const { return hdbc.get(); }
    XQSQLHSTMT getStatementHandle() const { return hstmt.get(); }
    // Made with the connection; no operation of this class takes it.
    XQabsMutexSemaphore* getConnectionLock() const { return connectionLock.get(); }

private:
    friend class XQOdbcCursor;
    XQRC setAutoCommit(bool on, const wchar_t* method);
    XQSTRING getInfo(unsigned short type, const wchar_t* method, XQRC& rc);

    XQSQLHANDLE henv;  // the environment connected through; not owned
    XQOdbcHandle hdbc;
    XQOdbcHandle hstmt;
    XQOdbcCursor cursors[cursorCount];
    short lastReturn;
    int state;
    bool autoCommit;
    std::unique_ptr<XQabsMutexSemaphore> cursorLocks[cursorCount];
    std::unique_ptr<XQabsMutexSemaphore> connectionLock;
    // Statement option 1277: -1 not tried yet, 0 refused by the driver, 1 accepted.
    std::atomic<int> option1277;
};

#endif
