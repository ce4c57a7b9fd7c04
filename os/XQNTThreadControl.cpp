#include "os/XQNTThreadControl.h"

#include <cerrno>
#include <ctime>

#include "foundation/Trace.h"

XQRC XQNTThreadControl::Sleep(unsigned long milliseconds) {
    XQ_TRACE_METHOD("XQNTThreadControl::Sleep()");
    struct timespec left;
    left.tv_sec = static_cast<time_t>(milliseconds / 1000);
    left.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    // A signal handler must not shorten the sleep: go on with what is left.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
    return XQRC(0, 0, XQRC::WhsSrv);
}
