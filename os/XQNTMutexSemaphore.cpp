#include "os/XQNTMutexSemaphore.h"

#include <cerrno>

#include "foundation/Trace.h"
#include "os/PthreadMutexHold.h"

namespace {

// The level-10 lines never take the trace lock: the trace lock is itself a
// mutex semaphore.
void level10(const char* text, int code) {
    if (traceOn(10)) traceUnlockedLine(traceUnlockedPrefix() + text + std::to_string(code));
}

// Failure lines take the trace lock, unless the failing mutex is that lock.
void failureLine(const XQabsMutexSemaphore* self, const std::string& text) {
    if (!traceOn(4)) return;
    if (self == pTraceLock)
        traceUnlockedLine(traceUnlockedPrefix() + text);
    else
        traceLine(text);
}

}  // namespace

XQNTMutexSemaphore::XQNTMutexSemaphore(const XQSTRING& n) : XQabsMutexSemaphore(n), initialised(0), guard(), freed() {
    Create();
}

XQNTMutexSemaphore::~XQNTMutexSemaphore() {
    if (initialised) {
        pthread_cond_destroy(&freed);
        pthread_mutex_destroy(&guard);
    }
}

XQRC XQNTMutexSemaphore::Create() {
    XQRC rc(0, 0, XQRC::WhsSrv);
    if (state == 1) return rc;
    int err = pthread_mutex_init(&guard, nullptr);
    if (err == 0) {
        err = pthread_cond_init(&freed, nullptr);
        if (err != 0) pthread_mutex_destroy(&guard);
    }
    if (err == 0) {
        held = false;
        initialised = 1;
        state = 1;
    } else if (initialised == 1) {
        state = 1;
    } else {
        state = 2;
        rc = XQRC(9014, err, XQRC::WhsSrv);
        rc.methodName = L"XQNTMutexSemaphore::Create()";
        failureLine(this, "\tFailed to create mutex, rc = " + std::to_string(err));
    }
    level10("Return code from creating the mutex semaphore = ", rc.code);
    return rc;
}

XQRC XQNTMutexSemaphore::Acquire() {
    XQRC rc(0, 0, XQRC::WhsSrv);
    if (state != 1) {
        rc = XQRC(9015, 0, XQRC::WhsSrv);
        rc.methodName = L"XQNTMutexSemaphore::Acquire()";
        failureLine(this, (state == 0 || state == 2) ? "\tMutex not created" : "\tMutex not opened");
    } else {
        int err = take();
        if (err != 0) {
            rc = XQRC(9010, err, XQRC::WhsSrv);
            rc.methodName = L"XQNTMutexSemaphore::Acquire()";
            failureLine(this, "\tFailed to acquire mutex");
        }
    }
    level10("Return code from acquiring the mutex semaphore = ", rc.code);
    return rc;
}

XQRC XQNTMutexSemaphore::Release() {
    XQRC rc(0, 0, XQRC::WhsSrv);
    int err = state == 1 ? give() : EINVAL;
    if (err != 0) {
        rc = XQRC(9012, err, XQRC::WhsSrv);
        rc.methodName = L"XQNTMutexSemaphore::Release()";
        failureLine(this, "\tFailed to release mutex, rc = " + std::to_string(err));
    }
    level10("Return code from releasing the mutex semaphore = ", rc.code);
    return rc;
}

int XQNTMutexSemaphore::take() {
    PthreadMutexHold hold(guard);
    if (hold.error() != 0) return hold.error();
    // A waiter ended by force may have taken the wake-up of a Release: it
    // passes it on as it unwinds, so another waiter does not sleep through
    // a free semaphore.
    struct PassOn {
        XQNTMutexSemaphore& self;
        bool taken = false;
        ~PassOn() {
            if (!taken && !self.held) pthread_cond_signal(&self.freed);
        }
    } passOn{*this};
    while (held) {
        const int err = pthread_cond_wait(&freed, &guard);
        if (err != 0) return err;
    }
    held = true;
    passOn.taken = true;
    return 0;
}

int XQNTMutexSemaphore::give() {
    PthreadMutexHold hold(guard);
    if (hold.error() != 0) return hold.error();
    if (!held) return EPERM;
    held = false;
    pthread_cond_signal(&freed);
    return 0;
}
