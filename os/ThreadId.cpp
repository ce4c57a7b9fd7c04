#include "os/ThreadId.h"

#include <pthread.h>
#include <unistd.h>

unsigned long currentThreadId() { return static_cast<unsigned long>(pthread_self()); }

long currentProcessId() { return static_cast<long>(getpid()); }
