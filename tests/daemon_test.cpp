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
    const char* user = std::getenv("USER");
    return getuid() == 0 ? "root" : std::string(user ? user : "");
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

    // Starts tcore-daemon with users as its allowed list. With a file, it runs
    // in a private mount namespace where that file (/etc/passwd, say) has the
    // lines added, so that the machine's files are never touched.
    void startDaemon(const std::vector<std::string>& users,
                     const std::vector<std::string>& extra = {"--port", "0"},
                     const std::string& file = "", const std::string& added = "") {
        std::string text = "# users agents may run as\n";
        for (const auto& u : users) text += "  " + u + "\n";
        writeFile(dir.path() + "/allowed", text);
        const std::string portFile = dir.path() + "/daemon.port";
        std::string program = toolPath("tcore-daemon");
        std::vector<std::string> args = {
            "--port-file",     portFile, "--allowed-users", dir.path() + "/allowed",
            "--start-timeout", "5000",   "--stop-grace",    "2000"};
        args.insert(args.end(), extra.begin(), extra.end());
        if (!file.empty()) {
            // unshare's shell binds the private copy over the file, then runs the daemon.
            writeFile(dir.path() + "/private", readWholeFile(file) + added);
            args.insert(args.begin(), {"-m", "--propagation", "private", "sh", "-c",
                                       "mount --bind \"$1\" " + file + " && shift && exec \"$@\"",
                                       "sh", dir.path() + "/private", program});
            program = "/usr/bin/unshare";
        }
        daemon.reset(new ChildProcess(dir.path(), program, args, "", {{"QL7DIR", ql7}}));
        daemonPort = waitForPortFile(portFile, *daemon);
        ASSERT_NE(0u, daemonPort) << daemon->out() << daemon->err();
    }

    Started startAgent(const std::string& program, const std::string& user,
                       const std::string& arguments = "") {
        Started s;
        s.rc = demo::agentStartRequest(kernel, L"127.0.0.1", daemonPort, xqFromMultibyte(program),
                                       xqFromMultibyte(arguments), xqFromMultibyte(user))
                   .Send();
        XQKernelMessage reply;
        if (s.rc.code == 0) s.rc = answer(reply, 10000, demo::SubFinal);
        s.port = reply.RowCount;
        s.pid = static_cast<int>(reply.ByteCount);
        return s;
    }

    XQRC stopAgent(unsigned int port) {
        XQRC rc = demo::agentStopRequest(kernel, L"127.0.0.1", daemonPort, port).Send();
        XQKernelMessage reply;
        return rc.code != 0 ? rc : answer(reply, 5000, demo::SubFinal);
    }

    // The daemon's note that an agent ended: its outcome.
    XQRC endedNote(unsigned int port) {
        XQKernelMessage note;
        XQRC rc = answer(note, 8000, demo::SubEnded);
        EXPECT_EQ(port, note.RowCount);
        return rc;
    }

    // The daemon's next message, of the sub-command expected: the outcome it carries.
    XQRC answer(XQKernelMessage& m, int waitMs, int subCommand) {
        if (kernel.Receive(m, waitMs).code != 0) return XQRC(9117, 0, XQRC::WhsSrv);
        EXPECT_EQ(subCommand, m.SubCommand);
        XQRC rc(0, 0, XQRC::WhsSrv);
        m.GetRCFromReply(rc);
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
    EXPECT_EQ(0, kernel.PingClient(L"agent", L"127.0.0.1", a.port).code)
        << "the agent's queue is up";

    EXPECT_EQ(0, stopAgent(a.port).code);
    EXPECT_EQ(0, endedNote(a.port).code) << "a clean exit is reported as success";
    EXPECT_EQ(-1, kill(a.pid, 0)) << "the daemon reaped its agent";
    EXPECT_EQ(demo::DaemonNoSuchAgent, stopAgent(a.port).code);

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
    startDaemon({"daemon"}, {"--port", "0", "--max-agents", "1"});
    struct Case {
        const char* program;
        const char* user;
        int code;
        const wchar_t* named;  // a token the resolved text shows
    } cases[] = {
        {"tcore-agent", "root", demo::DaemonUserRefused, L"root"},  // root only when listed
        {"tcore-agent", "", demo::DaemonUserRefused, L"user"},
        {"/bin/sh", "daemon", demo::DaemonProgramRefused, L"/bin/sh"},
        {"x/../tcore-agent", "daemon", demo::DaemonProgramRefused, L"x/../tcore-agent"},
        {"no-such-program", "daemon", demo::DaemonProgramRefused, L"/bin"},
    };
    for (const Case& c : cases) {
        Started s = startAgent(c.program, c.user);
        EXPECT_EQ(c.code, s.rc.code) << c.program << " as " << c.user;
        XQSTRING text = resolved(s.rc);
        EXPECT_NE(XQSTRING::npos, text.find(c.named)) << xqToMultibyte(text);
    }
    ASSERT_EQ(0, startAgent("tcore-agent", "daemon").rc.code);
    Started second = startAgent("tcore-agent", "daemon");
    EXPECT_EQ(demo::DaemonAgentLimit, second.rc.code);
    EXPECT_NE(XQSTRING::npos, resolved(second.rc).find(L"limit of 1"));
}

TEST_F(DaemonTest, AnAgentThatEndsOrStaysSilentBeforeItsQueueIsUpFailsTheStart) {
    startDaemon({currentUser()}, {"--port", "0", "--start-timeout", "600"});
    Started early = startAgent("probe", currentUser(), marks + "/ran");
    EXPECT_EQ(demo::DaemonAgentEndedEarly, early.rc.code);
    EXPECT_NE(XQSTRING::npos, resolved(early.rc).find(L"exit 3"))
        << xqToMultibyte(resolved(early.rc));
    EXPECT_EQ(0, access((marks + "/ran").c_str(), F_OK));

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
    startDaemon({"tcorebadgid", "tcorebaduid", "daemon"}, {"--port", "0"}, "/etc/passwd", accounts);
    for (const char* user : {"tcorebadgid", "tcorebaduid"}) {
        std::string mark = marks + "/" + user;
        Started s = startAgent("probe", user, mark);
        EXPECT_EQ(demo::DaemonAgentEndedEarly, s.rc.code) << user;
        EXPECT_NE(XQSTRING::npos, resolved(s.rc).find(L"exit 253"))
            << user << ": " << xqToMultibyte(resolved(s.rc));
        EXPECT_NE(0, access(mark.c_str(), F_OK)) << user << ": the program ran";
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
    useSqliteDataSource(dir.path(), "tcore_daemon_ctl");
    XQOdbcConnect& c = *XQOdbc::getEnv()->getConnection(0);
    ASSERT_EQ(0, c.connect(L"tcore_daemon_ctl", XQSTRING(), XQSTRING(), 0).code);
    ASSERT_TRUE(createConfigurationTable(
        c, L"configuration", {L"'DDD', 'DAEMONSERVICENAME', 'C', 0, 'tcoredaemontest', ''"}));
    c.disconnect();
    XQOdbc::free();
    startDaemon({"root"}, {"--control-dsn", "tcore_daemon_ctl", "--prefix", "tcore"},
                "/etc/services", "tcoredaemontest " + std::to_string(port) + "/tcp\n");
    EXPECT_EQ(port, daemonPort);
}

TEST(DaemonUsage, MistakesExitTwo) {
    TempDir dir;
    const std::vector<std::vector<std::string>> mistakes = {
        {"--allowed-users", "/dev/null"},                                   // no port source
        {"--port", "1", "--service", "x", "--allowed-users", "/dev/null"},  // two
        {"--port", "0"},                                                    // no allowed list
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
