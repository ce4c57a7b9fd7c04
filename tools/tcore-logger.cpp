// tcore-logger: the system's logger. A message queue that receives log
// records and writes each as one line of its log file.
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/Trace.h"
#include "foundation/TimeStamp.h"
#include "messages/XQLogMessage.h"
#include "support/DemoProtocol.h"
#include "support/DemoSupport.h"
#include "support/ToolSupport.h"
#include "transport/XQMessageQ.h"

namespace {

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: tcore-logger --log FILE [--port PORT] [--port-file FILE]\n"
                 "Receives log records on a message queue (PORT 0 or absent: any free port)\n"
                 "and appends one line per record to FILE, until it receives a stop record\n"
                 "or is interrupted. --port-file receives the port in use once it listens.\n");
}

std::string recordLine(const XQLogMessage& m) {
    std::string line = xqToMultibyte(m.TransmitTS.toStringQL7());
    line += " " + xqToMultibyte(m.BVName.empty() ? XQSTRING(L"-") : m.BVName);
    line += " event=" + std::to_string(m.EventID);
    line += " rows=" + std::to_string(m.BERowCountSoFar);
    line += " bytes=" + std::to_string(m.BEByteCountSoFar);
    if (!m.SourceDBName.empty() || !m.TargetDBName.empty())
        line += " " + xqToMultibyte(m.SourceDBName) + "->" + xqToMultibyte(m.TargetDBName);
    line += " " + xqToMultibyte(m.EventMessage);
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    tools::initProgram();
    std::string logPath, portFile;
    unsigned long port = 0;
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
        if (a == "--log")
            logPath = argv[++i];
        else if (a == "--port-file")
            portFile = argv[++i];
        else if (a == "--port") {
            if (!tools::parseUnsigned(argv[++i], 65535, port)) {
                std::fprintf(stderr, "tcore-logger: '%s' is not a port\n", argv[i]);
                return 2;
            }
        } else {
            usage(stderr);
            return 2;
        }
    }
    if (logPath.empty()) {
        usage(stderr);
        return 2;
    }
    demo::installStopSignals();
    getTraceLock();
    getTraceTS();

    FILE* log = std::fopen(logPath.c_str(), "a");
    if (log == nullptr) {
        std::fprintf(stderr, "tcore-logger: cannot open %s: %s\n", logPath.c_str(), std::strerror(errno));
        return 1;
    }
    XQMessageQ queue;
    XQRC rc = queue.Create(static_cast<unsigned int>(port), 64);
    if (rc.code != 0) {
        std::fprintf(stderr, "tcore-logger: cannot create the queue: %s\n", tools::describe(rc).c_str());
        std::fclose(log);
        return 1;
    }
    if (!portFile.empty() && !demo::writeFileAtomically(portFile, std::to_string(queue.nQueuePort) + "\n")) {
        std::fprintf(stderr, "tcore-logger: cannot write %s\n", portFile.c_str());
        queue.Destroy(1);
        std::fclose(log);
        return 1;
    }
    std::printf("tcore-logger: listening on port %u, writing %s\n", queue.nQueuePort, logPath.c_str());
    std::fflush(stdout);

    unsigned long records = 0;
    int status = 0;
    while (!demo::stopRequested.load()) {
        XQLogMessage record;
        rc = queue.Receive(record, 500);
        if (rc.code == 9117) continue;
        if (rc.code != 0) {
            // A damaged record is dropped by the queue; the logger goes on.
            std::fprintf(stderr, "tcore-logger: %s\n", tools::describe(rc).c_str());
            continue;
        }
        if (record.Command == demo::CmdStop) break;
        std::string line = recordLine(record) + "\n";
        std::fputs(line.c_str(), log);
        std::fflush(log);
        ++records;
    }
    rc = queue.Destroy(1);
    if (rc.code != 0) {
        std::fprintf(stderr, "tcore-logger: stopping the queue: %s\n", tools::describe(rc).c_str());
        status = 1;
    }
    std::fclose(log);
    std::printf("tcore-logger: %lu records written\n", records);
    return status;
}
