#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "foundation/Trace.h"
#include "messages/XQAgentMessage.h"
#include "messages/XQBaseMessage.h"
#include "support/QueueTestSupport.h"
#include "support/RawFrame.h"
#include "transport/XQMessageQ.h"

namespace {

// Requests and replies travel between queues in daemon_test; here, what a
// reader at trace level 3 writes of a reply: one summary line.
TEST(XQMessageQ, AReplyReadAtLevelThreeGivesOneSummaryLine) {
    TestQueue a;
    XQAgentMessage reply;
    address(reply, 9, L"step-7");
    reply.OriginInetAddr = L"127.0.0.1";
    reply.SetOriginQueuePort(a.port());
    reply.SetIsRequest(0);
    reply.SetCommand(17);
    reply.ReturnCode = XQRC(6105, 111, XQRC::Sockets);
    ASSERT_EQ(reply.Send().code, 0);
    setDebugTcore(3);
    testing::internal::CaptureStdout();
    const XQRC received = a.q.Receive(reply, 5000);
    setDebugTcore(0);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(received.code, 0);
    EXPECT_NE(out.find("step-7... received mt/ct/cst 2/17/0 rc 6105/111 Orig/Dest " +
                       std::to_string(a.port()) + "/9"),
              std::string::npos)
        << out;
}

TEST(XQMessageQ, ReceiveWaitsForAMessageUpToItsTimeout) {
    TestQueue a;
    XQBaseMessage m;
    EMSGTYPE type = XQBaseMsgType;
    // An empty queue: 9117, no earlier than the timeout, from either reader,
    // while a silent peer holds a connection whose deadline is far off.
    const int silent = rawConnect(a.port());
    ASSERT_GE(silent, 0);
    for (unsigned int timeout : {0u, 300u, 1250u}) {
        for (bool typeOnly : {false, true}) {
            const auto start = Clock::now();
            const XQRC empty = typeOnly ? a.q.ReceiveType(type, timeout) : a.q.Receive(m, timeout);
            const long ms = msSince(start);
            EXPECT_EQ(empty.code, 9117);
            EXPECT_EQ(empty.hostName, L"localhost");
            EXPECT_GE(ms, static_cast<long>(timeout));
            EXPECT_LT(ms, static_cast<long>(timeout) + 3000);
        }
    }
    close(silent);
    // A reader that polls without waiting, more often than the receive
    // thread would take the loop back, still gets its message.
    std::thread polled([&] { EXPECT_EQ(sendBase(a.port(), L"polled").code, 0); });
    XQRC got(9117, 0, XQRC::WhsSrv);
    for (auto start = Clock::now(); got.code == 9117 && msSince(start) < 5000;) {
        got = a.q.Receive(m, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    polled.join();
    EXPECT_EQ(got.code, 0);
    EXPECT_EQ(m.BVName, L"polled");
    // A blocked reader wakes for a message from another thread.
    std::atomic<int> result{-1};
    std::atomic<long> wokeAfter{0};
    const auto start = Clock::now();
    std::thread reader([&] {
        result.store(a.q.Receive(m, 0xFFFFFFFFu).code);
        wokeAfter.store(msSince(start));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(result.load(), -1);
    ASSERT_EQ(sendBase(a.port(), L"wake up").code, 0);
    reader.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_GE(wokeAfter.load(), 300);
    EXPECT_LT(wokeAfter.load(), 10000);
    EXPECT_EQ(m.BVName, L"wake up");
}

TEST(XQMessageQ, PeekAndPurgeByPosition) {
    TestQueue a;
    XQBaseMessage m;
    unsigned int count = 0;
    for (const wchar_t* n : {L"p0", L"p1", L"p2", L"p3"}) ASSERT_EQ(sendBase(a.port(), n).code, 0);
    ASSERT_TRUE(waitQueued(a.q, 4));
    EXPECT_EQ(a.q.Peek(m, 1, count).code, 0);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(m.BVName, L"p1");
    EXPECT_EQ(a.q.Peek(m, 4, count).code, 9110);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(a.q.Purge(0).code, 0);
    EXPECT_EQ(a.q.Purge(3).code, 9118);
    EXPECT_EQ(a.q.Purge(1).code, 0);
    EXPECT_EQ(a.q.Peek(m, 0, count).code, 0);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(m.BVName, L"p1");
    EXPECT_EQ(a.q.Peek(m, 1, count).code, 0);
    EXPECT_EQ(m.BVName, L"p3");
    EXPECT_EQ(a.q.Purge(0xFFFFFFFFu).code, 0);
    EXPECT_EQ(queued(a.q), 0u);
    EXPECT_EQ(a.q.Purge(0).code, 9118);
}

TEST(XQMessageQ, OperationsOnAQueueNotCreated) {
    XQMessageQ q;
    XQBaseMessage m;
    EMSGTYPE type = XQBaseMsgType;
    unsigned int count = 0;
    EXPECT_EQ(q.Receive(m, 0).code, 9112);
    EXPECT_EQ(q.ReceiveType(type, 0).code, 9112);
    EXPECT_EQ(q.Peek(m, 0, count).code, 9112);
    EXPECT_EQ(q.Purge(0xFFFFFFFFu).code, 9112);
    EXPECT_EQ(q.PollClient(L"c", L"127.0.0.1", 1, 1).code, 9112);
    // An empty retrieve by message raises the trace level.
    setDebugTcore(0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(q.RetrieveMessageFromQ(m).code, 9120);
    EXPECT_GE(getDebugTcore(), 3);
    setDebugTcore(0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(q.Destroy(1).code, 0);
}

TEST(XQMessageQ, CreateOnceAndDestroyKeepsOrPurgesTheQueuedMessages) {
    for (int purge : {0, 1}) {
        SCOPED_TRACE(purge);
        XQMessageQ q;
        ASSERT_EQ(q.Create(0, 8).code, 0);
        const unsigned int port = q.nQueuePort;
        EXPECT_EQ(q.Create(0, 8).code, 9102);
        XQMessageQ busy;
        EXPECT_NE(busy.Create(port, 8).code, 0) << "the socket error is passed on";
        EXPECT_EQ(busy.isCreated, 0);
        ASSERT_EQ(sendBase(port, L"left behind").code, 0);
        ASSERT_TRUE(waitQueued(q, 1));
        const auto start = Clock::now();
        ASSERT_EQ(q.Destroy(purge).code, 0);
        EXPECT_LT(msSince(start), 5000);
        EXPECT_EQ(q.Destroy(0).code, 0);
        EXPECT_EQ(q.Create(0, 8).code, 9102);
        EXPECT_LT(rawConnect(port), 0) << "nobody listens";
        XQBaseMessage m;
        EXPECT_EQ(q.Receive(m, 0).code, purge ? 9117 : 0);
        EXPECT_EQ(m.BVName, purge ? L"" : L"left behind");
    }
}

TEST(XQMessageQ, PingsAreNeverQueuedAndDeadClientReportsComeBackAs9124) {
    TestQueue a;
    ASSERT_TRUE(sendRawFrame(a.port(), ucs2be(L"PING SEND TO x y  FROM z ")));
    expectPromptDelivery(a.q, L"after the ping");
    EXPECT_EQ(queued(a.q), 0u);

    const std::wstring report = L"PING ERROR PING SEND TO c1 h1  FROM localhost ";
    XQBaseMessage m;
    EMSGTYPE type = XQBaseMsgType;
    unsigned int count = 0;
    for (int reader = 0; reader < 3; ++reader) {
        ASSERT_TRUE(sendRawFrame(a.port(), ucs2be(report)));
        ASSERT_TRUE(waitQueued(a.q, 1));
        const XQRC rc = reader == 0   ? a.q.Receive(m, 0)
                        : reader == 1 ? a.q.ReceiveType(type, 0)
                                      : a.q.Peek(m, 0, count);
        EXPECT_EQ(rc.code, 9124);
        EXPECT_EQ(rc.messageToken1, report);
        EXPECT_EQ(queued(a.q), 0u) << "reported once and removed";
    }
}

TEST(XQMessageQ, PayloadsThatCannotBeUnpackedAreRemovedAndReported) {
    TestQueue a;
    XQBaseMessage whole;
    address(whole, a.port(), L"cut short");
    whole.SetSQLStmt1(std::wstring(500, L'x'));
    const std::wstring full = packed(whole);
    ASSERT_TRUE(sendRawFrame(a.port(), ucs2be(full.substr(0, full.size() / 2))));
    ASSERT_TRUE(sendRawFrame(a.port(), ucs2be(L"not a message at all, just text")));
    ASSERT_EQ(sendBase(a.port(), L"good").code, 0);
    ASSERT_TRUE(waitQueued(a.q, 3));
    XQBaseMessage m;
    const XQRC truncated = a.q.Receive(m, 0);
    EXPECT_EQ(truncated.code, 6004);
    EXPECT_EQ(truncated.messageToken1, std::to_wstring(full.size() * sizeof(wchar_t)));
    EXPECT_NE(a.q.Receive(m, 0).code, 0);
    ASSERT_EQ(a.q.Receive(m, 0).code, 0);
    EXPECT_EQ(m.BVName, L"good");

    // The same payloads do not block ReceiveType or Peek either.
    ASSERT_TRUE(sendRawFrame(a.port(), ucs2be(L"garbage garbage garbage garbage garbage")));
    ASSERT_TRUE(sendRawFrame(a.port(), ucs2be(L"more garbage, enough of it to look like a head")));
    ASSERT_EQ(sendBase(a.port(), L"good again").code, 0);
    ASSERT_TRUE(waitQueued(a.q, 3));
    EMSGTYPE type = XQAgentMsgType;
    unsigned int count = 0;
    EXPECT_NE(a.q.ReceiveType(type, 0).code, 0);
    EXPECT_NE(a.q.Peek(m, 0, count).code, 0);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(a.q.ReceiveType(type, 0).code, 0);
    EXPECT_EQ(type, XQBaseMsgType);
}

XQSTRING loadName(int t, int n) { return L"t" + std::to_wstring(t) + L"-" + std::to_wstring(n); }

// A waiting reader runs the receive loop itself; with two of them, one runs
// it and the other waits for its turn, and a Destroy under both ends their
// waits without a use of the deleted socket.
TEST(XQMessageQ, TwoReadersShareTheLoopAndDestroyEndsTheirWaits) {
    const int kEach = 300;
    TestQueue a;
    std::atomic<int> sendFailures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&, t] {
            for (int n = 0; n < kEach; ++n)
                if (sendBase(a.port(), loadName(t, n)).code != 0) sendFailures.fetch_add(1);
        });
    std::mutex seenMutex;
    std::multiset<XQSTRING> seen;
    std::atomic<int> afterDestroy[2] = {{-1}, {-1}};
    std::atomic<bool> allIn{false};
    const auto start = Clock::now();
    for (int r = 0; r < 2; ++r)
        threads.emplace_back([&, r] {
            XQBaseMessage m;
            while (!allIn.load() && msSince(start) < 120000)
                if (a.q.Receive(m, 200).code == 0) {
                    std::lock_guard<std::mutex> lock(seenMutex);
                    seen.insert(m.BVName);
                    if (seen.size() == 2 * kEach) allIn.store(true);
                }
            afterDestroy[r].store(a.q.Receive(m, 3000).code);
        });
    ASSERT_TRUE(eventually([&] { return allIn.load(); }, 120000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // both readers wait again
    const auto destroyed = Clock::now();
    EXPECT_EQ(a.q.Destroy(1).code, 0);
    EXPECT_LT(msSince(destroyed), 2500) << "a reader in the loop held Destroy up";
    for (auto& t : threads) t.join();
    EXPECT_EQ(sendFailures.load(), 0);
    std::set<XQSTRING> distinct(seen.begin(), seen.end());
    EXPECT_EQ(seen.size(), distinct.size()) << "a message read twice";
    EXPECT_EQ(distinct.size(), 2u * kEach);
    EXPECT_EQ(afterDestroy[0].load(), 9117);
    EXPECT_EQ(afterDestroy[1].load(), 9117);
}

TEST(XQMessageQ, DeletingACreatedQueueWithoutDestroyEndsItsReceiveThread) {
    const auto start = Clock::now();
    unsigned int port = 0;
    {
        XQMessageQ q;
        ASSERT_EQ(q.Create(0, 8).code, 0);
        port = q.nQueuePort;
        ASSERT_EQ(sendBase(port, L"never read").code, 0);
        ASSERT_TRUE(waitQueued(q, 1));
    }
    EXPECT_LT(msSince(start), 5000);
    EXPECT_LT(rawConnect(port), 0) << "nobody listens";
}

}  // namespace
