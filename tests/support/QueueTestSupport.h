#ifndef TCORE_TESTS_SUPPORT_QUEUETESTSUPPORT_H
#define TCORE_TESTS_SUPPORT_QUEUETESTSUPPORT_H

// The set-up the queue, poll and thread tests share: a created queue on a
// free loopback port, messages addressed to it, and elapsed time. Queues send
// their stop frames and reports to the local host by name: a program that
// includes this header keeps that name on loopback (NVHOSTNAME=localhost).

#include <chrono>

#include "foundation/XQRC.h"
#include "foundation/XQString.h"
#include "messages/XQBaseMessage.h"
#include "transport/XQMessageQ.h"

using Clock = std::chrono::steady_clock;
long msSince(Clock::time_point start);

// A created queue, destroyed (its poll clients halted, its messages purged)
// at the end of the test.
struct TestQueue {
    XQMessageQ q;
    TestQueue();
    ~TestQueue();
    unsigned int port() const { return q.nQueuePort; }
};

// How many messages the queue holds; waits (at most 10 s) until it holds n.
unsigned int queued(XQMessageQ& q);
bool waitQueued(XQMessageQ& q, unsigned int n);

// A request to 127.0.0.1:port named `name` (its BV name).
void address(XQBaseMessage& m, unsigned int port, const XQSTRING& name);
XQRC sendBase(unsigned int port, const XQSTRING& name, const XQSTRING& statement = XQSTRING());

#endif
