#ifndef TCORE_TRANSPORT_XQRECEIVELOOP_H
#define TCORE_TRANSPORT_XQRECEIVELOOP_H

// Internal to the transport: the event loop behind XQSocket::Receive. One
// thread runs next(); it serves the listening socket and every connection
// whose frame is still arriving at once, each with a deadline of its own, so
// a slow or silent peer costs only its own connection. Any thread may call
// halt().

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <set>
#include <unordered_map>
#include <utility>

#include <netinet/in.h>

#include "foundation/UniqueFd.h"
#include "transport/XQFrameReader.h"
#include "transport/XQTlsLink.h"

class XQReceiveCounters;
class XQPeerFilter;

// One result of the loop: a whole frame, or the failure of one connection,
// or the end of the listening socket, or nothing (Idle: the wait bound passed
// or interrupt() was called).
struct XQReceiveOutcome {
    enum Kind { Frame, Fault, Halted, ListenerFailed, Idle };
    Kind kind = Frame;
    unsigned int code = 0;  // for a Fault: 6108 (count), 6109 (payload), 6123 (TLS handshake)
    int error = 0;          // system error: ETIMEDOUT, ECONNRESET, EMSGSIZE, ENOBUFS, ...
    std::uint32_t count = 0;
    std::size_t got = 0;    // bytes of the count (6108) or the payload (6109) that arrived
    std::string reason;     // why a handshake failed
    XQPayload payload;  // the wire payload of a Frame
    XQHeldBytes held;                          // its share of the bound
};

class XQReceiveLoop {
public:
    // With tls in mode Tls, every connection is a TLS server link: its
    // handshake runs here, under the connection's deadline. defaultPeers
    // applies while the counters carry no list of the program's own.
    XQReceiveLoop(UniqueFd listenFd, std::shared_ptr<XQReceiveCounters> counters,
                  std::shared_ptr<const XQTlsContext> tls, const XQPeerFilter* defaultPeers);
    ~XQReceiveLoop();
    XQReceiveLoop(const XQReceiveLoop&) = delete;
    XQReceiveLoop& operator=(const XQReceiveLoop&) = delete;

    // Makes the epoll set, the wake-up descriptor and the spare descriptor.
    // Returns 0 or the system error.
    int open();
    // Waits for the next outcome. timeoutMs bounds each connection from its
    // accept to its last byte, boundMs this call (0xFFFFFFFF: no bound). The
    // calling thread may be ended by force only inside the wait, and there
    // only when cancellable.
    XQReceiveOutcome next(unsigned int timeoutMs, unsigned int boundMs = 0xFFFFFFFFu, bool cancellable = true);
    // Makes the waiting next() return Idle at once, or the next one when
    // none waits. Any thread.
    void interrupt();
    // Ends the loop: a waiting next() returns Halted at once, and so does
    // every later one. The listening socket stops taking connections.
    void halt();
    bool halted() const { return halted_.load(); }
    int listenFd() const { return listen_.get(); }

private:
    using Clock = std::chrono::steady_clock;
    struct Connection {
        UniqueFd fd;
        XQFrameReader reader;
        Clock::time_point deadline;
        std::list<std::uint64_t>::iterator idle;
        XQUniqueSsl ssl;  // a TLS link; null for plain TCP
        bool handshaken = false;
        bool wantWrite = false;
        bool registered = false;  // in the epoll set
    };

    void wake();
    void acceptPending(unsigned int timeoutMs);
    bool acceptOne(unsigned int timeoutMs);
    // A pending peer taken at the descriptor limit: its descriptor, -1 when
    // it was refused, -2 when none was pending.
    int takeAtLimit(sockaddr_in& peer);
    void readFrom(std::uint64_t id);
    // One read step of a plain or TLS link: bytes read, 0 nothing more for
    // now, -1 the connection has been failed.
    long readSome(std::uint64_t id, Connection& c, unsigned char* into, std::size_t want);
    bool handshake(std::uint64_t id, Connection& c);
    void setWantWrite(Connection& c, std::uint64_t id, bool want);
    void finish(std::uint64_t id, XQReceiveOutcome outcome);
    void fail(std::uint64_t id, int error);
    void drop(std::uint64_t id);
    bool dropIdlest();
    void expire();
    void pauseAccepting(int ms);
    int waitMs(Clock::time_point bound) const;

    UniqueFd listen_;
    UniqueFd epoll_;
    UniqueFd wake_;
    UniqueFd spare_;  // given up for a moment to take a connection at the descriptor limit
    std::shared_ptr<XQReceiveCounters> counters_;
    std::shared_ptr<const XQTlsContext> tls_;
    const XQPeerFilter* defaultPeers_;
    std::atomic<bool> halted_{false};
    std::atomic<bool> interrupted_{false};
    bool listenFailed_ = false;
    int listenError_ = 0;
    bool acceptPaused_ = false;
    Clock::time_point acceptResumes_;
    std::uint64_t nextId_ = 2;  // 0 and 1 name the listening and wake-up descriptors
    std::unordered_map<std::uint64_t, Connection> connections_;
    std::list<std::uint64_t> idleOrder_;  // least recently heard from first
    std::set<std::pair<Clock::time_point, std::uint64_t>> deadlines_;
    std::deque<XQReceiveOutcome> ready_;
};

#endif
