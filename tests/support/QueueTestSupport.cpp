#include "support/QueueTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace {
const bool environmentSet = [] {
    setenv("NVHOSTNAME", "localhost", 1);
    return true;
}();
}  // namespace

long msSince(Clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

TestQueue::TestQueue() {
    EXPECT_EQ(q.Create(0, 16).code, 0);
    EXPECT_NE(q.nQueuePort, 0u);
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
    const auto start = Clock::now();
    while (queued(q) < n && msSince(start) < 10000) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return queued(q) == n;
}

void address(XQBaseMessage& m, unsigned int port, const XQSTRING& name) {
    m.SetDestQueueHost(L"127.0.0.1");
    m.SetDestQueuePort(port);
    m.SetIsRequest(1);
    m.SetBVName(name);
}

XQRC sendBase(unsigned int port, const XQSTRING& name, const XQSTRING& statement) {
    XQBaseMessage m;
    address(m, port, name);
    m.SetSQLStmt1(statement);
    return m.Send();
}


XQBaseMessage addressed(unsigned int port, const XQSTRING& name) {
    XQBaseMessage m;
    address(m, port, name);
    return m;
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
