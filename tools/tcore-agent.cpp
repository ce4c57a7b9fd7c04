// tcore-agent: an agent of the system. It serves requests from the kernel on
// its message queue: a table copy between two data sources through the ODBC
// layer, with progress replies, a final reply carrying the outcome, and log
// records sent to the logger.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "db/XQOdbc.h"
#include "db/XQOdbcConnect.h"
#include "foundation/ProcessInfo.h"
#include "foundation/Trace.h"
#include "messages/XQAgentMessage.h"
#include "messages/XQKernelMessage.h"
#include "messages/XQLogMessage.h"
#include "support/DemoProtocol.h"
#include "support/DemoSupport.h"
#include "support/ReplyOutbox.h"
#include "support/TableCopy.h"
#include "support/ToolSupport.h"
#include "transport/XQMessageQ.h"
#include "transport/XQSocket.h"

namespace {

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: tcore-agent [options]\n"
                 "Serves the kernel's requests on a message queue. Requests: copy a table\n"
                 "between two ODBC data sources (progress replies, a final reply with the\n"
                 "outcome); stop.\n"
                 "  --port PORT            queue port (0 or absent: any free port)\n"
                 "  --port-file FILE       write the port in use to FILE\n"
                 "  --logger-host HOST --logger-port PORT  send log records to the logger\n"
                 "  --daemon-port PORT --daemon-token TEXT  report the queue to the agent\n"
                 "                         daemon on 127.0.0.1 that started this agent\n"
                 "  --send-timeout MS      time allowed for one message to be delivered\n"
                 "  --reply-attempts N     attempts per reply before it is given up (default 12);\n"
                 "                         replies that cannot be sent are kept and sent again\n"
                 "                         in order, 250 ms after a failure, doubling up to 4 s\n"
                 "  --pace MS              pause after each row set (to watch a copy)\n");
}

struct Agent {
    explicit Agent(unsigned int attempts) : outbox(attempts, 250, 4000) {}

    XQMessageQ queue;
    demo::ReplyOutbox outbox;
    XQSTRING loggerHost;
    unsigned int loggerPort = 0;
    unsigned long pace = 0;
    unsigned long sent = 0;
    unsigned long progressPosted = 0;  // progress replies of the request at hand

    void log(const XQAgentMessage& req, int event, const XQSTRING& text, unsigned long rows,
             unsigned long long bytes) {
        if (loggerPort == 0) return;
        XQLogMessage rec;
        rec.SetOriginQueueName(L"agent");
        rec.SetOriginQueuePort(queue.nQueuePort);
        rec.SetDestQueueName(L"logger");
        rec.SetDestQueueHost(loggerHost);
        rec.SetDestQueuePort(loggerPort);
        rec.SetIsRequest(1);
        rec.SetReplyNeeded(0);
        rec.SetCommand(demo::CmdLogRecord);
        rec.SetBVName(L"agent");
        rec.EventID = event;
        rec.EventMessage = text;
        rec.SetSourceDBName(req.SourceDBName);
        rec.SetTargetDBName(req.TargetDBName);
        rec.SetBERowCountSoFar(static_cast<unsigned int>(rows));
        rec.SetBEByteCountSoFar(static_cast<unsigned int>(bytes));
        XQRC rc = rec.Send();
        if (rc.code == 0)
            ++sent;
        else
            std::fprintf(stderr, "tcore-agent: log record not sent: %s\n", tools::describe(rc).c_str());
    }

    // Replies go back to the requester's queue (origin address and port),
    // through the outbox: one that cannot be delivered now is sent later, in
    // order, so an outage of the way back loses none.
    void reply(const XQAgentMessage& req, int sub, const XQRC& outcome, unsigned long rows,
               unsigned long long bytes, const XQSTRING& status) {
        std::unique_ptr<XQAgentMessage> rep(new XQAgentMessage(req));
        rep->InputDataList.clear();
        rep->OutputDataList.clear();
        rep->SetIsRequest(0);
        rep->SetSubCommand(sub);
        rep->ReturnCode = outcome;
        rep->BERowCountSoFar = static_cast<int>(rows);
        rep->BEByteCountSoFar = static_cast<int>(bytes);
        rep->BEInsertDone = sub == demo::SubFinal ? 1 : 0;
        rep->StatusMsg = status;
        // The final reply tells how many progress replies went before it, so
        // the requester can count what it missed.
        if (sub == demo::SubProgress) ++progressPosted;
        if (sub == demo::SubFinal) rep->BENumber = static_cast<unsigned int>(progressPosted);
        size_t failuresBefore = outbox.failures();
        outbox.post(std::move(rep));
        if (outbox.failures() != failuresBefore)
            std::fprintf(stderr, "tcore-agent: %zu replies kept for later: %s\n", outbox.kept(),
                         tools::describe(outbox.lastFailure()).c_str());
    }

    XQRC copyTable(const XQAgentMessage& req) {
        XQRC rc(0, 0, XQRC::WhsSrv);
        progressPosted = 0;
        XQOdbc* env = nullptr;
        try {
            env = XQOdbc::getEnv();
        } catch (const XQRC& thrown) {
            return thrown;
        }
        XQOdbcConnect& source = *env->getConnection(0);
        XQOdbcConnect& target = *env->getConnection(1);
        rc = source.connect(req.SourceDBName, req.SourceDBUserid, req.SourceDBPassword, 0);
        if (rc.code == 0) rc = target.connect(req.TargetDBName, req.TargetDBUserid, req.TargetDBPassword, 0);
        if (rc.code == 0) rc = target.connectOptionManual();
        if (rc.code == 0) {
            XQSTRING table = req.TableList.empty() ? XQSTRING() : req.TableList[0].Text1;
            unsigned long rowset = req.SourceFetchCount ? req.SourceFetchCount : 500;
            unsigned long expected = req.RowsRequested > 0 ? static_cast<unsigned long>(req.RowsRequested) : 0;
            unsigned long nextReport = 0, nextLog = expected / 4;
            log(req, 1, L"copy of " + table + L" started", 0, 0);
            demo::CopyResult result = demo::copyRows(
                source, target, req.SQLStmt1, table, req.OutputDataList, rowset, req.CommitFlag == 1,
                [&](unsigned long rows, unsigned long long bytes) {
                    if (pace) usleep(static_cast<useconds_t>(pace * 1000));
                    outbox.pump();
                    // A progress reply about every 5% (every row set when the total is unknown).
                    if (rows >= nextReport) {
                        XQSTRING status = L"copied " + xqNumber(static_cast<long>(rows)) + L" rows";
                        reply(req, demo::SubProgress, XQRC(0, 0, XQRC::WhsSrv), rows, bytes, status);
                        if (expected) {
                            unsigned long step = expected / 20 ? expected / 20 : 1;
                            nextReport = (rows / step + 1) * step;
                        }
                    }
                    // A log record at each quarter of the expected rows.
                    if (expected && nextLog && rows >= nextLog && rows < expected) {
                        log(req, 2, L"copied " + xqNumber(static_cast<long>(rows)) + L" rows", rows, bytes);
                        nextLog += expected / 4;
                    }
                    return !demo::stopRequested.load();
                });
            rc = result.rc;
            XQSTRING status = rc.code == 0 ? L"copy complete: " + xqNumber(static_cast<long>(result.rows)) + L" rows"
                                           : L"copy failed after " + xqNumber(static_cast<long>(result.rows)) + L" rows";
            // The outcome is settled (committed or rolled back): the requester
            // hears it before the connections are closed, which takes a while
            // after a large copy.
            reply(req, demo::SubFinal, rc, result.rows, result.bytes, status);
            log(req, rc.code == 0 ? 3 : 9, status, result.rows, result.bytes);
            source.disconnect();
            target.disconnect();
            return rc;
        }
        rc.AddComment(L"tcore-agent: connecting the data sources");
        log(req, 9, L"connect failed", 0, 0);
        source.disconnect();
        target.disconnect();
        reply(req, demo::SubFinal, rc, 0, 0, L"connect failed");
        return rc;
    }

    // Tells the daemon that started this agent where its queue listens.
    XQRC reportReady(unsigned int daemonPort, const std::string& token) {
        XQKernelMessage ready;
        ready.SetOriginQueueName(L"agent");
        ready.SetOriginQueuePort(queue.nQueuePort);
        ready.SetDestQueueName(L"daemon");
        ready.SetDestQueueHost(L"127.0.0.1");
        ready.SetDestQueuePort(daemonPort);
        ready.SetIsRequest(1);
        ready.SetReplyNeeded(0);
        ready.SetCommand(demo::CmdAgentReady);
        ready.RowCount = queue.nQueuePort;
        ready.ByteCount = static_cast<unsigned int>(getpid());
        ready.InformationResourceID = xqFromMultibyte(token);
        return ready.Send();
    }
};

}  // namespace

int main(int argc, char** argv) {
    tools::initProgram();
    std::string portFile, daemonToken;
    unsigned long port = 0, loggerPort = 0, daemonPort = 0, sendTimeout = 0, attempts = 12, pace = 0;
    XQSTRING loggerHost = L"127.0.0.1";
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
        if (a == "--port-file")
            portFile = v;
        else if (a == "--logger-host")
            loggerHost = xqFromMultibyte(v);
        else if (a == "--daemon-token")
            daemonToken = v;
        else if ((a == "--port" && tools::parseUnsigned(v, 65535, port)) ||
                 (a == "--logger-port" && tools::parseUnsigned(v, 65535, loggerPort)) ||
                 (a == "--daemon-port" && tools::parseUnsigned(v, 65535, daemonPort)) ||
                 (a == "--send-timeout" && tools::parseUnsigned(v, 3600000, sendTimeout) && sendTimeout > 0) ||
                 (a == "--reply-attempts" && tools::parseUnsigned(v, 1000, attempts) && attempts > 0) ||
                 (a == "--pace" && tools::parseUnsigned(v, 60000, pace)))
            continue;
        else {
            std::fprintf(stderr, "tcore-agent: bad argument %s %s\n", a.c_str(), v.c_str());
            usage(stderr);
            return 2;
        }
    }
    demo::installStopSignals();
    tools::defaultOdbcSysIni();
    getTraceLock();
    getTraceTS();
    if (sendTimeout) XQSocket::SetDefaultTimeout(static_cast<unsigned int>(sendTimeout));

    Agent agent(static_cast<unsigned int>(attempts));
    agent.loggerHost = loggerHost;
    agent.loggerPort = static_cast<unsigned int>(loggerPort);
    agent.pace = pace;
    XQRC rc = agent.queue.Create(static_cast<unsigned int>(port), 64);
    if (rc.code != 0) {
        std::fprintf(stderr, "tcore-agent: cannot create the queue: %s\n", tools::describe(rc).c_str());
        return 1;
    }
    if (!portFile.empty() && !demo::writeFileAtomically(portFile, std::to_string(agent.queue.nQueuePort) + "\n")) {
        std::fprintf(stderr, "tcore-agent: cannot write %s\n", portFile.c_str());
        agent.queue.Destroy(1);
        return 1;
    }
    if (daemonPort != 0) {
        rc = agent.reportReady(static_cast<unsigned int>(daemonPort), daemonToken);
        if (rc.code != 0) {
            std::fprintf(stderr, "tcore-agent: cannot report to the daemon: %s\n", tools::describe(rc).c_str());
            agent.queue.Destroy(1);
            return 1;
        }
    }
    std::printf("tcore-agent: listening on port %u\n", agent.queue.nQueuePort);
    std::fflush(stdout);

    unsigned long requests = 0;
    bool stop = false;
    while (!stop && !demo::stopRequested.load()) {
        agent.outbox.pump();
        XQAgentMessage req;
        rc = agent.queue.Receive(req, 250);
        if (rc.code == 9117) continue;
        if (rc.code != 0) {
            std::fprintf(stderr, "tcore-agent: %s\n", tools::describe(rc).c_str());
            continue;
        }
        ++requests;
        switch (req.Command) {
            case demo::CmdCopyTable: {
                XQRC outcome = agent.copyTable(req);
                if (outcome.code != 0)
                    std::fprintf(stderr, "tcore-agent: copy failed: %s\n", tools::describe(outcome).c_str());
                break;
            }
            case demo::CmdStop:
                agent.reply(req, demo::SubFinal, XQRC(0, 0, XQRC::WhsSrv), 0, 0, L"agent stopping");
                stop = true;
                break;
            default: {
                XQRC unknown(1, req.Command, XQRC::WhsClnt);
                unknown.comment = L"command not known to this agent";
                agent.reply(req, demo::SubFinal, unknown, 0, 0, L"unknown command");
            }
        }
    }
    // Replies still kept get their remaining attempts, unless a signal asks to end now.
    agent.outbox.drain([] { return !demo::stopRequested.load(); });
    XQOdbc::free();
    rc = agent.queue.Destroy(1);
    std::printf("tcore-agent: %lu requests served, %lu replies delivered, %lu given up, %lu log records sent\n",
                requests, agent.outbox.delivered(), agent.outbox.dropped() + agent.outbox.kept(), agent.sent);
    return rc.code == 0 ? 0 : 1;
}
