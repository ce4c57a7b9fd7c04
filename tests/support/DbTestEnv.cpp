#include "support/DbTestEnv.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "db/XQOdbcCursor.h"

#ifndef TCORE_TEST_SOURCE_DIR
#error "TCORE_TEST_SOURCE_DIR must name the source tree"
#endif

const wchar_t* const kPgUser = L"tcore";
const wchar_t* const kPgPassword = L"tcore-pw";

bool DbTestEnvironment::postgresUp = false;
std::string DbTestEnvironment::postgresProblem = "not started";

namespace {

std::string gWorkDir;

std::string script() {
    return std::string(TCORE_TEST_SOURCE_DIR) + "/tests/support/pg_cluster.sh";
}

int runShell(const std::string& command) {
    int status = std::system(command.c_str());
    return (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
}

// Before any ODBC call: the project's drivers, and the data sources of path.
void useOdbcIni(const std::string& path) {
    setenv("ODBCSYSINI", (std::string(TCORE_TEST_SOURCE_DIR) + "/etc").c_str(), 1);
    setenv("ODBCINI", path.c_str(), 1);
}

}  // namespace

int freeLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    int port = -1;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    close(fd);
    return port;
}

void DbTestEnvironment::SetUp() {
    char tmpl[] = "/tmp/tcore-db-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    gWorkDir = tmpl;
    // The server runs as another user and must reach its directory inside.
    chmod(gWorkDir.c_str(), 0711);

    int port = -1;
    for (int attempt = 0; attempt < 3 && !postgresUp; ++attempt) {
        port = freeLoopbackPort();
        ASSERT_GT(port, 0);
        int rc = runShell("'" + script() + "' start '" + gWorkDir + "' " + std::to_string(port) +
                          " " + std::to_string(getpid()));
        postgresUp = rc == 0;
        if (!postgresUp) postgresProblem = "pg_cluster.sh start exited with " + std::to_string(rc);
    }
    std::ofstream(gWorkDir + "/odbc.ini")
        << "[tcore_sqlite]\nDriver = SQLite3\nDatabase = " << gWorkDir << "/tcore.db\n"
        << "Timeout = 10000\n\n[tcore_pg]\nDriver = PostgreSQL Unicode\n"
        << "Servername = 127.0.0.1\nPort = " << port << "\nDatabase = tcore\n"
        << "Username = tcore\nPassword = tcore-pw\n\n";
    useOdbcIni(gWorkDir + "/odbc.ini");
    // Loud, not silent: every PostgreSQL test fails with this reason.
    EXPECT_TRUE(postgresUp) << "PostgreSQL cluster could not be started: " << postgresProblem;
}

void DbTestEnvironment::TearDown() {
    if (!gWorkDir.empty()) runShell("'" + script() + "' stop '" + gWorkDir + "'");
}

::testing::AssertionResult succeeded(const XQRC& rc) {
    if (rc.code == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "code " << rc.code << ": " << xqToMultibyte(rc.systemMessage) << " "
           << xqToMultibyte(rc.comment);
}

std::vector<std::string> selectTexts(XQOdbcConnect& conn, const XQSTRING& query) {
    std::vector<std::string> rows;
    XQRC rc(0, 0, XQRC::WhsSrv);
    XQOdbcCursor* c = conn.getCursor(XQOdbcConnect::cursorCount - 1, rc);
    EXPECT_NE(nullptr, c);
    if (c == nullptr) return rows;
    char text[300];
    long len = 0;
    EXPECT_TRUE(succeeded(c->prepare(query)));
    EXPECT_TRUE(succeeded(c->bindCol(1, SQL_C_CHAR, text, sizeof(text), &len)));
    for (int i = 0; i < 1000 && c->fetch(rc) == 1; ++i) rows.emplace_back(len < 0 ? "" : text);
    EXPECT_TRUE(succeeded(rc));
    c->free();
    conn.dropCursor(XQOdbcConnect::cursorCount - 1);
    return rows;
}

::testing::AssertionResult createConfigurationTable(XQOdbcConnect& conn, const XQSTRING& table,
                                                    const std::vector<XQSTRING>& rows,
                                                    const XQSTRING& extra) {
    ::testing::AssertionResult ok = succeeded(conn.executeStmt(
        L"CREATE TABLE " + table +
            L" (component CHAR(10) NOT NULL, name VARCHAR(20) NOT NULL, type CHAR(1) NOT NULL,"
            L" value_int INTEGER, value_char VARCHAR(199), short_name VARCHAR(19),"
            L" PRIMARY KEY (component, name)" +
            extra + L")",
        0));
    for (size_t i = 0; ok && i < rows.size(); ++i)
        ok =
            succeeded(conn.executeStmt(L"INSERT INTO " + table + L" VALUES (" + rows[i] + L")", 0));
    return ok;
}

void useSqliteDataSource(const std::string& dir, const std::string& dsn) {
    std::ofstream(dir + "/odbc.ini")
        << "[" << dsn << "]\nDriver = SQLite3\nDatabase = " << dir << "/control.db\n";
    useOdbcIni(dir + "/odbc.ini");
}

// Allocations the database drivers and the driver manager's ini code keep
// until the process ends are theirs, not leaks of the library.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:psqlodbcw.so\nleak:libpq.so\nleak:libsqlite3odbc\nleak:libodbcinst.so\n";
}
