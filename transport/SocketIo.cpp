#include "transport/SocketIo.h"

#include <linux/sockios.h>
#include <sys/time.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>

int XQDeadline::remaining() const {
    if (unlimited_) return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(at_ - Clock::now()).count();
    if (left <= 0) return 0;
    return left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
}

int waitReady(int fd, short events, const XQDeadline& deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        int r = poll(&p, 1, deadline.remaining());
        if (r > 0) return 0;
        if (r == 0) return ETIMEDOUT;
        if (errno != EINTR) return errno;
    }
}

int connectBy(int fd, const sockaddr_in& to, const XQDeadline& deadline, bool blocking) {
    // A blocking socket connects in one call, bounded by its send timeout
    // (which Linux applies to connect); a non-blocking one is waited for.
    if (blocking && !deadline.unlimited()) {
        const int left = deadline.remaining();
        if (left == 0) return ETIMEDOUT;
        timeval tv{left / 1000, static_cast<suseconds_t>(left % 1000) * 1000};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) return 0;
    if (blocking && errno == EINPROGRESS) return ETIMEDOUT;
    if (errno != EINPROGRESS && errno != EINTR) return errno;
    int err = waitReady(fd, POLLOUT, deadline);
    if (err != 0) return err;
    int soError = 0;
    socklen_t len = sizeof soError;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) return errno;
    return soError;
}

int writeFull(int fd, const unsigned char* buf, std::size_t n, const XQDeadline& deadline, std::size_t& sent) {
    sent = 0;
    while (sent < n) {
        ssize_t r = send(fd, buf + sent, n - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (r >= 0) {
            sent += static_cast<std::size_t>(r);
            continue;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
        int err = waitReady(fd, POLLOUT, deadline);
        if (err != 0) return err;
    }
    return 0;
}

int awaitReceiverClose(int fd, const XQDeadline& deadline) {
    unsigned char scratch[256];
    for (;;) {
        // The receiver has hardly had time to read yet: wait before asking.
        int err = waitReady(fd, POLLIN, deadline);
        if (err != 0) return err;
        ssize_t r = recv(fd, scratch, sizeof scratch, MSG_DONTWAIT);
        if (r == 0) break;
        if (r > 0) continue;  // nothing is expected back; ignore it
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return errno;
    }
    int pending = 0;
    if (ioctl(fd, SIOCOUTQ, &pending) == 0 && pending != 0) return ECONNRESET;
    return 0;
}
