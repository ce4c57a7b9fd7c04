#ifndef TCORE_OS_XQNTTHREADCONTROL_H
#define TCORE_OS_XQNTTHREADCONTROL_H

#include "os/XQabsThreadControl.h"

// The POSIX thread control. Sleep blocks the calling thread for the given
// milliseconds (signals do not cut it short) and always succeeds; it is a
// cancellation point, so a thread ended by force while sleeping ends there.
class TCORE_EXPORT XQNTThreadControl : public XQabsThreadControl {
public:
    XQNTThreadControl() = default;
    ~XQNTThreadControl() override = default;
    XQRC Sleep(unsigned long milliseconds) override;
};

#endif
