// Resolutions per second of XQResolveMessage::ResolveMsgs against the built
// catalogue: reading the catalogue file for every message (the baseline) and
// with the parsed catalogue kept per file.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "db/DbClient.h"
#include "foundation/XQResolveMessage.h"

namespace {

void resolve(benchmark::State& state, bool caching) {
    dbCatalogueCaching(caching);
    XQResolveMessage r;
    XQRC rc(6105, 111, XQRC::Sockets);
    rc.SetXQMessage(L"4000", L"2", L"1000", L"", L"", L"", L"", L"", L"", L"");
    XQSTRING secondary, primary;
    r.ResolveMsgs(rc, secondary, primary, L"", 0);
    if (primary.empty()) state.SkipWithError("no catalogue found (build the tcore_catalogue target)");
    for (auto _ : state) {
        r.ResolveMsgs(rc, secondary, primary, L"extra", 42);
        benchmark::DoNotOptimize(primary.data());
    }
    state.SetItemsProcessed(state.iterations());
    dbCatalogueCaching(true);
}

void BM_ResolveMsgs_ReadEachTime(benchmark::State& state) { resolve(state, false); }
void BM_ResolveMsgs_CachedCatalogue(benchmark::State& state) { resolve(state, true); }

}  // namespace

BENCHMARK(BM_ResolveMsgs_ReadEachTime);
BENCHMARK(BM_ResolveMsgs_CachedCatalogue);
