#ifndef TCORE_OS_XQNTTHREAD_H
#define TCORE_OS_XQNTTHREAD_H

#include <pthread.h>

#include "os/XQabsThread.h"

// The POSIX thread: joinable, started by StartThread. Return codes (domain
// WhsSrv, carrying the method, the command line and the host name):
// 9006 the thread could not be created, 9007 ending it failed, 9008 already
// started, 9009 never started or already ended.
//
// WaitForTermination waits without limit whatever its argument. A forced end
// (TerminateThread, or destroying an object whose thread still runs) cancels
// the thread and joins it: the thread ends at its next cancellation point,
// unwinding its stack; nothing signals the process. A start routine that
// catches (...) must rethrow abi::__forced_unwind.
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

    int isStarted;
    pthread_t threadId;
};

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

private:
    int previous;
};

#endif
