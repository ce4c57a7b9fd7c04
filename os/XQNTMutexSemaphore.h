#ifndef TCORE_OS_XQNTMUTEXSEMAPHORE_H
#define TCORE_OS_XQNTMUTEXSEMAPHORE_H

#include <pthread.h>

#include "os/XQabsMutexSemaphore.h"

// The POSIX mutex semaphore (default attributes: a thread that acquires it
// twice blocks). Usable from construction when state is 1. Any thread may
// acquire and release it. Return codes 9010, 9012, 9014, 9015.
class TCORE_EXPORT XQNTMutexSemaphore : public XQabsMutexSemaphore {
public:
    explicit XQNTMutexSemaphore(const XQSTRING& name);
    ~XQNTMutexSemaphore() override;
    XQRC Acquire() override;
    XQRC Release() override;
    virtual XQRC Create();

    int initialised;

private:
    pthread_mutex_t mutex;
};

#endif
