// The agent's table copy (array fetch into row-wise buffers, inserted
// through parameter arrays) against, in the same run and on the same rows:
//  - the database's own bulk path, INSERT ... SELECT;
//  - the same copy written directly on ODBC, without the library: what the
//    driver and the database themselves cost, once with a one-row INSERT
//    and a parameter array of a whole row set (the usual way), once with
//    many rows per INSERT (the library's way);
// 20,000 rows of mixed types, non-ASCII text and NULLs, from one SQLite
// file into another.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "db/XQOdbc.h"
#include "db/XQOdbcConnect.h"
#include "db/XQOdbcCursor.h"
#include "support/TableCopy.h"

namespace {

const unsigned long kRows = 20000;
const unsigned long kFetch = 500;
const wchar_t* const kColumnsDdl =
    L" (id INTEGER PRIMARY KEY, customer VARCHAR(60), city VARCHAR(40), amount DOUBLE,"
    L" ordered TIMESTAMP, note VARCHAR(200))";
const wchar_t* const kSelect =
    L"SELECT id, customer, city, amount, ordered, note FROM rows_src ORDER BY id";
const char* const kSelectText = "SELECT id, customer, city, amount, ordered, note FROM rows_src ORDER BY id";

std::string gDir;

bool check(const XQRC& rc, const char* what) {
    if (rc.code == 0) return true;
    std::fprintf(stderr, "copy_bench: %s failed: %d %s %s\n", what, rc.code,
                 xqToMultibyte(rc.auxText).c_str(), xqToMultibyte(rc.systemMessage).c_str());
    return false;
}

std::vector<XQAttributeData> columns() {
    const struct {
        const wchar_t* name;
        int type, size;
    } cols[] = {{L"id", SQL_INTEGER, 10},
                {L"customer", SQL_VARCHAR, 60},
                {L"city", SQL_VARCHAR, 40},
                {L"amount", SQL_DOUBLE, 15},
                {L"ordered", SQL_TYPE_TIMESTAMP, 26},
                {L"note", SQL_VARCHAR, 200}};
    std::vector<XQAttributeData> out;
    for (const auto& c : cols) {
        XQAttributeData a;
        a.Text1 = c.name;
        a.Number1 = c.type;
        a.Number2 = c.size;
        out.push_back(a);
    }
    return out;
}

// The source rows come from one INSERT ... SELECT over a counting query.
bool fillSource(XQOdbcConnect* conn) {
    return check(conn->executeStmt(L"CREATE TABLE rows_src" + XQSTRING(kColumnsDdl), 0),
                 "create") &&
           check(conn->executeStmt(
                     L"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                         xqNumber(static_cast<long>(kRows)) +
                         L") INSERT INTO rows_src SELECT i, 'Jürgen Müller ' || (i % 997),"
                         L" CASE i % 3 WHEN 0 THEN 'München' WHEN 1 THEN '東京' ELSE 'Αθήνα' END,"
                         L" (i * 7919 % 1000000) / 100.0,"
                         L" printf('2026-%02d-%02d %02d:%02d:%02d', i % 12 + 1, i % 28 + 1, i % 24,"
                         L" i % 60, i % 59),"
                         L" CASE WHEN i % 10 = 3 THEN NULL ELSE 'order ' || i || ' – größer' END "
                         L"FROM n",
                     0),
                 "fill");
}

// Once per process: a source and a target SQLite file, each its own data
// source, the target's connection in manual commit with the source attached.
XQOdbcConnect* target() {
    static XQOdbcConnect* conn = nullptr;
    static bool tried = false;
    if (tried) return conn;
    tried = true;
    char tmpl[] = "/tmp/tcore-copy-bench-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return nullptr;
    gDir = tmpl;
    std::atexit([] {
        XQOdbc::free();
        std::error_code ignored;
        std::filesystem::remove_all(gDir, ignored);
    });
    std::ofstream ini(gDir + "/odbc.ini");
    ini << "[copy_src]\nDriver = SQLite3\nDatabase = " << gDir << "/src.db\n\n"
        << "[copy_tgt]\nDriver = SQLite3\nDatabase = " << gDir << "/tgt.db\n";
    ini.close();
    setenv("ODBCSYSINI", TCORE_SOURCE_DIR "/etc", 1);
    setenv("ODBCINI", (gDir + "/odbc.ini").c_str(), 1);
    XQOdbcConnect* src = XQOdbc::getEnv()->getConnection(0);
    XQOdbcConnect* tgt = XQOdbc::getEnv()->getConnection(1);
    if (!check(src->connect(L"copy_src", L"", L"", 0), "connect source") || !fillSource(src) ||
        !check(tgt->connect(L"copy_tgt", L"", L"", 0), "connect target") ||
        !check(tgt->executeStmt(L"CREATE TABLE rows_copy" + XQSTRING(kColumnsDdl), 0),
               "create copy") ||
        !check(
            tgt->executeStmt(L"ATTACH DATABASE '" + xqFromMultibyte(gDir) + L"/src.db' AS src", 0),
            "attach") ||
        !check(tgt->connectOptionManual(), "manual commit"))
        return nullptr;
    conn = tgt;
    return conn;
}

bool emptyCopy(XQOdbcConnect* tgt) {
    return check(tgt->executeStmt(L"DELETE FROM rows_copy", 1), "delete") &&
           check(tgt->commit(), "commit");
}

void BM_CopyRows(benchmark::State& state) {
    XQOdbcConnect* tgt = target();
    if (tgt == nullptr) return state.SkipWithError("set-up failed");
    XQOdbcConnect* src = XQOdbc::getEnv()->getConnection(0);
    const std::vector<XQAttributeData> cols = columns();
    for (auto _ : state) {
        state.PauseTiming();
        if (!emptyCopy(tgt)) return state.SkipWithError("emptying the copy failed");
        state.ResumeTiming();
        demo::CopyResult r =
            demo::copyRows(*src, *tgt, kSelect, L"rows_copy", cols, kFetch, false, nullptr);
        if (!check(r.rc, "copy") || r.rows != kRows) return state.SkipWithError("copy failed");
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRows));
}
BENCHMARK(BM_CopyRows)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_InsertSelectSameRows(benchmark::State& state) {
    XQOdbcConnect* tgt = target();
    if (tgt == nullptr) return state.SkipWithError("set-up failed");
    for (auto _ : state) {
        state.PauseTiming();
        if (!emptyCopy(tgt)) return state.SkipWithError("emptying the copy failed");
        state.ResumeTiming();
        if (!check(tgt->executeStmt(L"INSERT INTO rows_copy SELECT * FROM src.rows_src", 0),
                   "insert") ||
            !check(tgt->commit(), "commit"))
            return state.SkipWithError("INSERT ... SELECT failed");
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRows));
}
BENCHMARK(BM_InsertSelectSameRows)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- the same copy directly on ODBC ----

struct OdbcHandle {
    SQLSMALLINT type;
    SQLHANDLE h = SQL_NULL_HANDLE;
    explicit OdbcHandle(SQLSMALLINT t, SQLHANDLE parent) : type(t) {
        SQLAllocHandle(t, parent, &h);
    }
    ~OdbcHandle() {
        if (h != SQL_NULL_HANDLE) SQLFreeHandle(type, h);
    }
};

bool ok(SQLRETURN r) { return r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO; }

bool connectTo(SQLHDBC dbc, const char* dsn) {
    const std::string in = std::string("DSN=") + dsn + ";";
    return ok(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                               SQL_DRIVER_NOPROMPT));
}

// Column-wise buffers of one row set, bound as the fetch's columns and as
// the insert's parameters.
struct PlainColumn {
    SQLSMALLINT cType, sqlType;
    SQLULEN size;
    SQLLEN width;
    std::vector<char> values;
    std::vector<SQLLEN> lengths;
};

// rowsPerInsert rows per INSERT statement, each executed with a parameter
// array of kFetch / rowsPerInsert sets.
bool plainCopy(SQLHDBC src, SQLHDBC tgt, unsigned long rowsPerInsert) {
    std::vector<PlainColumn> cols = {{SQL_C_SBIGINT, SQL_INTEGER, 19, 8, {}, {}},
                                     {SQL_C_CHAR, SQL_VARCHAR, 60, 241, {}, {}},
                                     {SQL_C_CHAR, SQL_VARCHAR, 40, 161, {}, {}},
                                     {SQL_C_DOUBLE, SQL_DOUBLE, 15, 8, {}, {}},
                                     {SQL_C_CHAR, SQL_TYPE_TIMESTAMP, 26, 32, {}, {}},
                                     {SQL_C_CHAR, SQL_VARCHAR, 200, 801, {}, {}}};
    OdbcHandle in(SQL_HANDLE_STMT, src), out(SQL_HANDLE_STMT, tgt);
    SQLULEN fetched = 0;
    SQLSetStmtAttr(in.h, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)kFetch, 0);
    SQLSetStmtAttr(in.h, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    for (size_t c = 0; c < cols.size(); ++c) {
        cols[c].values.resize(kFetch * static_cast<size_t>(cols[c].width));
        cols[c].lengths.resize(kFetch);
        SQLBindCol(in.h, static_cast<SQLUSMALLINT>(c + 1), cols[c].cType, cols[c].values.data(),
                   cols[c].width, cols[c].lengths.data());
    }
    std::string sql = "INSERT INTO rows_copy (id, customer, city, amount, ordered, note) VALUES ";
    for (unsigned long r = 0; r < rowsPerInsert; ++r) sql += r ? ", (?, ?, ?, ?, ?, ?)" : "(?, ?, ?, ?, ?, ?)";
    const unsigned long sets = kFetch / rowsPerInsert;
    // Set s of the array is rows s x rowsPerInsert on; parameter (r, c) is
    // column c of row r of the set, so a set is one column's width apart.
    SQLSetStmtAttr(out.h, SQL_ATTR_PARAM_BIND_TYPE, SQL_PARAM_BIND_BY_COLUMN, 0);
    SQLSetStmtAttr(out.h, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)sets, 0);
    if (!ok(SQLPrepare(out.h, (SQLCHAR*)sql.c_str(), SQL_NTS))) return false;
    SQLUSMALLINT number = 0;
    for (unsigned long r = 0; r < rowsPerInsert; ++r)
        for (PlainColumn& c : cols)
            SQLBindParameter(out.h, ++number, SQL_PARAM_INPUT, c.cType, c.sqlType, c.size, 0,
                             c.values.data() + r * sets * c.width, c.width,
                             c.lengths.data() + r * sets);
    if (!ok(SQLExecDirect(in.h, (SQLCHAR*)kSelectText, SQL_NTS))) return false;
    for (;;) {
        const SQLRETURN r = SQLFetch(in.h);
        if (r == SQL_NO_DATA) break;
        if (!ok(r) || fetched != kFetch) return false;  // the source is whole row sets
        if (!ok(SQLExecute(out.h))) return false;
    }
    return ok(SQLEndTran(SQL_HANDLE_DBC, tgt, SQL_COMMIT));
}

void plainOdbcCopy(benchmark::State& state) {
    if (target() == nullptr) return state.SkipWithError("set-up failed");
    OdbcHandle env(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    SQLSetEnvAttr(env.h, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    OdbcHandle src(SQL_HANDLE_DBC, env.h), tgt(SQL_HANDLE_DBC, env.h);
    if (!connectTo(src.h, "copy_src") || !connectTo(tgt.h, "copy_tgt"))
        return state.SkipWithError("connect failed");
    SQLSetConnectAttr(tgt.h, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0);
    const char* empty = "DELETE FROM rows_copy";
    for (auto _ : state) {
        state.PauseTiming();
        {
            OdbcHandle del(SQL_HANDLE_STMT, tgt.h);
            SQLExecDirect(del.h, (SQLCHAR*)empty, SQL_NTS);
            SQLEndTran(SQL_HANDLE_DBC, tgt.h, SQL_COMMIT);
        }
        state.ResumeTiming();
        if (!plainCopy(src.h, tgt.h, static_cast<unsigned long>(state.range(0))))
            return state.SkipWithError("plain copy failed");
    }
    SQLDisconnect(src.h);
    SQLDisconnect(tgt.h);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRows));
}
void BM_PlainOdbcCopyOneRowInsert(benchmark::State& state) { plainOdbcCopy(state); }
BENCHMARK(BM_PlainOdbcCopyOneRowInsert)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_PlainOdbcCopyManyRowInsert(benchmark::State& state) { plainOdbcCopy(state); }
BENCHMARK(BM_PlainOdbcCopyManyRowInsert)->Arg(kFetch)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
