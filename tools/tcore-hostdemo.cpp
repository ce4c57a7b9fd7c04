// tcore-hostdemo: the kernel of a data move across hosts. Run on the kernel
// host of a bed of hosts (tests/support/hosts_demo.sh makes one): it prepares
// the control database and the tables, asks the agent daemon of each agent
// host for an agent, has the agent of the first host copy its local table to
// the warehouse on the database host and the agent of the second host copy a
// warehouse table to its local database, polls both, prints every request,
// progress report and reply with the host it came from, checks both targets
// and stops the agents through their daemons.
//
// Faults it rides out: an agent that dies (the daemon's note or the poll
// tells) is replaced through its daemon and the copy run again; an agent host
// that cannot be reached is waited for; a copy that fails is reported with
// its cause and its target checked to hold nothing of it.
#include <sys/time.h>
#include <unistd.h>
#include <pwd.h>

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "db/XQConfiguration.h"
#include "db/XQOdbc.h"
#include "db/XQOdbcConnect.h"
#include "db/XQOdbcCursor.h"
#include "foundation/ProcessInfo.h"
#include "foundation/Trace.h"
#include "messages/XQAgentMessage.h"
#include "messages/XQKernelMessage.h"
#include "support/DaemonClient.h"
#include "support/DemoData.h"
#include "support/DemoProtocol.h"
#include "support/DemoSupport.h"
#include "support/TableCopy.h"
#include "support/ToolSupport.h"
#include "transport/XQMessageQ.h"
#include "transport/XQSocket.h"

namespace {

struct Options {
    unsigned long rows = 2000, fetch = 100, poll = 1, pace = 0, reruns = 2, hostWait = 60, sendTimeout = 5000;
    std::string user, faultFile;
    // The warehouse's login, carried in the copy requests as a kernel would.
    std::string warehouseUser, warehousePassword;
    bool expectFailure = false;
};

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: tcore-hostdemo [options]\n"
                 "The kernel of the data move across hosts; runs on the kernel host of the bed\n"
                 "that tests/support/hosts_demo.sh makes (data sources warehouse,\n"
                 "agenthost1_local and agenthost2_local; agent daemons on agenthost1 and\n"
                 "agenthost2 at the service tcore-daemon).\n"
                 "  --rows N           rows of each table (default 2000)\n"
                 "  --fetch N          rows per fetch (default 100)\n"
                 "  --poll S           seconds between pings of an agent (default 1)\n"
                 "  --pace MS          the agents pause MS after each row set (default 0)\n"
                 "  --user NAME        user the agents run as (default: this program's)\n"
                 "  --reruns N         new agents a copy may get after its agent died (default 2)\n"
                 "  --host-wait S      how long an unreachable agent host is waited for (default 60)\n"
                 "  --send-timeout MS  time for one message to be delivered (default 5000)\n"
                 "  --warehouse-login USER:PASSWORD\n"
                 "                     the requests carry this login for the warehouse side\n"
                 "  --fault-file FILE  FILE holds the wall-clock ms at which a fault was made;\n"
                 "                     detection and recovery are reported from it\n"
                 "  --expect-failure   the copies are meant to fail (a database outage): succeed\n"
                 "                     when each failed copy left nothing in its target\n"
                 "Exit 0 when both copies are complete and verified (or, with --expect-failure,\n"
                 "failed cleanly).\n");
}

using demo::mb;
using demo::say;

long long wallMs() {
    timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<long long>(tv.tv_sec) * 1000 + tv.tv_usec / 1000;
}

// One copy and the agent that does it.
struct Job {
    enum State { Idle, Starting, Copying, Lost, Done, Failed };
    std::string name;   // poll client name stem: agent1, agent2
    XQSTRING host;      // the agent host (and its daemon)
    XQSTRING agentSource, agentTarget;  // data sources as the agent sees them
    XQSTRING kernelSource, kernelTarget;  // the same databases as the kernel sees them
    XQSTRING table;
    State state = Idle;
    unsigned int agentPort = 0;
    int agentPid = 0;
    unsigned int attempt = 0;
    int messageId() const { return static_cast<int>(attempt); }
    std::string pollName() const { return name + "." + std::to_string(attempt); }
    std::set<int> progressRows;  // rows of the progress replies of the current attempt
    unsigned long duplicates = 0, stale = 0, rows = 0, progressSent = 0;
    XQRC outcome{0, 0, XQRC::WhsSrv};
    long long lostAt = 0, faultSeenAt = 0, recoveredAt = 0;
    bool ended = false;   // the daemon reported its current agent's end
    bool orphan = false;  // its daemon does not know it
};

class HostKernel {
public:
    explicit HostKernel(const Options& o) : opt(o) {}
    int run();

private:
    bool prepare();
    bool loadSettings();
    void startAgent(Job& job);
    void sendCopy(Job& job);
    void onDaemonReply(XQKernelMessage& m);
    void onAgentReply(XQAgentMessage& m);
    void onDeadClient();
    void agentLost(Job& job, const char* how);
    void checkLostHosts();
    bool verify(Job& job);
    bool targetEmpty(Job& job);
    void stopAgents();
    // Serves the queue (daemon notes, dead polls) until done() or ms passed.
    void serveUntil(const std::function<bool()>& done, long long ms);
    Job* jobOfHost(const XQSTRING& host);
    std::string since(long long at) const;
    void noteFault(Job& job);

    const Options& opt;
    XQMessageQ queue;
    std::vector<Job> jobs;
    XQSTRING agentModule;
    unsigned int daemonPort = 0;
    int pollInterval = 1;
    unsigned long sent = 0, received = 0;
    std::set<XQSTRING> unconfirmed;  // polls of agents known dead that have not reported it yet
};

Job* HostKernel::jobOfHost(const XQSTRING& host) {
    for (Job& j : jobs)
        if (j.host == host) return &j;
    return nullptr;
}

// Milliseconds since the fault that --fault-file records, as text.
std::string HostKernel::since(long long at) const {
    std::string text;
    long long fault = 0;
    if (opt.faultFile.empty() || !demo::readFile(opt.faultFile, text)) return "";
    try {
        fault = std::stoll(text);
    } catch (...) {
        return "";
    }
    return " (" + std::to_string(at - fault) + " ms after the fault)";
}

void HostKernel::noteFault(Job& job) {
    if (job.faultSeenAt == 0) job.faultSeenAt = wallMs();
}

bool HostKernel::prepare() {
    XQOdbc* env = nullptr;
    try {
        env = XQOdbc::getEnv();
    } catch (const XQRC& rc) {
        say("FAILED  ODBC environment: %s", tools::describe(rc).c_str());
        return false;
    }
    XQOdbcConnect& wh = *env->getConnection(0);
    XQOdbcConnect& local = *env->getConnection(1);
    XQRC rc = wh.connect(L"warehouse", XQSTRING(), XQSTRING(), 0);
    if (rc.code == 0) {
        wh.executeStmt(L"CREATE SCHEMA IF NOT EXISTS tcore", 0);
        wh.executeDrop(L"DROP TABLE tcore.configuration");
        rc = wh.executeStmt(L"CREATE TABLE tcore.configuration (component CHAR(10) NOT NULL, name VARCHAR(20) NOT "
                            L"NULL, type CHAR(1) NOT NULL, value_int INTEGER, value_char VARCHAR(199), short_name "
                            L"VARCHAR(19), PRIMARY KEY (component, name))",
                            0);
    }
    const wchar_t* const settings[][4] = {{L"DDD", L"AGENTMODULE", L"C", L"tcore-agent"},
                                          {L"DDD", L"DAEMONSERVICENAME", L"C", L"tcore-daemon"},
                                          {L"Agent", L"POLLINTERVAL", L"N", nullptr},
                                          {L"Agent", L"FETCHCOUNT", L"N", nullptr}};
    for (const auto& s : settings) {
        if (rc.code != 0) break;
        XQSTRING number = std::wstring(s[1]) == L"POLLINTERVAL" ? xqNumber(static_cast<long>(opt.poll))
                                                                 : xqNumber(static_cast<long>(opt.fetch));
        rc = wh.executeStmt(L"INSERT INTO tcore.configuration VALUES ('" + XQSTRING(s[0]) + L"', '" + s[1] + L"', '" +
                                s[2] + L"', " + (s[3] ? L"0" : number) + L", '" + (s[3] ? s[3] : L"") + L"', '')",
                            0);
    }
    if (rc.code == 0) rc = demo::fillOrderTable(wh, L"wh_orders", opt.rows, true);
    if (rc.code == 0) rc = demo::createOrderTable(wh, L"h1_orders", true);
    if (rc.code == 0) rc = wh.commit();
    wh.disconnect();
    if (rc.code != 0) {
        say("FAILED  prepare the warehouse on dbhost: %s", tools::describe(rc).c_str());
        return false;
    }
    rc = local.connect(L"agenthost1_local", XQSTRING(), XQSTRING(), 0);
    if (rc.code == 0) rc = demo::fillOrderTable(local, L"h1_orders", opt.rows, false);
    local.disconnect();
    if (rc.code == 0) rc = local.connect(L"agenthost2_local", XQSTRING(), XQSTRING(), 0);
    if (rc.code == 0) rc = demo::createOrderTable(local, L"wh_orders", false);
    local.disconnect();
    if (rc.code != 0) {
        say("FAILED  prepare the agent hosts' databases: %s", tools::describe(rc).c_str());
        return false;
    }
    say("prepared  warehouse on dbhost: configuration, wh_orders (%lu rows); agenthost1: h1_orders (%lu rows)",
        opt.rows, opt.rows);
    return true;
}

bool HostKernel::loadSettings() {
    XQRC rc = XQConfiguration::init(L"warehouse", L"tcore", XQSTRING(), XQSTRING(), 0);
    XQSTRING service;
    if (rc.code == 0) agentModule = XQConfiguration::getValueString(COMPONENT_DDD, L"AGENTMODULE", rc);
    if (rc.code == 0) service = XQConfiguration::getValueString(COMPONENT_DDD, L"DAEMONSERVICENAME", rc);
    if (rc.code == 0) pollInterval = XQConfiguration::getValueInt(COMPONENT_AGENT, L"POLLINTERVAL", rc);
    XQConfiguration::terminate();
    if (rc.code == 0) {
        XQSocket socket;
        rc = socket.GetPortByName(service, daemonPort);
    }
    if (rc.code != 0) {
        say("FAILED  read the settings: %s", tools::describe(rc).c_str());
        return false;
    }
    say("settings  agent %s; daemons at service %s (port %u); poll every %d s", mb(agentModule).c_str(),
        mb(service).c_str(), daemonPort, pollInterval);
    return true;
}

void HostKernel::startAgent(Job& job) {
    std::string args = "--send-timeout " + std::to_string(opt.sendTimeout) + " --pace " + std::to_string(opt.pace);
    XQKernelMessage request = demo::agentStartRequest(queue, job.host, daemonPort, agentModule,
                                                      xqFromMultibyte(args), xqFromMultibyte(opt.user));
    XQRC rc = request.Send();
    if (rc.code != 0) {
        say("->  %-10s daemon: start request not delivered: %s", mb(job.host).c_str(), tools::describe(rc).c_str());
        job.state = Job::Lost;
        if (job.lostAt == 0) job.lostAt = demo::nowMs();
        return;
    }
    ++sent;
    job.state = Job::Starting;
    job.ended = false;
    say("->  %-10s daemon: start %s as %s", mb(job.host).c_str(), mb(agentModule).c_str(), opt.user.c_str());
}

void HostKernel::sendCopy(Job& job) {
    ++job.attempt;
    job.progressRows.clear();
    XQAgentMessage req;
    demo::routeKernelRequest(req, queue, L"agent", job.host, job.agentPort);
    req.SetMessageID(static_cast<unsigned int>(job.messageId()));
    req.SetCommand(demo::CmdCopyTable);
    req.SetCommitFlag(1);  // replace the target in one transaction: a rerun is safe
    req.SetSourceDBName(job.agentSource);
    req.SetTargetDBName(job.agentTarget);
    if (!opt.warehouseUser.empty()) {
        const XQSTRING user = xqFromMultibyte(opt.warehouseUser), password = xqFromMultibyte(opt.warehousePassword);
        if (job.agentSource == L"warehouse") {
            req.SetSourceDBUserid(user);
            req.SetSourceDBPassword(password);
        } else {
            req.SetTargetDBUserid(user);
            req.SetTargetDBPassword(password);
        }
    }
    req.SetFetchAndInsertXData(demo::orderSelect(job.table), demo::orderColumns(), 1,
                               static_cast<unsigned int>(opt.fetch));
    XQTableNameData target;
    target.Text1 = job.table;
    req.TableList.push_back(target);
    req.SetRowsRequested(static_cast<long>(opt.rows));
    XQRC rc = req.Send();
    if (rc.code != 0) {
        say("->  %-10s agent: copy request not delivered: %s", mb(job.host).c_str(), tools::describe(rc).c_str());
        agentLost(job, "the copy request was not delivered");
        return;
    }
    ++sent;
    job.state = Job::Copying;
    say("->  %-10s agent: copy %s.%s -> %s.%s (%lu rows, attempt %u)", mb(job.host).c_str(), mb(job.agentSource).c_str(),
        mb(job.table).c_str(), mb(job.agentTarget).c_str(), mb(job.table).c_str(), opt.rows, job.attempt);
    queue.PollClient(xqFromMultibyte(job.pollName()), job.host, job.agentPort, static_cast<unsigned int>(pollInterval));
}

void HostKernel::onDaemonReply(XQKernelMessage& m) {
    Job* job = jobOfHost(m.DestQueueHost);
    if (job == nullptr) return;
    XQRC rc(0, 0, XQRC::WhsSrv);
    m.GetRCFromReply(rc);
    const std::string host = mb(job->host);
    if (m.Command == demo::CmdStartAgent && m.SubCommand == demo::SubFinal) {
        if (rc.code != 0) {
            say("<-  %-10s daemon: no agent: %s", host.c_str(), tools::describe(rc).c_str());
            job->state = Job::Failed;
            job->outcome = rc;
            return;
        }
        job->agentPort = m.RowCount;
        job->agentPid = static_cast<int>(m.ByteCount);
        say("<-  %-10s daemon: agent up, queue port %u, pid %d", host.c_str(), job->agentPort, job->agentPid);
        sendCopy(*job);
    } else if (m.Command == demo::CmdStartAgent && m.SubCommand == demo::SubEnded) {
        bool current = static_cast<int>(m.ByteCount) == job->agentPid;
        say("<-  %-10s daemon: agent pid %u ended: %s", host.c_str(), m.ByteCount,
            rc.code == 0 ? "exit 0" : tools::describe(rc).c_str());
        if (current) job->ended = true;
        if (current && job->state == Job::Copying) {
            noteFault(*job);
            unconfirmed.insert(xqFromMultibyte(job->pollName()));  // its poll will tell too
            agentLost(*job, "its daemon reported its end");
        }
    } else if (m.Command == demo::CmdStopAgent) {
        say("<-  %-10s daemon: stop %s", host.c_str(), rc.code == 0 ? "under way" : tools::describe(rc).c_str());
        if (rc.code != 0) {
            // A daemon that does not know the agent (it was restarted) will not report its end.
            job->ended = true;
            job->orphan = rc.code == demo::DaemonNoSuchAgent;
        }
    }
}

void HostKernel::onAgentReply(XQAgentMessage& m) {
    Job* job = jobOfHost(m.DestQueueHost);
    if (job == nullptr) return;
    const std::string host = mb(job->host);
    if (static_cast<int>(m.MessageID) != job->messageId() ||
        (job->state != Job::Copying && job->state != Job::Lost)) {
        ++job->stale;
        say("<-  %-10s agent: reply of attempt %u ignored (now attempt %u)", host.c_str(), m.MessageID, job->attempt);
        return;
    }
    if (job->state == Job::Lost) {
        // Its replies come through again: the host is back and the agent works.
        say("<-  %-10s reachable again after %lld ms; agent pid %d still works%s", host.c_str(),
            demo::nowMs() - job->lostAt, job->agentPid, since(wallMs()).c_str());
        job->state = Job::Copying;
        job->lostAt = 0;
        queue.PollClient(xqFromMultibyte(job->pollName()), job->host, job->agentPort,
                         static_cast<unsigned int>(pollInterval));
    }
    if (m.SubCommand == demo::SubProgress) {
        if (!job->progressRows.insert(m.BERowCountSoFar).second) ++job->duplicates;
        job->rows = static_cast<unsigned long>(m.BERowCountSoFar);
        say("<-  %-10s progress %3lu%%  %6lu rows  \"%s\"", host.c_str(), opt.rows ? job->rows * 100 / opt.rows : 100,
            job->rows, mb(m.StatusMsg).c_str());
        return;
    }
    m.GetRCFromReply(job->outcome);
    job->rows = static_cast<unsigned long>(m.BERowCountSoFar);
    job->progressSent = m.BENumber;
    job->state = job->outcome.code == 0 ? Job::Done : Job::Failed;
    if (job->faultSeenAt && job->recoveredAt == 0) job->recoveredAt = wallMs();
    say("<-  %-10s reply    %s  \"%s\"%s", host.c_str(), job->outcome.code == 0 ? "success" : "FAILURE",
        mb(m.StatusMsg).c_str(), since(wallMs()).c_str());
    if (job->outcome.code != 0) say("    %-10s cause: %s", host.c_str(), tools::describe(job->outcome).c_str());
}

// The agent of job is gone, or its host cannot be reached: which of the two
// decides between a new agent and waiting for the host.
void HostKernel::agentLost(Job& job, const char* how) {
    if (job.state == Job::Done || job.state == Job::Failed) return;
    // Its poll thread, if any, ends by itself when the agent does not answer.
    say("!!  %-10s agent pid %d lost: %s%s", mb(job.host).c_str(), job.agentPid, how, since(wallMs()).c_str());
    long long lostAt = demo::nowMs();
    if (queue.PingClient(L"daemon", job.host, daemonPort).code != 0) {
        say("!!  %-10s unreachable (its daemon does not answer either): waiting up to %lu s", mb(job.host).c_str(),
            opt.hostWait);
        job.state = Job::Lost;
        if (job.lostAt == 0) job.lostAt = lostAt;
        return;
    }
    if (!job.ended && job.agentPort) {
        // Alive but unreachable, or hung: it must not go on beside its successor.
        XQRC rc = demo::agentStopRequest(queue, job.host, daemonPort, job.agentPort).Send();
        if (rc.code == 0) ++sent;
    }
    if (job.attempt > opt.reruns) {
        say("FAILED  %s: no reruns left", mb(job.host).c_str());
        job.state = Job::Failed;
        job.outcome = XQRC(9124, 0, XQRC::WhsSrv);
        return;
    }
    say("->  %-10s rerun the copy with a new agent", mb(job.host).c_str());
    startAgent(job);
}

void HostKernel::onDeadClient() {
    XQSTRING name;
    unsigned int count = 0;
    while (queue.GetDeadClientName(name, count).code == 0) {
        unconfirmed.erase(name);
        for (Job& j : jobs) {
            if (mb(name).compare(0, j.name.size() + 1, j.name + ".") != 0) continue;
            bool current = xqFromMultibyte(j.pollName()) == name && j.state == Job::Copying;
            say("!!  %-10s poll: %s does not answer%s%s", mb(j.host).c_str(), mb(name).c_str(), since(wallMs()).c_str(),
                current ? "" : "; it was replaced already");
            if (!current) continue;
            noteFault(j);
            agentLost(j, "its poll failed");
        }
    }
}

// A host that could not be reached: back when its agent (or, after the
// agent's end, its daemon) answers again.
void HostKernel::checkLostHosts() {
    for (Job& j : jobs) {
        if (j.state != Job::Lost) continue;
        auto agentAnswers = [&] {
            return j.agentPort && !j.ended &&
                   queue.PingClient(xqFromMultibyte(j.pollName()), j.host, j.agentPort).code == 0;
        };
        bool daemonAnswers = false;
        // The link may come back between the two pings: an agent is given up
        // only when its daemon answers and it, asked again, does not.
        if (agentAnswers() || ((daemonAnswers = queue.PingClient(L"daemon", j.host, daemonPort).code == 0) &&
                               agentAnswers())) {
            say("<-  %-10s reachable again after %lld ms; agent pid %d still works%s", mb(j.host).c_str(),
                demo::nowMs() - j.lostAt, j.agentPid, since(wallMs()).c_str());
            j.state = Job::Copying;
            j.lostAt = 0;
            queue.PollClient(xqFromMultibyte(j.pollName()), j.host, j.agentPort,
                             static_cast<unsigned int>(pollInterval));
        } else if (daemonAnswers) {
            j.lostAt = 0;
            j.ended = true;
            say("<-  %-10s reachable again, its agent is not", mb(j.host).c_str());
            startAgent(j);
        } else if (demo::nowMs() - j.lostAt > static_cast<long long>(opt.hostWait) * 1000) {
            say("FAILED  %s unreachable for %lu s", mb(j.host).c_str(), opt.hostWait);
            j.state = Job::Failed;
            j.outcome = XQRC(9124, 0, XQRC::WhsSrv);
        }
    }
}

bool HostKernel::verify(Job& job) {
    XQOdbc* env = XQOdbc::getEnv();
    XQOdbcConnect& src = *env->getConnection(0);
    XQOdbcConnect& tgt = *env->getConnection(1);
    XQRC rc = src.connect(job.kernelSource, XQSTRING(), XQSTRING(), 0);
    if (rc.code == 0) rc = tgt.connect(job.kernelTarget, XQSTRING(), XQSTRING(), 0);
    size_t rows = 0;
    std::string why;
    bool same = rc.code == 0 && demo::sameOrders(src, job.table, tgt, job.table, rows, why);
    src.disconnect();
    tgt.disconnect();
    if (rc.code != 0) why = tools::describe(rc);
    if (same && rows == opt.rows)
        say("check     %s.%s equals %s.%s: %zu rows", mb(job.kernelTarget).c_str(), mb(job.table).c_str(),
            mb(job.kernelSource).c_str(), mb(job.table).c_str(), rows);
    else
        say("FAILED    %s.%s: %s", mb(job.kernelTarget).c_str(), mb(job.table).c_str(),
            why.empty() ? "the source has the wrong row count" : why.c_str());
    return same && rows == opt.rows;
}

// After a failed copy: the target holds none of its rows. The database may
// be coming back: connecting is tried for up to 30 s.
bool HostKernel::targetEmpty(Job& job) {
    XQOdbcConnect& tgt = *XQOdbc::getEnv()->getConnection(1);
    XQRC rc(0, 0, XQRC::WhsSrv);
    long long until = demo::nowMs() + 30000;
    do {
        rc = tgt.connect(job.kernelTarget, XQSTRING(), XQSTRING(), 0);
        if (rc.code != 0) usleep(500000);
    } while (rc.code != 0 && demo::nowMs() < until);
    std::vector<std::vector<std::string>> rows;
    if (rc.code == 0) rc = demo::readAllAsText(tgt, L"SELECT COUNT(*) FROM " + job.table, 1, rows);
    tgt.disconnect();
    bool empty = rc.code == 0 && rows.size() == 1 && rows[0][0] == "0";
    say("check     %s.%s after the failed copy: %s", mb(job.kernelTarget).c_str(), mb(job.table).c_str(),
        rc.code != 0 ? tools::describe(rc).c_str() : (rows[0][0] + " rows").c_str());
    return empty;
}

void HostKernel::serveUntil(const std::function<bool()>& done, long long ms) {
    long long until = demo::nowMs() + ms;
    while (!done() && demo::nowMs() < until && !demo::stopRequested.load()) {
        std::unique_ptr<XQBaseMessage> m;
        XQRC rc = tools::receiveAny(queue, 250, m);
        if (rc.code == 9124) onDeadClient();
        if (rc.code != 0) continue;
        ++received;
        if (m->MessageType == XQKernelMsgType) onDaemonReply(static_cast<XQKernelMessage&>(*m));
    }
}

void HostKernel::stopAgents() {
    // The poll of an agent known dead reports it first (so that is measured);
    // the other polls are halted before their agents go, so that no poll
    // thread is still retrying a ping when the queue closes.
    serveUntil([this] { return unconfirmed.empty(); }, 10000);
    queue.HaltAllPollClients();
    for (Job& j : jobs) {
        if (j.agentPort == 0 || j.ended) continue;
        XQRC rc = demo::agentStopRequest(queue, j.host, daemonPort, j.agentPort).Send();
        if (rc.code == 0) {
            ++sent;
            say("->  %-10s daemon: stop agent on port %u", mb(j.host).c_str(), j.agentPort);
        } else {
            say("->  %-10s daemon: stop request not delivered: %s", mb(j.host).c_str(), tools::describe(rc).c_str());
            j.ended = true;
        }
    }
    serveUntil(
        [this] {
            for (const Job& j : jobs)
                if (j.agentPort && !j.ended) return false;
            return true;
        },
        15000);
    // An agent whose daemon no longer knows it (a restarted daemon) is asked directly.
    for (Job& j : jobs) {
        if (!j.orphan) continue;
        XQAgentMessage stop;
        stop.SetOriginQueuePort(queue.nQueuePort);
        stop.SetDestQueueHost(j.host);
        stop.SetDestQueuePort(j.agentPort);
        stop.SetCommand(demo::CmdStop);
        stop.SetReplyNeeded(0);
        if (stop.Send().code == 0) say("->  %-10s agent: stop (its daemon does not know it)", mb(j.host).c_str());
    }
}

int HostKernel::run() {
    getTraceLock();
    getTraceTS();
    XQSTRING self;
    xqLocalHostName(self);
    XQSocket::SetDefaultTimeout(static_cast<unsigned int>(opt.sendTimeout));
    if (!prepare() || !loadSettings()) return 1;
    XQRC rc = queue.Create(0, 64);
    if (rc.code != 0) {
        say("FAILED  create the kernel's queue: %s", tools::describe(rc).c_str());
        return 1;
    }
    say("kernel    on %s, queue port %u", mb(self).c_str(), queue.nQueuePort);
    jobs.resize(2);
    jobs[0].name = "agent1";
    jobs[0].host = L"agenthost1";
    jobs[0].agentSource = L"local";
    jobs[0].agentTarget = L"warehouse";
    jobs[0].kernelSource = L"agenthost1_local";
    jobs[0].kernelTarget = L"warehouse";
    jobs[0].table = L"h1_orders";
    jobs[1].name = "agent2";
    jobs[1].host = L"agenthost2";
    jobs[1].agentSource = L"warehouse";
    jobs[1].agentTarget = L"local";
    jobs[1].kernelSource = L"warehouse";
    jobs[1].kernelTarget = L"agenthost2_local";
    jobs[1].table = L"wh_orders";
    long long t0 = demo::nowMs();
    for (Job& j : jobs) startAgent(j);

    auto busy = [this] {
        for (const Job& j : jobs)
            if (j.state != Job::Done && j.state != Job::Failed) return true;
        return false;
    };
    long long deadline = demo::nowMs() + 600000, nextLostCheck = 0;
    while (busy() && demo::nowMs() < deadline && !demo::stopRequested.load()) {
        std::unique_ptr<XQBaseMessage> m;
        rc = tools::receiveAny(queue, 250, m);
        if (rc.code == 0) {
            ++received;
            if (m->MessageType == XQKernelMsgType)
                onDaemonReply(static_cast<XQKernelMessage&>(*m));
            else if (m->MessageType == XQAgentMsgType)
                onAgentReply(static_cast<XQAgentMessage&>(*m));
        } else if (rc.code == 9124) {
            onDeadClient();
        } else if (rc.code != 9117) {
            say("note      receive: %s", tools::describe(rc).c_str());
        }
        if (demo::nowMs() >= nextLostCheck) {
            checkLostHosts();
            nextLostCheck = demo::nowMs() + 1000;
        }
    }
    double seconds = (demo::nowMs() - t0) / 1000.0;
    bool ok = !busy();
    // Meant to fail (a database outage): at least one copy failed with the
    // database's error and left nothing; a copy done before the outage is
    // still checked.
    bool anyFailed = false;
    for (Job& j : jobs) {
        if (opt.expectFailure && j.state == Job::Failed) {
            anyFailed = true;
            ok = ok && j.outcome.domain == XQRC::ODBC && targetEmpty(j);
        } else {
            ok = ok && j.state == Job::Done && verify(j);
        }
        // Every progress reply of the attempt that finished came, and none twice.
        if (j.state == Job::Done || j.state == Job::Failed)
            ok = ok && j.progressRows.size() == j.progressSent && j.duplicates == 0;
    }
    if (opt.expectFailure) ok = ok && anyFailed;
    stopAgents();
    queue.Destroy(1);
    std::printf("\n");
    for (const Job& j : jobs) {
        say("summary   %-10s %s: %lu of %lu rows, attempts %u, progress replies %zu received of %lu sent, "
            "%lu duplicated, %lu of earlier attempts",
            mb(j.host).c_str(), j.state == Job::Done ? "complete" : "failed", j.rows, opt.rows, j.attempt,
            j.progressRows.size(), j.progressSent, j.duplicates, j.stale);
    }
    say("          %.2f s, %lu messages sent and %lu received by the kernel", seconds, sent, received);
    say("          result %s", ok ? (opt.expectFailure ? "failed cleanly as expected" : "complete and verified")
                                  : "FAILED");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    tools::initProgram();
    Options o;
    if (struct passwd* pw = getpwuid(geteuid())) o.user = pw->pw_name;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        }
        if (a == "--expect-failure") {
            o.expectFailure = true;
            continue;
        }
        if (i + 1 >= argc) {
            usage(stderr);
            return 2;
        }
        std::string v = argv[++i];
        bool good = true;
        if (a == "--rows")
            good = tools::parseUnsigned(v, 10000000, o.rows) && o.rows > 0;
        else if (a == "--fetch")
            good = tools::parseUnsigned(v, 10000, o.fetch) && o.fetch > 0;
        else if (a == "--poll")
            good = tools::parseUnsigned(v, 3600, o.poll) && o.poll > 0;
        else if (a == "--pace")
            good = tools::parseUnsigned(v, 60000, o.pace);
        else if (a == "--reruns")
            good = tools::parseUnsigned(v, 100, o.reruns);
        else if (a == "--host-wait")
            good = tools::parseUnsigned(v, 3600, o.hostWait);
        else if (a == "--send-timeout")
            good = tools::parseUnsigned(v, 600000, o.sendTimeout) && o.sendTimeout > 0;
        else if (a == "--user")
            o.user = v;
        else if (a == "--fault-file")
            o.faultFile = v;
        else if (a == "--warehouse-login") {
            const size_t colon = v.find(':');
            good = colon != std::string::npos && colon > 0;
            if (good) {
                o.warehouseUser = v.substr(0, colon);
                o.warehousePassword = v.substr(colon + 1);
            }
        }
        else
            good = false;
        if (!good) {
            std::fprintf(stderr, "tcore-hostdemo: bad argument %s %s\n", a.c_str(), v.c_str());
            usage(stderr);
            return 2;
        }
    }
    demo::installStopSignals();
    tools::defaultOdbcSysIni();
    HostKernel kernel(o);
    int status = kernel.run();
    XQOdbc::free();
    return status;
}
