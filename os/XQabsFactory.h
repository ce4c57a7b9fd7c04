#ifndef TCORE_OS_XQABSFACTORY_H
#define TCORE_OS_XQABSFACTORY_H

#include "foundation/Export.h"
#include "foundation/XQString.h"

class XQabsProcess;
class XQabsMutexSemaphore;
class XQabsEventSemaphore;
class XQabsThread;
class XQabsThreadControl;

// The one source of operating-system objects. Every Create... returns a heap
// object that the caller owns and deletes through its abstract class, or null
// when it cannot be made; a semaphore comes back already created, and the
// caller checks its state. The abstract factory makes nothing.
class TCORE_EXPORT XQabsFactory {
public:
    virtual ~XQabsFactory() = default;
    // A process object for program (in directory) with its argument text;
    // nothing is started until StartProcess.
    virtual XQabsProcess* CreateProcess(const XQSTRING& program, const XQSTRING& directory,
                                        const XQSTRING& arguments, int option) const;
    // A thread that is made but not started.
    virtual XQabsThread* CreateThread(void* (*startRoutine)(void*), void* argument) const;
    virtual XQabsMutexSemaphore* CreateMutexSemaphore(const XQSTRING& name) const;
    virtual XQabsEventSemaphore* CreateEventSemaphore(const XQSTRING& name) const;
    virtual XQabsThreadControl* CreateThreadControl() const;

    // The process-wide factory, made on first use and never destroyed. The
    // result belongs to the library and must never be deleted.
    static XQabsFactory* Instance();
    static XQabsFactory* instance;
};

// The POSIX factory.
class TCORE_EXPORT XQNTFactory : public XQabsFactory {
public:
    XQabsProcess* CreateProcess(const XQSTRING& program, const XQSTRING& directory, const XQSTRING& arguments,
                                int option) const override;
    XQabsThread* CreateThread(void* (*startRoutine)(void*), void* argument) const override;
    XQabsMutexSemaphore* CreateMutexSemaphore(const XQSTRING& name) const override;
    XQabsEventSemaphore* CreateEventSemaphore(const XQSTRING& name) const override;
    XQabsThreadControl* CreateThreadControl() const override;
};

#endif
