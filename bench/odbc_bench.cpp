// Reading through the ODBC layer on SQLite: loading a 10,000-row
// configuration table, and 100,000 rows fetched one at a time (the
// baseline) against row sets of 100.
#include <benchmark/benchmark.h>

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "db/XQConfiguration.h"
#include "db/XQOdbc.h"
#include "db/XQOdbcConnect.h"
#include "db/XQOdbcCursor.h"

namespace {

const int kConfigRows = 10000;
const int kFetchRows = 100000;
const unsigned long kRowset = 100;


bool check(const XQRC& rc, const char* what) {
    if (rc.code == 0) return true;
    std::fprintf(stderr, "odbc_bench: %s failed: %d %s %s\n", what, rc.code, xqToMultibyte(rc.auxText).c_str(),
                 xqToMultibyte(rc.systemMessage).c_str());
    return false;
}

// Fills a table with a prepared INSERT in one transaction.
template <class Bind>
bool fill(XQOdbcConnect* conn, const XQSTRING& insert, int rows, Bind bind) {
    XQRC rc(0, 0, XQRC::WhsSrv);
    XQOdbcCursor* c = conn->getCursor(7, rc);
    if (c == nullptr || !check(c->prepare(insert), "prepare insert")) return false;
    bool ok = check(conn->connectOptionManual(), "manual commit");
    for (int i = 0; ok && i < rows; ++i) ok = bind(c, i) && check(c->execute(), "insert");
    ok = ok && check(conn->commit(), "commit") && check(conn->connectOptionAuto(), "auto commit");
    c->free();
    conn->dropCursor(7);
    return ok;
}

// Once per process: a SQLite file with both tables, and the configuration
// store initialised on it.
bool ensureDatabase() {
    static int state = 0;
    if (state != 0) return state == 1;
    state = 2;
    char tmpl[] = "/tmp/tcore-bench-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return false;
    static std::string dir;
    dir = tmpl;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    });
    std::ofstream ini(dir + "/odbc.ini");
    ini << "[tcore_bench]\nDriver = SQLite3\nDatabase = " << dir << "/bench.db\n";
    ini.close();
    setenv("ODBCSYSINI", TCORE_SOURCE_DIR "/etc", 1);
    setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);

    XQOdbcConnect* conn = XQOdbc::getEnv()->getConnection(1);
    if (!check(conn->connect(L"tcore_bench", L"", L"", 0), "connect")) return false;
    if (!check(conn->executeStmt(L"CREATE TABLE configuration (component CHAR(10), name VARCHAR(20), type CHAR(1),"
                                 L" value_int INTEGER, value_char VARCHAR(199), short_name VARCHAR(19))",
                                 0),
               "create configuration"))
        return false;
    if (!check(conn->executeStmt(L"CREATE TABLE bench_rows (id INTEGER, name VARCHAR(30), value INTEGER)", 0),
               "create bench_rows"))
        return false;

    char name[21] = {}, text[40] = {};
    SQLINTEGER number = 0;
    long nameLen = 0, textLen = 0, numberLen = 0;
    bool ok = fill(conn,
                   L"INSERT INTO configuration (component, name, type, value_int, value_char, short_name)"
                   L" VALUES ('RTK', ?, 'C', ?, ?, 'short')",
                   kConfigRows, [&](XQOdbcCursor* c, int i) {
                       nameLen = std::snprintf(name, sizeof(name), "KEY%06d", i);
                       textLen = std::snprintf(text, sizeof(text), "value of key %d", i);
                       number = i;
                       return check(c->bindParameter(1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, name,
                                                     sizeof(name), &nameLen),
                                    "bind") &&
                              check(c->bindParameter(2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &number, 0,
                                                     &numberLen),
                                    "bind") &&
                              check(c->bindParameter(3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 199, 0, text,
                                                     sizeof(text), &textLen),
                                    "bind");
                   });
    ok = ok && fill(conn, L"INSERT INTO bench_rows (id, name, value) VALUES (?, ?, ?)", kFetchRows,
                    [&](XQOdbcCursor* c, int i) {
                        number = i;
                        textLen = std::snprintf(text, sizeof(text), "row-%d", i);
                        return check(c->bindParameter(1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &number,
                                                      0, &numberLen),
                                     "bind") &&
                               check(c->bindParameter(2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 30, 0, text,
                                                      sizeof(text), &textLen),
                                     "bind") &&
                               check(c->bindParameter(3, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &number,
                                                      0, &numberLen),
                                     "bind");
                    });
    ok = ok && check(XQConfiguration::init(L"tcore_bench", L"tcore", L"", L"", 0), "configuration init");
    state = ok ? 1 : 2;
    return ok;
}

void BM_ConfigurationLoad(benchmark::State& state) {
    if (!ensureDatabase()) return state.SkipWithError("database set-up failed");
    XQConfiguration* config = XQConfiguration::getInstance();
    for (auto _ : state) {
        config->unload();
        if (!check(config->load(L"tcore"), "load")) return state.SkipWithError("load failed");
    }
    if (XQConfiguration::getListAll().size() != static_cast<size_t>(kConfigRows))
        return state.SkipWithError("wrong row count");
    state.SetItemsProcessed(state.iterations() * kConfigRows);
}
BENCHMARK(BM_ConfigurationLoad)->Unit(benchmark::kMillisecond);

void BM_Fetch(benchmark::State& state) {
    if (!ensureDatabase()) return state.SkipWithError("database set-up failed");
    XQOdbcConnect* conn = XQOdbc::getEnv()->getConnection(1);
    XQRC rc(0, 0, XQRC::WhsSrv);
    XQOdbcCursor* c = conn->getCursor(0, rc);
    SQLINTEGER id = 0, value = 0;
    char name[31] = {};
    long len[3] = {};
    for (auto _ : state) {
        c->free();
        c->prepare(L"SELECT id, name, value FROM bench_rows");
        c->bindCol(1, SQL_C_SLONG, &id, sizeof(id), &len[0]);
        c->bindCol(2, SQL_C_CHAR, name, sizeof(name), &len[1]);
        c->bindCol(3, SQL_C_SLONG, &value, sizeof(value), &len[2]);
        long rows = 0;
        while (c->fetch(rc) == 1) ++rows;
        if (rows != kFetchRows || rc.code != 0) return state.SkipWithError("fetch failed");
        benchmark::DoNotOptimize(value);
    }
    c->free();
    conn->dropCursor(0);
    state.SetItemsProcessed(state.iterations() * kFetchRows);
}
BENCHMARK(BM_Fetch)->Unit(benchmark::kMillisecond);

void BM_FetchArray(benchmark::State& state) {
    if (!ensureDatabase()) return state.SkipWithError("database set-up failed");
    XQOdbcConnect* conn = XQOdbc::getEnv()->getConnection(1);
    XQRC rc(0, 0, XQRC::WhsSrv);
    XQOdbcCursor* c = conn->getCursor(1, rc);
    std::vector<SQLINTEGER> ids(kRowset), values(kRowset);
    std::vector<char> names(kRowset * 31);
    std::vector<long> len1(kRowset), len2(kRowset), len3(kRowset);
    for (auto _ : state) {
        c->free();
        c->prepareArray(L"SELECT id, name, value FROM bench_rows", kRowset, SQL_BIND_BY_COLUMN);
        c->bindCol(1, SQL_C_SLONG, ids.data(), sizeof(SQLINTEGER), len1.data());
        c->bindCol(2, SQL_C_CHAR, names.data(), 31, len2.data());
        c->bindCol(3, SQL_C_SLONG, values.data(), sizeof(SQLINTEGER), len3.data());
        long rows = 0;
        unsigned long fetched = 0;
        while (c->fetchArray(rc, kRowset, fetched) == 1) rows += static_cast<long>(fetched);
        if (rows != kFetchRows || rc.code != 0) return state.SkipWithError("array fetch failed");
        benchmark::DoNotOptimize(values.data());
    }
    c->free();
    conn->dropCursor(1);
    state.SetItemsProcessed(state.iterations() * kFetchRows);
}
BENCHMARK(BM_FetchArray)->Unit(benchmark::kMillisecond);

}  // namespace
