// Requests across hosts: where a reply goes when the sender's host name
// resolves to a loopback address. Two hosts of the namespace bed
// (tests/support/hostbed.sh), each host's own name on 127.0.1.1 as on a
// default install.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "support/ChildProcess.h"
#include "transport/XQOriginAddress.h"

namespace {

std::string sourceDir() {
    const char* d = std::getenv("TCORE_SOURCE_DIR");
    return d != nullptr ? d : "";
}
std::string tool(const std::string& name) {
    const char* d = std::getenv("TCORE_BINARY_DIR");
    return std::string(d != nullptr ? d : ".") + "/tools/" + name;
}
std::string bedScript() { return sourceDir() + "/tests/support/hostbed.sh"; }

// Everything that keeps the host address: it is not loopback, or the
// destination is on this host too, or the destination cannot be resolved.
TEST(OriginAddress, KeepsTheHostAddressUnlessItIsLoopbackAndTheDestinationIsNot) {
    struct Case {
        const wchar_t* hostAddress;
        const wchar_t* destination;
    } cases[] = {
        {L"192.0.2.7", L"127.0.0.1"},
        {L"192.0.2.7", L"198.51.100.1"},
        {L"127.0.1.1", L"127.0.0.1"},
        {L"127.0.1.1", L"localhost"},
        {L"127.0.1.1", L"no-such-host.invalid"},
        {L"127.0.0.1", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(XQSTRING(c.hostAddress), xqOriginAddressFor(c.hostAddress, c.destination))
            << xqToMultibyte(c.hostAddress) << " to " << xqToMultibyte(c.destination);
    EXPECT_TRUE(xqIsLoopbackHost(L"127.0.1.1"));
    EXPECT_FALSE(xqIsLoopbackHost(L"192.0.2.7"));
    XQSTRING routed;
    EXPECT_NE(0, xqRouteSourceAddress(L"no-such-host.invalid", routed));
    EXPECT_TRUE(routed.empty());
}

class LoopbackNamedHosts : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        int rc = std::system(("sh '" + bedScript() + "' check >'" + dir.path() + "/why' 2>&1").c_str());
        if (WEXITSTATUS(rc) == 77) GTEST_SKIP() << readWholeFile(dir.path() + "/why");
        ASSERT_EQ(0, std::system(("sh '" + bedScript() + "' up '" + dir.path() + "' " + std::to_string(getpid()) +
                                  " --loopback-names")
                                     .c_str()));
        up = true;
    }
    void TearDown() override {
        if (up) std::system(("sh '" + bedScript() + "' down '" + dir.path() + "'").c_str());
    }
    // A program on a host of the bed.
    ChildProcess* onHost(const std::string& host, const std::string& program, std::vector<std::string> args) {
        args.insert(args.begin(), {bedScript(), "run", dir.path(), host, "--", program});
        return new ChildProcess(dir.path(), "/bin/sh", args);
    }

    TempDir dir;
    bool up = false;
};

// The reply to a request from kernelhost reaches it although kernelhost's
// name resolves to 127.0.1.1 there: the request carries the address of the
// interface that routes to agenthost1.
TEST_F(LoopbackNamedHosts, AReplyFindsItsWayBackToARemoteRequester) {
    std::string portFile = dir.path() + "/agent.port";
    std::unique_ptr<ChildProcess> agent(onHost("agenthost1", tool("tcore-agent"), {"--port-file", portFile}));
    unsigned int port = waitForPortFile(portFile, *agent);
    ASSERT_NE(0u, port) << agent->err();
    auto t0 = std::chrono::steady_clock::now();
    std::unique_ptr<ChildProcess> send(onHost("kernelhost", tool("tcore-send"),
                                              {"--host", "agenthost1", "--port", std::to_string(port), "--kind",
                                               "agent", "--command", "199", "--wait-reply", "8000"}));
    EXPECT_EQ(0, send->wait(20)) << send->out() << send->err() << agent->err();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(6)) << "no reply-send retries";
    EXPECT_NE(std::string::npos, send->out().find("reply (agent message): 0/0")) << send->out();
    EXPECT_EQ(0, agent->wait(10)) << "the agent stopped on request: " << agent->err();
    EXPECT_EQ(std::string::npos, agent->err().find("6106")) << agent->err();
}

}  // namespace
