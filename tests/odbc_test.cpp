// ODBC access against the real drivers: every behaviour once, run on SQLite
// and on a private PostgreSQL cluster.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "db/XQOdbc.h"
#include "db/XQOdbcConnect.h"
#include "db/XQOdbcCursor.h"
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
        ASSERT_TRUE(succeeded(conn->connect(Backend::dsn(), kPgUser, kPgPassword, 0)));
        ASSERT_EQ(0, conn->executeDrop(L"DROP TABLE items").code);
        ASSERT_TRUE(succeeded(conn->executeStmt(
            L"CREATE TABLE items (id INTEGER CHECK (id > 0), name VARCHAR(30))", 0)));
    }
    void TearDown() override {
        setDebugTcore(0);
        if (conn != nullptr) {
            conn->connectOptionAuto();
            conn->executeDrop(L"DROP TABLE items");
        }
        XQOdbc::free();
    }

    // Rows 1 to count, in one statement.
    void insertRows(int count) {
        ASSERT_TRUE(succeeded(conn->executeStmt(
            L"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                xqNumber(count) + L") INSERT INTO items (id, name) SELECT i, 'name' FROM n",
            0)));
    }

    int countRows(const XQSTRING& where = XQSTRING()) {
        std::vector<std::string> n = selectTexts(*conn, L"SELECT COUNT(*) FROM items" + where);
        return n.size() == 1 ? std::stoi(n[0]) : -1;
    }

    XQOdbcConnect* conn = nullptr;
};

TYPED_TEST_SUITE(OdbcTest, Backends, BackendNames);

TYPED_TEST(OdbcTest, CursorStatesBindFailureAndTheFirstTextKept) {
    XQOdbcConnect* conn = this->conn;
    EXPECT_EQ(3, conn->getState());
    XQRC rc(0, 0, XQRC::WhsSrv);
    EXPECT_EQ(TypeParam::isPostgres() ? L"PostgreSQL" : L"SQLite", conn->getDBType(rc));

    XQOdbcCursor* c = conn->getCursor(0, rc);
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(L"None", c->stateChar());
    ASSERT_EQ(0, c->prepare(L"SELECT id FROM items").code);
    EXPECT_EQ(L"prepared", c->stateChar());
    ASSERT_EQ(0, c->executeIgnoreNDF().code);
    EXPECT_EQ(L"open", c->stateChar());
    ASSERT_EQ(0, c->free().code);
    // A bind failure names the parameter's number.
    ASSERT_EQ(0, c->prepare(L"SELECT id FROM items WHERE id = ?").code);
    SQLINTEGER v = 0;
    long len = 0;
    rc = c->bindParameter(3, SQL_PARAM_INPUT, 9999, SQL_INTEGER, 0, 0, &v, 0, &len);
    EXPECT_EQ(2017, rc.code);
    EXPECT_EQ(L"3", rc.messageToken1);
    ASSERT_EQ(0, c->free().code);

    // A second prepare keeps the first text until free() forgets it.
    ASSERT_EQ(0, c->prepare(L"INSERT INTO items (id, name) VALUES (1, 'first')").code);
    ASSERT_EQ(0, c->execute().code);
    ASSERT_EQ(0, c->prepare(L"INSERT INTO items (id, name) VALUES (2, 'second')").code);
    ASSERT_EQ(0, c->execute().code);
    EXPECT_EQ(2, this->countRows(L" WHERE id = 1"));
    EXPECT_EQ(0, this->countRows(L" WHERE id = 2"));
    ASSERT_EQ(0, c->free().code);
    EXPECT_EQ(0, conn->dropCursor(0).code);

    EXPECT_EQ(0, conn->disconnect().code);
    EXPECT_EQ(0, conn->disconnect().code);
}

TYPED_TEST(OdbcTest, ConnectFailureKeepsHandleForRetryAndImplicitLogin) {
    XQOdbcConnect other;
    XQRC rc = other.connect(L"tcore_no_such_dsn", kPgUser, kPgPassword, 0);
    EXPECT_EQ(2009, rc.code);
    EXPECT_EQ(L"IM002", rc.auxText);
    // The driver manager's own diagnostic has native code 0.
    EXPECT_EQ(-9999, rc.secondaryCode);
    EXPECT_EQ(L"tcore_no_such_dsn", rc.messageToken1);

    // An implicit login passes empty credentials: the data source's own apply.
    EXPECT_TRUE(succeeded(other.connect(TypeParam::dsn(), L"nobody", L"wrong", 1)));
    EXPECT_EQ(0, other.disconnect().code);
    if (TypeParam::isPostgres()) {
        EXPECT_EQ(L"08001", other.connect(TypeParam::dsn(), L"nobody", L"wrong", 0).auxText);
        EXPECT_EQ(1, other.getState());
    }
}

TYPED_TEST(OdbcTest, MissingTableDropNoRowsUpdateAndFailureDiagnostics) {
    XQOdbcConnect* conn = this->conn;
    EXPECT_EQ(0, conn->executeDrop(L"DROP TABLE tcore_missing_table").code);
    XQRC rc = conn->executeStmt(L"DROP TABLE tcore_missing_table", 0);
    EXPECT_EQ(2012, rc.code);
    EXPECT_EQ(L"DROP TABLE tcore_missing_table", rc.messageToken1);
    // A server notice (PostgreSQL: "does not exist, skipping") is no failure.
    EXPECT_EQ(0, conn->executeStmt(L"DROP TABLE IF EXISTS tcore_missing_table", 0).code);
    XQOdbcCursor* c = conn->getCursor(0, rc);
    ASSERT_NE(nullptr, c);
    ASSERT_EQ(0, c->prepare(L"DROP TABLE IF EXISTS tcore_missing_table").code);
    EXPECT_EQ(0, c->execute().code);
    c->free();

    // PostgreSQL reports a missing table at execution, SQLite already at prepare.
    rc = c->prepare(L"SELECT missing_col FROM tcore_missing_table");
    const unsigned before = XQOdbcCursor::executeCount.load();
    if (TypeParam::isPostgres()) {
        ASSERT_EQ(0, rc.code);
        rc = c->execute();
        EXPECT_EQ(before + 1, XQOdbcCursor::executeCount.load());
        EXPECT_EQ(2011, rc.code);
    } else {
        EXPECT_EQ(2014, rc.code);
        EXPECT_EQ(1, c->getState());
    }
    EXPECT_EQ(TypeParam::isPostgres() ? L"42P01" : L"HY000", rc.auxText);
    EXPECT_NE(0, rc.secondaryCode);
    EXPECT_NE(XQSTRING::npos, xqFindNoCase(rc.systemMessage, L"tcore_missing_table"))
        << xqToMultibyte(rc.systemMessage);
    c->free();
    conn->dropCursor(0);
    // Other failures of executeDrop pass through.
    EXPECT_EQ(2012, conn->executeDrop(L"DROP TABEL items").code);

    // An update touching no rows: success in mode 1, a failure in mode 0.
    const XQSTRING update = L"UPDATE items SET name = 'x' WHERE id = 42";
    EXPECT_EQ(0, conn->executeStmt(update, 1).code);
    EXPECT_EQ(SQL_NO_DATA, conn->getLastReturn());
    rc = conn->executeStmt(update, 0);
    EXPECT_EQ(2012, rc.code);
    EXPECT_EQ(-9999, rc.secondaryCode);  // no-data carries no diagnostic record
    this->insertRows(1);
    EXPECT_EQ(0, conn->executeStmt(L"UPDATE items SET name = 'y' WHERE id = 1", 0).code);
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
    EXPECT_EQ(SQL_NO_DATA, c->getLastReturn());

    // Further calls answer from the cursor's state: no SQLFetch reaches the driver.
    ASSERT_EQ(0, this->conn->executeStmt(L"DELETE FROM items WHERE id = 1", 0).code);
    setDebugTcore(4);
    ::testing::internal::CaptureStdout();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(0, c->fetch(rc));
    EXPECT_EQ(0, rc.code);
    setDebugTcore(0);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::string::npos, out.find("SQLFetch")) << out;
    EXPECT_NE(std::string::npos, out.find("enter method XQOdbcCursor::fetch()")) << out;
    c->free();
    this->conn->dropCursor(3);
}

// Seven rows with NULLs and non-ASCII text go in through parameter arrays,
// the last one short (3, 3, 1), and come back through the array fetch in row
// sets of three, bound column-wise and row-wise. A row the table's check
// refuses fails the call: the failure names that row, whichever the driver
// marks, and a rollback leaves none of the batch.
TYPED_TEST(OdbcTest, ParameterArraysAndArrayFetchInBothBindings) {
    const char* const names[7] = {"Zoë", nullptr, "Müller & Søn", "東京 – Αθήνα",
                                  "",    nullptr, "plain"};
    struct Row {
        SQLINTEGER id;
        SQLLEN idLen;
        char name[31];
        SQLLEN nameLen;
    };
    const struct Case {
        unsigned long arraySize;
        bool rowWise;
        unsigned long failing;  // of the 7 rows, from 1; 0 for none
    } cases[] = {{3, false, 0}, {3, true, 0}, {7, false, 1}, {7, true, 7}, {3, false, 5}};
    for (const Case& k : cases) {
        SCOPED_TRACE("array " + std::to_string(k.arraySize) + (k.rowWise ? " row" : " column") +
                     "-wise, failing row " + std::to_string(k.failing));
        ASSERT_EQ(0, this->conn->executeStmt(L"DELETE FROM items", 1).code);
        std::vector<Row> rows(k.arraySize);  // row-wise buffers; column-wise ones below
        std::vector<SQLINTEGER> ids(k.arraySize);
        std::vector<SQLLEN> idLens(k.arraySize), nameLens(k.arraySize);
        std::vector<char> text(k.arraySize * 31);
        auto id = [&](int i) -> SQLINTEGER& { return k.rowWise ? rows[i].id : ids[i]; };
        auto idLen = [&](int i) -> SQLLEN& { return k.rowWise ? rows[i].idLen : idLens[i]; };
        auto name = [&](int i) -> char* { return k.rowWise ? rows[i].name : &text[i * 31]; };
        auto nameLen = [&](int i) -> SQLLEN& { return k.rowWise ? rows[i].nameLen : nameLens[i]; };
        const unsigned long bindType = k.rowWise ? sizeof(Row) : 0;

        // Rows 1 to 7 in a transaction left open, the array filled anew for each execution.
        XQRC rc = this->conn->connectOptionManual();
        XQOdbcCursor* in = this->conn->getCursor(4, rc);
        ASSERT_NE(nullptr, in);
        ASSERT_TRUE(succeeded(in->prepareParamArray(L"INSERT INTO items (id, name) VALUES (?, ?)",
                                                    k.arraySize, bindType)));
        ASSERT_TRUE(succeeded(in->bindParameter(1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                                &id(0), 0, &idLen(0))));
        ASSERT_TRUE(succeeded(in->bindParameter(2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 30, 0,
                                                name(0), 31, &nameLen(0))));
        unsigned long failedAt = 0;
        for (unsigned long done = 0; done < 7 && rc.code == 0;) {
            const unsigned long n = std::min(k.arraySize, 7 - done);
            for (int i = 0; i < static_cast<int>(n); ++i) {
                const unsigned long row = done + i + 1;
                id(i) = row == k.failing ? -1 : static_cast<SQLINTEGER>(row);
                std::snprintf(name(i), 31, "%s", names[row - 1] ? names[row - 1] : "");
                nameLen(i) = names[row - 1] ? SQL_NTS : SQL_NULL_DATA;
            }
            unsigned long failed = 0;
            rc = in->executeArray(n, failed);
            if (rc.code != 0) failedAt = done + failed;
            done += n;
        }
        in->free();
        this->conn->dropCursor(4);
        if (k.failing != 0) {
            EXPECT_EQ(2011, rc.code);
            EXPECT_EQ(k.failing, failedAt) << xqToMultibyte(rc.systemMessage);
            EXPECT_EQ(xqNumber(static_cast<long>((k.failing - 1) % k.arraySize + 1)),
                      rc.messageToken1);
            ASSERT_EQ(0, this->conn->rollback().code);
            ASSERT_EQ(0, this->conn->connectOptionAuto().code);
            EXPECT_EQ(0, this->countRows());
            continue;
        }
        ASSERT_TRUE(succeeded(rc));
        ASSERT_EQ(0, this->conn->commit().code);
        ASSERT_EQ(0, this->conn->connectOptionAuto().code);

        XQOdbcCursor* out = this->conn->getCursor(5, rc);
        ASSERT_NE(nullptr, out);
        ASSERT_EQ(0,
                  out->prepareArray(L"SELECT id, name FROM items ORDER BY id", 3, bindType).code);
        ASSERT_EQ(0, out->bindCol(1, SQL_C_SLONG, &id(0), sizeof(SQLINTEGER), &idLen(0)).code);
        ASSERT_EQ(0, out->bindCol(2, SQL_C_CHAR, name(0), 31, &nameLen(0)).code);
        std::vector<unsigned long> sizes;
        int seen = 0;
        unsigned long fetched = 0;
        for (int round = 0; round < 5 && out->fetchArray(rc, 3, fetched) == 1; ++round) {
            sizes.push_back(fetched);
            for (int i = 0; i < static_cast<int>(fetched); ++i, ++seen) {
                ASSERT_LT(seen, 7) << "more rows than went in";
                EXPECT_EQ(seen + 1, id(i));
                if (names[seen] == nullptr)
                    EXPECT_EQ(SQL_NULL_DATA, nameLen(i));
                else
                    EXPECT_EQ(std::string(names[seen]), name(i));
            }
        }
        EXPECT_TRUE(succeeded(rc));
        EXPECT_EQ((std::vector<unsigned long>{3, 3, 1}), sizes);
        out->free();
        this->conn->dropCursor(5);
    }
}

TYPED_TEST(OdbcTest, EightThreadsShareTheCursorPool) {
    this->insertRows(64);
    XQOdbcConnect* conn = this->conn;
    std::vector<std::atomic<int>> inUse(XQOdbcConnect::cursorCount);
    std::atomic<int> failures(0), rowsSeen(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int iter = 0; iter < 40; ++iter) {
                // Threads collide on purpose: several want the same cursor.
                const int index = (t + iter) % 4;
                const int key = 1 + (t * 40 + iter) % 64;
                XQRC rc(0, 0, XQRC::WhsSrv);
                XQOdbcCursor* c = conn->getCursor(index, rc);
                EXPECT_NE(nullptr, c);
                if (c == nullptr) continue;
                if (inUse[index].exchange(1) != 0) ++failures;  // handed out twice at once
                // The cursor may hold another thread's statement: start afresh.
                c->free();
                SQLINTEGER id = 0;
                long len = 0;
                rc = c->prepare(L"SELECT id FROM items WHERE id = " + xqNumber(key));
                if (rc.code == 0) rc = c->bindCol(1, SQL_C_SLONG, &id, sizeof(id), &len);
                if (rc.code == 0 && c->fetch(rc) == 1 && id == key && c->fetch(rc) == 0) ++rowsSeen;
                c->free();
                inUse[index] = 0;
                if (conn->dropCursor(index).code != 0) ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(8 * 40, rowsSeen.load());
}

TEST(OdbcUnconnected, OperationsFailCleanly) {
    setenv("EXEC_NAME", "odbc_test", 1);
    XQOdbcCursor alone;
    XQRC rc = alone.prepare(L"SELECT 1");
    EXPECT_EQ(2002, rc.code);
    EXPECT_EQ(L"From XQOdbcCursor::prepare - stmt=SELECT 1", rc.comment);
    EXPECT_EQ(L"odbc_test", rc.executableName);
    EXPECT_FALSE(rc.hostName.empty());

    XQOdbcConnect c;
    EXPECT_EQ(2012, c.executeStmt(L"SELECT 1", 0).code);
    EXPECT_EQ(2013, c.commit().code);
}

}  // namespace
