// The operator tools as an operator runs them: real programs as child
// processes, talking to real queues on loopback and to a SQLite control
// database through ODBC.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
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
    const char* const names[] = {"tcore-listen", "tcore-send",     "tcore-ping",
                                 "tcore-config", "tcore-scramble", "tcore-msg"};
    for (const char* name : names) {
        EXPECT_EQ(0, run(name, {"--help"}).code) << name;
        EXPECT_EQ(2, run(name, {"--no-such-option"}).code) << name;
    }
    // A value out of range, an option of another kind, no number, too few, an unknown component.
    const std::vector<std::pair<std::string, std::vector<std::string>>> usageErrors = {
        {"tcore-listen", {"70000"}},
        {"tcore-send", {"--port", "5000", "--status", "only for agents"}},
        {"tcore-send", {"--port", "5000", "--command", "seven"}},
        {"tcore-ping", {"127.0.0.1"}},
        {"tcore-config", {"--dsn", "x", "--prefix", "tcore", "set", "Nobody", "A", "1"}},
    };
    for (const auto& e : usageErrors) {
        ToolRun r = run(e.first, e.second);
        std::string shown = e.first;
        for (const std::string& a : e.second) shown += " " + a;
        EXPECT_EQ(2, r.code) << shown << "\n" << r.err;
    }
}

// --- tcore-scramble --------------------------------------------------------

TEST_F(ToolsTest, ScrambleRoundTripsShowsNoPasswordAndRefusesBadInput) {
    const std::map<std::string, std::string> utf8 = {{"LC_ALL", "C.UTF-8"}};
    for (const std::string& password :
         {std::string("Op3rator-pw"), std::string("p\xc3\xa4ss \xe2\x82\xac")}) {
        ToolRun scrambled = run("tcore-scramble", {}, password + "\n", utf8);
        ASSERT_EQ(0, scrambled.code) << scrambled.err;
        EXPECT_FALSE(contains(scrambled.err, password));
        // The library's own scrambling, as lower-case hex digits.
        std::vector<unsigned char> bytes;
        ASSERT_EQ(0, scramblePassword(xqFromMultibyte(password), bytes).code);
        std::string hex;
        for (unsigned char b : bytes)
            hex += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
        EXPECT_EQ(hex + "\n", scrambled.out);
        // Upper-case digits and a line end from another system read the same.
        std::string upper = scrambled.out.substr(0, scrambled.out.size() - 1) + "\r\n";
        for (char& c : upper) c = static_cast<char>(toupper(c));
        ToolRun back = run("tcore-scramble", {"-r"}, upper, utf8);
        EXPECT_EQ(0, back.code) << back.err;
        EXPECT_EQ(password + "\n", back.out);
    }

    ToolRun odd = run("tcore-scramble", {"--reverse"}, "abc\n");
    EXPECT_EQ(1, odd.code);
    EXPECT_TRUE(contains(odd.err, "hex")) << odd.err;
    EXPECT_TRUE(odd.out.empty()) << odd.out;
}

// --- tcore-config ----------------------------------------------------------

// list's output with each run of blanks as one: its lines column by column.
std::string squeezed(const std::string& text) {
    std::string out = "\n";
    for (char c : text)
        if (c != ' ' || out.back() != ' ') out += c;
    return out;
}

TEST_F(ToolsTest, ConfigListGetSetAndFailuresNeverShowingThePassword) {
    // Children inherit the data source; SQLite has no schemas: the store
    // reads the prefix as the file itself.
    useSqliteDataSource(dir.path(), "tools_cdb");
    XQOdbcConnect* conn = XQOdbc::getEnv()->getConnection(1);
    ASSERT_TRUE(succeeded(conn->connect(L"tools_cdb", L"", L"", 0)));
    ASSERT_TRUE(createConfigurationTable(
        *conn, L"configuration",
        {L"'DDD', 'AGENTMODULE', 'C', 0, 'agentmod', 'am'", L"'RTK', 'TIMEOUT', 'N', 30, '', 'to'",
         L"'Agent', 'WORKERS', 'N', 4, NULL, NULL", L"'Log', 'LOGFILE', 'C', 0, 'run.log', ''"}));
    ASSERT_EQ(0, conn->disconnect().code);
    XQOdbc::free();
    auto config = [&](std::vector<std::string> command) {
        command.insert(command.begin(), {"--dsn", "tools_cdb", "--prefix", "tcore"});
        return run("tcore-config", command);
    };
    ToolRun list = config({"--user", "u", "--password", "Hidden-pw1", "list"});
    ASSERT_EQ(0, list.code) << list.err;
    const std::string rows = squeezed(list.out);
    for (const char* line : {"\nRTK TIMEOUT int 30 (to)\n",
                             "\nDDD AGENTMODULE string agentmod (am)\n", "\nAgent WORKERS int 4\n",
                             "\nLog LOGFILE string run.log\n", "\nDDD password string ********\n"})
        EXPECT_TRUE(contains(rows, line)) << line << " in" << list.out;
    EXPECT_FALSE(contains(list.out, "Hidden-pw1")) << list.out;
    // The command is list when none is given.
    EXPECT_EQ(list.out, config({"--user", "u", "--password", "Hidden-pw1"}).out);

    ToolRun get = config({"get", "rtk", "TIMEOUT"});
    EXPECT_EQ(0, get.code) << get.err;
    EXPECT_EQ("30\n", get.out);

    // Each run is a new process that loads the table afresh: what get shows
    // after set is what was stored, and a refused set stores nothing.
    EXPECT_EQ(0, config({"set", "RTK", "TIMEOUT", "-45"}).code);
    EXPECT_EQ(0, config({"set", "Log", "LOGFILE", "other file.log"}).code);
    ToolRun notNumber = config({"set", "RTK", "TIMEOUT", "soon"});
    EXPECT_EQ(1, notNumber.code);
    EXPECT_TRUE(contains(notNumber.err, "number")) << notNumber.err;
    EXPECT_EQ("-45\n", config({"get", "RTK", "TIMEOUT"}).out);
    EXPECT_EQ("other file.log\n", config({"get", "log", "LOGFILE"}).out);
    EXPECT_EQ("agentmod\n", config({"get", "DDD", "AGENTMODULE"}).out) << "the other rows stay";

    // Failures exit 1 with the reason.
    ToolRun missing = config({"get", "RTK", "NOSUCH"});
    EXPECT_EQ(1, missing.code);
    EXPECT_TRUE(contains(missing.err, "9162")) << missing.err;
    EXPECT_TRUE(missing.out.empty());
    ToolRun noSource = run("tcore-config", {"--dsn", "no_such_dsn", "--prefix", "tcore", "list"});
    EXPECT_EQ(1, noSource.code);
    EXPECT_TRUE(contains(noSource.err, "2009")) << noSource.err;
}

// --- tcore-listen, tcore-send, tcore-ping ----------------------------------

TEST_F(ToolsTest, SendReachesListenerPrintedByEachKindsClass) {
    const std::string portFile = dir.path() + "/port";
    ChildProcess listener(dir.path(), toolPath("tcore-listen"),
                          {"0", "--count", "2", "--port-file", portFile});
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
    };
    for (const auto& k : kinds) {
        std::vector<std::string> args = {"--host", "127.0.0.1", "--port", p};
        args.insert(args.end(), k.args.begin(), k.args.end());
        ToolRun sent = run("tcore-send", args);
        EXPECT_EQ(0, sent.code) << sent.err;
    }
    ASSERT_EQ(0, listener.wait(20)) << listener.err();
    const std::string out = listener.out();
    // In the order sent, each printed by its own class.
    size_t at = 0;
    for (const auto& k : kinds) {
        at = out.find(k.heading, at);
        ASSERT_NE(std::string::npos, at) << k.heading << " in order:\n" << out;
        const std::string printed = out.substr(at, out.find("==== message", at + 1) - at);
        for (const char* line : k.lines) EXPECT_TRUE(contains(printed, line)) << printed;
    }
    EXPECT_TRUE(contains(listener.err(), "2 message(s) received")) << listener.err();
}

// A ping is no message; either signal ends the listener cleanly, and then
// nobody listens on its port.
TEST_F(ToolsTest, PingAndSignalsOnAListener) {
    std::string p;
    for (int sig : {SIGTERM, SIGINT}) {
        const std::string portFile = dir.path() + "/port" + std::to_string(sig);
        ChildProcess listener(dir.path(), toolPath("tcore-listen"), {"0", "--port-file", portFile});
        const unsigned int port = waitForPortFile(portFile, listener);
        ASSERT_NE(0u, port) << listener.err();
        p = std::to_string(port);
        ToolRun alive = run("tcore-ping", {"127.0.0.1", p, "--name", "tools_test"});
        EXPECT_EQ(0, alive.code) << alive.err;
        EXPECT_EQ("127.0.0.1:" + p + " alive\n", alive.out);
        listener.signal(sig);
        EXPECT_EQ(0, listener.wait(20)) << "signal " << sig << ": " << listener.err();
        EXPECT_TRUE(contains(listener.err(), "0 message(s) received")) << listener.err();
    }
    ToolRun dead = run("tcore-ping", {"127.0.0.1", p});
    EXPECT_EQ(1, dead.code);
    EXPECT_TRUE(contains(dead.err, "127.0.0.1:" + p + ": ")) << dead.err;
    EXPECT_EQ(1, run("tcore-send", {"--port", p}).code);
}

// --- tcore-send --wait-reply -----------------------------------------------

// A peer in this process takes each agent request of tcore-send and answers
// it with the case's code, or not at all: the wait then ends at its limit.
TEST_F(ToolsTest, WaitReplyPrintsTheCarriedCode) {
    XQMessageQ peer;
    ASSERT_EQ(0, peer.Create(0, 5).code);
    for (bool reply : {true, false}) {
        SCOPED_TRACE(reply ? "a reply" : "no reply");
        // --print shows the request and then the reply.
        std::vector<std::string> args = {
            "--port",      std::to_string(peer.nQueuePort), "--kind", "agent", "--command", "5",
            "--wait-reply"};
        args.insert(args.end(), {reply ? "20000" : "700", "--print"});
        const auto start = Clock::now();
        ChildProcess send(dir.path(), toolPath("tcore-send"), args);
        XQAgentMessage request;
        ASSERT_EQ(0, peer.Receive(request, 20000).code);
        // The request names the sender's own queue for the reply.
        EXPECT_NE(0u, request.OriginQueuePort);
        if (reply) {
            XQAgentMessage answer = request;
            answer.ReturnCode = XQRC(9162, 0, XQRC::WhsDDD);
            answer.ReturnCode.SetComment(L"from the peer");
            answer.SetIsRequest(0);
            answer.StatusMsg = L"done";
            ASSERT_EQ(0, answer.Send().code);
        }
        EXPECT_EQ(1, send.wait(30)) << send.err();
        const std::vector<const char*> shown =
            reply ? std::vector<const char*>{"reply (agent message): 9162/0 (WhsDDD): ",
                                             "from the peer", "Is Request : 1", "StatusMsg : done"}
                  : std::vector<const char*>{"no reply within 700 ms"};
        const std::string text = reply ? send.out() : send.err();
        for (const char* part : shown) EXPECT_TRUE(contains(text, part)) << text;
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_LT(seconds, 25.0);
        EXPECT_GE(seconds, reply ? 0.0 : 0.7);
    }
    peer.Destroy(1);
}

}  // namespace
