#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "messages/XQBaseMessage.h"
#include "support/QueueTestSupport.h"
#include "support/RawFrame.h"
#include "transport/XQMessageQ.h"
#include "transport/XQSocket.h"

namespace {

// A listening socket that records the text of each frame it receives, with
// its arrival time in ms since it was made, until it is destroyed.
class PingSink {
public:
    PingSink() {
        EXPECT_EQ(socket_.InitializeReceive(0, 16).code, 0);
        socket_.GetReceivePort(port_);
        reader_ = std::thread([this, start = Clock::now()] {
            unsigned char* data = nullptr;
            int size = 0;
            for (XQRC rc = socket_.Receive(&data, &size); rc.code != 6107;
                 rc = socket_.Receive(&data, &size)) {
                if (rc.code != 0) continue;
                std::wstring text(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
                std::free(data);
                std::lock_guard<std::mutex> g(lock_);
                pings_.emplace_back(msSince(start), text.substr(0, text.find(L'\0')));
            }
        });
    }
    ~PingSink() {
        socket_.HaltReceive();
        reader_.join();
    }
    unsigned int port() const { return port_; }
    std::vector<std::pair<long, std::wstring>> frames() {
        std::lock_guard<std::mutex> g(lock_);
        return pings_;
    }

private:
    XQSocket socket_;
    unsigned int port_ = 0;
    std::mutex lock_;
    std::vector<std::pair<long, std::wstring>> pings_;
    std::thread reader_;
};

// Waits (at most 10 s) until every poll slot is free again.
bool waitAllSlotsFree(XQMessageQ& q) {
    return eventually([&] { return q.HaltAllPollClients().code == 9125; }, 10000);
}

TEST(XQMessageQPoll, TheEleventhClientIsRefusedAndHaltsFreeEverySlot) {
    TestQueue a;
    TestQueue client;
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(a.q.PollClient(L"client" + std::to_wstring(i), L"127.0.0.1", client.port(), 5).code, 0);
    const XQRC eleventh = a.q.PollClient(L"client10", L"127.0.0.1", client.port(), 5);
    EXPECT_EQ(eleventh.code, 9121);
    EXPECT_EQ(eleventh.messageToken1, L"10");
    EXPECT_EQ(a.q.HaltPollClient(L"nobody").code, 9122);
    const auto start = Clock::now();
    EXPECT_EQ(a.q.HaltPollClient(L"client3").code, 0);
    EXPECT_GE(msSince(start), 1000);
    // The freed slot is taken again.
    XQRC again = a.q.PollClient(L"again", L"127.0.0.1", client.port(), 5);
    for (int i = 0; i < 30 && again.code == 9121; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        again = a.q.PollClient(L"again", L"127.0.0.1", client.port(), 5);
    }
    ASSERT_EQ(again.code, 0);
    EXPECT_EQ(a.q.HaltAllPollClients().code, 0);
    EXPECT_TRUE(waitAllSlotsFree(a.q));
}

TEST(XQMessageQPoll, AHealthyClientIsPingedAtTheIntervalAndAHaltIsNoticedWithinASecond) {
    TestQueue a;
    PingSink sink;
    ASSERT_EQ(a.q.PollClient(L"steady", L"127.0.0.1", sink.port(), 2).code, 0);
    EXPECT_TRUE(eventually([&] { return sink.frames().size() >= 3; }, 15000));
    const auto frames = sink.frames();
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0].second, L"PING SEND TO steady 127.0.0.1  FROM localhost ");
    for (size_t i = 1; i < 3; ++i) {
        const long gap = frames[i].first - frames[i - 1].first;
        EXPECT_GE(gap, 1900);
        EXPECT_LT(gap, 4000);
    }
    EXPECT_EQ(a.q.HaltPollClient(L"steady").code, 0);
    // The poll thread frees its slot within about a second of the request,
    // and HaltPollClient already waited one.
    const auto halted = Clock::now();
    EXPECT_TRUE(waitAllSlotsFree(a.q));
    EXPECT_LT(msSince(halted), 1500);
}

TEST(XQMessageQPoll, DeadClientsAreReportedOnceAndHandedOutInSlotOrder) {
    TestQueue a;
    TestQueue other;
    const unsigned int nobody1 = unusedLoopbackPort();
    const unsigned int nobody2 = unusedLoopbackPort();
    testing::internal::CaptureStdout();
    ASSERT_EQ(a.q.PollClient(L"deadA", L"127.0.0.1", nobody1, 1).code, 0);
    ASSERT_EQ(a.q.PollClient(L"deadB", L"127.0.0.1", nobody2, 1).code, 0);
    // A second queue polling on the same slot number keeps its own client.
    ASSERT_EQ(other.q.PollClient(L"deadC", L"127.0.0.1", nobody1, 1).code, 0);

    std::vector<XQSTRING> reports;
    XQBaseMessage m;
    for (int i = 0; i < 2; ++i) {
        const XQRC rc = a.q.Receive(m, 20000);
        ASSERT_EQ(rc.code, 9124);
        reports.push_back(rc.messageToken1);
    }
    const XQRC otherReport = other.q.Receive(m, 20000);
    EXPECT_EQ(a.q.Receive(m, 1500).code, 9117) << "each dead client is reported once";
    const std::string out = testing::internal::GetCapturedStdout();

    std::sort(reports.begin(), reports.end());
    EXPECT_EQ(reports[0], L"PING ERROR PING SEND TO deadA 127.0.0.1  FROM localhost ");
    EXPECT_EQ(reports[1], L"PING ERROR PING SEND TO deadB 127.0.0.1  FROM localhost ");
    EXPECT_EQ(otherReport.code, 9124);
    EXPECT_EQ(otherReport.messageToken1, L"PING ERROR PING SEND TO deadC 127.0.0.1  FROM localhost ");
    const std::string failed = "Ping failed for (port/clientName/hostname) with (rc). Values = " +
                               std::to_string(nobody1) + "/deadA/127.0.0.1 (";
    EXPECT_NE(out.find(failed), std::string::npos) << out;

    EXPECT_EQ(a.q.GetDeadClientCount(), 2u);
    XQSTRING name;
    unsigned int left = 0;
    // In slot order, with the number still to hand out.
    const std::pair<const wchar_t*, unsigned int> handedOut[] = {{L"deadA", 1}, {L"deadB", 0}};
    for (const auto& dead : handedOut) {
        ASSERT_EQ(a.q.GetDeadClientName(name, left).code, 0);
        EXPECT_EQ(name, dead.first);
        EXPECT_EQ(left, dead.second);
    }
    EXPECT_EQ(a.q.GetDeadClientName(name, left).code, 9125);
    EXPECT_EQ(a.q.GetDeadClientCount(), 0u);
    EXPECT_EQ(a.q.HaltAllPollClients().code, 9125);
}

TEST(XQMessageQPoll, DestroyingAQueueEndsItsPollThreads) {
    PingSink sink;
    Clock::time_point destroying;
    {
        XQMessageQ q;
        ASSERT_EQ(q.Create(0, 8).code, 0);
        ASSERT_EQ(q.PollClient(L"busy", L"127.0.0.1", sink.port(), 30).code, 0);
#if !defined(__SANITIZE_ADDRESS__)
        // This one's ping is in its connect retries when the queue goes, and
        // is ended by force. (GCC 12's AddressSanitizer runtime aborts in its
        // own sigaltstack check when a thread unwinds by force through
        // instrumented frames; the release and thread-sanitizer builds run it.)
        ASSERT_EQ(q.PollClient(L"refusing", L"127.0.0.1", unusedLoopbackPort(), 30).code, 0);
#endif
        EXPECT_TRUE(eventually([&] { return !sink.frames().empty(); }, 10000));
        destroying = Clock::now();
        EXPECT_EQ(q.Destroy(1).code, 0);
    }  // the destructor ends the poll threads
    EXPECT_LT(msSince(destroying), 3000) << "even a poll thread in its connect retries ends promptly";
    EXPECT_EQ(sink.frames().size(), 1u);
}

}  // namespace
