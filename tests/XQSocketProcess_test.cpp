// Socket behaviour fixed once per process: the host name (NVHOSTNAME), the
// TLS settings and allowed peers, and the firewall port range from the
// services database. Each case runs this program
// again in a child process, with its environment and, for the port range, in
// private mount and network namespaces where a services file of the test's
// own is mounted over /etc/services. The child cases are DISABLED_ so that
// only the children run them.

#include <gtest/gtest.h>

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "messages/XQBaseMessage.h"
#include "support/ChildProcess.h"
#include "support/RawFrame.h"
#include "support/TestCerts.h"
#include "transport/XQMessageQ.h"
#include "transport/XQSocket.h"
#include "transport/XQTls.h"

extern char** environ;

namespace {

const int kSkip = 77;

// Files bind-mounted over system files in a child: {source, target}.
using Mounts = std::vector<std::pair<std::string, std::string>>;

// Runs this program's DISABLED_ case `filter` in a child with extra
// environment entries; with mounts, inside new mount and network namespaces
// with those files mounted. Returns the exit status, kSkip when the
// namespaces cannot be made here.
int runChild(const std::string& filter, const std::vector<std::string>& extraEnv, const Mounts& mounts) {
    // The extra entries first: they are the ones found.
    std::vector<std::string> env = extraEnv;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    std::string exe = "/proc/self/exe";
    std::string filterArg = "--gtest_filter=" + filter;
    std::string disabled = "--gtest_also_run_disabled_tests";
    char* argv[] = {&exe[0], &filterArg[0], &disabled[0], nullptr};
    std::fflush(stdout);

    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (!mounts.empty()) {
            if (unshare(CLONE_NEWNS | CLONE_NEWNET) != 0) _exit(kSkip);
            if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(kSkip);
            for (const auto& m : mounts)
                if (mount(m.first.c_str(), m.second.c_str(), nullptr, MS_BIND, nullptr) != 0) _exit(kSkip);
            // The new network namespace starts with its loopback down.
            int s = socket(AF_INET, SOCK_DGRAM, 0);
            ifreq ifr{};
            std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
            if (s < 0 || ioctl(s, SIOCGIFFLAGS, &ifr) != 0) _exit(kSkip);
            ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
            if (ioctl(s, SIOCSIFFLAGS, &ifr) != 0) _exit(kSkip);
            close(s);
        }
        execve(argv[0], argv, envp.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return -1;
}

// Settings read once per process: each case runs in a child of its own.
TEST(XQSocketProcess, SettingsFromTheEnvironmentAndSystemFiles) {
    char name[256] = {};
    gethostname(name, 255);
    ASSERT_STRNE(name, "localhost") << "the system's own name must differ for this test to mean anything";
    TempDir temp;
    const std::string& dir = temp.path();
    ASSERT_FALSE(dir.empty());
    const std::string services = dir + "/services", minOnly = dir + "/min-services",
                      hosts = dir + "/hosts";
    std::ofstream(services) << "ORX_MIN\t\t6000/tcp\nORX_MAX\t\t6002/tcp\n";
    std::ofstream(minOnly) << "ORX_MIN\t\t6000/tcp\n";
    std::ofstream(hosts) << "127.0.0.1\tlocalhost\n";
    TestPki pki(dir);
    const TestCert ca = pki.authority("ca");
    const TestCert host = pki.host("host", "DNS:localhost,IP:127.0.0.1", ca);
    struct Case {
        std::string child;
        std::vector<std::string> env;
        Mounts mounts;
    };
    const Case cases[] = {
        {"HostNameChild", {"NVHOSTNAME=localhost"}, {}},
        {"FirewallChild", {"XQS_LOGGING=" + dir}, {{services, "/etc/services"}}},
        {"MinOnlyChild", {}, {{minOnly, "/etc/services"}}},
        {"FlakyResolverChild",
         {"NVHOSTNAME=tcore-flaky-host", "TCORE_TEST_HOSTS=" + hosts},
         {{hosts, "/etc/hosts"}}},
        // The TLS children run in the C locale: ASCII text on the wire.
        {"TlsChild",
         {"TCORE_TLS_CA=" + ca.cert, "TCORE_TLS_CERT=" + host.cert, "TCORE_TLS_KEY=" + host.key,
          "TCORE_EXPECT_CODE=0", "NVHOSTNAME=localhost", "LC_ALL=C"},
         {}},
        {"TlsChild", {"TCORE_TLS_CA=" + ca.cert, "TCORE_EXPECT_CODE=6120", "LC_ALL=C"}, {}},
        {"TlsChild",
         {"TCORE_ALLOW_PEERS=127.0.0.1,10.0.0.0/33", "TCORE_EXPECT_CODE=6124", "LC_ALL=C"},
         {}},
    };
    bool skipped = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.child + " " + (c.env.empty() ? "" : c.env[0]));
        const int rc = runChild("*DISABLED_" + c.child + "*", c.env, c.mounts);
        skipped = skipped || rc == kSkip;
        if (rc != kSkip) {
            EXPECT_EQ(rc, 0);
        }
    }
    if (skipped) GTEST_SKIP() << "private mount and network namespaces are not allowed here";
}

// ---- cases run by the children ----

XQRC sendText(const XQSTRING& host, unsigned int port) {
    const wchar_t text[32] = L"XQBase    firewall";
    return socketSend(port, text, sizeof text, 5000, host);
}

TEST(DISABLED_HostNameChild, NameReplacesTheSystemName) {
    XQSocket s;
    XQSTRING name;
    ASSERT_EQ(s.GetHostName(name).code, 0);
    EXPECT_EQ(name, L"localhost");
    XQSTRING address;
    ASSERT_EQ(s.GetInetAddr(address).code, 0);
    EXPECT_EQ(address, L"127.0.0.1");
    unsigned int port = 0;
    EXPECT_EQ(s.GetReceivePort(port).hostName, L"localhost") << "in return codes too";
}

size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(DISABLED_FirewallChild, ListenersAndSendersWalkTheRange) {
    const std::string log = std::string(std::getenv("XQS_LOGGING")) + "/ORV2LOGC.LOG";
    // Listeners take the range's ports in turn, starting after its first.
    std::unique_ptr<XQSocket> s[3];
    unsigned int ports[3] = {};
    for (int i = 0; i < 3; ++i) {
        s[i].reset(new XQSocket);
        ASSERT_EQ(s[i]->InitializeReceive(0, 8).code, 0);
        s[i]->GetReceivePort(ports[i]);
        EXPECT_EQ(ports[i], 6000u + (i + 1) % 3);
    }
    const unsigned int pa = ports[0];
    ASSERT_EQ(FireWallStatus.load(), 1);
    EXPECT_EQ(FireWallMinPort.load(), 6000u);
    EXPECT_EQ(FireWallMaxPort.load(), 6002u);
    EXPECT_EQ(FireWallNPorts.load(), 3u);

    // Every port of the range is taken: a fourth listener and any sender are out of ports.
    XQSocket d;
    XQRC rc = d.InitializeReceive(0, 8);
    EXPECT_EQ(rc.code, 6104);
    EXPECT_EQ(countOf(readWholeFile(log), ">>>> vsbase:: Out Of Socket\n"), 1u);

    auto start = std::chrono::steady_clock::now();
    rc = sendText(L"127.0.0.1", pa);
    EXPECT_EQ(rc.code, 6105);
    EXPECT_TRUE(rc.secondaryCode == EADDRINUSE || rc.secondaryCode == EADDRNOTAVAIL) << rc.secondaryCode;
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.9)
        << "no retries when the range is exhausted";
    std::string text = readWholeFile(log);
    EXPECT_EQ(countOf(text, ">>>> vsbase:: Out Of Socket\n"), 2u);
    EXPECT_NE(text.find(">>>> vsbase:: ORX_MIN=6000\n>>>> vsbase:: ORX_MAX=6002\n"), std::string::npos) << text;

    // With 6000 free again, a send to the listener on 6001 leaves from 6000.
    s[2].reset();
    unsigned char* data = nullptr;
    int size = 0;
    XQRC received(0, 0, XQRC::WhsSrv);
    std::thread receiver([&] { received = s[0]->Receive(&data, &size); });
    rc = sendText(L"127.0.0.1", pa);
    receiver.join();
    EXPECT_EQ(rc.code, 0);
    ASSERT_EQ(received.code, 0);
    EXPECT_EQ(size, 256);
    EXPECT_EQ(0, std::memcmp(data, L"XQBase    firewall", 18 * sizeof(wchar_t)));
    std::free(data);
    EXPECT_EQ(FireWallLastPort.load(), 6000u);

    // A listener on a port asked for by number also moves the range on.
    s[1].reset();
    XQSocket e;
    ASSERT_EQ(e.InitializeReceive(6002, 8).code, 0);
    EXPECT_EQ(FireWallLastPort.load(), 6002u);

    // A name that cannot be resolved (no name server in this namespace).
    rc = sendText(L"tcore-no-such-host.invalid", pa);
    EXPECT_EQ(rc.code, 6113);
    EXPECT_EQ(rc.messageToken1, L"tcore-no-such-host.invalid");
}

TEST(DISABLED_FlakyResolverChild, AFailureIsNotKept) {
    XQSocket s;
    XQSTRING address;
    XQRC rc = s.GetInetAddr(address);
    EXPECT_EQ(rc.code, 6113) << "the host name is not in the hosts file yet";
    // The resolver answers again (written in place: the mount shows the file).
    std::ofstream(std::getenv("TCORE_TEST_HOSTS"), std::ios::trunc) << "127.0.0.1\tlocalhost\n127.0.0.2\ttcore-flaky-host\n";
    ASSERT_EQ(s.GetInetAddr(address).code, 0);
    EXPECT_EQ(address, L"127.0.0.2");
}

TEST(DISABLED_MinOnlyChild, RangeStaysOff) {
    XQSocket s;
    EXPECT_EQ(FireWallStatus.load(), 2);
    unsigned int minPort = 0;
    EXPECT_EQ(s.GetPortByName(L"ORX_MIN", minPort).code, 0);
    EXPECT_EQ(minPort, 6000u);
    ASSERT_EQ(s.InitializeReceive(0, 8).code, 0);
    unsigned int port = 0;
    s.GetReceivePort(port);
    EXPECT_TRUE(port < 6000 || port > 6002) << port;
}

TEST(DISABLED_TlsChild, CreateGivesTheExpectedCode) {
    const int expected = std::atoi(std::getenv("TCORE_EXPECT_CODE"));
    XQMessageQ q;
    EXPECT_EQ(q.Create(0, 8).code, expected);
    if (expected == 0) {
        EXPECT_TRUE(xqTlsEnabled());
        XQBaseMessage m;
        m.SetDestQueueHost(L"127.0.0.1");
        m.SetDestQueuePort(q.nQueuePort);
        m.SetIsRequest(1);
        EXPECT_EQ(m.Send().code, 0);
        EXPECT_EQ(q.Receive(m, 2000).code, 0);
        q.Destroy(1);
    }
}

}  // namespace
