// The receive path of a queue against hostile, broken and many peers, over
// real loopback connections. Timeouts are short and every wait is bounded.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "messages/XQBaseMessage.h"
#include "support/QueueTestSupport.h"
#include "support/RawFrame.h"
#include "transport/XQMessageQ.h"
#include "transport/XQSocket.h"

namespace {


// Descriptors a test holds open; closed at the end of the scope.
struct Fds {
    std::vector<int> fds;
    ~Fds() { closeAll(); }
    void add(int fd) {
        if (fd >= 0) fds.push_back(fd);
    }
    void closeAll() {
        for (int fd : fds) close(fd);
        fds.clear();
    }
};

void raiseDescriptorLimit(rlim_t want) {
    rlimit l{};
    getrlimit(RLIMIT_NOFILE, &l);
    if (l.rlim_cur < want) {
        l.rlim_cur = l.rlim_max == RLIM_INFINITY || l.rlim_max >= want ? want : l.rlim_max;
        setrlimit(RLIMIT_NOFILE, &l);
    }
}

// A created queue whose connections each have timeoutMs for their frame.
struct Queue {
    XQMessageQ q;
    explicit Queue(unsigned int timeoutMs, const XQReceiveLimits& limits = XQReceiveLimits()) {
        const unsigned int previous = XQSocket::GetDefaultTimeout();
        XQSocket::SetDefaultTimeout(timeoutMs);
        q.SetReceiveLimits(limits);
        EXPECT_EQ(q.Create(0, 1024).code, 0);
        XQSocket::SetDefaultTimeout(previous);
    }
    ~Queue() { q.Destroy(1); }
    unsigned int port() const { return q.nQueuePort; }
};

XQRC sendGood(unsigned int port, const XQSTRING& name) { return sendBase(port, name); }

// The wire payload of a message: packed, then UCS-2 big-endian.
std::vector<unsigned char> wirePayload(unsigned int port, const XQSTRING& name) {
    XQBaseMessage m = addressed(port, name);
    const unsigned int size = m.CalculateSize();
    std::vector<unsigned char> bytes(size, 0);
    m.PackMessage(bytes.data(), size);
    std::wstring text(size / sizeof(wchar_t), L'\0');
    std::memcpy(&text[0], bytes.data(), text.size() * sizeof(wchar_t));
    return ucs2be(text);
}

std::vector<unsigned char> concat(std::vector<unsigned char> a, const std::vector<unsigned char>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A peer that sends 4 MiB less 4 bytes of payload through the library.
XQRC sendLargest(unsigned int port, unsigned int timeoutMs = 10000) {
    XQSocket s;
    s.SetTimeout(timeoutMs);
    unsigned char* data = nullptr;
    XQRC rc = s.InitializeSend(&data, static_cast<int>(XQ_MAX_FRAME_PAYLOAD));
    if (rc.code != 0) return rc;
    const wchar_t head[] = L"XQ";
    std::memcpy(data, head, 2 * sizeof(wchar_t));
    for (size_t i = 2; i < XQ_MAX_FRAME_PAYLOAD / sizeof(wchar_t); ++i) {
        const wchar_t c = static_cast<wchar_t>(L'a' + i % 26);
        std::memcpy(data + i * sizeof(wchar_t), &c, sizeof c);
    }
    return s.Send(L"127.0.0.1", port);
}

long peakResidentKb() {
    std::ifstream in("/proc/self/status");
    std::string key;
    long value = 0;
    while (in >> key) {
        if (key == "VmHWM:") {
            in >> value;
            return value;
        }
        in.ignore(1 << 10, '\n');
    }
    return 0;
}

}  // namespace

TEST(ReceivePath, SilentAndStalledPeersDelayNoGoodSender) {
    struct Stall {
        const char* what;
        std::vector<unsigned char> bytes;
    };
    const std::vector<Stall> stalls = {
        {"connects and sends nothing", {}},
        {"sends two count bytes", {0, 0}},
        {"sends 10 of 1,000 announced bytes", concat(frameCount(1000), std::vector<unsigned char>(10, 'x'))},
    };
    for (const Stall& stall : stalls) {
        for (int peers : {1, 3, 20}) {
            SCOPED_TRACE(std::string(stall.what) + ", peers " + std::to_string(peers));
            Queue queue(30000);
            Fds held;
            for (int i = 0; i < peers; ++i) {
                const int fd = rawConnect(queue.port());
                ASSERT_GE(fd, 0);
                ASSERT_TRUE(stall.bytes.empty() || rawWrite(fd, stall.bytes.data(), stall.bytes.size()));
                held.add(fd);
            }
            expectPromptDelivery(queue.q, L"good");
        }
    }
}

TEST(ReceivePath, EachConnectionHasItsOwnDeadline) {
    Queue queue(300);
    Fds held;
    for (int i = 0; i < 3; ++i) held.add(rawConnect(queue.port()));
    const auto start = Clock::now();
    ASSERT_TRUE(eventually([&] { return queue.q.GetReceiveStats().droppedDeadline == 3; }));
    EXPECT_GE(secondsSince(start), 0.25);
    // The peers see their connections closed.
    for (int fd : held.fds) {
        char c;
        pollfd p{fd, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 2000), 1);
        EXPECT_LE(recv(fd, &c, 1, 0), 0);
    }
}

TEST(ReceivePath, ReconnectingDrippersDelayNoGoodSender) {
    Queue queue(5000);
    std::atomic<bool> stop{false};
    std::vector<std::thread> drippers;
    for (int d = 0; d < 3; ++d) {
        drippers.emplace_back([&] {
            // One byte every 100 ms; a new connection whenever the queue drops this one.
            for (int connection = 0; connection < 50 && !stop.load(); ++connection) {
                const int fd = rawConnect(queue.port());
                if (fd < 0) return;
                const std::vector<unsigned char> count = frameCount(1000);
                bool alive = rawWrite(fd, count.data(), count.size());
                for (int i = 0; i < 100 && alive && !stop.load(); ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    alive = rawWrite(fd, "x", 1);
                }
                close(fd);
            }
        });
    }
    for (int i = 0; i < 6; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        expectPromptDelivery(queue.q, L"good " + std::to_wstring(i));
    }
    stop.store(true);
    for (auto& t : drippers) t.join();
    EXPECT_EQ(queue.q.GetReceiveStats().framesQueued, 6u);
}

TEST(ReceivePath, TwoThousandIdleConnectionsDelayNoGoodSender) {
    raiseDescriptorLimit(8192);
    Queue queue(30000);
    Fds held;
    for (int i = 0; i < 2000; ++i) {
        const int fd = rawConnect(queue.port());
        ASSERT_GE(fd, 0) << "connection " << i;
        held.add(fd);
    }
    expectPromptDelivery(queue.q, L"after the flood");
    const XQReceiveStats stats = queue.q.GetReceiveStats();
    EXPECT_GE(stats.connectionsAccepted, 2001u);
    EXPECT_GE(stats.connectionsDropped, 2000u - queue.q.GetReceiveLimits().maxConnections);
}

TEST(ReceivePath, BrokenPeersAreDroppedCountedAndNeverQueued) {
    struct Fault {
        const char* what;
        std::vector<unsigned char> bytes;
        bool reset;
        std::uint64_t XQReceiveStats::*counter;
    };
    const std::vector<Fault> faults = {
        {"count 0", frameCount(0), false, &XQReceiveStats::droppedMalformed},
        {"count above the limit", frameCount(XQ_MAX_FRAME_PAYLOAD + 1), false, &XQReceiveStats::droppedOversize},
        {"count 0xFFFFFFFF", frameCount(0xFFFFFFFFu), false, &XQReceiveStats::droppedOversize},
        {"cut short", concat(frameCount(100), std::vector<unsigned char>(10, 0)), false,
         &XQReceiveStats::droppedMalformed},
        {"reset mid-frame", concat(frameCount(100), std::vector<unsigned char>(10, 0)), true,
         &XQReceiveStats::droppedMalformed},
        {"odd count, no UCS-2", concat(frameCount(3), {0, 'X', 0}), false, &XQReceiveStats::droppedMalformed},
    };
    Queue queue(2000);
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.what);
        const std::uint64_t before = queue.q.GetReceiveStats().*f.counter;
        const int fd = rawConnect(queue.port());
        ASSERT_GE(fd, 0);
        rawWrite(fd, f.bytes.data(), f.bytes.size());
        if (f.reset) {
            linger hard{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        } else {
            shutdown(fd, SHUT_WR);
        }
        close(fd);
        EXPECT_TRUE(eventually([&] { return queue.q.GetReceiveStats().*f.counter == before + 1; }));
        expectPromptDelivery(queue.q, L"after a broken peer");
    }
    EXPECT_EQ(queue.q.GetReceiveStats().framesQueued, faults.size());
}

TEST(ReceivePath, OnlyTheQueuesOwnDestroyStopsIt) {
    Queue queue(30000);
    ASSERT_TRUE(sendRawFrame(queue.port(), ucs2be(L"STOP RECEIVING")));
    expectPromptDelivery(queue.q, L"after a foreign stop");
    EXPECT_EQ(queue.q.GetReceiveStats().droppedForeignStop, 1u);

    // Stalled peers do not hold Destroy up.
    Fds held;
    for (int i = 0; i < 20; ++i) held.add(rawConnect(queue.port()));
    const auto start = Clock::now();
    EXPECT_EQ(queue.q.Destroy(1).code, 0);
    EXPECT_LT(secondsSince(start), 3.0);
}

TEST(ReceivePath, QueueSurvivesTheDescriptorLimitAndDestroyStillEnds) {
    Queue queue(2000);
    Queue other(2000);
    const int waiting = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(waiting, 0);
    Fds held;
    held.add(waiting);
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit low = saved;
    low.rlim_cur = 512;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    Fds filler;
    for (int i = 0; i < 512; ++i) {
        const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0) break;
        filler.add(fd);
    }
    ASSERT_LT(open("/dev/null", O_RDONLY | O_CLOEXEC), 0) << "the process is not at its limit";

    // A peer arriving now cannot be given a descriptor: it is taken and closed.
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(queue.port()));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(waiting, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    EXPECT_TRUE(eventually([&] { return queue.q.GetReceiveStats().connectionsDropped >= 1; }, 3000));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(queue.q.GetReceiveStats().connectionsDropped, 1u) << "one peer, one refusal";
    // Destroy cannot even make its sending socket, and still ends the thread.
    const auto start = Clock::now();
    EXPECT_EQ(other.q.Destroy(1).code, 0);
    EXPECT_LT(secondsSince(start), 3.0);

    filler.closeAll();
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    expectPromptDelivery(queue.q, L"after the limit");
}

TEST(ReceivePath, HeldBytesStayWithinTheBound) {
    const std::uint64_t frameHeld = 2ull * XQ_MAX_FRAME_PAYLOAD;
    XQReceiveLimits limits;
    limits.maxHeldBytes = 3 * frameHeld + 1000;
    Queue queue(10000, limits);
    std::vector<int> codes;
    for (int i = 0; i < 5; ++i) codes.push_back(sendLargest(queue.port()).code);
    EXPECT_EQ(codes, (std::vector<int>{0, 0, 0, 6110, 6110}));
    XQReceiveStats stats = queue.q.GetReceiveStats();
    EXPECT_EQ(stats.droppedMemory, 2u);
    EXPECT_EQ(stats.bytesHeld, 3 * frameHeld);
    EXPECT_LE(stats.bytesHeldPeak, limits.maxHeldBytes);
    // Reading makes room again.
    EXPECT_EQ(queue.q.Purge(0xFFFFFFFFu).code, 0);
    EXPECT_EQ(queue.q.GetReceiveStats().bytesHeld, 0u);
    EXPECT_EQ(sendLargest(queue.port()).code, 0);
}

TEST(ReceivePath, HundredLargestFramesToAnIdleReaderUnderTheDefaultBound) {
    Queue queue(10000);
    const long peakBefore = peakResidentKb();
    int delivered = 0;
    for (int i = 0; i < 100; ++i) delivered += sendLargest(queue.port()).code == 0;
    const XQReceiveStats stats = queue.q.GetReceiveStats();
    EXPECT_EQ(stats.framesQueued, static_cast<std::uint64_t>(delivered));
    EXPECT_EQ(stats.droppedMemory, static_cast<std::uint64_t>(100 - delivered));
    EXPECT_LE(stats.bytesHeldPeak, XQReceiveLimits().maxHeldBytes);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LT(peakResidentKb() - peakBefore, 400L * 1024) << "kB of peak resident memory";
#else
    (void)peakBefore;
#endif
}

TEST(ReceivePath, SendEndsWithinItsTimeout) {
    // A destination whose backlog is full drops the handshake, as a host that
    // drops packets does.
    const int full = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(full, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(full, 0), 0);
    socklen_t len = sizeof a;
    getsockname(full, reinterpret_cast<sockaddr*>(&a), &len);
    const unsigned int dropping = ntohs(a.sin_port);
    Fds held;
    held.add(full);
    for (int i = 0; i < 4; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        held.add(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    struct Case {
        const char* what;
        unsigned int port;
        int code;
        int error;
    };
    const std::vector<Case> cases = {
        {"packets dropped", dropping, 6105, ETIMEDOUT},
        {"refused throughout", unusedLoopbackPort(), 6106, ECONNREFUSED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        XQSocket s;
        s.SetTimeout(1500);
        unsigned char* data = nullptr;
        ASSERT_EQ(s.InitializeSend(&data, 64).code, 0);
        const auto start = Clock::now();
        const XQRC rc = s.Send(L"127.0.0.1", c.port);
        const double took = secondsSince(start);
        EXPECT_EQ(rc.code, c.code);
        EXPECT_EQ(rc.secondaryCode, c.error);
        EXPECT_LT(took, 3.0);
        if (c.code == 6105) {
            EXPECT_GE(took, 1.4);
        }
    }
}

TEST(ReceivePath, AThousandPeersAtOnceLoseNothing) {
    raiseDescriptorLimit(8192);
    Queue queue(10000);
    const int peers = 1000;
    Fds conns;
    for (int i = 0; i < peers; ++i) {
        const int fd = rawConnect(queue.port());
        ASSERT_GE(fd, 0) << i;
        conns.add(fd);
    }
    for (int i = 0; i < peers; ++i) {
        const std::vector<unsigned char> payload = wirePayload(queue.port(), L"peer " + std::to_wstring(i));
        const std::vector<unsigned char> frame = concat(frameCount(static_cast<uint32_t>(payload.size())), payload);
        ASSERT_TRUE(rawWrite(conns.fds[i], frame.data(), frame.size()));
    }
    std::set<XQSTRING> names;
    for (int i = 0; i < peers; ++i) {
        XQBaseMessage m;
        const XQRC rc = queue.q.Receive(m, 5000);
        ASSERT_EQ(rc.code, 0) << "after " << i;
        names.insert(m.BVName);
    }
    EXPECT_EQ(names.size(), static_cast<size_t>(peers));
    EXPECT_EQ(queue.q.GetReceiveStats().connectionsDropped, 0u);
}

TEST(ReceivePath, DestroyDuringAFloodEndsPromptly) {
    auto queue = std::make_unique<Queue>(2000);
    const unsigned int port = queue->port();
    std::atomic<bool> stop{false};
    std::vector<std::thread> flood;
    for (int t = 0; t < 4; ++t) {
        flood.emplace_back([&, t] {
            for (int i = 0; i < 2000 && !stop.load(); ++i) {
                if (t % 2 == 0) {
                    XQSocket s;
                    s.SetTimeout(300);
                    unsigned char* data = nullptr;
                    if (s.InitializeSend(&data, 64).code == 0) s.Send(L"127.0.0.1", port);
                } else {
                    const int fd = rawConnect(port);
                    if (fd >= 0) {
                        rawWrite(fd, "\0\0", 2);
                        close(fd);
                    }
                }
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = Clock::now();
    EXPECT_EQ(queue->q.Destroy(1).code, 0);
    EXPECT_LT(secondsSince(start), 3.0);
    stop.store(true);
    for (auto& t : flood) t.join();
    queue.reset();
}

TEST(ReceivePath, PeersOffTheAllowedListAreClosedAtAccept) {
    Queue queue(2000);
    EXPECT_EQ(queue.q.SetAllowedPeers(L"198.51.100.0/24, 203.0.113.9").code, 0);
    EXPECT_EQ(sendGood(queue.port(), L"not allowed").code, 6110);
    EXPECT_EQ(queue.q.GetReceiveStats().connectionsNotAllowed, 1u);
    const XQRC bad = queue.q.SetAllowedPeers(L"127.0.0.1, 10.0.0.0/33");
    EXPECT_EQ(bad.code, 6124);
    EXPECT_EQ(sendGood(queue.port(), L"still not allowed").code, 6110) << "the list in force stays";
    EXPECT_EQ(queue.q.SetAllowedPeers(L"198.51.100.0/24, 127.0.0.0/8").code, 0);
    expectPromptDelivery(queue.q, L"allowed");
    EXPECT_EQ(queue.q.SetAllowedPeers(L"").code, 0);
    expectPromptDelivery(queue.q, L"everyone");
    XQBaseMessage m;
    EXPECT_EQ(queue.q.Receive(m, 100).code, 9117) << "nothing of the refused peers was queued";
}
