// tcore-send --port P [options]: builds one message and sends it to a queue;
// optionally waits for the reply and prints the return code it carries.
#include <chrono>
#include <climits>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "foundation/ProcessInfo.h"
#include "messages/XQAgentMessage.h"
#include "messages/XQKernelMessage.h"
#include "messages/XQLogMessage.h"
#include "support/ToolSupport.h"
#include "transport/XQMessageQ.h"

namespace {

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: tcore-send --port P [--host H] [--kind K] [options]\n"
                 "Builds one request message and sends it to the queue at H:P (H defaults to\n"
                 "127.0.0.1).\n"
                 "  --kind K               base (default), agent, kernel or log\n"
                 "  --command N            command number\n"
                 "  --subcommand N         sub-command number\n"
                 "  --bvname TEXT          name of the business view\n"
                 "  --benumber N           step number\n"
                 "  --sql1 TEXT, --sql2 TEXT  the two SQL statements\n"
                 "  --message-id N         message identifier\n"
                 "  --origin-name NAME     sender's queue name (default tcore-send)\n"
                 "  --dest-name NAME       destination queue name\n"
                 "agent messages:\n"
                 "  --status TEXT          status message\n"
                 "  --source-db NAME, --target-db NAME  data source names\n"
                 "  --fetch-count N        rows per fetch\n"
                 "kernel messages:\n"
                 "  --information-resource TEXT, --alias TEXT\n"
                 "log messages:\n"
                 "  --event-message TEXT, --event-id N, --process-name TEXT\n"
                 "other:\n"
                 "  --print                print the message before sending it (and the reply)\n"
                 "  --wait-reply MS        receive the reply on a queue of our own (any free\n"
                 "                         port) for up to MS milliseconds and print the return\n"
                 "                         code it carries\n"
                 "Exit codes: 0 sent (and, with --wait-reply, the reply carries success);\n"
                 "1 the send failed, no reply came or the reply carries a failure; 2 usage.\n");
}

int usageError(const std::string& text) {
    std::fprintf(stderr, "tcore-send: %s\n", text.c_str());
    std::fprintf(stderr, "Try 'tcore-send --help'.\n");
    return 2;
}

int failure(const std::string& what, const XQRC& rc) {
    std::fprintf(stderr, "tcore-send: %s: %s\n", what.c_str(), tools::describe(rc).c_str());
    return 1;
}

// The options that take a value, and the message kind each belongs to (empty:
// every kind).
const std::map<std::string, std::string>& valueOptions() {
    static const std::map<std::string, std::string> options = {
        {"--kind", ""},
        {"--host", ""},
        {"--port", ""},
        {"--command", ""},
        {"--subcommand", ""},
        {"--bvname", ""},
        {"--benumber", ""},
        {"--sql1", ""},
        {"--sql2", ""},
        {"--message-id", ""},
        {"--origin-name", ""},
        {"--dest-name", ""},
        {"--wait-reply", ""},
        {"--status", "agent"},
        {"--source-db", "agent"},
        {"--target-db", "agent"},
        {"--fetch-count", "agent"},
        {"--information-resource", "kernel"},
        {"--alias", "kernel"},
        {"--event-message", "log"},
        {"--event-id", "log"},
        {"--process-name", "log"},
    };
    return options;
}

struct Options {
    std::map<std::string, std::string> values;
    bool print = false;

    bool has(const std::string& name) const { return values.count(name) != 0; }
    XQSTRING text(const std::string& name) const {
        auto it = values.find(name);
        return it == values.end() ? XQSTRING() : xqFromMultibyte(it->second);
    }
};

bool number(const Options& o, const std::string& name, long min, long max, long& value, std::string& error) {
    auto it = o.values.find(name);
    if (it == o.values.end()) return true;
    if (tools::parseSigned(it->second, min, max, value)) return true;
    error = name + " needs a number from " + std::to_string(min) + " to " + std::to_string(max) + ", not '" +
            it->second + "'";
    return false;
}

// Fills the message from the options; false and error on a bad value.
bool build(const Options& o, const std::string& kind, std::unique_ptr<XQBaseMessage>& message, std::string& error) {
    long command = 0, subCommand = 0, beNumber = 0, messageId = 0, fetchCount = 0, eventId = 0;
    if (!number(o, "--command", INT_MIN, INT_MAX, command, error) ||
        !number(o, "--subcommand", INT_MIN, INT_MAX, subCommand, error) ||
        !number(o, "--benumber", 0, UINT_MAX, beNumber, error) ||
        !number(o, "--message-id", 0, UINT_MAX, messageId, error) ||
        !number(o, "--fetch-count", 0, UINT_MAX, fetchCount, error) ||
        !number(o, "--event-id", INT_MIN, INT_MAX, eventId, error))
        return false;

    if (kind == "agent") {
        XQAgentMessage* agent = new XQAgentMessage();
        message.reset(agent);
        if (o.has("--status")) agent->StatusMsg = o.text("--status");
        if (o.has("--source-db")) agent->SetSourceDBName(o.text("--source-db"));
        if (o.has("--target-db")) agent->SetTargetDBName(o.text("--target-db"));
        if (o.has("--fetch-count")) agent->SetSourceFetchCount(static_cast<unsigned int>(fetchCount));
    } else if (kind == "kernel") {
        XQKernelMessage* kernel = new XQKernelMessage();
        message.reset(kernel);
        kernel->InformationResource = o.text("--information-resource");
        kernel->AliasName = o.text("--alias");
    } else if (kind == "log") {
        XQLogMessage* log = new XQLogMessage();
        message.reset(log);
        log->EventMessage = o.text("--event-message");
        log->EventID = static_cast<int>(eventId);
        if (o.has("--process-name")) log->SetProcessName(o.text("--process-name"));
    } else {
        message.reset(new XQBaseMessage());
    }
    message->SetCommand(static_cast<ECOMMAND>(command));
    message->SetSubCommand(static_cast<commandType>(subCommand));
    message->SetBVName(o.text("--bvname"));
    message->SetBENumber(static_cast<unsigned int>(beNumber));
    message->SetSQLStmt1(o.text("--sql1"));
    message->SetSQLStmt2(o.text("--sql2"));
    message->SetMessageID(static_cast<unsigned int>(messageId));
    message->SetOriginQueueName(o.has("--origin-name") ? o.text("--origin-name") : XQSTRING(L"tcore-send"));
    message->SetDestQueueName(o.text("--dest-name"));
    message->SetIsRequest(1);
    message->SetReplyNeeded(o.has("--wait-reply") ? 1 : 0);
    return true;
}

// Waits for the reply to our request; requests that arrive meanwhile are
// reported and skipped.
int awaitReply(XQMessageQ& queue, unsigned long timeoutMs, bool print) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                std::chrono::steady_clock::now());
        const unsigned int wait = left.count() > 0 ? static_cast<unsigned int>(left.count()) : 0;
        std::unique_ptr<XQBaseMessage> reply;
        XQRC rc = tools::receiveAny(queue, wait, reply);
        if (rc.code == 9117) {
            std::fprintf(stderr, "tcore-send: no reply within %lu ms\n", timeoutMs);
            return 1;
        }
        if (rc.code != 0) {
            failure("receiving the reply", rc);
            if (wait == 0) return 1;
            continue;
        }
        if (reply->IsRequest != 0) {
            std::fprintf(stderr, "tcore-send: a request (%s message) came in instead of a reply; skipped\n",
                         tools::messageKindName(reply->MessageType).c_str());
            continue;
        }
        if (print) {
            reply->Print(XQSTRING());
            std::fflush(stdout);
        }
        XQRC carried(0, 0, XQRC::WhsSrv);
        reply->GetRCFromReply(carried);
        std::printf("reply (%s message): %s\n", tools::messageKindName(reply->MessageType).c_str(),
                    tools::describe(carried).c_str());
        std::fflush(stdout);
        return carried.code == 0 ? 0 : 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    tools::initProgram();
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        }
        if (a == "--print") {
            o.print = true;
            continue;
        }
        if (valueOptions().count(a) == 0) return usageError("unknown argument '" + a + "'");
        if (i + 1 >= argc) return usageError(a + " needs a value");
        o.values[a] = argv[++i];
    }

    const std::string kind = o.has("--kind") ? o.values["--kind"] : "base";
    if (kind != "base" && kind != "agent" && kind != "kernel" && kind != "log")
        return usageError("--kind is base, agent, kernel or log, not '" + kind + "'");
    for (const auto& v : o.values) {
        const std::string& owner = valueOptions().at(v.first);
        if (!owner.empty() && owner != kind) return usageError(v.first + " belongs to " + owner + " messages");
    }
    unsigned long port = 0, waitMs = 0;
    if (!o.has("--port")) return usageError("--port is required");
    if (!tools::parseUnsigned(o.values["--port"], 65535, port) || port == 0)
        return usageError("--port needs a port number from 1 to 65535");
    if (o.has("--wait-reply") && !tools::parseUnsigned(o.values["--wait-reply"], 24UL * 3600 * 1000, waitMs))
        return usageError("--wait-reply needs a number of milliseconds");
    const XQSTRING host = o.has("--host") ? o.text("--host") : XQSTRING(L"127.0.0.1");
    if (host.empty()) return usageError("--host needs a host name or address");

    std::unique_ptr<XQBaseMessage> message;
    std::string error;
    if (!build(o, kind, message, error)) return usageError(error);
    message->SetDestQueueHost(host);
    message->SetDestQueuePort(static_cast<unsigned int>(port));

    std::unique_ptr<XQMessageQ> replies;
    if (o.has("--wait-reply")) {
        replies.reset(new XQMessageQ());
        XQRC rc = replies->Create(0, 5);
        if (rc.code != 0) return failure("no queue for the reply", rc);
        XQSTRING ownHost;
        xqLocalHostName(ownHost);
        message->SetOriginQueueHost(ownHost);
        message->SetOriginQueuePort(replies->nQueuePort);
    }

    if (o.print) {
        message->Print(XQSTRING());
        std::fflush(stdout);
    }
    int status = 0;
    XQRC rc = message->Send();
    if (rc.code != 0) {
        status = failure("sending to " + xqToMultibyte(host) + ":" + std::to_string(port), rc);
    } else if (replies) {
        status = awaitReply(*replies, waitMs, o.print);
    } else {
        std::printf("sent %s message to %s:%lu\n", kind.c_str(), xqToMultibyte(host).c_str(), port);
    }
    if (replies) {
        XQRC destroyed = replies->Destroy(1);
        if (destroyed.code != 0) failure("closing the reply queue", destroyed);
    }
    return status;
}
