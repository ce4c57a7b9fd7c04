#include "os/XQNTThread.h"

#include <cerrno>

#include "foundation/ProcessInfo.h"
#include "foundation/Trace.h"

namespace {

XQRC threadFailure(int code, int secondary, const wchar_t* method) {
    XQRC rc(code, secondary, XQRC::WhsSrv);
    rc.methodName = method;
    rc.executableName = GetCommandLine();
    XQSTRING host;
    if (xqLocalHostName(host) == 0) rc.hostName = host;
    return rc;
}

// Cancels the thread and collects it. Returns 0 or the error of the cancel.
int cancelAndJoin(pthread_t id) {
    int err = pthread_cancel(id);
    // A thread that has already ended but was not joined is still collected.
    if (err == 0 || err == ESRCH) {
        pthread_join(id, nullptr);
        err = 0;
    }
    return err;
}

}  // namespace

XQNTThread::XQNTThread(XQThreadStartRoutine routine, void* argument)
    : XQabsThread(routine, argument), isStarted(0), threadId() {}

XQNTThread::~XQNTThread() {
    XQ_TRACE_METHOD("XQNTThread::~XQNTThread()");
    if (isStarted == 1) {
        XQ_TRACE(4, "My thread id is " << static_cast<unsigned long>(pthread_self()));
        XQ_TRACE(4, "Before calling pthread_kill to kill thread " << static_cast<unsigned long>(threadId));
        const int err = cancelAndJoin(threadId);
        XQ_TRACE(4, "After calling pthread_kill");
        if (err != 0) XQ_TRACE(4, "Error closing thread handle");
        isStarted = 0;
    }
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
    const int err = pthread_join(threadId, nullptr);
    // Joining oneself fails and leaves the thread running; any other failure
    // means the identifier no longer names a joinable thread.
    if (err != EDEADLK) isStarted = 0;
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
    if (pthread_equal(threadId, pthread_self())) {
        XQ_TRACE(4, "Failed to terminate thread. tid=" << static_cast<unsigned long>(threadId));
        XQ_TRACE(4, " Failed to terminate thread; rc = " << EDEADLK);
        return threadFailure(9007, EDEADLK, L"XQNTThread::TerminateThread()");
    }
    const int err = cancelAndJoin(threadId);
    if (err != 0) {
        XQ_TRACE(4, "Failed to terminate thread. tid=" << static_cast<unsigned long>(threadId));
        XQ_TRACE(4, " Failed to terminate thread; rc = " << err);
        return threadFailure(9007, err, L"XQNTThread::TerminateThread()");
    }
    isStarted = 0;
    XQ_TRACE(4, "Return code from terminating thread = " << 0);
    return XQRC(0, 0, XQRC::WhsSrv);
}

void XQNTThread::clearHandle() {
    XQ_TRACE_METHOD("XQNTThread::clearHandle()");
    isStarted = 0;
}

XQCancelScope::XQCancelScope(bool enable) : previous(PTHREAD_CANCEL_ENABLE) {
    pthread_setcancelstate(enable ? PTHREAD_CANCEL_ENABLE : PTHREAD_CANCEL_DISABLE, &previous);
}

XQCancelScope::~XQCancelScope() {
    int ignored;
    pthread_setcancelstate(previous, &ignored);
}
