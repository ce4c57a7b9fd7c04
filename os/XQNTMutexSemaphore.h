#ifndef TCORE_OS_XQNTMUTEXSEMAPHORE_H
#define TCORE_OS_XQNTMUTEXSEMAPHORE_H

#include <pthread.h>

#include "os/XQabsMutexSemaphore.h"

// The POSIX mutex semaphore. Not recursive: a thread that acquires it twice
// blocks. Usable from construction when state is 1. Any thread may acquire
// it and any thread may release it; releasing one nobody holds gives 9012.
// Return codes 9010, 9012, 9014, 9015.
//
// Acquire is a cancellation point while it waits for another holder: a
// thread ended by force there (XQNTThread::TerminateThread) unwinds holding
// nothing, and the semaphore stays usable. A thread ended while it holds the
// semaphore leaves it held: code that may be ended by force holds it with
// cancellation disabled (XQCancelScope).
class TCORE_EXPORT XQNTMutexSemaphore : public XQabsMutexSemaphore {
public:
    explicit XQNTMutexSemaphore(const XQSTRING& name);
    ~XQNTMutexSemaphore() override;
    XQRC Acquire() override;
    XQRC Release() override;
    virtual XQRC Create();

    int initialised;

private:
    // Waits until nobody holds the semaphore and takes it; 0 or an error.
    int take();
    // Gives it back; EPERM when nobody held it.
    int give();

    // A lock is a flag under a POSIX mutex with a condition to wait on, so
    // that a waiter can be ended by force (a pthread_mutex_lock cannot).
    pthread_mutex_t guard;
    pthread_cond_t freed;
    bool held = false;  // guarded by guard
};

#endif
