// tcore-listen PORT [--count N] [--port-file F] [--stats]: a queue that
// prints every message arriving on it until interrupted.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "support/ToolSupport.h"
#include "transport/XQMessageQ.h"

namespace {

volatile sig_atomic_t gStop = 0;

void onSignal(int) { gStop = 1; }

// How long one wait lasts before the stop flag is looked at again.
const unsigned int kPollMs = 200;
const int kStatsEverySeconds = 5;

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: tcore-listen PORT [--count N] [--port-file F] [--stats]\n"
                 "Creates a message queue on PORT (0: any free port) and prints every message\n"
                 "that arrives, in full, to standard output, until SIGINT or SIGTERM.\n"
                 "  --count N       stop after N messages\n"
                 "  --port-file F   write the port actually listened on to F (useful with 0)\n"
                 "  --stats         print the queue's receive counters (frames queued and\n"
                 "                  dropped by reason, connections, bytes held) to standard\n"
                 "                  error every 5 seconds and at exit\n"
                 "Exit codes: 0 stopped cleanly, 1 the queue failed, 2 usage.\n");
}

int usageError(const std::string& text) {
    std::fprintf(stderr, "tcore-listen: %s\n", text.c_str());
    std::fprintf(stderr, "Try 'tcore-listen --help'.\n");
    return 2;
}

// Written under a temporary name and renamed, so a reader never sees half a number.
bool writePortFile(const std::string& path, unsigned int port) {
    const std::string temporary = path + ".tmp";
    FILE* f = std::fopen(temporary.c_str(), "w");
    if (f == nullptr) return false;
    bool ok = std::fprintf(f, "%u\n", port) > 0;
    ok = std::fclose(f) == 0 && ok;
    if (ok) ok = std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temporary.c_str());
    return ok;
}

void installHandlers() {
    struct sigaction action = {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// SIGINT and SIGTERM blocked (true) or let through (false) for this thread.
void blockStopSignals(bool block) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    tools::initProgram();
    std::string portText, portFile;
    unsigned long count = 0;
    bool haveCount = false;
    bool stats = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        }
        if (a == "--count" || a == "--port-file") {
            if (i + 1 >= argc) return usageError(a + " needs a value");
            std::string v = argv[++i];
            if (a == "--port-file") {
                if (v.empty()) return usageError("--port-file needs a file name");
                portFile = v;
            } else {
                if (!tools::parseUnsigned(v, 0xFFFFFFFFUL, count) || count == 0)
                    return usageError("--count needs a positive number");
                haveCount = true;
            }
            continue;
        }
        if (a == "--stats") {
            stats = true;
            continue;
        }
        if (a.size() > 1 && a[0] == '-') return usageError("unknown option '" + a + "'");
        if (!portText.empty()) return usageError("one PORT only");
        portText = a;
    }
    unsigned long port = 0;
    if (portText.empty()) return usageError("PORT is required");
    if (!tools::parseUnsigned(portText, 65535, port)) return usageError("'" + portText + "' is not a port number");

    // The receive thread starts with the stop signals blocked, so they land
    // on this thread, which looks at the flag between short waits.
    installHandlers();
    blockStopSignals(true);
    XQMessageQ queue;
    XQRC rc = queue.Create(static_cast<unsigned int>(port), 5);
    blockStopSignals(false);
    if (rc.code != 0) {
        std::fprintf(stderr, "tcore-listen: no queue on port %lu: %s\n", port, tools::describe(rc).c_str());
        return 1;
    }
    int status = 0;
    if (!portFile.empty() && !writePortFile(portFile, queue.nQueuePort)) {
        std::fprintf(stderr, "tcore-listen: cannot write the port file '%s'\n", portFile.c_str());
        status = 1;
        gStop = 1;
    }
    if (status == 0) std::fprintf(stderr, "tcore-listen: listening on port %u\n", queue.nQueuePort);

    unsigned long received = 0;
    auto lastStats = std::chrono::steady_clock::now();
    while (!gStop && (!haveCount || received < count)) {
        if (stats && std::chrono::steady_clock::now() - lastStats >= std::chrono::seconds(kStatsEverySeconds)) {
            std::fprintf(stderr, "tcore-listen: %s\n", tools::describeStats(queue).c_str());
            lastStats = std::chrono::steady_clock::now();
        }
        std::unique_ptr<XQBaseMessage> message;
        rc = tools::receiveAny(queue, kPollMs, message);
        if (rc.code == 9117) continue;
        if (rc.code != 0) {
            // A frame that is no message of ours has been dropped from the queue; go on.
            std::fprintf(stderr, "tcore-listen: %s\n", tools::describe(rc).c_str());
            if (rc.code == 9112) {
                status = 1;
                break;
            }
            continue;
        }
        ++received;
        std::printf("==== message %lu: %s message\n", received, tools::messageKindName(message->MessageType).c_str());
        message->Print(XQSTRING());
        std::fflush(stdout);
    }

    rc = queue.Destroy(1);
    if (rc.code != 0) {
        std::fprintf(stderr, "tcore-listen: closing the queue: %s\n", tools::describe(rc).c_str());
        status = 1;
    }
    std::fprintf(stderr, "tcore-listen: %lu message(s) received\n", received);
    if (stats) std::fprintf(stderr, "tcore-listen: %s\n", tools::describeStats(queue).c_str());
    return status;
}
