#include "support/DbTestEnv.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#ifndef TCORE_TEST_SOURCE_DIR
#error "TCORE_TEST_SOURCE_DIR must name the source tree"
#endif

const wchar_t* const kPgUser = L"tcore";
const wchar_t* const kPgPassword = L"tcore-pw";

namespace {

bool gPostgresUp = false;
bool gStartedHere = false;
std::string gProblem = "not started";
std::string gWorkDir;

const char* const kInheritedVar = "TCORE_DB_TEST_DIR";
const char* const kPgUpVar = "TCORE_DB_TEST_PG";

int freeLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof(addr);
    int port = -1;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    close(fd);
    return port;
}

std::string script() { return std::string(TCORE_TEST_SOURCE_DIR) + "/tests/support/pg_cluster.sh"; }

int runShell(const std::string& command) {
    int status = std::system(command.c_str());
    return (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
}

}  // namespace

bool DbTestEnvironment::postgresUp() { return gPostgresUp; }
const std::string& DbTestEnvironment::postgresProblem() { return gProblem; }
std::string DbTestEnvironment::workDir() { return gWorkDir; }

void DbTestEnvironment::SetUp() {
    if (const char* inherited = std::getenv(kInheritedVar)) {
        gWorkDir = inherited;
        const char* up = std::getenv(kPgUpVar);
        gPostgresUp = up != nullptr && std::string(up) == "1";
        if (!gPostgresUp) gProblem = "not running in the parent test program";
        return;
    }
    char tmpl[] = "/tmp/tcore-db-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    gWorkDir = tmpl;
    gStartedHere = true;
    // The server runs as another user and must reach its directory inside.
    chmod(gWorkDir.c_str(), 0711);

    int port = -1;
    for (int attempt = 0; attempt < 3 && !gPostgresUp; ++attempt) {
        port = freeLoopbackPort();
        ASSERT_GT(port, 0);
        int rc = runShell("'" + script() + "' start '" + gWorkDir + "' " + std::to_string(port) + " " +
                          std::to_string(getpid()));
        gPostgresUp = rc == 0;
        if (!gPostgresUp) gProblem = "pg_cluster.sh start exited with " + std::to_string(rc);
    }

    std::ofstream ini(gWorkDir + "/odbc.ini");
    ini << "[tcore_sqlite]\n"
        << "Driver = SQLite3\n"
        << "Database = " << gWorkDir << "/tcore.db\n"
        << "Timeout = 10000\n\n"
        << "[tcore_pg]\n"
        << "Driver = PostgreSQL Unicode\n"
        << "Servername = 127.0.0.1\n"
        << "Port = " << port << "\n"
        << "Database = tcore\n"
        << "Username = tcore\n"
        << "Password = tcore-pw\n\n";
    ini.close();
    ASSERT_TRUE(ini.good());
    setenv("ODBCSYSINI", (std::string(TCORE_TEST_SOURCE_DIR) + "/etc").c_str(), 1);
    setenv("ODBCINI", (gWorkDir + "/odbc.ini").c_str(), 1);
    setenv(kInheritedVar, gWorkDir.c_str(), 1);
    setenv(kPgUpVar, gPostgresUp ? "1" : "0", 1);
    // Loud, not silent: every PostgreSQL test fails with this reason.
    EXPECT_TRUE(gPostgresUp) << "PostgreSQL cluster could not be started: " << gProblem;
}

void DbTestEnvironment::TearDown() {
    if (!gStartedHere) return;
    runShell("'" + script() + "' stop '" + gWorkDir + "'");
}

int runChildTest(const std::string& filter, const std::string& envName, const std::string& envValue) {
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        setenv(envName.c_str(), envValue.c_str(), 1);
        std::string filterArg = "--gtest_filter=" + filter;
        execl("/proc/self/exe", "child", filterArg.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Allocations the database drivers and the driver manager's ini code keep
// until the process ends are theirs, not leaks of the library.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:psqlodbcw.so\nleak:libpq.so\nleak:libsqlite3odbc\nleak:libodbcinst.so\n";
}
