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
#include <memory>
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

void raiseDescriptorLimit(rlim_t want) {
    rlimit l{};
    getrlimit(RLIMIT_NOFILE, &l);
    if (l.rlim_cur < want) {
        l.rlim_cur = l.rlim_max == RLIM_INFINITY || l.rlim_max >= want ? want : l.rlim_max;
        setrlimit(RLIMIT_NOFILE, &l);
    }
}

// A peer that sends 4 MiB less 4 bytes of payload through the library.
XQRC sendLargest(unsigned int port) {
    static const std::vector<wchar_t> largest = [] {
        std::vector<wchar_t> v(XQ_MAX_FRAME_PAYLOAD / sizeof(wchar_t));
        for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<wchar_t>(L'a' + i % 26);
        v[0] = L'X';
        v[1] = L'Q';
        return v;
    }();
    return socketSend(port, largest.data(), XQ_MAX_FRAME_PAYLOAD, 10000);
}

}  // namespace

TEST(ReceivePath, SilentAndStalledPeersDelayNoGoodSender) {
    raiseDescriptorLimit(8192);
    const std::pair<const char*, std::vector<unsigned char>> stalls[] = {
        {"connects and sends nothing", {}},
        {"sends two count bytes", {0, 0}},
        {"sends 10 of 1,000 announced bytes",
         frameCount(1000, std::vector<unsigned char>(10, 'x'))},
    };
    for (const auto& stall : stalls) {
        for (unsigned int peers : {1u, 2000u}) {
            SCOPED_TRACE(std::string(stall.first) + ", peers " + std::to_string(peers));
            TestQueue queue(30000);
            HeldFds held;
            ASSERT_TRUE(held.connectPeers(queue.port(), peers, stall.second));
            expectPromptDelivery(queue.q, L"good");
            const XQReceiveStats stats = queue.q.GetReceiveStats();
            EXPECT_GE(stats.connectionsAccepted, peers + 1);
            EXPECT_GE(stats.connectionsDropped + queue.q.GetReceiveLimits().maxConnections, peers);
        }
    }
}

TEST(ReceivePath, EachConnectionHasItsOwnDeadline) {
    TestQueue queue(300);
    HeldFds held;
    ASSERT_TRUE(held.connectPeers(queue.port(), 3));
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

TEST(ReceivePath, BrokenPeersAreDroppedCountedAndNeverQueued) {
    TestQueue queue(2000);
    for (const RawFault& f : rawFaults()) {
        SCOPED_TRACE(f.what);
        const std::uint64_t before = queue.q.GetReceiveStats().*f.counter;
        sendRawFault(queue.port(), f);
        expectCountedThenPrompt(queue.q, f.counter, before + 1);
    }
    EXPECT_EQ(queue.q.GetReceiveStats().framesQueued, rawFaults().size());
}

TEST(ReceivePath, OnlyTheQueuesOwnDestroyStopsIt) {
    TestQueue queue(30000);
    ASSERT_TRUE(sendRawFrame(queue.port(), ucs2be(L"STOP RECEIVING")));
    expectPromptDelivery(queue.q, L"after a foreign stop");
    EXPECT_EQ(queue.q.GetReceiveStats().droppedForeignStop, 1u);
}

TEST(ReceivePath, QueueSurvivesTheDescriptorLimitAndDestroyStillEnds) {
    TestQueue queue(2000);
    TestQueue other(2000);
    const int waiting = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(waiting, 0);
    HeldFds held;
    held.add(waiting);
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit low = saved;
    low.rlim_cur = 512;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    HeldFds filler;
    for (int i = 0; i < 512; ++i) filler.add(open("/dev/null", O_RDONLY | O_CLOEXEC));
    ASSERT_LT(open("/dev/null", O_RDONLY | O_CLOEXEC), 0) << "the process is not at its limit";

    // A peer arriving now cannot be given a descriptor: it is taken and closed.
    ASSERT_EQ(connectLoopback(waiting, queue.port()), 0);
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
    TestQueue queue(10000, limits);
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

TEST(ReceivePath, AThousandPeersAtOnceLoseNothing) {
    raiseDescriptorLimit(8192);
    TestQueue queue(10000);
    const int peers = 1000;
    HeldFds conns;
    ASSERT_TRUE(conns.connectPeers(queue.port(), peers));
    for (int i = 0; i < peers; ++i) {
        XQBaseMessage m = addressed(queue.port(), L"peer " + std::to_wstring(i));
        const std::vector<unsigned char> payload = ucs2be(packed(m));
        const std::vector<unsigned char> frame =
            frameCount(static_cast<uint32_t>(payload.size()), payload);
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
    auto queue = std::make_unique<TestQueue>(2000);
    const unsigned int port = queue->port();
    std::atomic<bool> stop{false};
    std::vector<std::thread> flood;
    // Half the senders send frames, half connect and stall in the count.
    for (int t = 0; t < 4; ++t) {
        flood.emplace_back([&, t] {
            const unsigned char zeros[64] = {};
            for (int i = 0; i < 2000 && !stop.load(); ++i) {
                if (t % 2 == 0) {
                    socketSend(port, zeros, sizeof zeros, 300);
                } else {
                    HeldFds halfCount;
                    halfCount.connectPeers(port, 1, {0, 0});
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
    TestQueue queue(2000);
    EXPECT_EQ(queue.q.SetAllowedPeers(L"198.51.100.0/24, 203.0.113.9").code, 0);
    EXPECT_EQ(sendBase(queue.port(), L"not allowed").code, 6110);
    EXPECT_EQ(queue.q.GetReceiveStats().connectionsNotAllowed, 1u);
    EXPECT_EQ(queue.q.SetAllowedPeers(L"127.0.0.1, 10.0.0.0/33").code, 6124);
    EXPECT_EQ(sendBase(queue.port(), L"still not allowed").code, 6110) << "the list in force stays";
    EXPECT_EQ(queue.q.SetAllowedPeers(L"198.51.100.0/24, 127.0.0.0/8").code, 0);
    expectPromptDelivery(queue.q, L"allowed");
    XQBaseMessage m;
    EXPECT_EQ(queue.q.Receive(m, 100).code, 9117) << "nothing of the refused peers was queued";
}
