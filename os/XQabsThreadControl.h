#ifndef TCORE_OS_XQABSTHREADCONTROL_H
#define TCORE_OS_XQABSTHREADCONTROL_H

#include "foundation/XQRC.h"

// Lets the calling thread sleep. Made by the factory; the caller owns it and
// deletes it through this class. The abstract Sleep returns at once.
class TCORE_EXPORT XQabsThreadControl {
public:
    XQabsThreadControl() = default;
    virtual ~XQabsThreadControl() = default;
    virtual XQRC Sleep(unsigned long) { return XQRC(0, 0, XQRC::WhsSrv); }
};

#endif
