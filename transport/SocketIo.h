#ifndef TCORE_TRANSPORT_SOCKETIO_H
#define TCORE_TRANSPORT_SOCKETIO_H

// Internal to the transport: deadlines and the non-blocking steps of a send.
// Each function returns 0 or the system error (ETIMEDOUT once the deadline
// has passed).

#include <netinet/in.h>

#include <chrono>
#include <cstddef>

// A point by which an operation must be done; 0xFFFFFFFF ms means never.
class XQDeadline {
public:
    using Clock = std::chrono::steady_clock;
    explicit XQDeadline(unsigned int ms)
        : unlimited_(ms == 0xFFFFFFFFu), at_(Clock::now() + std::chrono::milliseconds(unlimited_ ? 0 : ms)) {}
    bool unlimited() const { return unlimited_; }
    // Milliseconds left for poll: -1 without limit, 0 once passed.
    int remaining() const;

private:
    bool unlimited_;
    Clock::time_point at_;
};

// Waits until fd is ready for events.
int waitReady(int fd, short events, const XQDeadline& deadline);
// Connects, waiting for the handshake until the deadline. blocking tells how
// fd was made.
int connectBy(int fd, const sockaddr_in& to, const XQDeadline& deadline, bool blocking);
// Writes all n bytes; sent receives how many went.
int writeFull(int fd, const unsigned char* buf, std::size_t n, const XQDeadline& deadline, std::size_t& sent);
// Waits for the receiver to close after reading the whole frame. The end of
// stream confirms delivery only when every byte was also acknowledged: a
// receiver that closed before the frame arrived answers with a reset instead.
int awaitReceiverClose(int fd, const XQDeadline& deadline);

#endif
