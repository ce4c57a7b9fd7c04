#ifndef TCORE_OS_XQABSMUTEXSEMAPHORE_H
#define TCORE_OS_XQABSMUTEXSEMAPHORE_H

#include "foundation/XQRC.h"

// Mutual exclusion inside one process. Not recursive. Made by the factory;
// the caller owns it and deletes it through this class.
// state: 0 = not created, 1 = created, 2 = creation failed.
class TCORE_EXPORT XQabsMutexSemaphore {
public:
    explicit XQabsMutexSemaphore(const XQSTRING& n = XQSTRING()) : name(n), state(0) {}
    virtual ~XQabsMutexSemaphore() = default;
    virtual XQRC Acquire() { return XQRC(0, 0, XQRC::WhsSrv); }
    virtual XQRC Release() { return XQRC(0, 0, XQRC::WhsSrv); }

    XQSTRING name;
    int state;

    XQabsMutexSemaphore(const XQabsMutexSemaphore&) = delete;
    XQabsMutexSemaphore& operator=(const XQabsMutexSemaphore&) = delete;
};

#endif
