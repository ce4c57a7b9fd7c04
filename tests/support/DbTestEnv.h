#ifndef TCORE_TESTS_SUPPORT_DBTESTENV_H
#define TCORE_TESTS_SUPPORT_DBTESTENV_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/XQOdbcConnect.h"

// The databases of a test program: a private PostgreSQL cluster (initdb in a
// temporary directory, 127.0.0.1, a free port; stopped at the end, or by its
// watchdog when the program dies) and a SQLite file, both reachable through
// an odbc.ini written into the same temporary directory. ODBCSYSINI points
// at the project's etc/ and ODBCINI at that file, before any ODBC call.
class DbTestEnvironment : public ::testing::Environment {
  public:
    void SetUp() override;
    void TearDown() override;

    // Whether the PostgreSQL cluster runs; when not, why.
    static bool postgresUp;
    static std::string postgresProblem;
};

// The backends the behaviour tests run against.
struct SQLiteBackend {
    static const wchar_t* dsn() { return L"tcore_sqlite"; }
    static const char* name() { return "SQLite"; }
    static bool isPostgres() { return false; }
};
struct PostgresBackend {
    static const wchar_t* dsn() { return L"tcore_pg"; }
    static const char* name() { return "PostgreSQL"; }
    static bool isPostgres() { return true; }
};

typedef ::testing::Types<SQLiteBackend, PostgresBackend> Backends;
struct BackendNames {
    template <class T>
    static std::string GetName(int) {
        return T::name();
    }
};

// User and password of the PostgreSQL role the tests use; the DSN carries
// them as well, for implicit logins.
extern const wchar_t* const kPgUser;
extern const wchar_t* const kPgPassword;

// Fails the current test when the backend is PostgreSQL and it is not up.
#define TCORE_REQUIRE_BACKEND(Backend)                                                          \
    do {                                                                                        \
        if (Backend::isPostgres() && !DbTestEnvironment::postgresUp)                            \
            FAIL() << "PostgreSQL cluster not running: " << DbTestEnvironment::postgresProblem; \
    } while (0)

// A TCP port of 127.0.0.1 that is free at the time of the call.
int freeLoopbackPort();

// Success when rc is; else the failure with the driver's message and comment.
::testing::AssertionResult succeeded(const XQRC& rc);

// The first column of each row a query gives (at most 1,000), as text; NULL
// as empty. Uses the connection's last cursor; a failure fails the test.
std::vector<std::string> selectTexts(XQOdbcConnect& conn, const XQSTRING& query);

// Creates the configuration store's table and inserts rows, each the text of
// VALUES (...); extra adds a constraint.
::testing::AssertionResult createConfigurationTable(XQOdbcConnect& conn, const XQSTRING& table,
                                                    const std::vector<XQSTRING>& rows,
                                                    const XQSTRING& extra = L"");

// A data source dsn on the SQLite file dir/control.db, in dir/odbc.ini, which
// ODBCINI then names (ODBCSYSINI the project's drivers); children inherit it.
void useSqliteDataSource(const std::string& dir, const std::string& dsn);

#endif
