#ifndef TCORE_OS_PTHREADMUTEXHOLD_H
#define TCORE_OS_PTHREADMUTEXHOLD_H

#include <pthread.h>

// Holds a POSIX mutex for one scope (internal to the semaphores).
//
// A thread ended by force (pthread_cancel) inside a condition wait unwinds
// with the wait's mutex locked again; the destructor unlocks it on that path
// as on every other, so the object the mutex guards stays usable.
class PthreadMutexHold {
public:
    explicit PthreadMutexHold(pthread_mutex_t& m) : mutex_(m), error_(pthread_mutex_lock(&m)) {}
    ~PthreadMutexHold() {
        if (error_ == 0) pthread_mutex_unlock(&mutex_);
    }
    // 0 when the mutex is held, else the error of pthread_mutex_lock.
    int error() const { return error_; }

    PthreadMutexHold(const PthreadMutexHold&) = delete;
    PthreadMutexHold& operator=(const PthreadMutexHold&) = delete;

private:
    pthread_mutex_t& mutex_;
    const int error_;
};

#endif
