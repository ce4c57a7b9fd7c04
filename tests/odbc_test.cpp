// ODBC access against the real drivers: every behaviour once, run on SQLite
// and on a private PostgreSQL cluster.
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "db/XQConfiguration.h"
#include "db/XQOdbc.h"
#include "db/XQOdbcConnect.h"
#include "db/XQOdbcCursor.h"
#include "foundation/ProcessInfo.h"
#include "foundation/Trace.h"
#include "support/DbTestEnv.h"

namespace {

::testing::Environment* const gDbEnv = ::testing::AddGlobalTestEnvironment(new DbTestEnvironment);

template <class Backend>
class OdbcTest : public ::testing::Test {
protected:
    void SetUp() override {
        TCORE_REQUIRE_BACKEND(Backend);
        setenv("EXEC_NAME", "odbc_test", 1);
        conn = XQOdbc::getEnv()->getConnection(1);
        XQRC rc = conn->connect(Backend::dsn(), kPgUser, kPgPassword, 0);
        ASSERT_EQ(0, rc.code) << xqToMultibyte(rc.systemMessage);
        ASSERT_EQ(0, conn->executeDrop(L"DROP TABLE items").code);
        rc = conn->executeStmt(L"CREATE TABLE items (id INTEGER, name VARCHAR(30))", 0);
        ASSERT_EQ(0, rc.code) << xqToMultibyte(rc.systemMessage);
    }
    void TearDown() override {
        setDebugTcore(0);
        if (conn != nullptr) {
            conn->connectOptionAuto();
            conn->executeDrop(L"DROP TABLE items");
        }
        XQOdbc::free();
    }

    void insertRows(int count) {
        XQRC rc(0, 0, XQRC::WhsSrv);
        XQOdbcCursor* c = conn->getCursor(7, rc);
        ASSERT_NE(nullptr, c);
        SQLINTEGER id = 0;
        char name[31] = {};
        long idLen = 0, nameLen = SQL_NTS;
        ASSERT_EQ(0, c->prepare(L"INSERT INTO items (id, name) VALUES (?, ?)").code);
        ASSERT_EQ(0, c->bindParameter(1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, &idLen).code);
        ASSERT_EQ(0, c->bindParameter(2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 30, 0, name, sizeof(name),
                                      &nameLen)
                         .code);
        // One transaction: thousands of autocommitted rows are slow on SQLite.
        ASSERT_EQ(0, conn->connectOptionManual().code);
        for (int i = 1; i <= count; ++i) {
            id = i;
            std::snprintf(name, sizeof(name), "name-%d", i);
            XQRC erc = c->execute();
            ASSERT_EQ(0, erc.code) << xqToMultibyte(erc.systemMessage);
        }
        ASSERT_EQ(0, conn->commit().code);
        ASSERT_EQ(0, conn->connectOptionAuto().code);
        ASSERT_EQ(0, c->free().code);
        ASSERT_EQ(0, conn->dropCursor(7).code);
    }

    int countRows(const XQSTRING& where = XQSTRING()) {
        XQRC rc(0, 0, XQRC::WhsSrv);
        XQOdbcCursor* c = conn->getCursor(6, rc);
        EXPECT_NE(nullptr, c);
        if (c == nullptr) return -1;
        SQLINTEGER n = -1;
        long len = 0;
        EXPECT_EQ(0, c->prepare(L"SELECT COUNT(*) FROM items" + where).code);
        EXPECT_EQ(0, c->bindCol(1, SQL_C_SLONG, &n, sizeof(n), &len).code);
        EXPECT_EQ(1, c->fetch(rc));
        c->free();
        conn->dropCursor(6);
        return n;
    }

    XQOdbcConnect* conn = nullptr;
};

typedef ::testing::Types<SQLiteBackend, PostgresBackend> Backends;
class BackendNames {
public:
    template <class T>
    static std::string GetName(int) {
        return T::name();
    }
};
TYPED_TEST_SUITE(OdbcTest, Backends, BackendNames);

TYPED_TEST(OdbcTest, ConnectionAndCursorStates) {
    XQOdbcConnect* conn = this->conn;
    EXPECT_EQ(3, conn->getState());
    XQRC rc(0, 0, XQRC::WhsSrv);
    XQSTRING type = conn->getDBType(rc);
    EXPECT_EQ(0, rc.code);
    EXPECT_EQ(TypeParam::isPostgres() ? L"PostgreSQL" : L"SQLite", type);
    EXPECT_FALSE(conn->getDBVersion(rc).empty());

    XQOdbcCursor* c = conn->getCursor(0, rc);
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(L"None", c->stateChar());
    ASSERT_EQ(0, c->prepare(L"SELECT id FROM items").code);
    EXPECT_EQ(L"prepared", c->stateChar());
    ASSERT_EQ(0, c->executeIgnoreNDF().code);
    EXPECT_EQ(L"open", c->stateChar());
    ASSERT_EQ(0, c->prepare(L"SELECT id FROM items").code);
    EXPECT_EQ(L"prepared", c->stateChar());
    ASSERT_EQ(0, c->free().code);
    EXPECT_EQ(L"None", c->stateChar());
    EXPECT_EQ(0, conn->dropCursor(0).code);

    EXPECT_EQ(0, conn->disconnect().code);
    EXPECT_EQ(0, conn->getState());
    EXPECT_EQ(0, conn->disconnect().code);
}

TYPED_TEST(OdbcTest, ConnectFailureKeepsHandleForRetry) {
    XQOdbcConnect other;
    XQRC rc = other.connect(L"tcore_no_such_dsn", kPgUser, kPgPassword, 0);
    EXPECT_EQ(2009, rc.code);
    EXPECT_EQ(XQRC::ODBC, rc.domain);
    EXPECT_EQ(L"IM002", rc.auxText);
    // The driver manager's own diagnostic has native code 0.
    EXPECT_EQ(-9999, rc.secondaryCode);
    EXPECT_EQ(L"XQOdbc::connect", rc.methodName);
    EXPECT_EQ(L"tcore_no_such_dsn", rc.messageToken1);
    EXPECT_EQ(L"odbc_test", rc.executableName);
    XQSTRING host;
    ASSERT_EQ(0, xqLocalHostName(host));
    EXPECT_EQ(host, rc.hostName);
    EXPECT_FALSE(rc.systemMessage.empty());
    EXPECT_EQ(1, other.getState());

    rc = other.connect(TypeParam::dsn(), kPgUser, kPgPassword, 0);
    EXPECT_EQ(0, rc.code) << xqToMultibyte(rc.systemMessage);
    EXPECT_EQ(3, other.getState());
    EXPECT_EQ(0, other.disconnect().code);
}

TYPED_TEST(OdbcTest, ImplicitLoginPassesEmptyCredentials) {
    XQOdbcConnect other;
    // The data source carries its own login: given credentials are ignored.
    XQRC rc = other.connect(TypeParam::dsn(), L"nobody", L"wrong", 1);
    EXPECT_EQ(0, rc.code) << xqToMultibyte(rc.systemMessage);
    EXPECT_EQ(0, other.disconnect().code);
    if (TypeParam::isPostgres()) {
        rc = other.connect(TypeParam::dsn(), L"nobody", L"wrong", 0);
        EXPECT_EQ(2009, rc.code);
        EXPECT_EQ(L"08001", rc.auxText);
        EXPECT_EQ(1, other.getState());
    }
}

TYPED_TEST(OdbcTest, ExecuteDropOfMissingTableSucceeds) {
    XQOdbcConnect* conn = this->conn;
    EXPECT_EQ(0, conn->executeDrop(L"DROP TABLE tcore_missing_table").code);
    // Plain executeStmt reports it.
    XQRC rc = conn->executeStmt(L"DROP TABLE tcore_missing_table", 0);
    EXPECT_EQ(2012, rc.code);
    EXPECT_EQ(L"DROP TABLE tcore_missing_table", rc.messageToken1);
    EXPECT_EQ(L"XQOdbcConnect::executeStmt", rc.methodName);
    // A server notice (PostgreSQL: "does not exist, skipping") is no failure.
    EXPECT_EQ(0, conn->executeDrop(L"DROP TABLE IF EXISTS tcore_missing_table").code);
    EXPECT_EQ(0, conn->executeStmt(L"DROP TABLE IF EXISTS tcore_missing_table", 0).code);
    EXPECT_EQ(0, conn->getRetcode(L"Test::method", 2012, L"", L"").code);
    XQRC crc(0, 0, XQRC::WhsSrv);
    XQOdbcCursor* c = conn->getCursor(0, crc);
    ASSERT_NE(nullptr, c);
    ASSERT_EQ(0, c->prepare(L"DROP TABLE IF EXISTS tcore_missing_table").code);
    EXPECT_EQ(0, c->execute().code);
    EXPECT_EQ(0, c->executeIgnoreNDF().code);
    c->free();
    conn->dropCursor(0);
    // Other failures pass through.
    rc = conn->executeDrop(L"DROP TABEL items");
    EXPECT_EQ(2012, rc.code);
    EXPECT_EQ(XQRC::ODBC, rc.domain);
}

TYPED_TEST(OdbcTest, UpdateTouchingNoRowsMode1AgainstMode0) {
    XQOdbcConnect* conn = this->conn;
    const XQSTRING update = L"UPDATE items SET name = 'x' WHERE id = 42";
    XQRC rc = conn->executeStmt(update, 1);
    EXPECT_EQ(0, rc.code);
    EXPECT_EQ(SQL_NO_DATA, conn->getLastReturn());
    rc = conn->executeStmt(update, 0);
    EXPECT_EQ(2012, rc.code);
    EXPECT_EQ(-9999, rc.secondaryCode);  // no-data carries no diagnostic record
    // Touching a row is success in both modes.
    this->insertRows(1);
    EXPECT_EQ(0, conn->executeStmt(L"UPDATE items SET name = 'y' WHERE id = 1", 0).code);
    EXPECT_EQ(0, conn->executeStmt(L"UPDATE items SET name = 'z' WHERE id = 1", 1).code);
}

TYPED_TEST(OdbcTest, SecondPrepareExecutesTheFirstText) {
    XQRC rc(0, 0, XQRC::WhsSrv);
    XQOdbcCursor* c = this->conn->getCursor(2, rc);
    ASSERT_NE(nullptr, c);
    ASSERT_EQ(0, c->prepare(L"INSERT INTO items (id, name) VALUES (1, 'first')").code);
    ASSERT_EQ(0, c->execute().code);
    ASSERT_EQ(0, c->prepare(L"INSERT INTO items (id, name) VALUES (2, 'second')").code);
    ASSERT_EQ(0, c->execute().code);
    EXPECT_EQ(2, this->countRows(L" WHERE id = 1"));
    EXPECT_EQ(0, this->countRows(L" WHERE id = 2"));
    // free() forgets the statement: the next text is prepared.
    ASSERT_EQ(0, c->free().code);
    ASSERT_EQ(0, c->prepare(L"INSERT INTO items (id, name) VALUES (2, 'second')").code);
    ASSERT_EQ(0, c->execute().code);
    EXPECT_EQ(1, this->countRows(L" WHERE id = 2"));
    c->free();
    this->conn->dropCursor(2);
}

TYPED_TEST(OdbcTest, FetchAfterLastRowStaysAtZeroWithoutTheDriver) {
    this->insertRows(3);
    XQRC rc(0, 0, XQRC::WhsSrv);
    XQOdbcCursor* c = this->conn->getCursor(3, rc);
    ASSERT_NE(nullptr, c);
    SQLINTEGER id = 0;
    long len = 0;
    const unsigned before = XQOdbcCursor::executeCount.load();
    ASSERT_EQ(0, c->prepare(L"SELECT id FROM items ORDER BY id").code);
    ASSERT_EQ(0, c->bindCol(1, SQL_C_SLONG, &id, sizeof(id), &len).code);
    for (int i = 1; i <= 3; ++i) {
        ASSERT_EQ(1, c->fetch(rc));
        EXPECT_EQ(i, id);
    }
    EXPECT_EQ(before + 1, XQOdbcCursor::executeCount.load());  // the first fetch executed
    EXPECT_EQ(0, c->fetch(rc));
    EXPECT_EQ(0, rc.code);
    EXPECT_EQ(SQL_NO_DATA, c->getLastReturn());

    // Further calls answer from the cursor's state: no SQLFetch reaches the driver.
    setDebugTcore(4);
    ::testing::internal::CaptureStdout();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(0, c->fetch(rc));
        EXPECT_EQ(0, rc.code);
    }
    setDebugTcore(0);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::string::npos, out.find("SQLFetch")) << out;
    EXPECT_NE(std::string::npos, out.find("enter method XQOdbcCursor::fetch()")) << out;
    c->free();
    this->conn->dropCursor(3);
}

TYPED_TEST(OdbcTest, FetchArrayOverANonMultipleOfTheRowSet) {
    this->insertRows(250);
    XQRC rc(0, 0, XQRC::WhsSrv);
    XQOdbcCursor* c = this->conn->getCursor(4, rc);
    ASSERT_NE(nullptr, c);
    const unsigned long rowset = 100;
    std::vector<SQLINTEGER> ids(rowset);
    std::vector<long> idLens(rowset);
    std::vector<char> names(rowset * 31);
    std::vector<long> nameLens(rowset);
    rc = c->prepareArray(L"SELECT id, name FROM items ORDER BY id", rowset, SQL_BIND_BY_COLUMN);
    ASSERT_EQ(0, rc.code) << xqToMultibyte(rc.systemMessage);
    ASSERT_EQ(0, c->bindCol(1, SQL_C_SLONG, ids.data(), sizeof(SQLINTEGER), idLens.data()).code);
    ASSERT_EQ(0, c->bindCol(2, SQL_C_CHAR, names.data(), 31, nameLens.data()).code);
    std::vector<unsigned long> sizes;
    int expected = 1;
    for (int round = 0; round < 10; ++round) {
        unsigned long fetched = 99999;
        int r = c->fetchArray(rc, rowset, fetched);
        ASSERT_EQ(0, rc.code) << xqToMultibyte(rc.systemMessage);
        if (r == 0) {
            EXPECT_EQ(0u, fetched);
            break;
        }
        ASSERT_EQ(1, r);
        sizes.push_back(fetched);
        for (unsigned long i = 0; i < fetched; ++i, ++expected) {
            ASSERT_EQ(expected, ids[i]);
            ASSERT_EQ("name-" + std::to_string(expected), std::string(&names[i * 31]));
        }
    }
    EXPECT_EQ((std::vector<unsigned long>{100, 100, 50}), sizes);
    unsigned long fetched = 7;
    EXPECT_EQ(0, c->fetchArray(rc, rowset, fetched));
    EXPECT_EQ(0, rc.code);
    EXPECT_EQ(0u, fetched);
    c->free();
    this->conn->dropCursor(4);
}

TYPED_TEST(OdbcTest, FetchArrayRowWise) {
    this->insertRows(7);
    struct Row {
        SQLINTEGER id;
        SQLLEN idLen;
        char name[31];
        SQLLEN nameLen;
    };
    Row rows[3] = {};
    XQRC rc(0, 0, XQRC::WhsSrv);
    XQOdbcCursor* c = this->conn->getCursor(4, rc);
    ASSERT_NE(nullptr, c);
    ASSERT_EQ(0, c->prepareArray(L"SELECT id, name FROM items ORDER BY id", 3, sizeof(Row)).code);
    ASSERT_EQ(0, c->bindCol(1, SQL_C_SLONG, &rows[0].id, sizeof(SQLINTEGER), &rows[0].idLen).code);
    ASSERT_EQ(0, c->bindCol(2, SQL_C_CHAR, rows[0].name, sizeof(rows[0].name), &rows[0].nameLen).code);
    int total = 0;
    unsigned long fetched = 0;
    for (int round = 0; round < 5 && c->fetchArray(rc, 3, fetched) == 1; ++round) {
        for (unsigned long i = 0; i < fetched; ++i) {
            ++total;
            EXPECT_EQ(total, rows[i].id);
            EXPECT_EQ("name-" + std::to_string(total), std::string(rows[i].name));
        }
    }
    EXPECT_EQ(0, rc.code);
    EXPECT_EQ(7, total);
    c->free();
    this->conn->dropCursor(4);
}

TYPED_TEST(OdbcTest, GetRetcodeAfterSuccessReadsNoDiagnostics) {
    XQRC rc(0, 0, XQRC::WhsSrv);
    XQOdbcCursor* c = this->conn->getCursor(1, rc);
    ASSERT_NE(nullptr, c);
    ASSERT_EQ(0, c->prepare(L"SELECT id FROM items").code);
    ASSERT_EQ(0, c->execute().code);
    setDebugTcore(4);
    ::testing::internal::CaptureStdout();
    XQRC got = c->getRetcode(L"Test::method", 2011, L"a", L"b");
    XQRC gotConn = this->conn->getRetcode(L"Test::method", 2012, L"a", L"b");
    setDebugTcore(0);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(0, got.code);
    EXPECT_EQ(XQRC::WhsSrv, got.domain);
    EXPECT_TRUE(got.methodName.empty());
    EXPECT_EQ(0, gotConn.code);
    EXPECT_EQ(std::string::npos, out.find("SQLGetDiagRec")) << out;
    c->free();
    this->conn->dropCursor(1);
}

TYPED_TEST(OdbcTest, ExecutionFailureCarriesTheDriverDiagnostics) {
    XQRC rc(0, 0, XQRC::WhsSrv);
    XQOdbcCursor* c = this->conn->getCursor(1, rc);
    ASSERT_NE(nullptr, c);
    // PostgreSQL reports the missing table at execution, SQLite already at prepare.
    rc = c->prepare(L"SELECT missing_col FROM tcore_missing_table");
    const unsigned before = XQOdbcCursor::executeCount.load();
    if (TypeParam::isPostgres()) {
        ASSERT_EQ(0, rc.code);
        rc = c->execute();
        EXPECT_EQ(before + 1, XQOdbcCursor::executeCount.load());
        EXPECT_EQ(2011, rc.code);
        EXPECT_EQ(L"XQOdbcCursor::execute", rc.methodName);
        EXPECT_TRUE(rc.messageToken1.empty());
    } else {
        EXPECT_EQ(2014, rc.code);
        EXPECT_EQ(L"XQOdbcConnect::prepare", rc.methodName);
        EXPECT_EQ(1, c->getState());
    }
    EXPECT_EQ(XQRC::ODBC, rc.domain);
    EXPECT_EQ(TypeParam::isPostgres() ? L"42P01" : L"HY000", rc.auxText);
    EXPECT_NE(0, rc.secondaryCode);
    EXPECT_NE(XQSTRING::npos, xqFindNoCase(rc.systemMessage, L"tcore_missing_table")) << xqToMultibyte(rc.systemMessage);
    EXPECT_EQ(L"odbc_test", rc.executableName);
    EXPECT_FALSE(rc.hostName.empty());
    c->free();
    this->conn->dropCursor(1);
}

TYPED_TEST(OdbcTest, BindFailuresNameTheNumber) {
    XQRC rc(0, 0, XQRC::WhsSrv);
    XQOdbcCursor* c = this->conn->getCursor(5, rc);
    ASSERT_NE(nullptr, c);
    ASSERT_EQ(0, c->prepare(L"SELECT id FROM items WHERE id = ?").code);
    SQLINTEGER v = 0;
    long len = 0;
    rc = c->bindCol(1, 9999, &v, sizeof(v), &len);
    EXPECT_EQ(2018, rc.code);
    EXPECT_EQ(L"XQOdbcCursor::bindCol", rc.methodName);
    EXPECT_EQ(L"1", rc.messageToken1);
    rc = c->bindParameter(3, SQL_PARAM_INPUT, 9999, SQL_INTEGER, 0, 0, &v, 0, &len);
    EXPECT_EQ(2017, rc.code);
    EXPECT_EQ(L"XQOdbcCursor::bindParameter", rc.methodName);
    EXPECT_EQ(L"3", rc.messageToken1);
    EXPECT_FALSE(rc.auxText.empty());
    c->free();
    this->conn->dropCursor(5);
}

TYPED_TEST(OdbcTest, CommitAndRollbackInManualMode) {
    XQOdbcConnect* conn = this->conn;
    ASSERT_EQ(0, conn->connectOptionManual().code);
    ASSERT_EQ(0, conn->executeStmt(L"INSERT INTO items (id, name) VALUES (1, 'a')", 0).code);
    ASSERT_EQ(0, conn->rollback().code);
    EXPECT_EQ(0, this->countRows());
    ASSERT_EQ(0, conn->executeStmt(L"INSERT INTO items (id, name) VALUES (1, 'a')", 0).code);
    ASSERT_EQ(0, conn->commit().code);
    EXPECT_EQ(1, this->countRows());
    ASSERT_EQ(0, conn->commit().code);
    ASSERT_EQ(0, conn->connectOptionAuto().code);
}

TYPED_TEST(OdbcTest, SqlTraceSwitchShowsStatements) {
    XQConfiguration* config = XQConfiguration::getInstance();
    ASSERT_EQ(0, config->setValueInt(COMPONENT_XQODBC, L"TRACELVL", 1, L"").code);
    ::testing::internal::CaptureStdout();
    this->conn->executeStmt(L"UPDATE items SET name = 'traced' WHERE id = 1", 1);
    std::string on = ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(0, config->setValueInt(COMPONENT_XQODBC, L"TRACELVL", 0, L"").code);
    ::testing::internal::CaptureStdout();
    this->conn->executeStmt(L"UPDATE items SET name = 'quiet' WHERE id = 1", 1);
    std::string off = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ("------------ Executing:\nUPDATE items SET name = 'traced' WHERE id = 1\n", on);
    EXPECT_EQ("", off);
    config->unload();
}

TYPED_TEST(OdbcTest, EightThreadsShareTheCursorPool) {
    this->insertRows(64);
    XQOdbcConnect* conn = this->conn;
    std::atomic<int> inUse[XQOdbcConnect::cursorCount];
    for (auto& u : inUse) u = 0;
    std::atomic<int> failures(0), rowsSeen(0), overlaps(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int iter = 0; iter < 40; ++iter) {
                // Threads collide on purpose: several want the same cursor.
                int index = (t + iter) % 4;
                XQRC rc(0, 0, XQRC::WhsSrv);
                XQOdbcCursor* c = conn->getCursor(index, rc);
                if (c == nullptr) {
                    ++failures;
                    continue;
                }
                if (inUse[index].exchange(1) != 0) ++overlaps;
                // The cursor may hold another thread's statement: start afresh.
                c->free();
                int key = 1 + (t * 40 + iter) % 64;
                SQLINTEGER id = 0;
                long len = 0;
                rc = c->prepare(L"SELECT id FROM items WHERE id = " + xqNumber(key));
                if (rc.code == 0) rc = c->bindCol(1, SQL_C_SLONG, &id, sizeof(id), &len);
                if (rc.code == 0 && c->fetch(rc) == 1 && id == key) ++rowsSeen;
                if (rc.code != 0 || c->fetch(rc) != 0 || rc.code != 0) ++failures;
                c->free();
                inUse[index] = 0;
                if (conn->dropCursor(index).code != 0) ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(0, overlaps.load());
    EXPECT_EQ(8 * 40, rowsSeen.load());
}

TEST(OdbcCursorAlone, WithoutConnectionIsRefused) {
    setenv("EXEC_NAME", "odbc_test", 1);
    XQOdbcCursor c;
    XQRC rc = c.prepare(L"SELECT 1");
    EXPECT_EQ(2002, rc.code);
    EXPECT_EQ(XQRC::ODBC, rc.domain);
    EXPECT_EQ(L"XQOdbcCursor::testConnect", rc.methodName);
    EXPECT_EQ(L"From XQOdbcCursor::prepare - stmt=SELECT 1", rc.comment);
    EXPECT_EQ(L"odbc_test", rc.executableName);
    EXPECT_FALSE(rc.hostName.empty());
    EXPECT_EQ(0, c.getState());
    EXPECT_EQ(L"None", c.stateChar());
}

TEST(OdbcConnectAlone, UnconnectedOperationsFailCleanly) {
    XQOdbcConnect c;
    XQRC rc = c.executeStmt(L"SELECT 1", 0);
    EXPECT_EQ(2012, rc.code);
    EXPECT_EQ(-9999, rc.secondaryCode);
    EXPECT_EQ(2013, c.commit().code);
    EXPECT_EQ(2013, c.rollback().code);
    c.getDBType(rc);
    EXPECT_EQ(2005, rc.code);
    EXPECT_EQ(L"XQOdbcConnect::getDBType", rc.methodName);
    XQOdbcCursor* cursor = c.getCursor(0, rc);
    ASSERT_NE(nullptr, cursor);
    rc = cursor->prepare(L"SELECT 1");
    EXPECT_EQ(2007, rc.code);
    EXPECT_EQ(L"XQOdbcCursor::prepare - SQLAllocStmt", rc.methodName);
    EXPECT_EQ(2011, cursor->execute().code);
    EXPECT_EQ(0, cursor->getState());
    EXPECT_EQ(0, c.dropCursor(0).code);
    EXPECT_EQ(0, c.disconnect().code);
    EXPECT_EQ(0, c.getState());
}

TEST(OdbcEnvironment, FreeAndRecreate) {
    XQOdbc* first = XQOdbc::getEnv();
    ASSERT_NE(nullptr, first->getEnvHandle());
    EXPECT_EQ(first, XQOdbc::getEnv());
    XQOdbc::free();
    XQOdbc* second = XQOdbc::getEnv();
    ASSERT_NE(nullptr, second->getEnvHandle());
    EXPECT_EQ(0, second->getConnection(0)->getState());
    XQOdbc::free();
}

}  // namespace
