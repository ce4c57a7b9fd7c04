#include "os/XQNTThread.h"

#include <cerrno>

#include "foundation/ProcessInfo.h"
#include "foundation/Trace.h"
#include "os/PosixDeadline.h"

namespace {

XQRC threadFailure(int code, int secondary, const wchar_t* method) {
    XQRC rc(code, secondary, XQRC::WhsSrv);
    rc.methodName = method;
    rc.executableName = GetCommandLine();
    XQSTRING host;
    if (xqLocalHostName(host) == 0) rc.hostName = host;
    return rc;
}

// Joins the thread, waiting at most ms milliseconds (a deadline on the
// wall clock: the join of the C library takes no other).
int joinWithin(pthread_t id, unsigned int ms) {
    const struct timespec deadline = posixDeadline(CLOCK_REALTIME, ms);
    int err;
    while ((err = pthread_timedjoin_np(id, nullptr, &deadline)) == EINTR) {
    }
    return err;
}

XQRC endFailure(pthread_t id, int err, const wchar_t* method) {
    XQ_TRACE(4, "Failed to terminate thread. tid=" << static_cast<unsigned long>(id));
    XQ_TRACE(4, " Failed to terminate thread; rc = " << err);
    return threadFailure(9007, err, method);
}

}  // namespace

XQNTThread::XQNTThread(XQThreadStartRoutine routine, void* argument)
    : XQabsThread(routine, argument), isStarted(0), threadId() {}

XQNTThread::~XQNTThread() {
    XQ_TRACE_METHOD("XQNTThread::~XQNTThread()");
    if (isStarted == 1) {
        // The join is a cancellation point; an unwind must not start in a
        // destructor.
        XQCancelScope quiet(false);
        XQ_TRACE(4, "My thread id is " << static_cast<unsigned long>(pthread_self()));
        XQ_TRACE(4, "Before calling pthread_kill to kill thread " << static_cast<unsigned long>(threadId));
        const int err = pthread_equal(threadId, pthread_self()) ? EDEADLK : endWithin();
        XQ_TRACE(4, "After calling pthread_kill");
        if (err != 0) {
            XQ_TRACE(4, "Error closing thread handle");
            // Nobody will join it now: it is collected when it ends.
            pthread_detach(threadId);
        }
        isStarted = 0;
    }
}

int XQNTThread::endWithin() {
    if (!endRequested) {
        const int err = pthread_cancel(threadId);
        // ESRCH: it has already ended and is only waiting to be collected.
        if (err != 0 && err != ESRCH) return err;
        endRequested = true;
    }
    return join();
}

int XQNTThread::join() {
    const int err = endRequested ? joinWithin(threadId, kEndWaitMs) : pthread_join(threadId, nullptr);
    // Joining oneself fails and leaves the thread running, and so does a
    // wait that ran out; any other failure means the identifier no longer
    // names a joinable thread.
    if (err != EDEADLK && err != ETIMEDOUT) {
        isStarted = 0;
        endRequested = false;
    }
    return err;
}

XQRC XQNTThread::StartThread(int) {
    XQ_TRACE_METHOD("XQNTThread::StartThread()");
    if (isStarted == 1) {
        XQ_TRACE(4, "Thread has already been created.");
        XQ_TRACE(4, " Thread already created");
        return threadFailure(9008, 0, L"XQNTThread::StartThread()");
    }
    XQRC rc(0, 0, XQRC::WhsSrv);
    pthread_attr_t attr;
    int err = pthread_attr_init(&attr);
    if (err == 0) {
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_JOINABLE);
        err = pthread_create(&threadId, &attr, startRoutine, startArgument);
        pthread_attr_destroy(&attr);
    }
    if (err == 0) {
        isStarted = 1;
        endRequested = false;
        XQ_TRACE(4, "thread created with id = " << static_cast<unsigned long>(threadId));
    } else {
        XQ_TRACE(4, "Error detected during create thread");
        XQ_TRACE(4, " Failed to create thread; rc = " << err);
        rc = threadFailure(9006, err, L"XQNTThread::StartThread()");
    }
    XQ_TRACE(4, "Return code from start thread = " << rc.code);
    return rc;
}

XQRC XQNTThread::WaitForTermination(unsigned int) {
    XQ_TRACE_METHOD("XQNTThread::WaitForTermination()");
    if (isStarted == 0) {
        XQ_TRACE(4, "Failed to terminate (thread not created). tid=" << static_cast<unsigned long>(threadId));
        XQ_TRACE(4, "Thread not created; rc = " << 9009);
        return threadFailure(9009, 0, L"XQNTThread::WaitForTermination()");
    }
    const int err = join();
    if (err == ETIMEDOUT) return endFailure(threadId, err, L"XQNTThread::WaitForTermination()");
    if (err != 0) XQ_TRACE(4, "Return code from Waiting for thread termination = " << err);
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQNTThread::TerminateThread() {
    XQ_TRACE_METHOD("XQNTThread::TerminateThread()");
    XQ_TRACE(4, "Entering XQNTThread::TerminateThread.");
    if (isStarted == 0) {
        XQ_TRACE(4, "Failed to terminate (thread not created). tid=" << static_cast<unsigned long>(threadId));
        XQ_TRACE(4, "Thread not created; rc = " << 9009);
        return threadFailure(9009, 0, L"XQNTThread::TerminateThread()");
    }
    const int err = pthread_equal(threadId, pthread_self()) ? EDEADLK : endWithin();
    if (isStarted == 1) return endFailure(threadId, err, L"XQNTThread::TerminateThread()");
    XQ_TRACE(4, "Return code from terminating thread = " << 0);
    return XQRC(0, 0, XQRC::WhsSrv);
}

void XQNTThread::clearHandle() {
    XQ_TRACE_METHOD("XQNTThread::clearHandle()");
    isStarted = 0;
    endRequested = false;
}

void XQCancellationPoint() { pthread_testcancel(); }

XQCancelScope::XQCancelScope(bool enable) : previous(PTHREAD_CANCEL_ENABLE) {
    pthread_setcancelstate(enable ? PTHREAD_CANCEL_ENABLE : PTHREAD_CANCEL_DISABLE, &previous);
}

XQCancelScope::~XQCancelScope() {
    int ignored;
    pthread_setcancelstate(previous, &ignored);
}
