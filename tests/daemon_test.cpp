// The agent daemon as a kernel meets it: a real tcore-daemon process on
// loopback, real agents started under real identities, refusals read back
// through the message catalogue.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "db/XQOdbc.h"
#include "db/XQOdbcConnect.h"
#include "foundation/XQResolveMessage.h"
#include "messages/XQKernelMessage.h"
#include "support/ChildProcess.h"
#include "support/DaemonClient.h"
#include "support/DbTestEnv.h"
#include "support/DemoProtocol.h"
#include "transport/XQMessageQ.h"
#include "transport/XQSocket.h"

namespace {

std::string currentUser() {
    return getuid() == 0 ? "root" : std::string(std::getenv("USER") ? std::getenv("USER") : "");
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// program with args in a private mount namespace where each file of binds
// (over, from) is replaced by another, so that the machine's files are never touched.
ChildProcess* withPrivateFiles(const std::string& dir,
                               const std::vector<std::pair<std::string, std::string>>& binds,
                               const std::string& program, const std::vector<std::string>& args) {
    std::string script;
    std::vector<std::string> wrapped = {"-m", "--propagation", "private", "sh", "-c", "", "sh"};
    for (const auto& b : binds) {
        script += "mount --bind \"$1\" " + b.first + " && shift && ";
        wrapped.push_back(b.second);
    }
    wrapped[5] = script + "exec \"$@\"";
    wrapped.push_back(program);
    wrapped.insert(wrapped.end(), args.begin(), args.end());
    return new ChildProcess(dir, "/usr/bin/unshare", wrapped, "", {{"QL7DIR", dir + "/ql7"}});
}

// "Uid:" or "Gid:" line of a process: the real id.
long idOf(int pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, field.size(), field) == 0) return std::stol(line.substr(field.size()));
    return -1;
}

XQSTRING resolved(const XQRC& rc) {
    XQRC copy(rc);
    XQSTRING primary, secondary;
    XQResolveMessage().ResolveMsgs(copy, secondary, primary, XQSTRING(), 0);
    return primary;
}

struct Started {
    XQRC rc{0, 0, XQRC::WhsSrv};
    unsigned int port = 0;
    int pid = 0;
};

class DaemonTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        chmod(dir.path().c_str(), 0755);  // agents of other users reach their programs through it
        ql7 = dir.path() + "/ql7";
        marks = dir.path() + "/marks";
        mkdir(ql7.c_str(), 0755);
        mkdir((ql7 + "/bin").c_str(), 0755);
        mkdir(marks.c_str(), 0777);
        chmod(marks.c_str(), 0777);
        ASSERT_EQ(0, symlink(toolPath("tcore-agent").c_str(), (ql7 + "/bin/tcore-agent").c_str()));
        // Leaves a mark when it runs and ends before it has a queue.
        writeFile(ql7 + "/bin/probe", "#!/bin/sh\n: > \"$1\"\nexit 3\n", 0755);
        // Runs, but never reports a queue.
        writeFile(ql7 + "/bin/silent", "#!/bin/sh\nexec sleep 30\n", 0755);
        ASSERT_EQ(0, kernel.Create(0, 16).code);
    }
    void TearDown() override {
        if (daemon) {
            daemon->signal(SIGTERM);
            daemon->ended(10);
        }
        kernel.Destroy(1);
    }

    // Starts tcore-daemon with users as its allowed list. With accounts, it
    // runs in a private mount namespace whose passwd file adds the test's
    // accounts (so the machine's files are never touched).
    void startDaemon(const std::vector<std::string>& users, const std::vector<std::string>& extra = {},
                     const std::string& accounts = "") {
        std::string allowed = dir.path() + "/allowed";
        std::string text = "# users agents may run as\n";
        for (const auto& u : users) text += "  " + u + "\n";
        writeFile(allowed, text);
        std::string portFile = dir.path() + "/daemon.port";
        std::vector<std::string> args = {"--port", "0", "--port-file", portFile, "--allowed-users", allowed,
                                         "--start-timeout", "5000", "--stop-grace", "2000"};
        args.insert(args.end(), extra.begin(), extra.end());
        if (accounts.empty()) {
            daemon.reset(new ChildProcess(dir.path(), toolPath("tcore-daemon"), args, "",
                                          {{"QL7DIR", ql7}}));
        } else {
            std::string passwd = dir.path() + "/passwd";
            writeFile(passwd, readWholeFile("/etc/passwd") + accounts);
            daemon.reset(withPrivateFiles(dir.path(), {{"/etc/passwd", passwd}},
                                          toolPath("tcore-daemon"), args));
        }
        daemonPort = waitForPortFile(portFile, *daemon);
        ASSERT_NE(0u, daemonPort) << daemon->out() << daemon->err();
    }

    Started startAgent(const std::string& program, const std::string& user, const std::string& arguments = "") {
        Started s;
        XQKernelMessage request = demo::agentStartRequest(kernel, L"127.0.0.1", daemonPort, xqFromMultibyte(program),
                                                          xqFromMultibyte(arguments), xqFromMultibyte(user));
        s.rc = request.Send();
        if (s.rc.code != 0) return s;
        XQKernelMessage reply;
        if (kernel.Receive(reply, 10000).code != 0) {
            s.rc = XQRC(9117, 0, XQRC::WhsSrv);
            return s;
        }
        EXPECT_EQ(demo::SubFinal, reply.SubCommand);
        s.rc = XQRC(0, 0, XQRC::WhsSrv);
        reply.GetRCFromReply(s.rc);
        s.port = reply.RowCount;
        s.pid = static_cast<int>(reply.ByteCount);
        return s;
    }

    XQRC stopAgent(unsigned int port) {
        XQRC rc = demo::agentStopRequest(kernel, L"127.0.0.1", daemonPort, port).Send();
        if (rc.code != 0) return rc;
        XQKernelMessage reply;
        if (kernel.Receive(reply, 5000).code != 0) return XQRC(9117, 0, XQRC::WhsSrv);
        EXPECT_EQ(demo::SubFinal, reply.SubCommand);
        reply.GetRCFromReply(rc);
        return rc;
    }

    // The daemon's note that an agent ended: its outcome.
    XQRC endedNote(unsigned int port) {
        XQKernelMessage note;
        if (kernel.Receive(note, 8000).code != 0) return XQRC(9117, 0, XQRC::WhsSrv);
        EXPECT_EQ(demo::SubEnded, note.SubCommand);
        EXPECT_EQ(port, note.RowCount);
        XQRC rc(0, 0, XQRC::WhsSrv);
        note.GetRCFromReply(rc);
        return rc;
    }

    TempDir dir;
    std::string ql7, marks;
    XQMessageQ kernel;
    std::unique_ptr<ChildProcess> daemon;
    unsigned int daemonPort = 0;
};

TEST_F(DaemonTest, StartsAnAgentAnswersWithItsPortTellsWhenItEndsAndStopsOnSigterm) {
    startDaemon({currentUser()});
    Started a = startAgent("tcore-agent", currentUser());
    ASSERT_EQ(0, a.rc.code) << resolved(a.rc).c_str() << " " << daemon->out();
    ASSERT_GT(a.port, 0u);
    ASSERT_GT(a.pid, 0);
    EXPECT_EQ(0, kernel.PingClient(L"agent", L"127.0.0.1", a.port).code) << "the agent's queue is up";

    EXPECT_EQ(0, stopAgent(a.port).code);
    EXPECT_EQ(0, endedNote(a.port).code) << "a clean exit is reported as success";
    EXPECT_EQ(-1, kill(a.pid, 0)) << "the daemon reaped its agent";
    EXPECT_EQ(ESRCH, errno);
    XQRC again = stopAgent(a.port);
    EXPECT_EQ(demo::DaemonNoSuchAgent, again.code);

    // SIGTERM stops every agent and tells the requester.
    Started b = startAgent("tcore-agent", currentUser());
    ASSERT_EQ(0, b.rc.code);
    daemon->signal(SIGTERM);
    EXPECT_EQ(0, endedNote(b.port).code);
    EXPECT_EQ(0, daemon->wait(10));
    EXPECT_EQ(-1, kill(b.pid, 0));
}

TEST_F(DaemonTest, RefusesWithReturnCodesTheCatalogueExplains) {
    if (getuid() != 0) GTEST_SKIP() << "starting agents as another user needs root";
    startDaemon({"daemon"}, {"--max-agents", "1"});
    struct Case {
        const char* program;
        const char* user;
        int code;
        const wchar_t* named;  // a token the resolved text shows
    } cases[] = {
        {"tcore-agent", "root", demo::DaemonUserRefused, L"root"},  // root only when listed
        {"tcore-agent", "bin", demo::DaemonUserRefused, L"bin"},
        {"tcore-agent", "", demo::DaemonUserRefused, L"user"},
        {"/bin/sh", "daemon", demo::DaemonProgramRefused, L"/bin/sh"},
        {"../bin/tcore-agent", "daemon", demo::DaemonProgramRefused, L"../bin/tcore-agent"},
        {"x/../tcore-agent", "daemon", demo::DaemonProgramRefused, L"x/../tcore-agent"},
        {"no-such-program", "daemon", demo::DaemonProgramRefused, L"/bin"},
    };
    for (const Case& c : cases) {
        Started s = startAgent(c.program, c.user);
        EXPECT_EQ(c.code, s.rc.code) << c.program << " as " << c.user;
        XQSTRING text = resolved(s.rc);
        EXPECT_NE(XQSTRING::npos, text.find(c.named)) << xqToMultibyte(text);
    }
    Started first = startAgent("tcore-agent", "daemon");
    ASSERT_EQ(0, first.rc.code) << xqToMultibyte(resolved(first.rc));
    Started second = startAgent("tcore-agent", "daemon");
    EXPECT_EQ(demo::DaemonAgentLimit, second.rc.code);
    EXPECT_NE(XQSTRING::npos, resolved(second.rc).find(L"limit of 1")) << xqToMultibyte(resolved(second.rc));

    XQKernelMessage unknown = demo::agentStopRequest(kernel, L"127.0.0.1", daemonPort, 0);
    unknown.SetCommand(499);
    ASSERT_EQ(0, unknown.Send().code);
    XQKernelMessage reply;
    ASSERT_EQ(0, kernel.Receive(reply, 5000).code);
    EXPECT_EQ(demo::DaemonUnknownCommand, reply.ReturnCode.code);
}

TEST_F(DaemonTest, AnAgentThatEndsOrStaysSilentBeforeItsQueueIsUpFailsTheStart) {
    startDaemon({currentUser()}, {"--start-timeout", "600"});
    Started early = startAgent("probe", currentUser(), marks + "/ran");
    EXPECT_EQ(demo::DaemonAgentEndedEarly, early.rc.code);
    EXPECT_NE(XQSTRING::npos, resolved(early.rc).find(L"exit 3")) << xqToMultibyte(resolved(early.rc));
    EXPECT_TRUE(exists(marks + "/ran"));

    Started silent = startAgent("silent", currentUser());
    EXPECT_EQ(demo::DaemonAgentNoQueue, silent.rc.code);
    ASSERT_GT(silent.pid, 0);
    EXPECT_EQ(-1, kill(silent.pid, 0)) << "killed and reaped";
}

// A start whose change of identity fails must never run the program with the
// daemon's own (root) identity: the group cannot be taken on (gid -1), or
// the user cannot (uid -1). A real unprivileged user gets exactly its ids.
TEST_F(DaemonTest, ADroppedIdentityNeverRunsTheProgram) {
    if (getuid() != 0) GTEST_SKIP() << "changing identity needs root";
    const std::string accounts =
        "tcorebadgid:x:64001:4294967295::/:/usr/sbin/nologin\n"
        "tcorebaduid:x:4294967295:1::/:/usr/sbin/nologin\n";
    startDaemon({"tcorebadgid", "tcorebaduid", "daemon"}, {}, accounts);
    for (const char* user : {"tcorebadgid", "tcorebaduid"}) {
        std::string mark = marks + "/" + user;
        Started s = startAgent("probe", user, mark);
        EXPECT_EQ(demo::DaemonAgentEndedEarly, s.rc.code) << user;
        EXPECT_NE(XQSTRING::npos, resolved(s.rc).find(L"exit 253")) << user << ": " << xqToMultibyte(resolved(s.rc));
        EXPECT_FALSE(exists(mark)) << user << ": the program ran";
    }
    Started real = startAgent("tcore-agent", "daemon");
    ASSERT_EQ(0, real.rc.code) << xqToMultibyte(resolved(real.rc));
    EXPECT_EQ(1, idOf(real.pid, "Uid:"));
    EXPECT_EQ(1, idOf(real.pid, "Gid:"));
    EXPECT_EQ(0, stopAgent(0).code) << "stops every agent of this requester";
    EXPECT_EQ(0, endedNote(real.port).code);
}

TEST_F(DaemonTest, TakesItsPortFromTheConfigurationStoreAndTheServicesDatabase) {
    if (getuid() != 0) GTEST_SKIP() << "a private services file needs root (a mount namespace)";
    // A free port, named by a service that only the daemon's private services file knows.
    const unsigned int port = freeLoopbackPort();
    std::string services = dir.path() + "/services";
    const std::string service = "tcoredaemontest " + std::to_string(port) + "/tcp\n";
    writeFile(services, readWholeFile("/etc/services") + service);
    useSqliteDataSource(dir.path(), "tcore_daemon_ctl");
    {
        XQOdbcConnect& c = *XQOdbc::getEnv()->getConnection(0);
        ASSERT_EQ(0, c.connect(L"tcore_daemon_ctl", XQSTRING(), XQSTRING(), 0).code);
        ASSERT_TRUE(createConfigurationTable(
            c, L"configuration", {L"'DDD', 'DAEMONSERVICENAME', 'C', 0, 'tcoredaemontest', ''"}));
        c.disconnect();
        XQOdbc::free();
    }
    std::string allowed = dir.path() + "/allowed", portFile = dir.path() + "/daemon.port";
    writeFile(allowed, "root\n");
    std::unique_ptr<ChildProcess> daemon(withPrivateFiles(
        dir.path(), {{"/etc/services", services}}, toolPath("tcore-daemon"),
        {"--control-dsn", "tcore_daemon_ctl", "--prefix", "tcore", "--allowed-users", allowed,
         "--port-file", portFile}));
    ChildProcess& d = *daemon;
    EXPECT_EQ(port, waitForPortFile(portFile, d)) << d.out() << d.err();
    d.signal(SIGTERM);
    EXPECT_EQ(0, d.wait(10));
}

TEST(DaemonUsage, HelpNamesEveryOptionAndMistakesExitTwo) {
    TempDir dir;
    ChildProcess help(dir.path(), toolPath("tcore-daemon"), {"--help"});
    ASSERT_EQ(0, help.wait(10));
    for (const char* option : {"--port", "--service", "--control-dsn", "--prefix", "--allowed-users", "--max-agents",
                               "--start-timeout", "--stop-grace", "--port-file", "--trace", "QL7DIR"})
        EXPECT_NE(std::string::npos, help.out().find(option)) << option;
    const std::vector<std::vector<std::string>> mistakes = {
        {"--allowed-users", "/dev/null"},                              // no port source
        {"--port", "1", "--service", "x", "--allowed-users", "/dev/null"},  // two
        {"--port", "0"},                                               // no allowed list
        {"--port", "0", "--allowed-users", "/dev/null", "--max-agents", "x"},
    };
    for (const auto& args : mistakes) {
        ChildProcess bad(dir.path(), toolPath("tcore-daemon"), args, "",
                         {{"QL7DIR", "/nonexistent"}});
        EXPECT_EQ(2, bad.wait(10)) << args[0] << " " << bad.err();
    }
    ChildProcess noDir(dir.path(), toolPath("tcore-daemon"),
                       {"--port", "0", "--allowed-users", "/dev/null"}, "", {{"QL7DIR", ""}});
    EXPECT_EQ(2, noDir.wait(10));
    EXPECT_NE(std::string::npos, noDir.err().find("QL7DIR"));
}

}  // namespace
