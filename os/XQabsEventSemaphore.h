#ifndef TCORE_OS_XQABSEVENTSEMAPHORE_H
#define TCORE_OS_XQABSEVENTSEMAPHORE_H

#include "foundation/XQRC.h"

// An auto-reset event for one waiting thread: one Wait consumes one
// SetSignal; Signal is a pulse that wakes a current waiter only. Timeouts are
// milliseconds, 0xFFFFFFFF waits without limit. Made by the factory; the
// caller owns it and deletes it through this class.
class TCORE_EXPORT XQabsEventSemaphore {
public:
    explicit XQabsEventSemaphore(const XQSTRING& n = XQSTRING()) : name(n), state(0) {}
    virtual ~XQabsEventSemaphore() = default;
    virtual XQRC Wait(unsigned long) { return XQRC(0, 0, XQRC::WhsSrv); }
    virtual XQRC Signal() { return XQRC(0, 0, XQRC::WhsSrv); }
    virtual XQRC SetSignal() { return XQRC(0, 0, XQRC::WhsSrv); }
    virtual XQRC ResetSignal() { return XQRC(0, 0, XQRC::WhsSrv); }

    XQSTRING name;
    int state;

    XQabsEventSemaphore(const XQabsEventSemaphore&) = delete;
    XQabsEventSemaphore& operator=(const XQabsEventSemaphore&) = delete;
};

#endif
