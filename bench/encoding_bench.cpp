// Packing and unpacking a realistic list payload (200 column descriptions
// and a result set of 100 rows by 10 columns) against memcpy of the same
// bytes in the same run. Compare the bytes_per_second of each benchmark with
// BM_MemcpySameBytes.

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "messages/ListEncoding.h"

namespace {

struct Payload {
    XQAttributeDataList columns;
    XQResultSetDataList rows;
    std::vector<unsigned char> packed;
    unsigned long columnBytes = 0;
};

const Payload& payload() {
    static const Payload p = [] {
        Payload p;
        static const wchar_t* kTypes[] = {L"VARCHAR", L"INTEGER", L"DECIMAL", L"TIMESTAMP",
                                          L"CHAR"};
        for (int i = 0; i < 200; ++i) {
            XQAttributeData a;
            a.Text1 = L"SALES_ORDER_ITEMS_" + std::to_wstring(i / 20);
            a.Text2 = L"CUSTOMER_NUMBER_" + std::to_wstring(i);
            a.Text3 = kTypes[i % 5];
            a.Number1 = 12 + i % 5;
            a.Number2 = 64 + i;
            a.Number3 = i % 3;
            a.Number4 = 1;
            a.Number5 = -1;
            a.Number6 = 100000 + i;
            a.Text4 = L"Customer number of the ordering party, column " + std::to_wstring(i);
            a.Number7 = i;
            p.columns.push_back(a);
        }
        for (int r = 0; r < 100; ++r) {
            XQResultSetData row;
            row.push_back(std::to_wstring(4711000 + r));
            row.push_back(L"2026-12-05-10.15.3" + std::to_wstring(r % 10));
            row.push_back(L"M\u00fcller & S\u00f6hne GmbH " + std::to_wstring(r));
            row.push_back(L"DE");
            row.push_back(std::to_wstring(r * 37 % 1000) + L".50");
            row.push_back(L"EUR");
            row.push_back(r % 2 ? L"Y" : L"N");
            row.push_back(L"Hauptstra\u00dfe " + std::to_wstring(r));
            row.push_back(L"");
            row.push_back(std::to_wstring(-r));
            p.rows.push_back(row);
        }
        p.packed.resize(CalculateDataListSize(p.columns) + CalculateResultSetSize(p.rows));
        unsigned long cursor = 0;
        CopyDataListToBuffer(p.columns, p.packed.data(), &cursor);
        p.columnBytes = cursor;
        CopyResultSetToBuffer(p.rows, p.packed.data(), &cursor);
        p.packed.resize(cursor);
        return p;
    }();
    return p;
}

void BM_MemcpySameBytes(benchmark::State& state) {
    const Payload& p = payload();
    std::vector<unsigned char> target(p.packed.size());
    for (auto _ : state) {
        std::memcpy(target.data(), p.packed.data(), p.packed.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * p.packed.size()));
}
BENCHMARK(BM_MemcpySameBytes);

void BM_WriteLists(benchmark::State& state) {
    const Payload& p = payload();
    std::vector<unsigned char> target(p.packed.size());
    for (auto _ : state) {
        unsigned long cursor = 0;
        CopyDataListToBuffer(p.columns, target.data(), &cursor);
        CopyResultSetToBuffer(p.rows, target.data(), &cursor);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * p.packed.size()));
}
BENCHMARK(BM_WriteLists);

// What a sender does: size the lists, then write them.
void BM_SizeAndWriteLists(benchmark::State& state) {
    const Payload& p = payload();
    std::vector<unsigned char> target(p.packed.size());
    for (auto _ : state) {
        const unsigned long size =
            CalculateDataListSize(p.columns) + CalculateResultSetSize(p.rows);
        benchmark::DoNotOptimize(size);
        unsigned long cursor = 0;
        CopyDataListToBuffer(p.columns, target.data(), &cursor);
        CopyResultSetToBuffer(p.rows, target.data(), &cursor);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * p.packed.size()));
}
BENCHMARK(BM_SizeAndWriteLists);

// What a receiver does: fresh lists, read through the bounded reader, freed.
void BM_ReadListsFresh(benchmark::State& state) {
    const Payload& p = payload();
    for (auto _ : state) {
        XQAttributeDataList columns;
        XQResultSetDataList rows;
        XQFieldReader reader(p.packed.data(), p.packed.size());
        GetDataListFromBuffer(columns, reader);
        GetResultSetFromBuffer(rows, reader, 100);
        benchmark::DoNotOptimize(columns.data());
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * p.packed.size()));
}
BENCHMARK(BM_ReadListsFresh);

// Reading again into the same lists reuses their storage.
void BM_ReadListsReused(benchmark::State& state) {
    const Payload& p = payload();
    XQAttributeDataList columns;
    XQResultSetDataList rows;
    for (auto _ : state) {
        XQFieldReader reader(p.packed.data(), p.packed.size());
        GetDataListFromBuffer(columns, reader);
        GetResultSetFromBuffer(rows, reader, 100);
        benchmark::DoNotOptimize(columns.data());
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * p.packed.size()));
}
BENCHMARK(BM_ReadListsReused);

// The least new lists cost: copies of the same lists, the same allocations
// without parsing.
void BM_CopyLists(benchmark::State& state) {
    const Payload& p = payload();
    for (auto _ : state) {
        XQAttributeDataList columns(p.columns);
        XQResultSetDataList rows(p.rows);
        benchmark::DoNotOptimize(columns.data());
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * p.packed.size()));
}
BENCHMARK(BM_CopyLists);

}  // namespace
