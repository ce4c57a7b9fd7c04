// tcore-ping HOST PORT [--name NAME]: whether a queue answers at HOST:PORT.
#include <cstdio>
#include <string>
#include <vector>

#include "support/ToolSupport.h"
#include "transport/XQMessageQ.h"

namespace {

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: tcore-ping HOST PORT [--name NAME]\n"
                 "Sends one ping to the message queue at HOST:PORT and prints \"alive\" when it\n"
                 "was delivered. NAME is the client name the ping carries (default tcore-ping).\n"
                 "A refused connection is retried for a few seconds before it counts.\n"
                 "Exit codes: 0 alive, 1 the ping could not be delivered, 2 usage.\n");
}

int usageError(const std::string& text) {
    std::fprintf(stderr, "tcore-ping: %s\n", text.c_str());
    std::fprintf(stderr, "Try 'tcore-ping --help'.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    tools::initProgram();
    std::vector<std::string> positional;
    std::string name = "tcore-ping";
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        }
        if (a == "--name") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') return usageError("--name needs a value");
            name = argv[++i];
            continue;
        }
        if (a.size() > 1 && a[0] == '-') return usageError("unknown option '" + a + "'");
        positional.push_back(a);
    }
    if (positional.size() != 2) return usageError("HOST and PORT are required");
    unsigned long port = 0;
    if (positional[0].empty()) return usageError("HOST is empty");
    if (!tools::parseUnsigned(positional[1], 65535, port) || port == 0)
        return usageError("'" + positional[1] + "' is not a port number from 1 to 65535");

    // A ping needs no queue of our own to be listening: the object is enough.
    XQMessageQ queue;
    XQRC rc = queue.PingClient(xqFromMultibyte(name), xqFromMultibyte(positional[0]), static_cast<unsigned int>(port));
    if (rc.code != 0) {
        std::fprintf(stderr, "tcore-ping: %s:%lu: %s\n", positional[0].c_str(), port, tools::describe(rc).c_str());
        return 1;
    }
    std::printf("%s:%lu alive\n", positional[0].c_str(), port);
    return 0;
}
