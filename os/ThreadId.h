#ifndef TCORE_OS_THREADID_H
#define TCORE_OS_THREADID_H

#include "foundation/Export.h"

// The calling thread's identifier as trace lines print it (pthread_self).
TCORE_EXPORT unsigned long currentThreadId();
// The process identifier.
TCORE_EXPORT long currentProcessId();

#endif
