// tcore-daemon: the agent daemon of a host. Kernels ask it, on its message
// queue, to start agents on this host under a named user; it answers with the
// agent's queue port, tells the kernel when the agent ends, and stops agents
// on request and when it is told to end (SIGTERM, SIGINT).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "db/XQConfiguration.h"
#include "foundation/Trace.h"
#include "support/AgentDaemon.h"
#include "support/DemoSupport.h"
#include "support/ToolSupport.h"
#include "transport/XQSocket.h"

namespace {

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: tcore-daemon (--port PORT | --service NAME | --control-dsn DSN [--prefix P])\n"
                 "                    --allowed-users FILE [options]\n"
                 "Starts agents on this host for the kernels that ask, each under the\n"
                 "operating-system user the request names, from $QL7DIR/bin (QL7DIR must be set).\n"
                 "Where the queue listens (one of):\n"
                 "  --port PORT            this port\n"
                 "  --service NAME         the port of the TCP service NAME (services database)\n"
                 "  --control-dsn DSN      the service named by the setting DAEMONSERVICENAME of\n"
                 "                         the configuration store in data source DSN\n"
                 "  --prefix P             the store's schema prefix (default tcore)\n"
                 "  --control-user U, --control-password-file F  login to DSN (default: the DSN's)\n"
                 "Options:\n"
                 "  --allowed-users FILE   users agents may run as, one a line ('#' comments);\n"
                 "                         root only when listed. Read at every start request.\n"
                 "  --max-agents N         agents running at once (default 8)\n"
                 "  --start-timeout MS     time an agent has to open its queue (default 30000)\n"
                 "  --stop-grace MS        time a stopped agent has to end before it is killed\n"
                 "                         (default 5000)\n"
                 "  --port-file FILE       write the queue's port to FILE once it listens\n"
                 "  --trace LEVEL          trace level of the library (default 0)\n"
                 "Exit status: 0 after SIGTERM or SIGINT (every agent stopped), 1 when the\n"
                 "queue cannot be opened or the port not found, 2 on a usage error.\n");
}

int usageError(const std::string& text) {
    std::fprintf(stderr, "tcore-daemon: %s\nTry 'tcore-daemon --help'.\n", text.c_str());
    return 2;
}

struct Options {
    unsigned long port = 0, maxAgents = 8, startTimeout = 30000, stopGrace = 5000, trace = 0;
    bool portGiven = false;
    std::string service, controlDsn, prefix = "tcore", controlUser, controlPasswordFile, allowedUsers, portFile;
};

// The port of a service name, from the services database.
XQRC portOfService(const std::string& service, unsigned int& port) {
    XQSocket socket;
    return socket.GetPortByName(xqFromMultibyte(service), port);
}

// DAEMONSERVICENAME from the configuration store.
XQRC serviceFromStore(const Options& o, std::string& service) {
    std::string password;
    if (!o.controlPasswordFile.empty() && demo::readFile(o.controlPasswordFile, password))
        while (!password.empty() && (password.back() == '\n' || password.back() == '\r')) password.pop_back();
    XQRC rc = XQConfiguration::init(xqFromMultibyte(o.controlDsn), xqFromMultibyte(o.prefix),
                                    xqFromMultibyte(o.controlUser), xqFromMultibyte(password), 0);
    if (rc.code == 0) service = xqToMultibyte(XQConfiguration::getValueString(COMPONENT_DDD, L"DAEMONSERVICENAME", rc));
    XQConfiguration::terminate();
    return rc;
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
        if (i + 1 >= argc) return usageError(a + " needs a value");
        std::string v = argv[++i];
        bool good = true;
        if (a == "--port")
            good = o.portGiven = tools::parseUnsigned(v, 65535, o.port);
        else if (a == "--service")
            o.service = v;
        else if (a == "--control-dsn")
            o.controlDsn = v;
        else if (a == "--prefix")
            o.prefix = v;
        else if (a == "--control-user")
            o.controlUser = v;
        else if (a == "--control-password-file")
            o.controlPasswordFile = v;
        else if (a == "--allowed-users")
            o.allowedUsers = v;
        else if (a == "--port-file")
            o.portFile = v;
        else if (a == "--max-agents")
            good = tools::parseUnsigned(v, 1000, o.maxAgents);
        else if (a == "--start-timeout")
            good = tools::parseUnsigned(v, 3600000, o.startTimeout) && o.startTimeout > 0;
        else if (a == "--stop-grace")
            good = tools::parseUnsigned(v, 3600000, o.stopGrace);
        else if (a == "--trace")
            good = tools::parseUnsigned(v, 10, o.trace);
        else
            return usageError("unknown option " + a);
        if (!good) return usageError("bad value for " + a + ": " + v);
    }
    if (static_cast<int>(o.portGiven) + !o.service.empty() + !o.controlDsn.empty() != 1)
        return usageError("give exactly one of --port, --service and --control-dsn");
    if (o.allowedUsers.empty()) return usageError("--allowed-users is required");
    const char* installDir = std::getenv("QL7DIR");
    if (installDir == nullptr || *installDir == '\0') return usageError("QL7DIR is not set");

    demo::installStopSignals();
    tools::defaultOdbcSysIni();
    getTraceLock();
    getTraceTS();
    setDebugTcore(static_cast<int>(o.trace));

    unsigned int port = static_cast<unsigned int>(o.port);
    if (!o.portGiven) {
        std::string service = o.service;
        XQRC rc(0, 0, XQRC::WhsSrv);
        if (service.empty()) rc = serviceFromStore(o, service);
        if (rc.code == 0) rc = portOfService(service, port);
        if (rc.code != 0) {
            std::fprintf(stderr, "tcore-daemon: no port for the daemon's queue: %s\n", tools::describe(rc).c_str());
            return 1;
        }
    }
    demo::AgentDaemon::Settings settings;
    settings.allowedUsersFile = o.allowedUsers;
    settings.maxAgents = static_cast<unsigned int>(o.maxAgents);
    settings.startTimeoutMs = static_cast<unsigned int>(o.startTimeout);
    settings.stopGraceMs = static_cast<unsigned int>(o.stopGrace);
    settings.installDir = installDir;
    demo::AgentDaemon daemon(settings);
    XQRC rc = daemon.open(port);
    if (rc.code != 0) {
        std::fprintf(stderr, "tcore-daemon: cannot open the queue on port %u: %s\n", port, tools::describe(rc).c_str());
        return 1;
    }
    if (!o.portFile.empty() && !demo::writeFileAtomically(o.portFile, std::to_string(daemon.port()) + "\n")) {
        std::fprintf(stderr, "tcore-daemon: cannot write %s\n", o.portFile.c_str());
        daemon.shutdown();
        return 1;
    }
    std::printf("tcore-daemon: listening on port %u, programs from %s/bin, at most %lu agents\n", daemon.port(),
                installDir, o.maxAgents);
    std::fflush(stdout);
    while (!demo::stopRequested.load()) daemon.step(200);
    std::printf("tcore-daemon: stopping %zu agents\n", daemon.agentCount());
    std::fflush(stdout);
    daemon.shutdown();
    std::printf("tcore-daemon: stopped\n");
    return 0;
}
