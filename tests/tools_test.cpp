// The operator tools as an operator runs them: real programs as child
// processes, talking to real queues on loopback and to a SQLite control
// database through ODBC.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "db/XQOdbc.h"
#include "db/XQOdbcConnect.h"
#include "messages/XQAgentMessage.h"
#include "security/PasswordScramble.h"
#include "support/ChildProcess.h"
#include "support/DbTestEnv.h"
#include "transport/XQMessageQ.h"

namespace {

using Clock = std::chrono::steady_clock;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class ToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, std::getenv("TCORE_BINARY_DIR")) << "TCORE_BINARY_DIR is not set";
        ASSERT_FALSE(dir.path().empty());
    }
    ToolRun run(const std::string& name, const std::vector<std::string>& args,
                const std::string& input = "", const std::map<std::string, std::string>& env = {}) {
        return runTool(dir.path(), name, args, input, env);
    }
    TempDir dir;
};

// --- usage -----------------------------------------------------------------

TEST_F(ToolsTest, HelpSucceedsAndUsageErrorsExitTwo) {
    const char* const names[] = {"tcore-listen", "tcore-send", "tcore-ping", "tcore-config", "tcore-scramble",
                                 "tcore-msg"};
    for (const char* name : names) {
        ToolRun help = run(name, {"--help"});
        EXPECT_EQ(0, help.code) << name;
        EXPECT_TRUE(contains(help.out, std::string("usage: ") + name)) << name << ": " << help.out;
        ToolRun bad = run(name, {"--no-such-option"});
        EXPECT_EQ(2, bad.code) << name;
        EXPECT_TRUE(contains(bad.err, name)) << name << ": " << bad.err;
    }
    const std::vector<std::pair<std::string, std::vector<std::string>>> usageErrors = {
        {"tcore-listen", {}},
        {"tcore-listen", {"70000"}},
        {"tcore-listen", {"0", "--count", "0"}},
        {"tcore-listen", {"0", "--count"}},
        {"tcore-send", {}},
        {"tcore-send", {"--port", "0"}},
        {"tcore-send", {"--port", "5000", "--kind", "wip"}},
        {"tcore-send", {"--port", "5000", "--status", "only for agents"}},
        {"tcore-send", {"--port", "5000", "--command", "seven"}},
        {"tcore-send", {"--port", "5000", "--wait-reply", "-1"}},
        {"tcore-ping", {"127.0.0.1"}},
        {"tcore-ping", {"127.0.0.1", "port"}},
        {"tcore-ping", {"127.0.0.1", "0"}},
        {"tcore-config", {"--prefix", "tcore", "list"}},
        {"tcore-config", {"--dsn", "x", "list"}},
        {"tcore-config", {"--dsn", "x", "--prefix", "tcore", "get", "RTK"}},
        {"tcore-config", {"--dsn", "x", "--prefix", "tcore", "set", "Nobody", "A", "1"}},
        {"tcore-config", {"--dsn", "x", "--prefix", "tcore", "drop"}},
        {"tcore-scramble", {"extra"}},
    };
    for (const auto& e : usageErrors) {
        ToolRun r = run(e.first, e.second);
        std::string shown = e.first;
        for (const std::string& a : e.second) shown += " " + a;
        EXPECT_EQ(2, r.code) << shown << "\n" << r.err;
        EXPECT_FALSE(r.err.empty()) << shown;
    }
}

// --- tcore-scramble --------------------------------------------------------

TEST_F(ToolsTest, ScrambleRoundTripsShowsNoPasswordAndRefusesBadInput) {
    const std::map<std::string, std::string> utf8 = {{"LC_ALL", "C.UTF-8"}};
    const std::string ascii = "Op3rator-pw";
    for (const std::string& password : {ascii, std::string("p\xc3\xa4ss \xe2\x82\xac")}) {
        ToolRun scrambled = run("tcore-scramble", {}, password + "\n", utf8);
        ASSERT_EQ(0, scrambled.code) << scrambled.err;
        EXPECT_FALSE(contains(scrambled.err, password));
        if (password == ascii) {
            // The library's own scrambling, as lower-case hex digits.
            std::vector<unsigned char> bytes;
            ASSERT_EQ(0, scramblePassword(xqFromMultibyte(password), bytes).code);
            std::string hex;
            char two[3];
            for (unsigned char b : bytes) {
                std::snprintf(two, sizeof(two), "%02x", b);
                hex += two;
            }
            EXPECT_EQ(hex + "\n", scrambled.out);
        }
        // Upper-case digits and a line end from another system read the same.
        std::string upper = scrambled.out.substr(0, scrambled.out.size() - 1) + "\r\n";
        for (char& c : upper) c = static_cast<char>(toupper(c));
        ToolRun back = run("tcore-scramble", {"-r"}, upper, utf8);
        EXPECT_EQ(0, back.code) << back.err;
        EXPECT_EQ(password + "\n", back.out);
    }

    ToolRun empty = run("tcore-scramble", {}, "");
    EXPECT_EQ(1, empty.code);
    EXPECT_TRUE(contains(empty.err, "no password")) << empty.err;
    for (const char* bad : {"abc\n", "zz11\n", "\n"}) {
        ToolRun r = run("tcore-scramble", {"--reverse"}, bad);
        EXPECT_EQ(1, r.code) << bad;
        EXPECT_TRUE(contains(r.err, "hex")) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

// --- tcore-config ----------------------------------------------------------

class ConfigToolTest : public ToolsTest {
protected:
    void SetUp() override {
        ToolsTest::SetUp();
        // Children inherit the data source; SQLite has no schemas: the store
        // reads the prefix as the file itself.
        useSqliteDataSource(dir.path(), "tools_cdb");
        XQOdbcConnect* conn = XQOdbc::getEnv()->getConnection(1);
        ASSERT_TRUE(succeeded(conn->connect(L"tools_cdb", L"", L"", 0)));
        ASSERT_TRUE(createConfigurationTable(*conn, L"configuration",
                                             {L"'DDD', 'AGENTMODULE', 'C', 0, 'agentmod', 'am'",
                                              L"'RTK', 'TIMEOUT', 'N', 30, '', 'to'",
                                              L"'Agent', 'WORKERS', 'N', 4, NULL, NULL",
                                              L"'Log', 'LOGFILE', 'C', 0, 'run.log', ''"}));
        ASSERT_EQ(0, conn->disconnect().code);
        // The next test's data sources are in another odbc.ini: a new environment reads it.
        XQOdbc::free();
    }

    ToolRun config(const std::vector<std::string>& command) {
        std::vector<std::string> args = {"--dsn", "tools_cdb", "--prefix", "tcore"};
        args.insert(args.end(), command.begin(), command.end());
        return run("tcore-config", args);
    }

    // list's output with each run of blanks as one: its lines column by column.
    static std::string squeezed(const std::string& text) {
        std::string out = "\n";
        for (char c : text)
            if (c != ' ' || out.back() != ' ') out += c;
        return out;
    }
};

TEST_F(ConfigToolTest, ListGetAndSetOneRowNeverShowingThePassword) {
    ToolRun list = config({"--user", "u", "--password", "Hidden-pw1", "list"});
    ASSERT_EQ(0, list.code) << list.err;
    const std::string rows = squeezed(list.out);
    for (const char* line :
         {"\nRTK TIMEOUT int 30 (to)\n", "\nDDD AGENTMODULE string agentmod (am)\n",
          "\nAgent WORKERS int 4\n", "\nLog LOGFILE string run.log\n",
          "\nDDD password string ********\n"})
        EXPECT_TRUE(contains(rows, line)) << line << " in" << list.out;
    EXPECT_FALSE(contains(list.out, "Hidden-pw1")) << list.out;
    // The command is list when none is given.
    EXPECT_EQ(list.out, config({"--user", "u", "--password", "Hidden-pw1"}).out);

    ToolRun get = config({"get", "rtk", "TIMEOUT"});
    EXPECT_EQ(0, get.code) << get.err;
    EXPECT_EQ("30\n", get.out);
    get = config({"get", "DDD", "AGENTMODULE"});
    EXPECT_EQ(0, get.code) << get.err;
    EXPECT_EQ("agentmod\n", get.out);

    // Each run is a new process that loads the table afresh: what get shows
    // after set is what was stored.
    ToolRun set = config({"set", "RTK", "TIMEOUT", "-45"});
    EXPECT_EQ(0, set.code) << set.err;
    set = config({"set", "Log", "LOGFILE", "other file.log"});
    EXPECT_EQ(0, set.code) << set.err;
    EXPECT_EQ("-45\n", config({"get", "RTK", "TIMEOUT"}).out);
    EXPECT_EQ("other file.log\n", config({"get", "log", "LOGFILE"}).out);
    list = config({"list"});
    for (const char* line :
         {"\nRTK TIMEOUT int -45 (to)\n", "\nDDD AGENTMODULE string agentmod (am)\n",
          "\nAgent WORKERS int 4\n", "\nLog LOGFILE string other file.log\n"})
        EXPECT_TRUE(contains(squeezed(list.out), line)) << line << " in" << list.out;
}

TEST_F(ConfigToolTest, FailuresExitOneWithTheReason) {
    ToolRun missing = config({"get", "RTK", "NOSUCH"});
    EXPECT_EQ(1, missing.code);
    EXPECT_TRUE(contains(missing.err, "9162")) << missing.err;
    EXPECT_TRUE(missing.out.empty());
    missing = config({"set", "RTK", "NOSUCH", "1"});
    EXPECT_EQ(1, missing.code);
    EXPECT_TRUE(contains(missing.err, "9162")) << missing.err;

    ToolRun notNumber = config({"set", "RTK", "TIMEOUT", "soon"});
    EXPECT_EQ(1, notNumber.code);
    EXPECT_TRUE(contains(notNumber.err, "number")) << notNumber.err;
    EXPECT_EQ("30\n", config({"get", "RTK", "TIMEOUT"}).out);

    ToolRun noSource = run("tcore-config", {"--dsn", "no_such_dsn", "--prefix", "tcore", "list"});
    EXPECT_EQ(1, noSource.code);
    EXPECT_TRUE(contains(noSource.err, "2009")) << noSource.err;
    ToolRun badPrefix = run("tcore-config", {"--dsn", "tools_cdb", "--prefix", "a;b", "list"});
    EXPECT_EQ(1, badPrefix.code);
    EXPECT_FALSE(badPrefix.err.empty());
}

// --- tcore-listen, tcore-send, tcore-ping ----------------------------------

TEST_F(ToolsTest, SendReachesListenerForEveryKind) {
    const std::string portFile = dir.path() + "/port";
    ChildProcess listener(dir.path(), toolPath("tcore-listen"),
                          {"0", "--count", "4", "--port-file", portFile, "--stats"});
    ASSERT_TRUE(listener.started());
    const unsigned int port = waitForPortFile(portFile, listener);
    ASSERT_NE(0u, port) << listener.err();
    const std::string p = std::to_string(port);
    const struct {
        std::vector<std::string> args;
        const char* heading;  // of the listener's print, which names the class
        std::vector<const char*> lines;
    } kinds[] = {
        {{"--kind", "base", "--bvname", "base view", "--command", "12", "--sql1",
          "SELECT a FROM t"},
         "==== message 1: base message",
         {"BV Name : base view", "Command : 12", "SQLStmt1 : SELECT a FROM t",
          "Origin Queue Name : tcore-send"}},
        {{"--kind", "agent", "--bvname", "agent view", "--subcommand", "-3", "--status",
          "copying rows", "--source-db", "src_dsn", "--fetch-count", "250"},
         "==== message 2: agent message",
         {"Sub Command : -3", "StatusMsg : copying rows", "SourceDBName : src_dsn",
          "SourceFetchCount : 250"}},
        {{"--kind", "kernel", "--information-resource", "warehouse IR", "--alias", "wh"},
         "==== message 3: kernel message",
         {"Information Resource : warehouse IR", "Alias Name : wh"}},
        {{"--kind", "log", "--event-message", "step finished", "--event-id", "77",
          "--process-name", "tools_test"},
         "==== message 4: log message",
         {"Event Message : step finished", "Event ID : 77", "Process Name : tools_test"}},
    };
    for (const auto& k : kinds) {
        std::vector<std::string> args = {"--host", "127.0.0.1", "--port", p};
        args.insert(args.end(), k.args.begin(), k.args.end());
        ToolRun sent = run("tcore-send", args);
        EXPECT_EQ(0, sent.code) << sent.err;
        EXPECT_TRUE(contains(sent.out, "sent " + k.args[1] + " message to 127.0.0.1:" + p))
            << sent.out;
    }
    ASSERT_EQ(0, listener.wait(20)) << listener.err();
    EXPECT_TRUE(contains(listener.err(), "queued 4; dropped: deadline 0")) << listener.err();
    const std::string out = listener.out();
    // In the order sent, each printed by its own class.
    size_t at = 0;
    for (const auto& k : kinds) {
        at = out.find(k.heading, at);
        ASSERT_NE(std::string::npos, at) << k.heading << " in order:\n" << out;
        const std::string printed = out.substr(at, out.find("==== message", at + 1) - at);
        for (const char* line : k.lines) EXPECT_TRUE(contains(printed, line)) << printed;
    }
    EXPECT_TRUE(contains(listener.err(), "4 message(s) received")) << listener.err();
}

TEST_F(ToolsTest, ListenerStopsCleanlyOnSignals) {
    for (int sig : {SIGTERM, SIGINT}) {
        const std::string portFile = dir.path() + "/port" + std::to_string(sig);
        ChildProcess listener(dir.path(), toolPath("tcore-listen"), {"0", "--port-file", portFile});
        const unsigned int port = waitForPortFile(portFile, listener);
        ASSERT_NE(0u, port) << listener.err();
        // A second queue cannot take the same port.
        ToolRun taken = run("tcore-listen", {std::to_string(port), "--count", "1"});
        EXPECT_EQ(1, taken.code);
        EXPECT_TRUE(contains(taken.err, "no queue on port " + std::to_string(port))) << taken.err;

        listener.signal(sig);
        EXPECT_EQ(0, listener.wait(20)) << "signal " << sig << ": " << listener.err();
        EXPECT_TRUE(contains(listener.err(), "0 message(s) received")) << listener.err();
        if (sig == SIGTERM) {
            // The port is free again once the queue is gone.
            ToolRun again = run("tcore-ping", {"127.0.0.1", std::to_string(port)});
            EXPECT_EQ(1, again.code);
        }
    }
}

TEST_F(ToolsTest, PingLiveListenerAndClosedPort) {
    const std::string portFile = dir.path() + "/port";
    ChildProcess listener(dir.path(), toolPath("tcore-listen"),
                          {"0", "--count", "1", "--port-file", portFile});
    const unsigned int port = waitForPortFile(portFile, listener);
    ASSERT_NE(0u, port) << listener.err();
    ToolRun alive = run("tcore-ping", {"127.0.0.1", std::to_string(port), "--name", "tools_test"});
    EXPECT_EQ(0, alive.code) << alive.err;
    EXPECT_EQ("127.0.0.1:" + std::to_string(port) + " alive\n", alive.out);
    // The ping is no message: the listener is still waiting for its one.
    ToolRun sent = run("tcore-send", {"--port", std::to_string(port), "--bvname", "after ping"});
    EXPECT_EQ(0, sent.code) << sent.err;
    ASSERT_EQ(0, listener.wait(20)) << listener.err();
    EXPECT_TRUE(contains(listener.out(), "==== message 1: base message")) << listener.out();
    EXPECT_TRUE(contains(listener.out(), "after ping")) << listener.out();

    // A port nobody listens on.
    const int closedPort = freeLoopbackPort();
    const auto start = Clock::now();
    ToolRun dead = run("tcore-ping", {"127.0.0.1", std::to_string(closedPort)});
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_EQ(1, dead.code);
    EXPECT_TRUE(dead.out.empty()) << dead.out;
    EXPECT_TRUE(contains(dead.err, "127.0.0.1:" + std::to_string(closedPort) + ": ")) << dead.err;
    EXPECT_TRUE(contains(dead.err, "Sockets")) << dead.err;
    EXPECT_LT(seconds, 25.0);

    ToolRun noSend = run("tcore-send", {"--port", std::to_string(closedPort)});
    EXPECT_EQ(1, noSend.code);
    EXPECT_TRUE(contains(noSend.err, "sending to 127.0.0.1:" + std::to_string(closedPort))) << noSend.err;
}

// --- tcore-send --wait-reply -----------------------------------------------

// A peer in this process takes each agent request of tcore-send and answers
// it with the case's code, or not at all: the wait then ends at its limit.
TEST_F(ToolsTest, WaitReplyPrintsTheCarriedCode) {
    XQMessageQ peer;
    ASSERT_EQ(0, peer.Create(0, 5).code);
    XQRC failed(9162, 0, XQRC::WhsDDD);
    failed.SetComment(L"from the peer");
    const struct {
        std::vector<std::string> args;
        bool reply;
        XQRC rc;
        int exitCode;
        std::vector<const char*> shown;  // on standard output, or on error without a reply
    } cases[] = {
        {{"20000"}, true, XQRC(0, 0, XQRC::WhsSrv), 0, {"reply (agent message): 0/0 (WhsSrv)"}},
        // --print shows the request and then the reply.
        {{"20000", "--print"},
         true,
         failed,
         1,
         {"reply (agent message): 9162/0 (WhsDDD): ", "from the peer", "Is Request : 1",
          "StatusMsg : done"}},
        {{"700"}, false, XQRC(0, 0, XQRC::WhsSrv), 1, {"no reply within 700 ms"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--port",  std::to_string(peer.nQueuePort), "--kind",
                                         "agent",   "--command", "5", "--bvname", "copy",
                                         "--wait-reply"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(args.back());
        const auto start = Clock::now();
        ChildProcess send(dir.path(), toolPath("tcore-send"), args);
        XQAgentMessage request;
        ASSERT_EQ(0, peer.Receive(request, 20000).code);
        // The request names the sender's own queue for the reply.
        EXPECT_EQ(1, request.IsRequest);
        EXPECT_EQ(1, request.ReplyNeeded);
        EXPECT_NE(0u, request.OriginQueuePort);
        EXPECT_EQ(L"copy", request.BVName);
        if (c.reply) {
            XQAgentMessage answer = request;
            answer.ReturnCode = c.rc;
            answer.SetIsRequest(0);
            answer.StatusMsg = L"done";
            ASSERT_EQ(0, answer.Send().code);
        }
        EXPECT_EQ(c.exitCode, send.wait(30)) << send.err();
        const std::string shown = c.reply ? send.out() : send.err();
        for (const char* part : c.shown) EXPECT_TRUE(contains(shown, part)) << shown;
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_LT(seconds, 25.0);
        EXPECT_GE(seconds, c.reply ? 0.0 : 0.7);
    }
    peer.Destroy(1);
}

}  // namespace
