#ifndef TCORE_OS_XQNTTHREAD_H
#define TCORE_OS_XQNTTHREAD_H

#include <pthread.h>

#include "os/XQabsThread.h"

// The POSIX thread: joinable, started by StartThread. Return codes (domain
// WhsSrv, carrying the method, the command line and the host name):
// 9006 the thread could not be created, 9007 ending it failed, 9008 already
// started, 9009 never started or already ended.
//
// A forced end (TerminateThread, or destroying an object whose thread still
// runs) cancels the thread and waits for it at most kEndWaitMs: the thread
// ends at its next cancellation point, unwinding its stack; nothing signals
// the process. The library's own waits are such points (mutex Acquire, event
// Wait, Sleep, socket and queue waits) and leave their objects usable. A
// thread that does not end in time (it computes, or keeps cancellation
// disabled) gives 9007 (secondary code ETIMEDOUT) and stays started: the
// request stands, and a later TerminateThread or WaitForTermination waits
// again, as long, for it to end. Destroying the object then returns after
// that wait too and leaves the thread to end on its own (detached); whatever
// the thread uses must outlive it. A start routine that catches (...) must
// rethrow abi::__forced_unwind.
//
// WaitForTermination waits without limit whatever its argument, except for
// a thread already asked to end (above).
//
// Copies name the same running thread. Only one of them may wait for or end
// it; call clearHandle on the others before destroying them.
class TCORE_EXPORT XQNTThread : public XQabsThread {
public:
    XQNTThread(XQThreadStartRoutine routine, void* argument);
    XQNTThread(const XQNTThread&) = default;
    XQNTThread& operator=(const XQNTThread&) = default;
    ~XQNTThread() override;

    XQRC StartThread(int) override;
    XQRC TerminateThread() override;
    XQRC WaitForTermination(unsigned int) override;
    void clearHandle() override;

    // How long a forced end waits for the thread to end.
    static constexpr unsigned int kEndWaitMs = 2000;

    int isStarted;
    pthread_t threadId;

private:
    // Cancels the thread (once) and waits for it at most kEndWaitMs; 0 when
    // it has ended and is collected, ETIMEDOUT when it still runs.
    int endWithin();
    // Joins without limit, or within kEndWaitMs once an end was requested.
    int join();

    bool endRequested = false;
};

// Where a pending forced end of the calling thread lands when its
// cancellation is on: for waits made in slices, whose system call must not
// be left by a forced end.
TCORE_EXPORT void XQCancellationPoint();

// Sets whether the calling thread may be cancelled while this object lives,
// and restores the former setting afterwards. Thread bodies turn
// cancellation off around code that holds locks or writes trace lines, and on
// around the blocking calls where a forced end may land.
class TCORE_EXPORT XQCancelScope {
public:
    explicit XQCancelScope(bool enable);
    ~XQCancelScope();
    XQCancelScope(const XQCancelScope&) = delete;
    XQCancelScope& operator=(const XQCancelScope&) = delete;

    // Whether cancellation was on before this scope.
    bool wasEnabled() const { return previous == PTHREAD_CANCEL_ENABLE; }

private:
    int previous;
};

#endif
