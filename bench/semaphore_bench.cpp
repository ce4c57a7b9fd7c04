// The cost of the mutex semaphore that guards the trace lines, the queue's
// list and the cursors of a connection: an acquire and a release, alone and
// with a second thread contending. The baseline is a std::mutex (a plain
// POSIX mutex) doing the same.
#include <benchmark/benchmark.h>

#include <memory>
#include <mutex>

#include "os/XQabsFactory.h"
#include "os/XQabsMutexSemaphore.h"

namespace {

std::mutex gBaseline;
std::unique_ptr<XQabsMutexSemaphore> gSemaphore(XQabsFactory::Instance()->CreateMutexSemaphore(L"bench"));
long gCounter = 0;

void BM_Baseline_StdMutex(benchmark::State& state) {
    for (auto _ : state) {
        gBaseline.lock();
        benchmark::DoNotOptimize(++gCounter);
        gBaseline.unlock();
    }
}
BENCHMARK(BM_Baseline_StdMutex)->Threads(1)->Threads(2)->UseRealTime();

void BM_MutexSemaphore(benchmark::State& state) {
    for (auto _ : state) {
        gSemaphore->Acquire();
        benchmark::DoNotOptimize(++gCounter);
        gSemaphore->Release();
    }
}
BENCHMARK(BM_MutexSemaphore)->Threads(1)->Threads(2)->UseRealTime();

}  // namespace
