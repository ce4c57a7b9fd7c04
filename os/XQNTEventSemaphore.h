#ifndef TCORE_OS_XQNTEVENTSEMAPHORE_H
#define TCORE_OS_XQNTEVENTSEMAPHORE_H

#include <pthread.h>

#include "os/XQabsEventSemaphore.h"

// The POSIX event semaphore: a condition variable on CLOCK_MONOTONIC and its
// mutex. Timed waits honour milliseconds and are not moved by changes of the
// wall clock. Return codes 9001, 9017, 9018.
//
// Wait is a cancellation point: a thread ended by force while it waits
// (XQNTThread::TerminateThread) unwinds, leaves the event's mutex unlocked
// and the event as it was, so other threads go on using it.
class TCORE_EXPORT XQNTEventSemaphore : public XQabsEventSemaphore {
public:
    explicit XQNTEventSemaphore(const XQSTRING& name);
    ~XQNTEventSemaphore() override;
    XQRC Wait(unsigned long timeout) override;
    XQRC Signal() override;
    XQRC SetSignal() override;
    XQRC ResetSignal() override;
    virtual XQRC Create();

    int initialised;
    int nonSignaled;  // 1 = not signalled, 0 = signalled; guarded by mutex

private:
    // Waits on cond (mutex held) until a SetSignal or Signal, or the
    // timeout; 0, ETIMEDOUT or the error of the wait.
    int waitForWakeup(unsigned long timeout);

    pthread_cond_t cond;
    pthread_mutex_t mutex;
    // Counts SetSignal and Signal calls, so a waiter tells a real wake from
    // a spurious one and a pulse is not lost. Guarded by mutex.
    unsigned long wakeups = 0;
};

#endif
