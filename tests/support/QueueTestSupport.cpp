#include "support/QueueTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "transport/XQSocket.h"

static const bool kHostNameSet = setenv("NVHOSTNAME", "localhost", 1) == 0;

long msSince(Clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

TestQueue::TestQueue(unsigned int timeoutMs, const XQReceiveLimits& limits) {
    const unsigned int previous = XQSocket::GetDefaultTimeout();
    if (timeoutMs != 0) XQSocket::SetDefaultTimeout(timeoutMs);
    q.SetReceiveLimits(limits);
    EXPECT_EQ(q.Create(0, 1024).code, 0);
    EXPECT_NE(q.nQueuePort, 0u);
    XQSocket::SetDefaultTimeout(previous);
}

TestQueue::~TestQueue() {
    q.HaltAllPollClients();
    q.Destroy(1);
}

unsigned int queued(XQMessageQ& q) {
    XQBaseMessage scratch;
    unsigned int count = 0;
    q.Peek(scratch, 0xFFFFFFFFu, count);
    return count;
}

bool waitQueued(XQMessageQ& q, unsigned int n) {
    eventually([&] { return queued(q) >= n; }, 10000);
    return queued(q) == n;
}

void address(XQBaseMessage& m, unsigned int port, const XQSTRING& name) {
    m.SetDestQueueHost(L"127.0.0.1");
    m.SetDestQueuePort(port);
    m.SetIsRequest(1);
    m.SetBVName(name);
}

XQBaseMessage addressed(unsigned int port, const XQSTRING& name) {
    XQBaseMessage m;
    address(m, port, name);
    return m;
}

XQRC sendBase(unsigned int port, const XQSTRING& name) { return addressed(port, name).Send(); }

std::wstring packed(XQBaseMessage& m) {
    const unsigned int size = m.CalculateSize();
    std::vector<unsigned char> bytes(size, 0);
    m.PackMessage(bytes.data(), size);
    std::wstring text(size / sizeof(wchar_t), L'\0');
    std::memcpy(&text[0], bytes.data(), text.size() * sizeof(wchar_t));
    return text;
}

void expectPromptDelivery(XQMessageQ& q, const XQSTRING& name) {
    const auto start = Clock::now();
    EXPECT_EQ(addressed(q.nQueuePort, name).Send().code, 0) << "Send of " << name;
    EXPECT_LT(secondsSince(start), kPromptSeconds) << "Send of " << name;
    XQBaseMessage m;
    EXPECT_EQ(q.Receive(m, static_cast<unsigned int>(kPromptSeconds * 1000)).code, 0) << name;
    EXPECT_EQ(m.BVName, name);
    EXPECT_LT(secondsSince(start), kPromptSeconds) << "queued " << name;
}

void expectCountedThenPrompt(XQMessageQ& q, std::uint64_t XQReceiveStats::*counter,
                             std::uint64_t want) {
    EXPECT_TRUE(eventually([&] { return q.GetReceiveStats().*counter == want; }));
    expectPromptDelivery(q, L"after a bad peer");
}
