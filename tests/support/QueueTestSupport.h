#ifndef TCORE_TESTS_SUPPORT_QUEUETESTSUPPORT_H
#define TCORE_TESTS_SUPPORT_QUEUETESTSUPPORT_H

// The set-up the queue, poll and thread tests share: a created queue on a
// free loopback port, messages addressed to it, and elapsed time. Queues send
// their stop frames and reports to the local host by name: a program that
// includes this header keeps that name on loopback (NVHOSTNAME=localhost).

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "foundation/XQRC.h"
#include "foundation/XQString.h"
#include "messages/XQBaseMessage.h"
#include "transport/XQMessageQ.h"

using Clock = std::chrono::steady_clock;
long msSince(Clock::time_point start);
double secondsSince(Clock::time_point start);

// Waits (at most limitMs) until pred holds.
template <class Pred>
bool eventually(Pred pred, long limitMs = 5000) {
    const auto start = Clock::now();
    while (!pred()) {
        if (msSince(start) > limitMs) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A created queue, destroyed (its poll clients halted, its messages purged)
// at the end of the test. With timeoutMs, each of its connections has that
// long for its frame.
struct TestQueue {
    XQMessageQ q;
    explicit TestQueue(unsigned int timeoutMs = 0,
                       const XQReceiveLimits& limits = XQReceiveLimits());
    ~TestQueue();
    unsigned int port() const { return q.nQueuePort; }
};

// How many messages the queue holds; waits (at most 10 s) until it holds n.
unsigned int queued(XQMessageQ& q);
bool waitQueued(XQMessageQ& q, unsigned int n);

// A request to 127.0.0.1:port named `name` (its BV name).
void address(XQBaseMessage& m, unsigned int port, const XQSTRING& name);
XQBaseMessage addressed(unsigned int port, const XQSTRING& name);
XQRC sendBase(unsigned int port, const XQSTRING& name);

// The packed form of a message, as host-order wide characters.
std::wstring packed(XQBaseMessage& m);

// A request named name sent to the queue must be confirmed and queued
// within kPromptSeconds. Generous, since the machine may be busy: a queue that
// served one connection after another would keep it waiting for whole socket
// timeouts (several seconds at least in these tests).
const double kPromptSeconds = 2.0;
void expectPromptDelivery(XQMessageQ& q, const XQSTRING& name);
// After a bad peer: the queue's counter reaches want, and a good sender is
// still queued promptly.
void expectCountedThenPrompt(XQMessageQ& q, std::uint64_t XQReceiveStats::*counter,
                             std::uint64_t want);

#endif
