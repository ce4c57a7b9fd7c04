// XQSocket over real loopback connections: frames, faults of raw peers,
// confirmed delivery, connect retries, listening and return codes.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/RawFrame.h"
#include "transport/XQSocket.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// A packed payload of `bytes` bytes: "XQ" then a repeating pattern of
// printable characters.
std::vector<wchar_t> payload(size_t bytes) {
    std::vector<wchar_t> v(bytes / 4);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<wchar_t>(L'A' + i % 26);
    if (v.size() > 0) v[0] = L'X';
    if (v.size() > 1) v[1] = L'Q';
    return v;
}

XQRC sendPayload(const std::vector<wchar_t>& p, unsigned int port, unsigned int timeoutMs = 5000,
                 const XQSTRING& host = L"127.0.0.1") {
    return socketSend(port, p.data(), p.size() * 4, timeoutMs, host);
}

struct Received {
    XQRC rc{0, 0, XQRC::WhsSrv};
    std::vector<unsigned char> bytes;
};

Received receiveOne(XQSocket& rx) {
    Received r;
    unsigned char* data = nullptr;
    int size = 0;
    r.rc = rx.Receive(&data, &size);
    if (r.rc.code == 0) {
        r.bytes.assign(data, data + size);
        std::free(data);
    }
    return r;
}

// A listening XQSocket on a port chosen by the system.
struct Listener {
    XQSocket socket;
    unsigned int port = 0;
    explicit Listener(unsigned int timeoutMs = 5000) {
        socket.SetTimeout(timeoutMs);
        EXPECT_EQ(socket.InitializeReceive(0, 64).code, 0);
        EXPECT_EQ(socket.GetReceivePort(port).code, 0);
    }
};

// Sends p to rx while a thread of its own receives it.
Received sendAndReceive(XQSocket& rx, unsigned int port, const std::vector<wchar_t>& p) {
    Received got;
    std::thread receiver([&] { got = receiveOne(rx); });
    XQRC rc = sendPayload(p, port);
    receiver.join();
    EXPECT_EQ(rc.code, 0);
    return got;
}

void expectWideFrame(const Received& r, const std::vector<wchar_t>& sent) {
    ASSERT_EQ(r.rc.code, 0);
    const size_t bytes = sent.size() * 4;
    ASSERT_EQ(r.bytes.size(), 2 * bytes) << "the wide payload is twice the wire payload";
    ASSERT_EQ(0, std::memcmp(r.bytes.data(), sent.data(), bytes));
    for (size_t i = bytes; i < r.bytes.size(); ++i) ASSERT_EQ(r.bytes[i], 0) << "at " << i;
}

// TIME_WAIT connections whose local or peer side is the port.
int countTimeWait(const char* side, unsigned int port) {
    const std::string cmd =
        "ss -Htan state time-wait '( " + std::string(side) + " = :" + std::to_string(port) + " )'";
    FILE* p = popen((cmd + " 2>/dev/null | wc -l").c_str(), "r");
    int n = -1;
    if (p != nullptr && std::fscanf(p, "%d", &n) != 1) n = -1;
    if (p != nullptr) pclose(p);
    return n;
}

// Senders on several threads: XQMessageQ and ReceivePath.
TEST(XQSocket, FramesOfEverySizeArriveWholeAndOnlyTheReceiverKeepsTimeWait) {
    Listener rx;
    for (size_t bytes : {size_t{4}, size_t{4096}, size_t{1} << 20, size_t{XQ_MAX_FRAME_PAYLOAD}}) {
        SCOPED_TRACE(bytes);
        std::vector<wchar_t> p = payload(bytes);
        expectWideFrame(sendAndReceive(rx.socket, rx.port, p), p);
    }
    // A port that only TIME_WAIT connections use is free to listen on again.
    rx.socket.HaltReceive();
    EXPECT_EQ(XQSocket().InitializeReceive(rx.port, 4).code, 0);
    if (std::system("ss -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "ss (iproute2) is not installed";
    EXPECT_EQ(countTimeWait("dport", rx.port), 0) << "TIME_WAIT sockets on the sending side";
    EXPECT_GT(countTimeWait("sport", rx.port), 0)
        << "the receiver closes first and keeps TIME_WAIT";
}

TEST(XQSocket, SendFrameIsCountThenZeroFilledPayloadUpToTheLimit) {
    XQSocket s;
    unsigned char* data = nullptr;
    ASSERT_EQ(s.InitializeSend(&data, 0x010203).code, 0);
    EXPECT_EQ(std::vector<unsigned char>(data - 4, data), frameCount(0x010203));
    EXPECT_EQ(s.sendByteCount, 0x010203 + 4);
    for (int i = 0; i < 0x010203; ++i) ASSERT_EQ(data[i], 0);

    EXPECT_EQ(XQSocket().InitializeSend(&data, XQ_MAX_FRAME_PAYLOAD).code, 0);
    XQSocket t;
    EXPECT_EQ(t.InitializeSend(&data, XQ_MAX_FRAME_PAYLOAD + 1).code, 6005);
    EXPECT_EQ(t.InitializeSend(&data, -1).code, 6005);
}

TEST(XQSocket, OperationsOutOfOrderGiveTheirCodes) {
    XQSocket s;
    unsigned int port = 1;
    EXPECT_EQ(s.GetReceivePort(port).code, 6001);
    unsigned char* data = nullptr;
    int size = 0;
    EXPECT_EQ(s.Receive(&data, &size).code, 6001);
    EXPECT_EQ(s.HaltReceive().code, 6001);
    EXPECT_EQ(s.Send(L"127.0.0.1", 9).code, 6003);
    s.sendByteCount = 8;  // a count without a frame
    EXPECT_EQ(s.Send(L"127.0.0.1", 9).code, 6003);
}

TEST(XQSocket, RawPeerFaultsAreDroppedAndTheListenerServesTheNext) {
    Listener rx(600);
    for (const RawFault& f : rawFaults()) {
        SCOPED_TRACE(f.what);
        sendRawFault(rx.port, f);
        Received r = receiveOne(rx.socket);
        EXPECT_EQ(r.rc.code, f.socketCode);
        if (f.socketSecondary >= 0) {
            EXPECT_EQ(r.rc.secondaryCode, f.socketSecondary);
        }
        if (f.token1 != nullptr) {
            EXPECT_EQ(r.rc.messageToken1, f.token1);
        }
    }

    // A peer that says nothing, or stalls in its payload, is dropped after the timeout.
    const std::pair<std::vector<unsigned char>, int> stalls[] = {
        {{}, 6108}, {frameCount(100, std::vector<unsigned char>(10, '0')), 6109}};
    for (const auto& stall : stalls) {
        HeldFds peer;
        ASSERT_TRUE(peer.connectPeers(rx.port, 1, stall.first));
        const auto start = Clock::now();
        Received r = receiveOne(rx.socket);
        const double waited = secondsSince(start);
        EXPECT_EQ(r.rc.code, stall.second);
        EXPECT_EQ(r.rc.secondaryCode, ETIMEDOUT);
        EXPECT_GE(waited, 0.5);
        EXPECT_LT(waited, 10.0);
    }

    std::vector<wchar_t> p = payload(1024);
    expectWideFrame(sendAndReceive(rx.socket, rx.port, p), p);
}

// A receiver that closes without confirming gives 6110 too (ReceivePath:
// the memory bound, the allowed list); one that never answers, after the timeout.
TEST(XQSocket, SendFailsWhenTheReceiverNeverConfirms) {
    unsigned int port = 0;
    HeldFds held;
    held.add(rawListen(port));
    ASSERT_EQ(held.fds.size(), 1u);
    const auto start = Clock::now();
    const XQRC rc = sendPayload(payload(4096), port, 500);
    const double waited = secondsSince(start);
    EXPECT_EQ(rc.code, 6110);
    EXPECT_EQ(rc.secondaryCode, ETIMEDOUT);
    EXPECT_EQ(rc.messageToken2, L"4100");
    EXPECT_GE(waited, 0.4);
    EXPECT_LT(waited, 10.0);
}

TEST(XQSocket, ConnectFailuresRetryOnlyRefusalsWithinTheTimeout) {
    // A destination whose backlog is full drops the handshake, as a host that
    // drops packets does.
    unsigned int dropping = 0;
    HeldFds held;
    held.add(rawListen(dropping, 0));
    ASSERT_EQ(held.fds.size(), 1u);
    for (int i = 0; i < 4; ++i) {
        held.add(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        connectLoopback(held.fds.back(), dropping);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    struct Case {
        const char* what;
        const wchar_t* host;
        unsigned int port, timeoutMs;
        int code, error;
        const wchar_t* attempts;  // null: not checked
        double minSeconds, maxSeconds;
        XQRC rc{0, 0, XQRC::WhsSrv};
        double took = 0;
    };
    Case cases[] = {
        // A multicast address cannot take a TCP connection: no retry.
        {"multicast", L"224.0.0.1", 9, 1500, 6105, ENETUNREACH, L"0", 0, 0.9},
        {"packets dropped", L"127.0.0.1", dropping, 1500, 6105, ETIMEDOUT, nullptr, 1.4, 3.0},
        {"refused until the timeout", L"127.0.0.1", unusedLoopbackPort(), 1500, 6106, ECONNREFUSED,
         nullptr, 0, 3.0},
        // Five attempts a second apart, then 6106.
        {"refused throughout", L"127.0.0.1", unusedLoopbackPort(), 10000, 6106, ECONNREFUSED, L"5",
         4.5, 15.0},
    };
    std::vector<std::thread> senders;
    for (Case& c : cases) {
        senders.emplace_back([&c] {
            const auto start = Clock::now();
            c.rc = sendPayload(payload(64), c.port, c.timeoutMs, c.host);
            c.took = secondsSince(start);
        });
    }
    // Refused four times, then a listener appears.
    const unsigned int latePort = unusedLoopbackPort();
    std::vector<wchar_t> p = payload(256);
    Received got;
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(3500));
        XQSocket rx;
        XQRC rc = rx.InitializeReceive(latePort, 8);
        EXPECT_EQ(rc.code, 0);
        if (rc.code == 0) got = receiveOne(rx);
    });
    const auto start = Clock::now();
    EXPECT_EQ(sendPayload(p, latePort, 10000).code, 0);
    const double took = secondsSince(start);
    late.join();
    for (auto& t : senders) t.join();
    EXPECT_GE(took, 3.5);
    EXPECT_LT(took, 12.0);
    expectWideFrame(got, p);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.rc.code, c.code);
        EXPECT_EQ(c.rc.secondaryCode, c.error);
        EXPECT_EQ(c.rc.domain, XQRC::Sockets);
        EXPECT_EQ(c.rc.messageToken1, xqNumber(c.port));
        if (c.attempts != nullptr) {
            EXPECT_EQ(c.rc.messageToken2, c.attempts);
        }
        EXPECT_EQ(c.rc.messageToken3, L"1000");
        EXPECT_GE(c.took, c.minSeconds);
        EXPECT_LT(c.took, c.maxSeconds);
    }
}

// Its log lines are checked with the port range (XQSocketProcess).
TEST(XQSocket, BusyPortIsReported) {
    unsigned int port = 0;
    HeldFds holder;
    holder.add(rawListen(port));
    ASSERT_EQ(holder.fds.size(), 1u);

    XQSocket s;
    XQRC rc = s.InitializeReceive(port, 7);
    EXPECT_EQ(rc.code, 6104);
    EXPECT_EQ(rc.secondaryCode, EADDRINUSE);
}

TEST(XQSocket, ReturnCodesCarryDomainAndContext) {
    setenv("EXEC_NAME", "sockettest --flag", 1);
    XQSocket s;
    XQRC rc(0, 0, XQRC::WhsSrv);
    // Socket errors start at ENOTSOCK (88 on Linux): below it the domain is Windows.
    const std::pair<int, XQRC::domainType> domains[] = {
        {0, XQRC::WhsSrv}, {ENOTSOCK - 1, XQRC::Windows}, {ENOTSOCK, XQRC::Sockets}};
    for (const auto& d : domains) {
        s.FormatXQRC(rc, L"Here::There", d.first, 6105);
        EXPECT_EQ(rc.domain, d.second) << d.first;
    }
    EXPECT_EQ(rc.executableName, L"sockettest --flag");
    XQSTRING host;
    ASSERT_EQ(s.GetHostName(host).code, 0);
    EXPECT_EQ(rc.hostName, host);
    unsetenv("EXEC_NAME");
    if (std::getenv("NVHOSTNAME") == nullptr) {
        char name[256] = {};
        gethostname(name, 255);
        EXPECT_EQ(host, xqFromMultibyte(name)) << "the system's name";
    }
    unsigned int port = 0;
    EXPECT_EQ(s.GetPortByName(L"tcore-no-such-service", port).code, 6115);
}

}  // namespace
