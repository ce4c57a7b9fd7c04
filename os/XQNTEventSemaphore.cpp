#include "os/XQNTEventSemaphore.h"

#include <cerrno>
#include <ctime>

#include "foundation/Trace.h"
#include "os/PosixDeadline.h"
#include "os/PthreadMutexHold.h"

namespace {

XQRC failure(int code, int secondary, const wchar_t* method) {
    XQRC rc(code, secondary, XQRC::WhsSrv);
    rc.methodName = method;
    return rc;
}

const char* stateText(int nonSignaled) { return nonSignaled ? "nonsignaled" : "signaled"; }

}  // namespace

XQNTEventSemaphore::XQNTEventSemaphore(const XQSTRING& n)
    : XQabsEventSemaphore(n), initialised(0), nonSignaled(1), cond(), mutex() {
    Create();
}

XQNTEventSemaphore::~XQNTEventSemaphore() {
    if (initialised) {
        pthread_cond_destroy(&cond);
        pthread_mutex_destroy(&mutex);
    }
}

XQRC XQNTEventSemaphore::Create() {
    XQ_TRACE_METHOD("XQNTEventSemaphore::Create()");
    XQRC rc(0, 0, XQRC::WhsSrv);
    if (state == 1) return rc;
    nonSignaled = 1;
    pthread_condattr_t attr;
    int err = pthread_condattr_init(&attr);
    // Timed waits run against the monotonic clock: a change of the wall
    // clock neither stretches nor cuts them.
    if (err == 0) err = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    bool condMade = false;
    if (err == 0) {
        err = pthread_cond_init(&cond, &attr);
        condMade = err == 0;
        pthread_condattr_destroy(&attr);
    }
    if (err == 0) {
        err = pthread_mutex_init(&mutex, nullptr);
        if (err != 0) pthread_cond_destroy(&cond);
    } else if (condMade) {
        pthread_cond_destroy(&cond);
    }
    if (err == 0) {
        initialised = 1;
        state = 1;
        XQ_TRACE(4, "\tOpened - handle");
    } else if (initialised == 1) {
        state = 1;
    } else {
        state = 2;
        rc = failure(9018, err, L"XQNTEventSemaphore::Create()");
        XQ_TRACE(4, "Event create has failed, rc = " << err);
    }
    XQ_TRACE(4, "RC from creating event semaphore = " << rc.code);
    return rc;
}

XQRC XQNTEventSemaphore::SetSignal() {
    XQ_TRACE_METHOD("XQNTEventSemaphore::SetSignal()");
    if (state != 1) {
        XQ_TRACE(4, "Error - Event was not opened");
        return failure(9018, 0, L"XQNTEventSemaphore::SetSignal()");
    }
    {
        PthreadMutexHold hold(mutex);
        XQ_TRACE(4, " Signal state on SetSignal() enter is " << stateText(nonSignaled));
        ++wakeups;
        nonSignaled = 0;
        XQ_TRACE(4, " Signal state on SetSignal() exit is " << stateText(nonSignaled));
    }
    // Signalled after the mutex is released, so the woken waiter does not
    // block at once on it; the state it checks was set under the mutex.
    pthread_cond_signal(&cond);
    XQ_TRACE(4, "RC from event semaphore set signal = " << 0);
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQNTEventSemaphore::Signal() {
    XQ_TRACE_METHOD("XQNTEventSemaphore::Signal()");
    if (state != 1) {
        XQ_TRACE(4, "Error - Event was not opened");
        return failure(9018, 0, L"XQNTEventSemaphore::Signal()");
    }
    XQ_TRACE(4, "\tSignal the event");
    {
        PthreadMutexHold hold(mutex);
        ++wakeups;
        pthread_cond_signal(&cond);
        nonSignaled = 1;
    }
    XQ_TRACE(4, "\tEvent signalled sucessfully");
    XQ_TRACE(4, "RC from event semaphore signal = " << 0);
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQNTEventSemaphore::ResetSignal() {
    XQ_TRACE_METHOD("XQNTEventSemaphore::ResetSignal()");
    if (state == 1) {
        PthreadMutexHold hold(mutex);
        nonSignaled = 1;
    }
    XQ_TRACE(4, "RC from event semaphore reset signal = " << 0);
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQNTEventSemaphore::Wait(unsigned long timeout) {
    XQ_TRACE_METHOD("XQNTEventSemaphore::Wait()");
    if (state != 1) {
        XQ_TRACE(4, "Event create has failed");
        return failure(9018, 0, L"XQNTEventSemaphore::Wait()");
    }
    XQ_TRACE(4, "Waiting for event semaphore");
    XQ_TRACE(4, " Time out value as a signed number = " << static_cast<long>(static_cast<int32_t>(timeout)));
    XQRC rc(0, 0, XQRC::WhsSrv);
    {
        // The condition waits are where a forced end lands: the hold releases
        // the mutex as the thread unwinds.
        PthreadMutexHold hold(mutex);
        XQ_TRACE(4, " Signal state on Wait() enter is " << stateText(nonSignaled));
        if (nonSignaled != 0) {
            const int err = waitForWakeup(timeout);
            XQ_TRACE(4, " This is the results of pthread_cond_timedwait: " << err);
            if (err == ETIMEDOUT) {
                XQ_TRACE(4, "\tEvent wait time out.");
                rc = failure(9001, 0, L"XQNTEventSemaphore::Wait()");
            } else if (err != 0) {
                XQ_TRACE(4, "Event wait has failed, rc = " << err);
                rc = failure(9017, err, L"XQNTEventSemaphore::Wait()");
            } else {
                XQ_TRACE(4, "\tEvent has been signaled");
            }
        }
        nonSignaled = 1;
        XQ_TRACE(4, " Signal state on Wait() exit is " << stateText(nonSignaled));
    }
    XQ_TRACE(4, "RC from event semaphore wait = " << rc.code);
    return rc;
}

int XQNTEventSemaphore::waitForWakeup(unsigned long timeout) {
    const unsigned long seen = wakeups;
    // A waiter ended by force may have taken the condition's wake-up of a
    // SetSignal or Signal meant for the event: it passes the wake-up on as
    // it unwinds, so another waiter does not sleep through it.
    struct PassOn {
        XQNTEventSemaphore& event;
        unsigned long seen;
        bool returned = false;
        ~PassOn() {
            if (!returned && event.wakeups != seen) pthread_cond_signal(&event.cond);
        }
    } passOn{*this, seen};
    int err = 0;
    if (timeout == 0xFFFFFFFFUL) {
        while (err == 0 && wakeups == seen) err = pthread_cond_wait(&cond, &mutex);
    } else {
        const struct timespec deadline = posixDeadline(CLOCK_MONOTONIC, timeout);
        // Spurious wake-ups are waited out; a SetSignal or Signal counts.
        while (err == 0 && wakeups == seen) err = pthread_cond_timedwait(&cond, &mutex, &deadline);
        if (err == ETIMEDOUT && wakeups != seen) err = 0;
    }
    passOn.returned = true;
    return err;
}
