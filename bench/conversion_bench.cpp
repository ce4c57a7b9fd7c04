// Conversion of packed buffers between wide characters and the UCS-2 wire
// form: the direct path and the staged iconv path, against memcpy of the same
// bytes in the same run. Runs in C.UTF-8 unless LC_ALL says otherwise.
//
// Each wide-to-UCS-2 iteration restores its input with a memcpy before the
// in-place conversion (that copy is part of the measured time); each
// UCS-2-to-wide iteration copies the frame into a fresh buffer, which the
// conversion takes over, frees, and replaces. The baselines do the same
// copies without converting.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "foundation/Conversion.h"

namespace {

void setUpLocale() {
    static const bool done = [] {
        setenv("LC_ALL", "C.UTF-8", 0);
        return setConvDesc() == 1;
    }();
    (void)done;
}

// A packed message of `bytes` bytes: eye catcher, then mixed text (mostly
// ASCII, some Latin-1 and CJK) over the first half and zeros after it, as
// packed messages end.
std::vector<wchar_t> mixedWide(size_t bytes) {
    std::mt19937 rng(1);
    std::vector<wchar_t> v(bytes / 4, L'\0');
    const wchar_t eye[] = L"XQBase    ";
    for (size_t i = 0; i < 10 && i < v.size(); ++i) v[i] = eye[i];
    for (size_t i = 10; i < v.size() / 2; ++i) {
        unsigned r = rng() % 16;
        if (r == 0) v[i] = static_cast<wchar_t>(0xC0 + rng() % 0x40);
        else if (r == 1) v[i] = static_cast<wchar_t>(0x4E00 + rng() % 0x5000);
        else v[i] = static_cast<wchar_t>(0x20 + rng() % 0x5F);
    }
    return v;
}

void WideToUnicode(benchmark::State& state, bool fast) {
    setUpLocale();
    const size_t bytes = static_cast<size_t>(state.range(0));
    std::vector<wchar_t> pristine = mixedWide(bytes);
    std::vector<wchar_t> work(pristine.size());
    xqSetConversionFastPath(fast);
    for (auto _ : state) {
        std::memcpy(work.data(), pristine.data(), bytes);
        XQRC rc = ConvertWideToUnicode(work.data(), static_cast<unsigned int>(bytes));
        if (rc.code != 0) state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(work.data());
    }
    xqSetConversionFastPath(true);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void WideToUnicodeDirect(benchmark::State& state) { WideToUnicode(state, true); }
void WideToUnicodeStaged(benchmark::State& state) { WideToUnicode(state, false); }

void MemcpyWide(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(state.range(0));
    std::vector<wchar_t> pristine = mixedWide(bytes);
    std::vector<wchar_t> work(pristine.size());
    for (auto _ : state) {
        std::memcpy(work.data(), pristine.data(), bytes);
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// The wire form of a packed message of `bytes` wide bytes (bytes long).
std::vector<unsigned char> mixedFrame(size_t bytes) {
    setUpLocale();
    std::vector<wchar_t> wide = mixedWide(bytes);
    ConvertWideToUnicode(wide.data(), static_cast<unsigned int>(bytes));
    const unsigned char* p = reinterpret_cast<const unsigned char*>(wide.data());
    return std::vector<unsigned char>(p, p + bytes);
}

void UnicodeToWide(benchmark::State& state, bool fast) {
    setUpLocale();
    const size_t bytes = static_cast<size_t>(state.range(0));
    std::vector<unsigned char> frame = mixedFrame(bytes);
    xqSetConversionFastPath(fast);
    for (auto _ : state) {
        unsigned char* buf = static_cast<unsigned char*>(std::malloc(bytes));
        std::memcpy(buf, frame.data(), bytes);
        int length = static_cast<int>(bytes);
        XQRC rc = ConvertUnicodeToWide(buf, length);
        if (rc.code != 0) state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(buf);
        std::free(buf);
    }
    xqSetConversionFastPath(true);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void UnicodeToWideDirect(benchmark::State& state) { UnicodeToWide(state, true); }
void UnicodeToWideStaged(benchmark::State& state) { UnicodeToWide(state, false); }

// Baseline of the receive direction: the same copy into a fresh buffer, and
// a fresh buffer of the converted size, without converting.
void MemcpyFrame(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(state.range(0));
    std::vector<unsigned char> frame = mixedFrame(bytes);
    for (auto _ : state) {
        unsigned char* buf = static_cast<unsigned char*>(std::malloc(bytes));
        std::memcpy(buf, frame.data(), bytes);
        benchmark::DoNotOptimize(buf);
        unsigned char* out = static_cast<unsigned char*>(std::malloc(2 * bytes + 4));
        std::memcpy(out, buf, bytes);
        std::memcpy(out + bytes, buf, bytes);
        benchmark::DoNotOptimize(out);
        std::free(buf);
        std::free(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

}  // namespace

BENCHMARK(MemcpyWide)->Arg(4096)->Arg(1 << 20);
BENCHMARK(WideToUnicodeDirect)->Arg(4096)->Arg(1 << 20);
BENCHMARK(WideToUnicodeStaged)->Arg(4096)->Arg(1 << 20);
BENCHMARK(MemcpyFrame)->Arg(4096)->Arg(1 << 20);
BENCHMARK(UnicodeToWideDirect)->Arg(4096)->Arg(1 << 20);
BENCHMARK(UnicodeToWideStaged)->Arg(4096)->Arg(1 << 20);
