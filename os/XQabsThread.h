#ifndef TCORE_OS_XQABSTHREAD_H
#define TCORE_OS_XQABSTHREAD_H

#include "foundation/XQRC.h"

// The start routine of a thread: takes the thread argument, returns the
// thread's exit value.
typedef void* (*XQThreadStartRoutine)(void*);

// One thread of the process, made by the factory with a start routine and an
// argument, started once, then waited for or ended by force. The abstract
// versions do nothing and succeed. Used by the thread that owns the object;
// the running thread itself never touches it. The caller owns the object and
// deletes it through this class.
class TCORE_EXPORT XQabsThread {
public:
    explicit XQabsThread(XQThreadStartRoutine routine = nullptr, void* argument = nullptr)
        : startRoutine(routine), startArgument(argument) {}
    XQabsThread(const XQabsThread&) = default;
    XQabsThread& operator=(const XQabsThread&) = default;
    virtual ~XQabsThread() = default;

    virtual XQRC StartThread(int) { return XQRC(0, 0, XQRC::WhsSrv); }
    virtual XQRC TerminateThread() { return XQRC(0, 0, XQRC::WhsSrv); }
    virtual XQRC WaitForTermination(unsigned int) { return XQRC(0, 0, XQRC::WhsSrv); }
    virtual void clearHandle() {}

    XQThreadStartRoutine startRoutine;
    void* startArgument;
};

#endif
