#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>

#include "os/XQabsEventSemaphore.h"
#include "os/XQabsFactory.h"
#include "os/XQabsMutexSemaphore.h"
#include "support/QueueTestSupport.h"

namespace {

std::unique_ptr<XQabsEventSemaphore> makeEvent() {
    return std::unique_ptr<XQabsEventSemaphore>(
        XQabsFactory::Instance()->CreateEventSemaphore(L"ev"));
}

std::unique_ptr<XQabsMutexSemaphore> makeMutex() {
    return std::unique_ptr<XQabsMutexSemaphore>(
        XQabsFactory::Instance()->CreateMutexSemaphore(L"mx"));
}

// SetSignal holds until one wait consumes it (signals are not counted);
// Signal is a pulse that only a current waiter sees; an event that was not
// created refuses all but a reset.
TEST(EventSemaphore, SetSignalIsConsumedOncePulsesAreLostAndNotCreatedGives9018) {
    auto ev = makeEvent();
    EXPECT_EQ(ev->SetSignal().code, 0);
    ev->SetSignal();
    EXPECT_EQ(ev->Wait(0).code, 0);
    EXPECT_EQ(ev->Wait(0).code, 9001);
    EXPECT_EQ(ev->Signal().code, 0);
    EXPECT_EQ(ev->Wait(0).code, 9001) << "nobody was waiting: the pulse is gone";
    ev->SetSignal();
    EXPECT_EQ(ev->ResetSignal().code, 0);
    EXPECT_EQ(ev->Wait(0).code, 9001);
    ev->state = 2;  // as after a failed creation
    EXPECT_EQ(ev->Wait(0).code, 9018);
    EXPECT_EQ(ev->SetSignal().code, 9018);
    EXPECT_EQ(ev->ResetSignal().code, 0);
    ev->state = 1;
}

// The waiter waits without limit; should no pulse reach it, SetSignal frees
// it after the bound and the test fails on the time.
TEST(EventSemaphore, PulseWakesACurrentWaiter) {
    auto ev = makeEvent();
    std::atomic<int> result{-1};
    std::thread waiter([&] { result = ev->Wait(0xFFFFFFFFUL).code; });
    auto t0 = Clock::now();
    // Pulse until the waiter has taken one: a pulse sent before it waits is lost.
    while (result.load() == -1 && msSince(t0) < 9000) {
        ev->Signal();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (result.load() == -1) ev->SetSignal();
    waiter.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_LT(msSince(t0), 9000);
    EXPECT_EQ(ev->Wait(0).code, 9001);  // the pulse left it not signalled
}

TEST(EventSemaphore, ProducerConsumerHandshakeLosesNothing) {
    auto ready = makeEvent();
    auto taken = makeEvent();
    std::atomic<int> consumed{0};
    const int rounds = 2000;
    std::thread consumer([&] {
        for (int i = 0; i < rounds; ++i) {
            if (ready->Wait(5000).code != 0) break;
            ++consumed;
            taken->SetSignal();
        }
    });
    for (int i = 0; i < rounds; ++i) {
        ready->SetSignal();
        if (taken->Wait(5000).code != 0) break;
    }
    consumer.join();
    EXPECT_EQ(consumed.load(), rounds);
}

TEST(MutexSemaphore, NotCreatedGives9015AndReleaseOfAFreeOneGives9012) {
    auto mx = makeMutex();
    XQRC free = mx->Release();
    EXPECT_EQ(free.code, 9012);
    EXPECT_EQ(free.secondaryCode, EPERM);
    EXPECT_EQ(mx->Acquire().code, 0) << "the failed release changed nothing";
    EXPECT_EQ(mx->Release().code, 0);
    mx->state = 2;  // as after a failed creation
    EXPECT_EQ(mx->Acquire().code, 9015);
    mx->state = 1;
}

}  // namespace
