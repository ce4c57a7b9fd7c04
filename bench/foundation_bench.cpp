// Costs that every send, receive and traced method pays: a trace statement
// below its level, and building and copying a success return code. The
// baseline is a plain integer comparison against a volatile threshold.
#include <benchmark/benchmark.h>

#include "foundation/Trace.h"
#include "foundation/XQRC.h"

namespace {

volatile int gLevel = 0;

void BM_Baseline_IntCompare(benchmark::State& state) {
    int hits = 0;
    for (auto _ : state) {
        if (gLevel >= 4) ++hits;
        benchmark::DoNotOptimize(hits);
    }
}
BENCHMARK(BM_Baseline_IntCompare);

void BM_TraceBelowLevel(benchmark::State& state) {
    setDebugTcore(0);
    long n = 0;
    for (auto _ : state) {
        XQ_TRACE(3, "XQSocket::Recieve MsgLen = " << n << " bytes " << std::wstring(L"text"));
        benchmark::DoNotOptimize(++n);
    }
}
BENCHMARK(BM_TraceBelowLevel);

void tracedMethod(long& n) {
    XQ_TRACE_METHOD("XQBench::Method()");
    ++n;
}

void BM_TracedMethodBelowLevel(benchmark::State& state) {
    setDebugTcore(0);
    long n = 0;
    for (auto _ : state) {
        tracedMethod(n);
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_TracedMethodBelowLevel);

void BM_XQRCSuccessConstruct(benchmark::State& state) {
    for (auto _ : state) {
        XQRC rc(0, 0, XQRC::WhsSrv);
        benchmark::DoNotOptimize(rc);
    }
}
BENCHMARK(BM_XQRCSuccessConstruct);

void BM_XQRCSuccessCopy(benchmark::State& state) {
    XQRC src(0, 0, XQRC::WhsSrv);
    for (auto _ : state) {
        benchmark::DoNotOptimize(src);
        XQRC copy(src);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_XQRCSuccessCopy);

void BM_XQRCFailureCopy(benchmark::State& state) {
    XQRC src(6105, 111, XQRC::Windows);
    src.methodName = L"XQSocket::Send: a method name longer than the small buffer";
    src.hostName = L"a-host-name-longer-than-sso.example";
    for (auto _ : state) {
        benchmark::DoNotOptimize(src);
        XQRC copy(src);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_XQRCFailureCopy);

}  // namespace
