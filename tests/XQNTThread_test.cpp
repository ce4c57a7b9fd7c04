#include <gtest/gtest.h>

#include <cxxabi.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "messages/XQBaseMessage.h"
#include "os/XQNTThread.h"
#include "os/XQNTThreadControl.h"
#include "os/XQabsEventSemaphore.h"
#include "os/XQabsFactory.h"
#include "os/XQabsMutexSemaphore.h"
#include "os/XQabsThread.h"
#include "os/XQabsThreadControl.h"
#include "support/QueueTestSupport.h"
#include "transport/XQMessageQ.h"

namespace {

struct Gate {
    std::atomic<int> entered{0};
    std::atomic<int> release{0};
    std::atomic<int> finished{0};
};

struct Unwound {
    std::atomic<int>* flag;
    ~Unwound() { flag->fetch_add(1); }
};

void waitEntered(const Gate& g) {
    ASSERT_TRUE(eventually([&g] { return g.entered.load() != 0; }, 10000));
}

// Runs call on a thread of its own and waits at most limitMs for it. A call
// that hangs holds objects of the running test, so the program cannot go on:
// it reports the failure and ends.
void returnsWithin(const char* what, std::function<void()> call, long limitMs = 30000) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> returned = done->get_future();
    std::thread([call, done] {
        call();
        done->set_value();
    }).detach();
    if (returned.wait_for(std::chrono::milliseconds(limitMs)) == std::future_status::ready) return;
    ADD_FAILURE() << what << " did not return within " << limitMs << " ms";
    std::fflush(stdout);
    std::_Exit(1);
}

// Computes until released, without a cancellation point.
void* computeUntilReleased(void* arg) {
    Gate* g = static_cast<Gate*>(arg);
    Unwound u{&g->finished};
    g->entered.fetch_add(1);
    while (g->release.load() == 0) std::this_thread::yield();
    return nullptr;
}

void expectContext(const XQRC& rc, int code, const wchar_t* method) {
    EXPECT_EQ(rc.code, code);
    EXPECT_EQ(rc.domain, XQRC::WhsSrv);
    EXPECT_EQ(rc.methodName, method);
}

// Made by the factory, as the library makes its threads.
TEST(XQNTThread, StartsOnceAtATimeWaitsForTheEndAndRestarts) {
    Gate g;
    XQabsFactory* const factory = XQabsFactory::Instance();
    std::unique_ptr<XQabsThread> made(factory->CreateThread(computeUntilReleased, &g));
    std::unique_ptr<XQabsThreadControl> control(factory->CreateThreadControl());
    ASSERT_NE(control, nullptr);
    XQNTThread& t = dynamic_cast<XQNTThread&>(*made);
    expectContext(t.WaitForTermination(0), 9009, L"XQNTThread::WaitForTermination()");
    expectContext(t.TerminateThread(), 9009, L"XQNTThread::TerminateThread()");
    ASSERT_EQ(t.StartThread(0).code, 0);
    waitEntered(g);
    expectContext(t.StartThread(0), 9008, L"XQNTThread::StartThread()");
    EXPECT_EQ(g.entered.load(), 1) << "the first thread runs on alone";
    // A timeout of 0 still waits for the end; the releaser's Sleep lasts its time.
    std::thread releaser([&] {
        EXPECT_EQ(control->Sleep(200).code, 0);
        g.release.store(1);
    });
    const auto start = Clock::now();
    EXPECT_EQ(t.WaitForTermination(0).code, 0);
    EXPECT_GE(msSince(start), 190);
    releaser.join();
    EXPECT_EQ(t.isStarted, 0);
    EXPECT_EQ(g.finished.load(), 1);
    // Again, with the same routine and argument.
    ASSERT_EQ(t.StartThread(0).code, 0);
    ASSERT_EQ(t.WaitForTermination(0).code, 0);
    EXPECT_EQ(g.finished.load(), 2);
}

// The objects a thread may wait on, made afresh for each kind of wait.
struct WaitObjects {
    XQabsFactory* const factory = XQabsFactory::Instance();
    std::unique_ptr<XQabsMutexSemaphore> mutex{factory->CreateMutexSemaphore(L"m")};
    std::unique_ptr<XQabsEventSemaphore> event{factory->CreateEventSemaphore(L"e")};
    XQNTThreadControl control;
    XQMessageQ queue;
};

// A thread body that waits as the case says.
struct WaitJob {
    Gate gate;
    std::function<void()> wait;
};

// It catches everything, as the library's thread bodies do. The forced-unwind
// exception of a cancelled thread has no object; the sanitizer's null check
// would flag the handler that lets it pass.
__attribute__((no_sanitize("null"))) void* runWait(void* arg) {
    WaitJob* job = static_cast<WaitJob*>(arg);
    try {
        Unwound u{&job->gate.finished};
        job->gate.entered.store(1);
        job->wait();
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        job->gate.release.store(99);
    }
    return nullptr;
}

struct WaitKind {
    const char* name;
    std::function<void(WaitObjects&)> before;       // on the test's thread
    std::function<void(WaitObjects&)> wait;         // on the thread that is ended
    std::function<void(WaitObjects&)> stillUsable;  // on the test's thread, after the end
};

TEST(XQNTThread, TerminateEndsEachKindOfWaitAndLeavesItsObjectUsable) {
    auto none = [](WaitObjects&) {};
    auto eventWorks = [](WaitObjects& w) {
        returnsWithin("SetSignal after the waiter was ended",
                      [&] { EXPECT_EQ(w.event->SetSignal().code, 0); });
        EXPECT_EQ(w.event->Wait(0).code, 0);
        EXPECT_EQ(w.event->Wait(0).code, 9001);
    };
    const WaitKind kinds[] = {
        {"mutex Acquire", [](WaitObjects& w) { ASSERT_EQ(w.mutex->Acquire().code, 0); },
         [](WaitObjects& w) { w.mutex->Acquire(); },
         [](WaitObjects& w) {
             EXPECT_EQ(w.mutex->Release().code, 0);
             returnsWithin("Acquire after the waiter was ended",
                           [&] { EXPECT_EQ(w.mutex->Acquire().code, 0); });
             EXPECT_EQ(w.mutex->Release().code, 0);
         }},
        {"event Wait without limit", none, [](WaitObjects& w) { w.event->Wait(0xFFFFFFFFUL); },
         eventWorks},
        {"event Wait with a timeout", none, [](WaitObjects& w) { w.event->Wait(60000); },
         eventWorks},
        {"Sleep", none, [](WaitObjects& w) { w.control.Sleep(60000); }, none},
        // Its Destroy also ends the queue's receive thread inside a socket read.
        {"queue Receive", [](WaitObjects& w) { ASSERT_EQ(w.queue.Create(0, 16).code, 0); },
         [](WaitObjects& w) {
             XQBaseMessage m;
             w.queue.Receive(m, 0xFFFFFFFFu);
         },
         [](WaitObjects& w) {
             ASSERT_EQ(sendBase(w.queue.nQueuePort, L"after the end").code, 0);
             XQBaseMessage m;
             returnsWithin("Receive after a reader was ended",
                           [&] { EXPECT_EQ(w.queue.Receive(m, 10000).code, 0); });
             EXPECT_EQ(m.BVName, L"after the end");
             EXPECT_EQ(w.queue.Destroy(1).code, 0);
         }},
    };
    for (const WaitKind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        WaitObjects objects;
        kind.before(objects);
        WaitJob job;
        job.wait = [&] { kind.wait(objects); };
        XQNTThread t(runWait, &job);
        ASSERT_EQ(t.StartThread(0).code, 0);
        waitEntered(job.gate);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it block
        XQRC rc(-1, 0, XQRC::WhsSrv);
        returnsWithin("TerminateThread", [&] { rc = t.TerminateThread(); });
        EXPECT_EQ(rc.code, 0);
        EXPECT_EQ(t.isStarted, 0);
        EXPECT_EQ(job.gate.finished.load(), 1) << "the stack was unwound";
        EXPECT_EQ(job.gate.release.load(), 0) << "a catch-all swallowed the forced end";
        EXPECT_EQ(t.TerminateThread().code, 9009);
        kind.stillUsable(objects);
    }
}

// The object still knows the thread after each timed-out end: destroying it
// waits once more, then leaves the thread to end alone.
TEST(XQNTThread, ABusyThreadGives9007AfterTheBoundAndIsLeftToEndAlone) {
    Gate g;
    auto t = std::make_unique<XQNTThread>(computeUntilReleased, &g);
    ASSERT_EQ(t->StartThread(0).code, 0);
    waitEntered(g);
    for (bool terminate : {true, false}) {
        const auto start = Clock::now();
        XQRC rc(-1, 0, XQRC::WhsSrv);
        returnsWithin("ending a busy thread",
                      [&] { rc = terminate ? t->TerminateThread() : t->WaitForTermination(0); });
        const long took = msSince(start);
        expectContext(rc, 9007, terminate ? L"XQNTThread::TerminateThread()"
                                          : L"XQNTThread::WaitForTermination()");
        EXPECT_EQ(rc.secondaryCode, ETIMEDOUT);
        EXPECT_GE(took, static_cast<long>(XQNTThread::kEndWaitMs) - 20);
        EXPECT_LT(took, 20000);
        EXPECT_EQ(t->isStarted, 1) << "the thread still runs";
    }
    const auto start = Clock::now();
    returnsWithin("destroying a busy thread", [&] { t.reset(); });
    EXPECT_GE(msSince(start), static_cast<long>(XQNTThread::kEndWaitMs) - 20);
    EXPECT_EQ(g.finished.load(), 0);
    g.release.store(1);
    EXPECT_TRUE(eventually([&g] { return g.finished.load() == 1; }, 10000));
}

// Copies name the same thread: one of them collects it, the others forget it.
TEST(XQNTThread, CopyCollectsTheThreadAfterClearHandle) {
    Gate g;
    XQNTThread t(computeUntilReleased, &g);
    ASSERT_EQ(t.StartThread(0).code, 0);
    XQNTThread copy(t);
    XQNTThread assigned(nullptr, nullptr);
    assigned = t;
    assigned.clearHandle();
    t.clearHandle();
    EXPECT_EQ(t.WaitForTermination(0).code, 9009);
    g.release.store(1);
    EXPECT_EQ(copy.WaitForTermination(0).code, 0);
    EXPECT_EQ(g.finished.load(), 1);
}

}  // namespace
