#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "messages/XQAgentMessage.h"

// Packing and unpacking a realistic agent message (40 filled texts, 100 input
// and 100 output columns, 50 tables) against a plain copy of its packed bytes
// in the same run.

namespace {

XQSTRING text(const wchar_t* stem, int i) { return XQSTRING(stem) + std::to_wstring(i); }

XQAgentMessage& realisticMessage() {
    static XQAgentMessage m = [] {
        XQAgentMessage a;
        a.OriginQueueName = L"KERNELQ";
        a.OriginQueueHost = L"warehouse-server.example.com";
        a.OriginInetAddr = L"192.168.10.20";
        a.DestQueueName = L"AGENTQ";
        a.DestQueueHost = L"agent-host-7.example.com";
        a.OriginQueuePort = 11001;
        a.DestQueuePort = 11002;
        a.IsRequest = 0;  // sizing a reply does not resolve the local address
        a.BVName = L"SALES_FACTS_DAILY";
        a.SQLStmt1 = L"SELECT ORDER_ID, CUSTOMER_ID, AMOUNT, CURRENCY FROM SALES.ORDERS WHERE ORDER_DATE = ?";
        a.SQLStmt2 = L"INSERT INTO IWH.SALES_FACTS VALUES (?, ?, ?, ?)";
        a.StatusMsg = L"Step running";
        a.SourceFileName = L"/data/incoming/orders_20261205.csv";
        a.SourceFTPServer = L"ftp.example.com";
        a.SourceMountString = L"nfs:/export/data";
        a.SourceMountPoint = L"/mnt/data";
        a.SourceDBConnectString = L"DSN=SALESDB;UID=etl;PWD=secret;";
        a.SourceDBName = L"SALESDB";
        a.SourceDBVersion = L"11.5";
        a.SourceDBUserid = L"etl";
        a.SourceDBPassword = L"secret";
        a.TargetDBConnectString = L"DSN=IWHDB;UID=iwh;PWD=secret;";
        a.TargetDBName = L"IWHDB";
        a.TargetDBVersion = L"15";
        a.TargetDBUserid = L"iwh";
        a.TargetDBPassword = L"secret";
        a.ControlDBQualifier = L"IWH";
        a.UDPName = L"cleanse";
        a.UDPFunction = L"run";
        a.UDPArgs = L"-v -x 3";
        a.SystemCommand = L"/usr/bin/true";
        a.SetAgentModuleName(L"iwhagent");
        a.SetAgentPath(L"/opt/iwh/bin");
        a.SetAgentArguments(L"-q AGENTQ");
        a.SetAgentUserid(L"iwhagent");
        a.SetAgentPassword(L"secret");
        a.SourceDBMSServerName = L"db2srv";
        a.TargetDBMSServerName = L"pgsrv";
        a.DefaultDelimiter = L",";
        a.ReturnCode.methodName = L"XQAgent::Run()";
        a.ReturnCode.comment = L"fetched";
        for (int i = 0; i < 100; ++i) {
            XQAttributeData c;
            c.Text1 = text(L"COLUMN_NAME_", i);
            c.Text2 = L"VARCHAR";
            c.Text3 = L"SALES.ORDERS";
            c.Number1 = i;
            c.Number2 = 254;
            c.Number3 = 12;
            c.Text4 = text(L"Column comment ", i);
            a.InputDataList.push_back(c);
            c.Text3 = L"IWH.SALES_FACTS";
            a.OutputDataList.push_back(c);
        }
        for (int i = 0; i < 50; ++i) {
            XQTableNameData t;
            t.Text1 = L"SALESDB";
            t.Text2 = L"SALES";
            t.Text3 = text(L"TABLE_", i);
            t.Text4 = L"TABLE";
            t.Number1 = i;
            t.Text5 = text(L"Table comment ", i);
            a.TableList.push_back(t);
        }
        return a;
    }();
    return m;
}

struct Packed {
    std::vector<unsigned char> bytes;
    unsigned int baseSize;
};

Packed pack(XQAgentMessage& m) {
    Packed p;
    p.baseSize = m.XQBaseMessage::CalculateSize();
    unsigned int total = p.baseSize + m.CalculateSize();
    p.bytes.assign(total, 0);
    m.XQBaseMessage::PackMessage(p.bytes.data(), total);
    m.PackMessage(p.bytes.data() + p.baseSize);
    return p;
}

void BM_PackAgentMessage(benchmark::State& state) {
    XQAgentMessage& m = realisticMessage();
    std::vector<unsigned char> buffer;
    for (auto _ : state) {
        unsigned int baseSize = m.XQBaseMessage::CalculateSize();
        unsigned int total = baseSize + m.CalculateSize();
        buffer.resize(total);
        m.XQBaseMessage::PackMessage(buffer.data(), total);
        m.PackMessage(buffer.data() + baseSize);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buffer.size()));
}
BENCHMARK(BM_PackAgentMessage);

void BM_UnpackAgentMessage(benchmark::State& state) {
    Packed p = pack(realisticMessage());
    for (auto _ : state) {
        XQAgentMessage r;
        XQRC rc = r.UnpackMessageBounded(p.bytes.data(), p.bytes.size());
        benchmark::DoNotOptimize(rc.code);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(p.bytes.size()));
}
BENCHMARK(BM_UnpackAgentMessage);

// A receiver that unpacks every message into the same object: the strings and
// list elements it already holds are reused. The carried comment grows with
// every unpack by design, so the loop clears it as such a receiver would.
void BM_UnpackAgentMessageReused(benchmark::State& state) {
    Packed p = pack(realisticMessage());
    XQAgentMessage r;
    for (auto _ : state) {
        r.ReturnCode.comment.clear();
        XQRC rc = r.UnpackMessageBounded(p.bytes.data(), p.bytes.size());
        benchmark::DoNotOptimize(rc.code);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(p.bytes.size()));
}
BENCHMARK(BM_UnpackAgentMessageReused);

// The least a new message costs: copying the held message makes the same
// strings and list elements with no parsing at all.
void BM_CopyAgentMessage(benchmark::State& state) {
    const XQAgentMessage& m = realisticMessage();
    for (auto _ : state) {
        XQAgentMessage copy(m);
        benchmark::DoNotOptimize(&copy);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CopyAgentMessage);

void BM_MemcpyPackedBytes(benchmark::State& state) {
    Packed p = pack(realisticMessage());
    std::vector<unsigned char> copy(p.bytes.size());
    for (auto _ : state) {
        memcpy(copy.data(), p.bytes.data(), p.bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(p.bytes.size()));
    state.counters["packed_bytes"] = static_cast<double>(p.bytes.size());
}
BENCHMARK(BM_MemcpyPackedBytes);

}  // namespace
