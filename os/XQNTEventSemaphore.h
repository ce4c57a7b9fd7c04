#ifndef TCORE_OS_XQNTEVENTSEMAPHORE_H
#define TCORE_OS_XQNTEVENTSEMAPHORE_H

#include <pthread.h>

#include "os/XQabsEventSemaphore.h"

// The POSIX event semaphore: a condition variable on CLOCK_MONOTONIC and its
// mutex. Timed waits honour milliseconds and are not moved by changes of the
// wall clock. Return codes 9001, 9017, 9018.
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
    pthread_cond_t cond;
    pthread_mutex_t mutex;
    // Counts SetSignal and Signal calls, so a waiter tells a real wake from
    // a spurious one and a pulse is not lost. Guarded by mutex.
    unsigned long wakeups = 0;
};

#endif
