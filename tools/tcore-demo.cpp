// tcore-demo: the kernel side of an end-to-end data move. It prepares a
// control database (with the configuration table), a source and a target;
// loads its settings from the configuration store; starts the logger and an
// agent as child processes through the factory; polls the agent; asks it to
// copy the source table into the target; prints every request, reply and
// progress report; checks that the target equals the source; stops the
// agent (the poll reports it dead) and the logger.
#include <sql.h>
#include <sqlext.h>
#include <sys/stat.h>
#include <unistd.h>
#include <pwd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "db/XQConfiguration.h"
#include "db/XQOdbc.h"
#include "db/XQOdbcConnect.h"
#include "db/XQOdbcCursor.h"
#include "foundation/ProcessInfo.h"
#include "foundation/Trace.h"
#include "messages/XQAgentMessage.h"
#include "messages/XQLogMessage.h"
#include "os/XQNTProcess.h"
#include "os/XQabsFactory.h"
#include "support/DemoData.h"
#include "support/DemoProtocol.h"
#include "support/DemoSupport.h"
#include "support/TableCopy.h"
#include "support/ToolSupport.h"
#include "transport/XQMessageQ.h"

namespace {

const wchar_t* const kPrefix = L"tcore";
const wchar_t* const kSourceTable = L"demo_orders";
const wchar_t* const kTargetTable = L"demo_orders_copy";

struct Options {
    unsigned long rows = 100000;
    unsigned long fetch = 500;
    std::string workdir;
    unsigned long pgPort = 0;  // PostgreSQL on 127.0.0.1 when not 0
    std::string pgUser = "tcore", pgPassword = "tcore-pw", pgDatabase = "tcore";
};

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: tcore-demo [--rows N] [--fetch N] [--workdir DIR] [--pg-port PORT]\n"
                 "Runs the end-to-end data move: logger, agent and kernel as separate processes,\n"
                 "a table of N rows (default 100000) copied from a source to a target database\n"
                 "through the agent in row sets of --fetch rows (default 500), then verified.\n"
                 "Databases are SQLite files in DIR (default: demo-work beside the build's\n"
                 "tools); with --pg-port they live in the PostgreSQL server on 127.0.0.1:PORT\n"
                 "(database tcore, user tcore, as the test cluster makes it).\n"
                 "Exit 0 only when the copy is complete and the target equals the source.\n");
}

// The demo's running totals.
struct Totals {
    unsigned long sent = 0;
    unsigned long received = 0;
};

using demo::mb;
using demo::say;

bool fail(const char* step, const XQRC& rc) {
    say("FAILED  %s: %s", step, tools::describe(rc).c_str());
    return false;
}

// A started child program, ended on every exit path.
class Child {
public:
    Child(const std::string& name, const std::string& args) : name_(name) {
        proc_.reset(XQabsFactory::Instance()->CreateProcess(xqFromMultibyte(name), XQSTRING(),
                                                            xqFromMultibyte(args), 0));
    }
    ~Child() { stop(2000); }
    XQRC start(const XQSTRING& user) {
        if (!proc_) return XQRC(9002, ENOMEM, XQRC::WhsSrv);
        return proc_->StartProcess(user, XQSTRING());
    }
    XQNTProcess* nt() const { return dynamic_cast<XQNTProcess*>(proc_.get()); }
    bool ended(int* status = nullptr) {
        XQNTProcess* p = nt();
        return p == nullptr || !p->active || p->HasEnded(status);
    }
    // Waits up to ms for the child to end by itself, then kills it.
    bool stop(long long ms) {
        if (!proc_) return true;
        long long until = demo::nowMs() + ms;
        while (!ended() && demo::nowMs() < until) usleep(20000);
        if (ended()) return true;
        proc_->TerminateProcess();
        return false;
    }
    const std::string& name() const { return name_; }

private:
    std::string name_;
    std::unique_ptr<XQabsProcess> proc_;
};

// Waits for a child's port file; 0 when it did not appear in time.
unsigned int waitForPort(const std::string& path, Child& child, long long ms) {
    long long until = demo::nowMs() + ms;
    while (demo::nowMs() < until && !demo::stopRequested.load()) {
        std::string text;
        unsigned long port = 0;
        if (demo::readFile(path, text)) {
            while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
            if (tools::parseUnsigned(text, 65535, port) && port != 0) return static_cast<unsigned int>(port);
        }
        if (child.ended()) return 0;
        usleep(20000);
    }
    return 0;
}

std::string odbcIni(const Options& o) {
    std::string ini;
    auto sqlite = [&](const char* dsn, const char* file) {
        ini += std::string("[") + dsn + "]\nDriver = SQLite3\nDatabase = " + o.workdir + "/" + file +
               "\nTimeout = 10000\n\n";
    };
    // BatchSize 1: psqlODBC then executes each set of a parameter array
    // through its prepared statement; with larger batches it sends the sets
    // as statement texts with the values written in, which the server parses
    // one by one (README, Databases).
    auto pg = [&](const char* dsn) {
        ini += std::string("[") + dsn +
               "]\nDriver = PostgreSQL Unicode\nServername = 127.0.0.1\nPort = " +
               std::to_string(o.pgPort) + "\nDatabase = " + o.pgDatabase +
               "\nUsername = " + o.pgUser + "\nPassword = " + o.pgPassword + "\nBatchSize = 1\n\n";
    };
    if (o.pgPort) {
        pg("tcore_demo_ctl");
        pg("tcore_demo_src");
        pg("tcore_demo_tgt");
    } else {
        sqlite("tcore_demo_ctl", "control.db");
        sqlite("tcore_demo_src", "source.db");
        sqlite("tcore_demo_tgt", "target.db");
    }
    return ini;
}

bool prepareSource(const Options& o, XQOdbcConnect& conn) {
    XQRC rc = conn.connect(L"tcore_demo_src", XQSTRING(), XQSTRING(), 0);
    if (rc.code != 0) return fail("connect to the source", rc);
    rc = demo::fillOrderTable(conn, kSourceTable, o.rows, o.pgPort != 0);
    if (rc.code != 0) return fail("fill the source table", rc);
    conn.disconnect();
    return true;
}

bool prepareTarget(const Options& o, XQOdbcConnect& conn) {
    XQRC rc = conn.connect(L"tcore_demo_tgt", XQSTRING(), XQSTRING(), 0);
    if (rc.code != 0) return fail("connect to the target", rc);
    rc = demo::createOrderTable(conn, kTargetTable, o.pgPort != 0);
    if (rc.code != 0) return fail("create the target table", rc);
    conn.disconnect();
    return true;
}

// What an installer leaves in the control database: the configuration table.
bool prepareControl(const Options& o, XQOdbcConnect& conn) {
    XQRC rc = conn.connect(L"tcore_demo_ctl", XQSTRING(), XQSTRING(), 0);
    if (rc.code != 0) return fail("connect to the control database", rc);
    XQSTRING table = o.pgPort ? XQSTRING(kPrefix) + L".configuration" : XQSTRING(L"configuration");
    if (o.pgPort) conn.executeStmt(L"CREATE SCHEMA IF NOT EXISTS " + XQSTRING(kPrefix), 0);
    conn.executeDrop(L"DROP TABLE " + table);
    rc = conn.executeStmt(L"CREATE TABLE " + table +
                              L" (component CHAR(10) NOT NULL, name VARCHAR(20) NOT NULL, type CHAR(1) NOT NULL,"
                              L" value_int INTEGER, value_char VARCHAR(199), short_name VARCHAR(19),"
                              L" PRIMARY KEY (component, name))",
                          0);
    if (rc.code != 0) return fail("create the configuration table", rc);
    struct Row {
        const wchar_t* component;
        const wchar_t* name;
        const wchar_t* type;
        long number;
        std::wstring text;
    } rows[] = {
        {L"DDD", L"AGENTMODULE", L"C", 0, L"tcore-agent"},
        {L"DDD", L"LOGSERVICENAME", L"C", 0, L"tcore-logger"},
        {L"DDD", L"KERNELSERVICENAME", L"C", 0, L"tcore-demo"},
        {L"DDD", L"DAEMONSERVICENAME", L"C", 0, L"none"},
        {L"DDD", L"CONTROLDATABASEID", L"C", 0, L"tcore_demo_ctl"},
        {L"DDD", L"DBVERSION", L"C", 0, L"8.1.0"},
        {L"Agent", L"SOURCEDSN", L"C", 0, L"tcore_demo_src"},
        {L"Agent", L"TARGETDSN", L"C", 0, L"tcore_demo_tgt"},
        {L"Agent", L"FETCHCOUNT", L"N", static_cast<long>(o.fetch), L""},
        {L"Agent", L"POLLINTERVAL", L"N", 1, L""},
        {L"XQOdbc", L"TRACELVL", L"N", 0, L""},
    };
    for (const Row& r : rows) {
        rc = conn.executeStmt(L"INSERT INTO " + table +
                                  L" (component, name, type, value_int, value_char, short_name) VALUES ('" +
                                  r.component + L"', '" + r.name + L"', '" + r.type + L"', " + xqNumber(r.number) +
                                  L", '" + r.text + L"', '')",
                              0);
        if (rc.code != 0) return fail("seed the configuration table", rc);
    }
    conn.disconnect();
    return true;
}

XQSTRING currentUser() {
    struct passwd* pw = getpwuid(geteuid());
    return pw ? xqFromMultibyte(pw->pw_name) : XQSTRING(L"root");
}

std::string bar(unsigned long done, unsigned long total) {
    const int width = 30;
    int filled = total ? static_cast<int>(static_cast<double>(done) / total * width + 0.5) : 0;
    if (filled > width) filled = width;
    return "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(width - filled), '.') +
           "]";
}

// The kernel's side of the run, after the databases exist.
class Kernel {
public:
    explicit Kernel(const Options& o) : opt(o) {}

    int run();

private:
    bool loadSettings();
    bool startChildren();
    bool copy();
    bool verify();
    void stopAgent();
    void stopLogger();
    void sendLog(int event, const XQSTRING& text, unsigned long rows);
    void fillRouting(XQBaseMessage& m, const wchar_t* destName, unsigned int destPort);

    const Options& opt;
    Totals totals;
    XQMessageQ queue;
    XQSTRING host;
    XQSTRING agentModule, loggerModule, sourceDsn, targetDsn;
    int fetchCount = 500, pollInterval = 1;
    std::unique_ptr<Child> logger, agent;
    unsigned int loggerPort = 0, agentPort = 0;
    unsigned long rowsCopied = 0;
    unsigned long long bytesCopied = 0;
    double copySeconds = 0;
};

bool Kernel::loadSettings() {
    XQRC rc = XQConfiguration::init(L"tcore_demo_ctl", kPrefix, XQSTRING(), XQSTRING(), 0);
    if (rc.code != 0) return fail("load the configuration store", rc);
    agentModule = XQConfiguration::getValueString(COMPONENT_DDD, L"AGENTMODULE", rc);
    if (rc.code == 0) loggerModule = XQConfiguration::getValueString(COMPONENT_DDD, L"LOGSERVICENAME", rc);
    if (rc.code == 0) sourceDsn = XQConfiguration::getValueString(COMPONENT_AGENT, L"SOURCEDSN", rc);
    if (rc.code == 0) targetDsn = XQConfiguration::getValueString(COMPONENT_AGENT, L"TARGETDSN", rc);
    if (rc.code == 0) fetchCount = XQConfiguration::getValueInt(COMPONENT_AGENT, L"FETCHCOUNT", rc);
    if (rc.code == 0) pollInterval = XQConfiguration::getValueInt(COMPONENT_AGENT, L"POLLINTERVAL", rc);
    if (rc.code != 0) return fail("read a setting", rc);
    say("settings  %zu rows of %s.configuration: agent %s, logger %s, %s -> %s, fetch %d, poll every %d s",
        XQConfiguration::getListAll().size(), mb(kPrefix).c_str(), mb(agentModule).c_str(), mb(loggerModule).c_str(),
        mb(sourceDsn).c_str(), mb(targetDsn).c_str(), fetchCount, pollInterval);
    // The kernel needs no further configuration access; the agent and the
    // verification use the ODBC environment's two connections.
    XQConfiguration::terminate();
    return true;
}

bool Kernel::startChildren() {
    std::string bin = opt.workdir + "/bin";
    mkdir(bin.c_str(), 0755);
    for (const XQSTRING& module : {loggerModule, agentModule}) {
        std::string link = bin + "/" + mb(module);
        unlink(link.c_str());
        if (symlink((tools::programDir() + "/" + mb(module)).c_str(), link.c_str()) != 0) {
            say("FAILED  cannot link %s: %s", link.c_str(), std::strerror(errno));
            return false;
        }
    }
    setenv("QL7DIR", opt.workdir.c_str(), 1);
    std::string loggerPortFile = opt.workdir + "/logger.port", agentPortFile = opt.workdir + "/agent.port";
    unlink(loggerPortFile.c_str());
    unlink(agentPortFile.c_str());
    XQSTRING user = currentUser();

    logger.reset(new Child(mb(loggerModule), "--log " + opt.workdir + "/tcore.log --port-file " + loggerPortFile));
    XQRC rc = logger->start(user);
    if (rc.code != 0) return fail("start the logger", rc);
    loggerPort = waitForPort(loggerPortFile, *logger, 15000);
    if (loggerPort == 0) {
        say("FAILED  the logger did not open its queue");
        return false;
    }
    say("started %s (pid %d) as %s, queue port %u", logger->name().c_str(), logger->nt()->GetProcessId(),
        mb(user).c_str(), loggerPort);

    agent.reset(new Child(mb(agentModule), "--port-file " + agentPortFile + " --logger-host 127.0.0.1 --logger-port " +
                                              std::to_string(loggerPort)));
    rc = agent->start(user);
    if (rc.code != 0) return fail("start the agent", rc);
    agentPort = waitForPort(agentPortFile, *agent, 15000);
    if (agentPort == 0) {
        say("FAILED  the agent did not open its queue");
        return false;
    }
    say("started %s (pid %d) as %s, queue port %u", agent->name().c_str(), agent->nt()->GetProcessId(),
        mb(user).c_str(), agentPort);
    rc = queue.PollClient(L"agent", L"127.0.0.1", agentPort, static_cast<unsigned int>(pollInterval));
    if (rc.code != 0) return fail("poll the agent", rc);
    say("polling agent every %d s", pollInterval);
    return true;
}

void Kernel::fillRouting(XQBaseMessage& m, const wchar_t* destName, unsigned int destPort) {
    m.SetOriginQueueName(L"kernel");
    m.SetOriginQueueHost(host);
    m.SetOriginQueuePort(queue.nQueuePort);
    m.SetDestQueueName(destName);
    m.SetDestQueueHost(L"127.0.0.1");
    m.SetDestQueuePort(destPort);
    m.SetIsRequest(1);
    m.SetReplyNeeded(1);
    m.SetBVName(L"kernel");
}

void Kernel::sendLog(int event, const XQSTRING& text, unsigned long rows) {
    XQLogMessage rec;
    fillRouting(rec, L"logger", loggerPort);
    rec.SetReplyNeeded(0);
    rec.SetCommand(demo::CmdLogRecord);
    rec.EventID = event;
    rec.EventMessage = text;
    rec.SetSourceDBName(sourceDsn);
    rec.SetTargetDBName(targetDsn);
    rec.SetBERowCountSoFar(static_cast<unsigned int>(rows));
    if (rec.Send().code == 0) ++totals.sent;
}

bool Kernel::copy() {
    XQAgentMessage req;
    fillRouting(req, L"agent", agentPort);
    req.SetCommand(demo::CmdCopyTable);
    req.SetSubCommand(demo::SubRequest);
    req.SetSourceDBName(sourceDsn);
    req.SetTargetDBName(targetDsn);
    req.SetFetchAndInsertXData(demo::orderSelect(kSourceTable), demo::orderColumns(), 1, static_cast<unsigned int>(fetchCount));
    XQTableNameData target;
    target.Text1 = kTargetTable;
    req.TableList.push_back(target);
    req.SetRowsRequested(static_cast<long>(opt.rows));
    long long t0 = demo::nowMs();
    XQRC rc = req.Send();
    if (rc.code != 0) return fail("send the copy request", rc);
    ++totals.sent;
    say("->      request  copy %s.%s -> %s.%s, %lu rows expected, row sets of %d",
        mb(sourceDsn).c_str(), mb(kSourceTable).c_str(), mb(targetDsn).c_str(), mb(kTargetTable).c_str(), opt.rows,
        fetchCount);
    sendLog(10, L"copy requested", 0);

    long long deadline = demo::nowMs() + 600000;
    while (!demo::stopRequested.load() && demo::nowMs() < deadline) {
        XQAgentMessage rep;
        rc = queue.Receive(rep, 1000);
        if (rc.code == 9117) continue;
        if (rc.code == 9124) {
            say("FAILED  the agent died during the copy: %s", mb(rc.messageToken1).c_str());
            return false;
        }
        if (rc.code != 0) return fail("receive a reply", rc);
        ++totals.received;
        if (rep.SubCommand == demo::SubProgress) {
            rowsCopied = static_cast<unsigned long>(rep.BERowCountSoFar);
            bytesCopied = static_cast<unsigned int>(rep.BEByteCountSoFar);
            say("<-      progress %s %3lu%%  %7lu rows  %8.2f MB  \"%s\"", bar(rowsCopied, opt.rows).c_str(),
                opt.rows ? rowsCopied * 100 / opt.rows : 100, rowsCopied, bytesCopied / 1048576.0,
                mb(rep.StatusMsg).c_str());
            continue;
        }
        copySeconds = (demo::nowMs() - t0) / 1000.0;
        rowsCopied = static_cast<unsigned long>(rep.BERowCountSoFar);
        bytesCopied = static_cast<unsigned int>(rep.BEByteCountSoFar);
        XQRC outcome(0, 0, XQRC::WhsSrv);
        rep.GetRCFromReply(outcome);
        say("<-      reply    %s  \"%s\"", outcome.code == 0 ? "success" : "FAILURE", mb(rep.StatusMsg).c_str());
        if (outcome.code != 0) return fail("the agent's copy", outcome);
        sendLog(11, L"copy reported complete", rowsCopied);
        return true;
    }
    say("FAILED  no final reply from the agent in time");
    return false;
}

bool Kernel::verify() {
    XQOdbc* env = nullptr;
    try {
        env = XQOdbc::getEnv();
    } catch (const XQRC& rc) {
        return fail("ODBC environment", rc);
    }
    XQOdbcConnect& src = *env->getConnection(0);
    XQOdbcConnect& tgt = *env->getConnection(1);
    XQRC rc = src.connect(sourceDsn, XQSTRING(), XQSTRING(), 0);
    if (rc.code == 0) rc = tgt.connect(targetDsn, XQSTRING(), XQSTRING(), 0);
    if (rc.code != 0) {
        src.disconnect();
        tgt.disconnect();
        return fail("connect to source and target for the check", rc);
    }
    size_t rows = 0;
    std::string why;
    bool same = demo::sameOrders(src, kSourceTable, tgt, kTargetTable, rows, why);
    src.disconnect();
    tgt.disconnect();
    if (rows != opt.rows) {
        say("FAILED  the source holds %zu rows, not %lu", rows, opt.rows);
        return false;
    }
    if (!same) {
        say("FAILED  %s", why.c_str());
        return false;
    }
    say("check   target equals source: %zu rows, 6 columns compared value by value", rows);
    return true;
}

void Kernel::stopAgent() {
    XQAgentMessage req;
    fillRouting(req, L"agent", agentPort);
    req.SetCommand(demo::CmdStop);
    XQRC rc = req.Send();
    if (rc.code != 0) {
        say("note    stop request not delivered: %s", tools::describe(rc).c_str());
    } else {
        ++totals.sent;
        say("->      request  stop agent");
    }
    // The agent answers and ends; its poll thread then finds it gone.
    long long deadline = demo::nowMs() + 15000 + pollInterval * 2000LL;
    bool reported = false;
    while (!reported && demo::nowMs() < deadline && !demo::stopRequested.load()) {
        XQAgentMessage rep;
        rc = queue.Receive(rep, 500);
        if (rc.code == 0) {
            ++totals.received;
            say("<-      reply    \"%s\"", mb(rep.StatusMsg).c_str());
        } else if (rc.code == 9124) {
            XQSTRING name;
            unsigned int count = 0;
            queue.GetDeadClientName(name, count);
            say("poll    %s reported dead (%s)", mb(name).c_str(), mb(rc.messageToken1).c_str());
            reported = true;
        }
    }
    if (!reported) say("note    the poll did not report the agent dead in time");
    bool clean = agent->stop(5000);
    say("stopped %s%s", agent->name().c_str(), clean ? "" : " (killed)");
}

void Kernel::stopLogger() {
    XQLogMessage rec;
    fillRouting(rec, L"logger", loggerPort);
    rec.SetCommand(demo::CmdStop);
    if (rec.Send().code == 0) ++totals.sent;
    bool clean = logger->stop(10000);
    std::string text;
    size_t lines = 0;
    if (demo::readFile(opt.workdir + "/tcore.log", text))
        for (char c : text) lines += c == '\n';
    say("stopped %s%s; %s/tcore.log holds %zu records", logger->name().c_str(), clean ? "" : " (killed)",
        opt.workdir.c_str(), lines);
}

int Kernel::run() {
    getTraceLock();
    getTraceTS();
    xqLocalHostName(host);
    if (!loadSettings()) return 1;
    XQRC rc = queue.Create(0, 64);
    if (rc.code != 0) return fail("create the kernel's queue", rc), 1;
    say("kernel  queue on port %u", queue.nQueuePort);
    bool ok = startChildren();
    ok = ok && copy();
    ok = ok && verify();
    if (agent && !agent->ended()) stopAgent();
    if (logger && !logger->ended()) stopLogger();
    queue.HaltAllPollClients();
    queue.Destroy(1);
    std::printf("\n");
    say("summary rows moved     %lu of %lu", rowsCopied, opt.rows);
    say("        elapsed        %.2f s for the copy (%.0f rows/s, %.2f MB)", copySeconds,
        copySeconds > 0 ? rowsCopied / copySeconds : 0.0, bytesCopied / 1048576.0);
    say("        messages       %lu sent, %lu received by the kernel", totals.sent, totals.received);
    say("        result         %s", ok ? "complete and verified" : "FAILED");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    tools::initProgram();
    Options o;
    o.workdir = tools::programDir() + "/../demo-work";
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            usage(stderr);
            return 2;
        }
        std::string v = argv[++i];
        bool good = true;
        if (a == "--rows")
            good = tools::parseUnsigned(v, 100000000, o.rows) && o.rows > 0;
        else if (a == "--fetch")
            good = tools::parseUnsigned(v, 10000, o.fetch) && o.fetch > 0;
        else if (a == "--workdir")
            o.workdir = v;
        else if (a == "--pg-port")
            good = tools::parseUnsigned(v, 65535, o.pgPort);
        else
            good = false;
        if (!good) {
            std::fprintf(stderr, "tcore-demo: bad argument %s %s\n", a.c_str(), v.c_str());
            usage(stderr);
            return 2;
        }
    }
    mkdir(o.workdir.c_str(), 0755);
    char resolved[4096];
    if (realpath(o.workdir.c_str(), resolved) == nullptr) {
        std::fprintf(stderr, "tcore-demo: cannot use %s: %s\n", o.workdir.c_str(), std::strerror(errno));
        return 1;
    }
    o.workdir = resolved;
    if (o.workdir.find_first_of(" \t") != std::string::npos) {
        std::fprintf(stderr, "tcore-demo: the work directory may not contain blanks: %s\n", o.workdir.c_str());
        return 2;
    }
    demo::installStopSignals();
    for (const char* f : {"control.db", "source.db", "target.db", "tcore.log"})
        unlink((o.workdir + "/" + f).c_str());
    std::string iniPath = o.workdir + "/odbc.ini";
    if (!demo::writeFileAtomically(iniPath, odbcIni(o))) {
        std::fprintf(stderr, "tcore-demo: cannot write %s\n", iniPath.c_str());
        return 1;
    }
    setenv("ODBCINI", iniPath.c_str(), 1);
    tools::defaultOdbcSysIni();

    say("tcore demo: %lu rows, %s databases in %s", o.rows, o.pgPort ? "PostgreSQL" : "SQLite",
        o.workdir.c_str());
    long long t0 = demo::nowMs();
    {
        XQOdbc* env = nullptr;
        try {
            env = XQOdbc::getEnv();
        } catch (const XQRC& rc) {
            return fail("ODBC environment", rc), 1;
        }
        XQOdbcConnect& conn = *env->getConnection(1);
        if (!prepareControl(o, conn) || !prepareSource(o, conn) || !prepareTarget(o, conn)) return 1;
    }
    say("prepared control, source (%lu rows) and target databases in %.2f s", o.rows, (demo::nowMs() - t0) / 1000.0);
    Kernel kernel(o);
    int status = kernel.run();
    XQOdbc::free();
    return status;
}
