#include <gtest/gtest.h>

#include <cxxabi.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "foundation/Trace.h"
#include "os/XQNTThread.h"
#include "os/XQNTThreadControl.h"
#include "os/XQabsFactory.h"
#include "os/XQabsThread.h"
#include "os/XQabsThreadControl.h"

namespace {

// Return codes carry the command line and the host name; both are read from
// the environment, and the host name is cached on first use.
const bool environmentSet = [] {
    setenv("EXEC_NAME", "threadtest -x", 1);
    setenv("NVHOSTNAME", "threadhost", 1);
    return true;
}();

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

struct Gate {
    std::atomic<int> entered{0};
    std::atomic<int> release{0};
    std::atomic<int> finished{0};
};

void* waitAtGate(void* arg) {
    Gate* g = static_cast<Gate*>(arg);
    g->entered.fetch_add(1);
    while (g->release.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    g->finished.fetch_add(1);
    return nullptr;
}

void* sleepThenFinish(void* arg) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    static_cast<Gate*>(arg)->finished.store(1);
    return nullptr;
}

struct Unwound {
    std::atomic<int>* flag;
    ~Unwound() { flag->store(1); }
};

// Blocks in a cancellation point for a minute unless ended by force; the
// local object shows that the stack was unwound.
void* blockInSleep(void* arg) {
    Gate* g = static_cast<Gate*>(arg);
    Unwound u{&g->finished};
    g->entered.store(1);
    XQNTThreadControl control;
    control.Sleep(60000);
    return nullptr;
}

// A body that catches everything, as thread bodies of the library do.
// The forced-unwind exception of a cancelled thread has no object; the
// sanitizer's null check would flag the handler that lets it pass.
__attribute__((no_sanitize("null"))) void* catchAllAndBlock(void* arg) {
    Gate* g = static_cast<Gate*>(arg);
    try {
        Unwound u{&g->finished};
        g->entered.store(1);
        XQNTThreadControl control;
        control.Sleep(60000);
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        g->release.store(99);
    }
    return nullptr;
}

void waitEntered(const Gate& g) {
    const auto start = Clock::now();
    while (g.entered.load() == 0 && msSince(start) < 10000) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_NE(g.entered.load(), 0);
}

void expectContext(const XQRC& rc, int code, const wchar_t* method) {
    EXPECT_EQ(rc.code, code);
    EXPECT_EQ(rc.domain, XQRC::WhsSrv);
    EXPECT_EQ(rc.methodName, method);
    EXPECT_EQ(rc.executableName, L"threadtest -x");
    EXPECT_EQ(rc.hostName, L"threadhost");
}

TEST(XQNTThread, StartTwiceGives9008AndLeavesTheFirstRunning) {
    Gate g;
    XQNTThread t(waitAtGate, &g);
    ASSERT_EQ(t.StartThread(0).code, 0);
    EXPECT_EQ(t.isStarted, 1);
    waitEntered(g);
    expectContext(t.StartThread(0), 9008, L"XQNTThread::StartThread()");
    EXPECT_EQ(g.entered.load(), 1);
    g.release.store(1);
    EXPECT_EQ(t.WaitForTermination(0).code, 0);
    EXPECT_EQ(t.isStarted, 0);
    EXPECT_EQ(g.finished.load(), 1);
}

TEST(XQNTThread, WaitWithTimeoutZeroStillWaitsForTheEnd) {
    Gate g;
    XQNTThread t(sleepThenFinish, &g);
    const auto start = Clock::now();
    ASSERT_EQ(t.StartThread(0).code, 0);
    EXPECT_EQ(t.WaitForTermination(0).code, 0);
    EXPECT_GE(msSince(start), 190);
    EXPECT_EQ(g.finished.load(), 1);
}

TEST(XQNTThread, NeverStartedGives9009WithContext) {
    Gate g;
    XQNTThread t(waitAtGate, &g);
    expectContext(t.WaitForTermination(0), 9009, L"XQNTThread::WaitForTermination()");
    expectContext(t.TerminateThread(), 9009, L"XQNTThread::TerminateThread()");
}

TEST(XQNTThread, RestartsAfterWaitWithTheSameRoutineAndArgument) {
    Gate g;
    g.release.store(1);
    XQNTThread t(waitAtGate, &g);
    ASSERT_EQ(t.StartThread(0).code, 0);
    ASSERT_EQ(t.WaitForTermination(0).code, 0);
    ASSERT_EQ(t.StartThread(0).code, 0);
    ASSERT_EQ(t.WaitForTermination(0).code, 0);
    EXPECT_EQ(g.entered.load(), 2);
    EXPECT_EQ(g.finished.load(), 2);
}

TEST(XQNTThread, TerminateEndsABlockedThreadAndUnwindsItsStack) {
    for (XQThreadStartRoutine body : {blockInSleep, catchAllAndBlock}) {
        Gate g;
        XQNTThread t(body, &g);
        ASSERT_EQ(t.StartThread(0).code, 0);
        waitEntered(g);
        const auto start = Clock::now();
        EXPECT_EQ(t.TerminateThread().code, 0);
        EXPECT_LT(msSince(start), 10000);
        EXPECT_EQ(t.isStarted, 0);
        EXPECT_EQ(g.finished.load(), 1);
        EXPECT_EQ(g.release.load(), 0);  // the catch-all did not swallow the forced end
        EXPECT_EQ(t.TerminateThread().code, 9009);
    }
}

TEST(XQNTThread, DestroyingARunningThreadEndsItAndTheProcessGoesOn) {
    Gate g;
    {
        auto t = std::make_unique<XQNTThread>(blockInSleep, &g);
        ASSERT_EQ(t->StartThread(0).code, 0);
        waitEntered(g);
    }
    EXPECT_EQ(g.finished.load(), 1);
}

TEST(XQNTThread, CopiesNameTheSameThreadAndClearHandleForgetsIt) {
    Gate g;
    XQNTThread t(waitAtGate, &g);
    ASSERT_EQ(t.StartThread(0).code, 0);
    XQNTThread copy(t);
    EXPECT_EQ(copy.isStarted, 1);
    EXPECT_TRUE(pthread_equal(copy.threadId, t.threadId));
    EXPECT_EQ(copy.startRoutine, t.startRoutine);
    EXPECT_EQ(copy.startArgument, t.startArgument);
    XQNTThread assigned(nullptr, nullptr);
    assigned = t;
    EXPECT_EQ(assigned.isStarted, 1);
    EXPECT_EQ(assigned.startArgument, static_cast<void*>(&g));
    assigned.clearHandle();
    t.clearHandle();
    EXPECT_EQ(t.isStarted, 0);
    EXPECT_EQ(t.WaitForTermination(0).code, 9009);
    g.release.store(1);
    EXPECT_EQ(copy.WaitForTermination(0).code, 0);
    EXPECT_EQ(g.finished.load(), 1);
}

TEST(XQNTThread, TracesStartAtLevelFour) {
    Gate g;
    g.release.store(1);
    XQNTThread t(waitAtGate, &g);
    setDebugTcore(4);
    testing::internal::CaptureStdout();
    t.StartThread(0);
    t.WaitForTermination(0);
    setDebugTcore(0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("enter method XQNTThread::StartThread()"), std::string::npos) << out;
    EXPECT_NE(out.find("thread created with id = "), std::string::npos);
    EXPECT_NE(out.find("Return code from start thread = 0"), std::string::npos);
    EXPECT_NE(out.find("exit method XQNTThread::WaitForTermination()"), std::string::npos);
}

TEST(XQNTThreadControl, SleepLastsAboutTheGivenTime) {
    XQNTThreadControl control;
    const auto start = Clock::now();
    EXPECT_EQ(control.Sleep(250).code, 0);
    const long ms = msSince(start);
    EXPECT_GE(ms, 250);
    EXPECT_LT(ms, 5000);
}

TEST(XQabsThread, AbstractVersionsSucceedAndTheAbstractFactoryMakesNothing) {
    XQabsThread t;
    EXPECT_EQ(t.StartThread(0).code, 0);
    EXPECT_EQ(t.TerminateThread().code, 0);
    EXPECT_EQ(t.WaitForTermination(0).code, 0);
    XQabsThreadControl c;
    EXPECT_EQ(c.Sleep(100000).code, 0);
    XQabsFactory abstractFactory;
    EXPECT_EQ(abstractFactory.CreateThread(waitAtGate, nullptr), nullptr);
    EXPECT_EQ(abstractFactory.CreateThreadControl(), nullptr);
}

TEST(XQabsThread, FactoryMakesUnstartedThreadsAndControls) {
    Gate g;
    g.release.store(1);
    std::unique_ptr<XQabsThread> t(XQabsFactory::Instance()->CreateThread(waitAtGate, &g));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->startRoutine, &waitAtGate);
    EXPECT_EQ(t->startArgument, static_cast<void*>(&g));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(g.entered.load(), 0);
    EXPECT_EQ(t->StartThread(0).code, 0);
    EXPECT_EQ(t->WaitForTermination(0).code, 0);
    EXPECT_EQ(g.finished.load(), 1);
    std::unique_ptr<XQabsThreadControl> c(XQabsFactory::Instance()->CreateThreadControl());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Sleep(1).code, 0);
}

}  // namespace
