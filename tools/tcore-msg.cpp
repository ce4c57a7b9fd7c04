// tcore-msg CODE [SECONDARY] [--domain D] [tokens...]: the catalogue text of
// a return code, with its message tokens substituted.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/XQResolveMessage.h"
#include "support/ToolSupport.h"

namespace {

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: tcore-msg CODE [SECONDARY] [--domain D] [TOKEN...]\n"
                 "Prints the catalogue text of a return code. D is one of Windows, ODBC,\n"
                 "WhsDDD, WhsSrv (default), WhsClnt, Sockets. Up to ten tokens fill the\n"
                 "inserts of the text in order.\n");
}

}  // namespace

int main(int argc, char** argv) {
    tools::initProgram();
    std::vector<std::string> positional;
    XQRC::domainType domain = XQRC::WhsSrv;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        }
        if (a == "--domain") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tcore-msg: --domain needs a value\n");
                return 2;
            }
            domain = XQRC::domainTypeFromString(xqFromMultibyte(argv[++i]));
            if (XQRC::domainTypeToString(domain) == L"WhsInvDom") {
                std::fprintf(stderr, "tcore-msg: unknown domain '%s'\n", argv[i]);
                return 2;
            }
            continue;
        }
        positional.push_back(a);
    }
    if (positional.empty()) {
        usage(stderr);
        return 2;
    }
    unsigned long code = 0, secondary = 0;
    if (!tools::parseUnsigned(positional[0], 0x7FFFFFFFUL, code)) {
        std::fprintf(stderr, "tcore-msg: '%s' is not a code\n", positional[0].c_str());
        return 2;
    }
    size_t next = 1;
    if (positional.size() > 1 && tools::parseUnsigned(positional[1], 0x7FFFFFFFUL, secondary)) next = 2;
    std::vector<XQSTRING> tokens(10);
    for (size_t i = next, t = 0; i < positional.size(); ++i, ++t) {
        if (t >= 10) {
            std::fprintf(stderr, "tcore-msg: at most ten tokens\n");
            return 2;
        }
        tokens[t] = xqFromMultibyte(positional[i]);
    }
    XQRC rc(static_cast<int>(code), static_cast<int>(secondary), domain);
    rc.SetXQMessage(tokens[0], tokens[1], tokens[2], tokens[3], tokens[4], tokens[5], tokens[6], tokens[7],
                    tokens[8], tokens[9]);
    XQSTRING primary, secondaryText;
    XQResolveMessage resolver;
    XQRC result = resolver.ResolveMsgs(rc, secondaryText, primary, XQSTRING(), 0);
    if (result.code != 0) {
        std::fprintf(stderr, "tcore-msg: %s\n", tools::describe(result).c_str());
        return 1;
    }
    if (primary.empty()) {
        std::fprintf(stderr, "tcore-msg: no catalogue text for %lu\n", code);
        return 1;
    }
    std::printf("%s\n", xqToMultibyte(primary).c_str());
    if (!secondaryText.empty()) std::printf("%s\n", xqToMultibyte(secondaryText).c_str());
    return 0;
}
