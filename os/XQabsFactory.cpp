#include "os/XQabsFactory.h"

#include <mutex>
#include <new>

#include "os/XQNTEventSemaphore.h"
#include "os/XQNTMutexSemaphore.h"
#include "os/XQNTProcess.h"
#include "os/XQNTThread.h"
#include "os/XQNTThreadControl.h"

XQabsFactory* XQabsFactory::instance = nullptr;

XQabsFactory* XQabsFactory::Instance() {
    // The first call may come from any thread. A factory installed in
    // instance before that call (a test's wrapper, say) is kept.
    static std::once_flag once;
    std::call_once(once, [] {
        if (instance == nullptr) instance = new XQNTFactory();
    });
    return instance;
}

XQabsProcess* XQabsFactory::CreateProcess(const XQSTRING&, const XQSTRING&, const XQSTRING&, int) const {
    return nullptr;
}
XQabsThread* XQabsFactory::CreateThread(void* (*)(void*), void*) const { return nullptr; }
XQabsMutexSemaphore* XQabsFactory::CreateMutexSemaphore(const XQSTRING&) const { return nullptr; }
XQabsEventSemaphore* XQabsFactory::CreateEventSemaphore(const XQSTRING&) const { return nullptr; }
XQabsThreadControl* XQabsFactory::CreateThreadControl() const { return nullptr; }

XQabsThread* XQNTFactory::CreateThread(void* (*startRoutine)(void*), void* argument) const {
    return new (std::nothrow) XQNTThread(startRoutine, argument);
}

XQabsProcess* XQNTFactory::CreateProcess(const XQSTRING& program, const XQSTRING& directory,
                                         const XQSTRING& arguments, int option) const {
    return new (std::nothrow) XQNTProcess(program, directory, arguments, option);
}

XQabsMutexSemaphore* XQNTFactory::CreateMutexSemaphore(const XQSTRING& name) const {
    return new (std::nothrow) XQNTMutexSemaphore(name);
}

XQabsEventSemaphore* XQNTFactory::CreateEventSemaphore(const XQSTRING& name) const {
    return new (std::nothrow) XQNTEventSemaphore(name);
}

XQabsThreadControl* XQNTFactory::CreateThreadControl() const { return new (std::nothrow) XQNTThreadControl(); }
