#ifndef TCORE_OS_POSIXDEADLINE_H
#define TCORE_OS_POSIXDEADLINE_H

#include <ctime>

// The time ms milliseconds from now on the given clock, as the timed waits of
// POSIX threads take it (internal to os/).
inline struct timespec posixDeadline(clockid_t clock, unsigned long ms) {
    struct timespec deadline;
    clock_gettime(clock, &deadline);
    deadline.tv_sec += static_cast<time_t>(ms / 1000);
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return deadline;
}

#endif
